// One extended CIR simulation step over a batch of paths, the per-path cost of model_extended_cir::evolve.
// The executable also holds the Markovian HJM step (`evolve`), so one run compares the two: items are paths,
// as there.

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "Analytics/models/model_extended_cir.h"
#include "Analytics/parameters/parameter_extended_cir.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "bench_support.h"

namespace {

using namespace qavrek;

// n factors with speeds, volatilities and levels spread over the usual range.
parameter_extended_cir make_parameter(size_t n) {
  matrix<double> speeds(1, n), volatilities(1, n), shifts(1, n), correlation(n, n);
  for (size_t k = 0; k < n; ++k) {
    speeds(0, k) = 0.1 + 0.4 * static_cast<double>(k);
    volatilities(0, k) = 0.05 + 0.05 * static_cast<double>(k);
    shifts(0, k) = 0.03 / static_cast<double>(k + 1);
    correlation(k, k) = 1.0;
  }
  const std::vector<datetime> last{datetime(bench::valuation.serial() + 3650)};
  return parameter_extended_cir(speeds, volatilities, shifts, correlation, last, last, last,
                                std::make_shared<const day_count_convention>());
}

void extended_cir_evolve(benchmark::State& state) {
  const parameter_extended_cir parameter = make_parameter(static_cast<size_t>(state.range(0)));
  const std::vector<datetime> dates = bench::dates_every_30_days(12);
  const model_extended_cir model(parameter, bench::valuation, dates, false);
  bench::run_steps(state, model, dates.size());
}

BENCHMARK(extended_cir_evolve)->Arg(1)->Arg(3)->ArgName("factors");

}  // namespace
