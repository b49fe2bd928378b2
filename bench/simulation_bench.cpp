#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "Analytics/common/random_config.h"
#include "Analytics/diffusion/credit/diffusion_credit_markovian_hjm.h"
#include "Analytics/diffusion/ir/diffusion_ir_markovian_hjm.h"
#include "Analytics/simulation/simulation_manager.h"
#include "Market/discount_curve.h"
#include "Market/survival_curve.h"
#include "bench_support.h"

namespace {

using namespace qavrek;

// A three-factor HJM rate and a one-factor HJM credit, 10,000 paths, 120 monthly steps: four factors
// stepped per path and date. A factor-step is one factor of one path moved over one date.
using bench::paths;
constexpr size_t steps = 120;
constexpr size_t factors = 4;

std::unique_ptr<simulation_manager> make_simulation(random_type generator, bool orthogonalization = false) {
  const std::vector<datetime> dates = bench::mid_month_dates(steps);
  const datetime start = dates.front();
  const auto rate = std::make_shared<const diffusion_ir_markovian_hjm>(
      dates, std::make_shared<const discount_curve>(start, 0.03),
      bench::hjm_parameter({{0.01, 0.3, 1.5}}, {{0.01, 0.008, 0.007}, {0.009, 0.007, 0.006}},
                           {{1.0, -0.5, 0.2}, {-0.5, 1.0, 0.3}, {0.2, 0.3, 1.0}}));
  const auto credit = std::make_shared<const diffusion_credit_markovian_hjm>(
      dates, std::make_shared<const survival_curve>(start, 0.02),
      bench::hjm_parameter({{0.1}}, {{0.012}, {0.01}}, {{1.0}}));
  const matrix<double> correlation = {
      {1.0, -0.5, 0.2, 0.3}, {-0.5, 1.0, 0.3, 0.0}, {0.2, 0.3, 1.0, 0.0}, {0.3, 0.0, 0.0, 1.0}};
  return std::make_unique<simulation_manager>(
      std::vector<ptr_const<diffusion>>{rate, credit},
      std::vector{std::make_shared<const change_of_measure>(), std::make_shared<const change_of_measure>()},
      correlation,
      std::make_shared<const random_config>(generator, 42, paths, dates.size(), factors, 0, false, orthogonalization),
      dates);
}

void run_all_steps(simulation_manager& manager) {
  manager.states_initialize();
  for (size_t t = 1; t <= steps; ++t) manager.propagate(t);
}

void report_factor_steps(benchmark::State& state) {
  const double factor_steps = static_cast<double>(state.iterations() * factors * steps * paths);
  state.counters["factor_steps"] = benchmark::Counter(factor_steps, benchmark::Counter::kIsRate);
}

// The engine alone: the normals of the batch are drawn up front when the manager is built (orthogonalising
// them asks for that), outside the timing; each iteration restarts the batch and runs every step
// (correlation, both diffusions, views).
void simulation_steps(benchmark::State& state) {
  const auto manager = make_simulation(random_type::MERSENNE_TWISTER, true);
  for (auto _ : state) {
    run_all_steps(*manager);
    benchmark::ClobberMemory();
  }
  report_factor_steps(state);
}
BENCHMARK(simulation_steps)->Unit(benchmark::kMillisecond);

// Everything a batch costs: building the diffusions' models and the manager, and drawing the normals date
// by date from a Mersenne twister while stepping.
void full_simulation(benchmark::State& state) {
  for (auto _ : state) {
    const auto manager = make_simulation(random_type::MERSENNE_TWISTER);
    run_all_steps(*manager);
    benchmark::ClobberMemory();
  }
  report_factor_steps(state);
}
BENCHMARK(full_simulation)->Unit(benchmark::kMillisecond);

}  // namespace
