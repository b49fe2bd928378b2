// One extended CIR simulation step over a batch of paths, the per-path cost of model_extended_cir::evolve.
// The executable also holds the Markovian HJM step (`evolve`), so one run compares the two: items are paths,
// as there.

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "Analytics/change_of_measure/change_of_measure.h"
#include "Analytics/models/model_extended_cir.h"
#include "Analytics/parameters/parameter_extended_cir.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"

namespace {

using namespace qavrek;

constexpr size_t paths = 10000;

// n factors with speeds, volatilities and levels spread over the usual range.
parameter_extended_cir make_parameter(size_t n) {
  matrix<double> speeds(1, n), volatilities(1, n), shifts(1, n), correlation(n, n);
  for (size_t k = 0; k < n; ++k) {
    speeds(0, k) = 0.1 + 0.4 * static_cast<double>(k);
    volatilities(0, k) = 0.05 + 0.05 * static_cast<double>(k);
    shifts(0, k) = 0.03 / static_cast<double>(k + 1);
    correlation(k, k) = 1.0;
  }
  const std::vector<datetime> last{datetime(datetime(2024, 1, 2).serial() + 3650)};
  return parameter_extended_cir(speeds, volatilities, shifts, correlation, last, last, last,
                                std::make_shared<const day_count_convention>());
}

void extended_cir_evolve(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const parameter_extended_cir parameter = make_parameter(n);
  const datetime valuation(2024, 1, 2);
  std::vector<datetime> dates;
  for (int month = 0; month <= 12; ++month) dates.emplace_back(valuation.serial() + 30.0 * month);
  const model_extended_cir model(parameter, valuation, dates, false);

  std::mt19937 generator(11);
  std::normal_distribution<double> normal;
  matrix<double> draws(n, paths);
  for (double& value : draws) value = normal(generator);
  matrix<double> next(n + 1, paths);
  matrix<double> previous(n + 1, paths);
  const change_of_measure no_change;
  size_t step = 1;
  for (auto _ : state) {
    // The states move on from step to step, as in a simulation, and restart at zero with the year.
    if (step == 1) next.fill(0.0);
    model.evolve(no_change, step, draws, previous, next);
    benchmark::DoNotOptimize(next.data());
    benchmark::ClobberMemory();
    step = step + 1 < dates.size() ? step + 1 : 1;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * paths));
}

BENCHMARK(extended_cir_evolve)->Arg(1)->Arg(3)->ArgName("factors");

}  // namespace
