#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "Analytics/simulation/random_manager.h"
#include "Math/cholesky_decomposition.h"

namespace {

using qavrek::matrix;
using qavrek::random_config;
using qavrek::random_manager;
using qavrek::random_type;

constexpr size_t factors = 10, paths = 10000;

// The factor of a correlation of 0.5 between every two factors: a full lower triangle.
matrix<double> decomposed_correlation() {
  matrix<double> l(factors, factors, 0.5);
  for (size_t i = 0; i < factors; ++i) l(i, i) = 1.0;
  qavrek::cholesky_decomposition(l.data(), factors, 'L');
  return l;
}

// Up front: correlate is the product of the factor and one stored date, 10 x 10 by 10 x 10,000.
void correlate_up_front(benchmark::State& state) {
  constexpr size_t dates = 13;
  const random_manager manager(std::make_shared<const random_config>(random_type::SOBOL, 42, paths, dates, factors),
                               random_manager::drawing::up_front);
  const auto l = decomposed_correlation();
  size_t t = 1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(manager.correlate(t, l).data());
    t = t + 1 < dates ? t + 1 : 1;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * factors * paths));
}
BENCHMARK(correlate_up_front);

// One date at a time: each call also draws the date's 100,000 normals. The dates run forward, as in a
// simulation, so the generator is rebuilt only when a Sobol run (300 dates of 10 dimensions) starts again.
void correlate_one_date(benchmark::State& state) {
  const auto type = static_cast<random_type>(state.range(0));
  const size_t dates = qavrek::random::generate_upfront_onley(type) ? 300 : size_t(1) << 30;
  const random_manager manager(std::make_shared<const random_config>(type, 42, paths, dates, factors));
  const auto l = decomposed_correlation();
  size_t t = 1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(manager.correlate(t, l).data());
    t = t + 1 < dates ? t + 1 : 1;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * factors * paths));
}
BENCHMARK(correlate_one_date)
    ->ArgName("type")
    ->Arg(static_cast<int64_t>(random_type::SOBOL))
    ->Arg(static_cast<int64_t>(random_type::SOBOL_BROWNIAN_BRIDGE))
    ->Arg(static_cast<int64_t>(random_type::WELL_19937))
    ->Arg(static_cast<int64_t>(random_type::WELL_44497))
    ->Arg(static_cast<int64_t>(random_type::MERSENNE_TWISTER));

}  // namespace
