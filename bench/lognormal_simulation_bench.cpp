// An equity simulated with a Markovian HJM domestic rate against the rate alone, in the same run: one
// batch of 10,000 paths stepped over monthly dates through the simulation manager (correlation of the
// draws, every diffusion's step, every view's finalize). A path-step is one path moved over one date.
//
// The draws are made up front, outside the timing. Over one year they stay in the cache (about 2 MB), as
// the model step benchmarks keep theirs, and the run measures the steps; over ten years (10 MB for the rate
// alone, 19 MB with the equity) the run also measures how fast they stream from memory, which favours the
// rate alone wherever its draws still fit in the last-level cache and the equity's do not. After the runs
// the program prints the ratios of path-step rates, from the medians when --benchmark_repetitions is given.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "Analytics/common/random_config.h"
#include "Analytics/diffusion/equity/diffusion_equity_lognormal.h"
#include "Analytics/diffusion/ir/diffusion_ir_markovian_hjm.h"
#include "Analytics/simulation/simulation_manager.h"
#include "Market/discount_curve.h"
#include "bench_support.h"
#include "rate_reporter.h"

namespace {

using namespace qavrek;

using bench::paths;

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
std::unique_ptr<simulation_manager> make_simulation(size_t rate_factors, size_t steps, bool with_equity) {
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
      std::make_shared<const random_config>(random_type::SOBOL, 42, paths, dates.size(), factors, 0, false, true),
      dates);
}

// The normals are drawn up front (orthogonalising them asks for that) when the manager is built, outside
// the timing; each iteration restarts the batch and runs every step.
void run(benchmark::State& state, bool with_equity) {
  const auto steps = static_cast<size_t>(state.range(1));
  const auto manager = make_simulation(static_cast<size_t>(state.range(0)), steps, with_equity);
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

void configurations(benchmark::internal::Benchmark* benchmark) {
  benchmark->ArgNames({"rate_factors", "months"})->Unit(benchmark::kMillisecond);
  for (int64_t months : {12, 120}) {
    for (int64_t factors : {1, 2, 3}) benchmark->Args({factors, months});
  }
}

BENCHMARK(hjm_rate)->Apply(configurations);
BENCHMARK(equity_with_hjm_rate)->Apply(configurations);

void print_ratios(const bench::rate_reporter& report) {
  std::printf("\nPath-step rates, the equity with the rate over the rate alone (goal: at least 0.5 over a year):\n");
  for (const auto& [args, rate] : report.rates("hjm_rate"))
    report.print_ratio(args, "equity_with_hjm_rate", "hjm_rate", args);
}

}  // namespace

int main(int argc, char** argv) {
  bench::rate_reporter reporter("path_steps", print_ratios);
  return bench::run_benchmarks(argc, argv, reporter);
}
