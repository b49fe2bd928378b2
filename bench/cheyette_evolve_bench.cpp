// One Cheyette simulation step over a batch of paths against the Markovian HJM step on the same factors,
// in one run: items are factor-steps (paths x factors per step), so the two rates compare directly.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <vector>

#include "Analytics/models/model_cheyette.h"
#include "Analytics/parameters/parameter_cheyette.h"
#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Util/datetime.h"
#include "bench_support.h"

namespace {

using namespace qavrek;

// n factors with reversions 0.1 apart.
ptr_const<parameter_markovian_hjm> make_parameter(size_t n) { return bench::spread_hjm_parameter(n, 0.1); }

// Skews of both signs, so that both clamp directions run.
parameter_cheyette make_cheyette(const ptr_const<parameter_markovian_hjm>& hjm) {
  const size_t n = hjm->number_of_factors();
  matrix<double> skews(1, n);
  for (size_t k = 0; k < n; ++k) skews(0, k) = k % 2 == 0 ? 6.0 : -4.0;
  return parameter_cheyette(hjm, skews, {datetime(bench::valuation.serial() + 3650)}, 0.5);
}

void hjm_step(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  bench::hjm_step(state, *make_parameter(n), bench::dates_every_30_days(12), n);
}

void cheyette_step(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const parameter_cheyette parameter = make_cheyette(make_parameter(n));
  const std::vector<datetime> dates = bench::dates_every_30_days(12);
  const model_cheyette model(parameter, bench::valuation, dates, false, false);
  bench::run_steps(state, model, dates.size(), n);
}

BENCHMARK(hjm_step)->Arg(1)->Arg(2)->ArgName("factors");
BENCHMARK(cheyette_step)->Arg(1)->Arg(2)->ArgName("factors");

}  // namespace
