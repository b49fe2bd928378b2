// One Markovian HJM simulation step over a batch of paths: the per-path cost of model_markovian_hjm::evolve.

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "Analytics/change_of_measure/change_of_measure.h"
#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"

namespace {

using namespace qavrek;

constexpr size_t paths = 10000;

// n factors with reversions and volatilities spread over the usual range, mildly correlated.
parameter_markovian_hjm make_parameter(size_t n) {
  matrix<double> decays(1, n);
  matrix<double> volatilities(1, n);
  matrix<double> correlation(n, n);
  for (size_t k = 0; k < n; ++k) {
    decays(0, k) = 0.03 + 0.3 * static_cast<double>(k);
    volatilities(0, k) = 0.01 / static_cast<double>(k + 1);
    for (size_t j = 0; j < n; ++j) correlation(k, j) = k == j ? 1.0 : 0.3;
  }
  const datetime last(datetime(2024, 1, 2).serial() + 3650);
  return parameter_markovian_hjm(decays, volatilities, correlation, {last}, {last},
                                 std::make_shared<const day_count_convention>(), parameter_markovian_hjm_type::HULL_WHITE);
}

void evolve(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const parameter_markovian_hjm parameter = make_parameter(n);
  const datetime valuation(2024, 1, 2);
  std::vector<datetime> dates;
  for (int month = 0; month <= 12; ++month) dates.emplace_back(valuation.serial() + 30.0 * month);
  const model_markovian_hjm model(parameter, valuation, dates, false);

  std::mt19937 generator(11);
  std::normal_distribution<double> normal;
  matrix<double> draws(n, paths);
  for (double& value : draws) value = normal(generator);
  matrix<double> next(n + 1, paths);
  matrix<double> current(n + 1, paths);
  const change_of_measure no_change;
  size_t step = 1;
  for (auto _ : state) {
    model.evolve(no_change, step, draws, current, next);
    benchmark::DoNotOptimize(next.data());
    benchmark::ClobberMemory();
    step = step + 1 < dates.size() ? step + 1 : 1;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * paths));
}

BENCHMARK(evolve)->Arg(1)->Arg(3)->ArgName("factors");

}  // namespace
