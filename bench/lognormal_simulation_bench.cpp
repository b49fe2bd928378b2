// An equity simulated with a Markovian HJM domestic rate against the rate alone, in the same run: one
// batch of 10,000 paths stepped over 120 monthly dates through the simulation manager (correlation of
// the draws, every diffusion's step, every view's finalize). A path-step is one path moved over one date.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "Analytics/common/random_config.h"
#include "Analytics/diffusion/equity/diffusion_equity_lognormal.h"
#include "Analytics/diffusion/ir/diffusion_ir_markovian_hjm.h"
#include "Analytics/simulation/simulation_manager.h"
#include "Market/discount_curve.h"
#include "bench_support.h"

namespace {

using namespace qavrek;

using bench::paths;
constexpr size_t steps = 120;

// n rate factors with reversions and volatilities over the usual range, mildly correlated.
ptr_const<parameter_markovian_hjm> rate_parameters(size_t n) {
  matrix<double> decays(1, n), volatilities(2, n), correlation(n, n);
  for (size_t k = 0; k < n; ++k) {
    decays(0, k) = 0.03 + 0.3 * static_cast<double>(k);
    volatilities(0, k) = 0.01 / static_cast<double>(k + 1);
    volatilities(1, k) = 0.008 / static_cast<double>(k + 1);
    for (size_t j = 0; j < n; ++j) correlation(k, j) = k == j ? 1.0 : 0.3;
  }
  return bench::hjm_parameter(decays, volatilities, correlation);
}

// A one-factor equity whose volatility changes every two years, correlated 0.3 with each rate factor.
std::unique_ptr<simulation_manager> make_simulation(size_t rate_factors, bool with_equity) {
  const std::vector<datetime> dates = bench::mid_month_dates(steps);
  const datetime start = dates.front();
  const auto curve = std::make_shared<const discount_curve>(start, 0.03);
  std::vector<ptr_const<diffusion>> assets{
      std::make_shared<const diffusion_ir_markovian_hjm>(dates, curve, rate_parameters(rate_factors))};
  size_t factors = rate_factors;
  if (with_equity) {
    assets.push_back(std::make_shared<const diffusion_equity_lognormal>(
        dates, 100.0, curve,
        std::make_shared<const parameter_lognormal>(
            matrix<double>{{0.25}, {0.2}, {0.22}}, matrix<double>{{1.0}},
            std::vector{datetime(2026, 1, 1), datetime(2028, 1, 1), datetime(2030, 1, 1)},
            std::make_shared<const day_count_convention>())));
    ++factors;
  }
  matrix<double> correlation(factors, factors);
  for (size_t i = 0; i < factors; ++i)
    for (size_t j = 0; j < factors; ++j) correlation(i, j) = i == j ? 1.0 : 0.3;
  return std::make_unique<simulation_manager>(
      assets, std::vector(assets.size(), std::make_shared<const change_of_measure>()), correlation,
      std::make_shared<const random_config>(random_type::SOBOL, 42, paths, dates.size(), factors), dates);
}

// The normals are drawn up front (Sobol) when the manager is built, outside the timing; each iteration
// restarts the batch and runs every step.
void run(benchmark::State& state, bool with_equity) {
  const auto manager = make_simulation(static_cast<size_t>(state.range(0)), with_equity);
  for (auto _ : state) {
    manager->states_initialize();
    for (size_t t = 1; t <= steps; ++t) manager->propagate(t);
    benchmark::ClobberMemory();
  }
  state.counters["path_steps"] =
      benchmark::Counter(static_cast<double>(state.iterations() * paths * steps), benchmark::Counter::kIsRate);
}

void hjm_rate(benchmark::State& state) { run(state, false); }
void equity_with_hjm_rate(benchmark::State& state) { run(state, true); }

BENCHMARK(hjm_rate)->Arg(1)->Arg(2)->Arg(3)->ArgName("rate_factors")->Unit(benchmark::kMillisecond);
BENCHMARK(equity_with_hjm_rate)->Arg(1)->Arg(2)->Arg(3)->ArgName("rate_factors")->Unit(benchmark::kMillisecond);

}  // namespace
