// One Markovian HJM simulation step over a batch of paths: the per-path cost of model_markovian_hjm::evolve.

#include <benchmark/benchmark.h>

#include <cstddef>

#include "bench_support.h"

namespace {

using namespace qavrek;

void evolve(benchmark::State& state) {
  const auto parameter = bench::spread_hjm_parameter(static_cast<size_t>(state.range(0)), 0.3);
  bench::hjm_step(state, *parameter, bench::dates_every_30_days(12));
}

BENCHMARK(evolve)->Arg(1)->Arg(3)->ArgName("factors");

}  // namespace
