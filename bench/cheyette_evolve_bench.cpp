// One Cheyette simulation step over a batch of paths against the Markovian HJM step on the same factors,
// in one run: items are factor-steps (paths x factors per step), so the two rates compare directly.

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "Analytics/change_of_measure/change_of_measure.h"
#include "Analytics/models/model_cheyette.h"
#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/parameters/parameter_cheyette.h"
#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"

namespace {

using namespace qavrek;

constexpr size_t paths = 10000;
const datetime valuation(2024, 1, 2);

// n factors with reversions and volatilities spread over the usual range, mildly correlated.
ptr_const<parameter_markovian_hjm> make_parameter(size_t n) {
  matrix<double> decays(1, n);
  matrix<double> volatilities(1, n);
  matrix<double> correlation(n, n);
  for (size_t k = 0; k < n; ++k) {
    decays(0, k) = 0.03 + 0.1 * static_cast<double>(k);
    volatilities(0, k) = 0.01 / static_cast<double>(k + 1);
    for (size_t j = 0; j < n; ++j) correlation(k, j) = k == j ? 1.0 : 0.3;
  }
  const datetime last(valuation.serial() + 3650);
  return std::make_shared<const parameter_markovian_hjm>(decays, volatilities, correlation, std::vector{last},
                                                         std::vector{last}, std::make_shared<const day_count_convention>(),
                                                         parameter_markovian_hjm_type::HULL_WHITE);
}

// Skews of both signs, so that both clamp directions run.
parameter_cheyette make_cheyette(const ptr_const<parameter_markovian_hjm>& hjm) {
  const size_t n = hjm->number_of_factors();
  matrix<double> skews(1, n);
  for (size_t k = 0; k < n; ++k) skews(0, k) = k % 2 == 0 ? 6.0 : -4.0;
  return parameter_cheyette(hjm, skews, {datetime(valuation.serial() + 3650)}, 0.5);
}

std::vector<datetime> monthly_dates() {
  std::vector<datetime> dates;
  for (int month = 0; month <= 12; ++month) dates.emplace_back(valuation.serial() + 30.0 * month);
  return dates;
}

matrix<double> draws(size_t n) {
  std::mt19937 generator(11);
  std::normal_distribution<double> normal;
  matrix<double> gaussians(n, paths);
  for (double& value : gaussians) value = normal(generator);
  return gaussians;
}

// Steps through the year again and again from the states it reached: each call is one step.
template <class Model>
void run_steps(benchmark::State& state, const Model& model, size_t n, size_t rows, size_t dates) {
  const matrix<double> gaussians = draws(n);
  matrix<double> next(rows, paths);
  matrix<double> current(rows, paths);
  const change_of_measure no_change;
  size_t step = 1;
  for (auto _ : state) {
    if (step == 1) next.fill(0.0);
    model.evolve(no_change, step, gaussians, current, next);
    benchmark::DoNotOptimize(next.data());
    benchmark::ClobberMemory();
    step = step + 1 < dates ? step + 1 : 1;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * paths * n));
}

void hjm_step(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto parameter = make_parameter(n);
  const std::vector<datetime> dates = monthly_dates();
  const model_markovian_hjm model(*parameter, valuation, dates, false);
  run_steps(state, model, n, model.number_of_states(), dates.size());
}

void cheyette_step(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const parameter_cheyette parameter = make_cheyette(make_parameter(n));
  const std::vector<datetime> dates = monthly_dates();
  const model_cheyette model(parameter, valuation, dates, false, false);
  run_steps(state, model, n, model.number_of_states(), dates.size());
}

BENCHMARK(hjm_step)->Arg(1)->Arg(2)->ArgName("factors");
BENCHMARK(cheyette_step)->Arg(1)->Arg(2)->ArgName("factors");

}  // namespace
