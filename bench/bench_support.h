#pragma once

// What the model benchmarks share: one batch of paths, their dates and draws, the loop that steps a model
// over and over, and the Markovian HJM step that the other models' steps are measured against.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "Analytics/change_of_measure/change_of_measure.h"
#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Core/pointers.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Vectorization/matrix.h"

namespace qavrek::bench {

inline constexpr size_t paths = 10000;
inline const datetime valuation(2024, 1, 2);

// The valuation date and `months` dates 30 days apart after it.
inline std::vector<datetime> dates_every_30_days(int months) {
  std::vector<datetime> dates;
  for (int month = 0; month <= months; ++month) dates.emplace_back(valuation.serial() + 30.0 * month);
  return dates;
}

// The 15th of every month from January 2024: `steps` + 1 dates.
inline std::vector<datetime> mid_month_dates(size_t steps) {
  std::vector<datetime> dates;
  for (size_t i = 0; i <= steps; ++i)
    dates.emplace_back(2024 + static_cast<int>(i / 12), static_cast<int>(i % 12) + 1, 15);
  return dates;
}

// `rows` rows of standard normals, one column per path, the same in every run.
inline matrix<double> standard_normals(size_t rows) {
  std::mt19937 generator(11);
  std::normal_distribution<double> normal;
  matrix<double> values(rows, paths);
  for (double& value : values) value = normal(generator);
  return values;
}

// n factors with reversions rising from 0.03 by `reversion_step` and volatilities 0.01 / (k + 1), correlated
// 0.3, constant over ten years.
inline ptr_const<parameter_markovian_hjm> spread_hjm_parameter(size_t n, double reversion_step) {
  matrix<double> decays(1, n);
  matrix<double> volatilities(1, n);
  matrix<double> correlation(n, n);
  for (size_t k = 0; k < n; ++k) {
    decays(0, k) = 0.03 + reversion_step * static_cast<double>(k);
    volatilities(0, k) = 0.01 / static_cast<double>(k + 1);
    for (size_t j = 0; j < n; ++j) correlation(k, j) = k == j ? 1.0 : 0.3;
  }
  const datetime last(valuation.serial() + 3650);
  return std::make_shared<const parameter_markovian_hjm>(
      decays, volatilities, correlation, std::vector{last}, std::vector{last},
      std::make_shared<const day_count_convention>(), parameter_markovian_hjm_type::HULL_WHITE);
}

// HULL_WHITE decays up to 2030 and two rows of volatilities, changing in 2026 and 2034.
inline ptr_const<parameter_markovian_hjm> hjm_parameter(const matrix<double>& decays,
                                                        const matrix<double>& volatilities,
                                                        const matrix<double>& correlation) {
  return std::make_shared<const parameter_markovian_hjm>(
      decays, volatilities, correlation, std::vector{datetime(2030, 1, 15)},
      std::vector{datetime(2026, 1, 15), datetime(2034, 1, 15)}, std::make_shared<const day_count_convention>(),
      parameter_markovian_hjm_type::HULL_WHITE);
}

// Each iteration is one step of `model` over the batch, through its `number_of_dates` dates again and
// again from the states it reached; the states restart at zero with the first step. Items are paths times
// `items_per_path`.
template <class Model>
void run_steps(benchmark::State& state, const Model& model, size_t number_of_dates, size_t items_per_path = 1) {
  const matrix<double> gaussians = standard_normals(model.number_of_factors());
  matrix<double> next(model.number_of_states(), paths);
  matrix<double> current(model.number_of_states(), paths);
  const change_of_measure no_change;
  size_t step = 1;
  for (auto _ : state) {
    if (step == 1) next.fill(0.0);
    model.evolve(no_change, step, gaussians, current, next);
    benchmark::DoNotOptimize(next.data());
    benchmark::ClobberMemory();
    step = step + 1 < number_of_dates ? step + 1 : 1;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * paths * items_per_path));
}

// The Markovian HJM step on `parameter` over `dates`, the first being the valuation date.
inline void hjm_step(benchmark::State& state, const parameter_markovian_hjm& parameter,
                     const std::vector<datetime>& dates, size_t items_per_path = 1) {
  const model_markovian_hjm model(parameter, valuation, dates, false);
  run_steps(state, model, dates.size(), items_per_path);
}

}  // namespace qavrek::bench
