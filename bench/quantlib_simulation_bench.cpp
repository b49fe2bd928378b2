// Monte Carlo of an n-factor Hull-White rate, 10,000 paths over 120 monthly steps, side by side with
// QuantLib's MultiPathGenerator over a StochasticProcessArray of n correlated Hull-White processes, in one
// process. Rates are factor-steps per second (one factor of one path moved over one date); after the runs the
// program prints the ratios that matter, taken from the medians when --benchmark_repetitions is given.
//
// - kernel: the steps alone, the normals of the batch drawn up front outside the timing;
// - mersenne, sobol, sobol_bridge: everything a batch costs once the model is built, generation included
//   (the simulation manager, its random numbers and every step);
// - quantlib_pseudo_random, quantlib_sobol: MultiPathGenerator with QuantLib's Mersenne twister or Sobol
//   sequence and its inverse cumulative normal (it has no Brownian bridge);
// - mersenne_batch: batch 0 and batch 1,000 of a Mersenne Twister run, generation included: the later batch
//   first moves its generator past the numbers of the 1,000 batches before it;
// - batches: 32 batches of Sobol paths with a Brownian bridge, or of Mersenne Twister paths, on 1, 2, 4 and 8
//   threads (oneTBB);
// - memory: the bytes a random manager holds, against the batch's states and one date of numbers.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <ql/math/matrix.hpp>
#include <ql/math/randomnumbers/rngtraits.hpp>
#include <ql/methods/montecarlo/multipathgenerator.hpp>
#include <ql/processes/hullwhiteprocess.hpp>
#include <ql/processes/stochasticprocessarray.hpp>
#include <ql/termstructures/yield/flatforward.hpp>
#include <ql/time/daycounters/actual365fixed.hpp>

#include "Analytics/common/random_config.h"
#include "Analytics/diffusion/ir/diffusion_ir_markovian_hjm.h"
#include "Analytics/simulation/random_manager.h"
#include "Analytics/simulation/simulation_manager.h"
#include "Core/parallel_for.h"
#include "Core/smp_tools_api.h"
#include "Market/discount_curve.h"
#include "rate_reporter.h"

namespace {

using namespace qavrek;

constexpr size_t paths = 10000;
constexpr size_t steps = 120;
constexpr double rate = 0.03;
constexpr size_t seed = 42;

double decay(size_t k) { return 0.03 + 0.3 * static_cast<double>(k); }
double volatility(size_t k) { return 0.01 / static_cast<double>(k + 1); }
double correlation(size_t i, size_t j) { return i == j ? 1.0 : 0.3; }

std::vector<datetime> monthly_dates() {
  std::vector<datetime> dates;
  for (size_t i = 0; i <= steps; ++i)
    dates.emplace_back(2024 + static_cast<int>(i / 12), static_cast<int>(i % 12) + 1, 15);
  return dates;
}

// ---------------------------------------------------------------------------------------------------------
// qavrek

struct hjm_simulation {
  explicit hjm_simulation(size_t factors) : factors(factors), dates(monthly_dates()) {
    matrix<double> decays(1, factors), volatilities(1, factors), correlations(factors, factors);
    for (size_t k = 0; k < factors; ++k) {
      decays(0, k) = decay(k);
      volatilities(0, k) = volatility(k);
      for (size_t j = 0; j < factors; ++j) correlations(k, j) = correlation(k, j);
    }
    correlations_ = correlations;
    const auto parameter = std::make_shared<const parameter_markovian_hjm>(
        decays, volatilities, correlations, std::vector{dates.back()}, std::vector{dates.back()},
        std::make_shared<const day_count_convention>(), parameter_markovian_hjm_type::HULL_WHITE);
    rate_ = std::make_shared<const diffusion_ir_markovian_hjm>(
        dates, std::make_shared<const discount_curve>(dates.front(), rate), parameter);
  }

  ptr_const<random_config> config(random_type type, size_t batch = 0, bool orthogonalization = false) const {
    return std::make_shared<const random_config>(type, seed, paths, dates.size(), factors, batch, false,
                                                 orthogonalization);
  }

  std::unique_ptr<simulation_manager> manager(const ptr_const<random_config>& random) const {
    return std::make_unique<simulation_manager>(std::vector<ptr_const<diffusion>>{rate_},
                                                std::vector{std::make_shared<const change_of_measure>()},
                                                correlations_, random, dates);
  }

  static void run(simulation_manager& manager) {
    manager.states_initialize();
    for (size_t t = 1; t <= steps; ++t) manager.propagate(t);
  }

  size_t states() const { return rate_->number_of_states(); }

  size_t factors;
  std::vector<datetime> dates;

 private:
  matrix<double> correlations_;
  ptr_const<diffusion> rate_;
};

void report_factor_steps(benchmark::State& state, size_t factors, size_t batches = 1) {
  const double factor_steps = static_cast<double>(state.iterations() * batches * factors * steps * paths);
  state.counters["factor_steps"] = benchmark::Counter(factor_steps, benchmark::Counter::kIsRate);
}

// Orthogonalisation makes the manager draw the whole batch when it is built, so that the timing holds the
// steps alone.
void kernel(benchmark::State& state) {
  const hjm_simulation simulation(static_cast<size_t>(state.range(0)));
  const auto manager = simulation.manager(simulation.config(random_type::MERSENNE_TWISTER, 0, true));
  for (auto _ : state) {
    hjm_simulation::run(*manager);
    benchmark::ClobberMemory();
  }
  report_factor_steps(state, simulation.factors);
}

void generated(benchmark::State& state, random_type type) {
  const hjm_simulation simulation(static_cast<size_t>(state.range(0)));
  const auto config = simulation.config(type);
  for (auto _ : state) {
    const auto manager = simulation.manager(config);
    hjm_simulation::run(*manager);
    benchmark::ClobberMemory();
  }
  report_factor_steps(state, simulation.factors);
}

void mersenne(benchmark::State& state) { generated(state, random_type::MERSENNE_TWISTER); }
void sobol(benchmark::State& state) { generated(state, random_type::SOBOL); }
void sobol_bridge(benchmark::State& state) { generated(state, random_type::SOBOL_BROWNIAN_BRIDGE); }

// Batch b of a 3-factor run; one batch is built first, so that the timing leaves out what a process does once
// (the generator's jump table).
void mersenne_batch(benchmark::State& state) {
  const hjm_simulation simulation(3);
  const auto config = simulation.config(random_type::MERSENNE_TWISTER, static_cast<size_t>(state.range(0)));
  hjm_simulation::run(*simulation.manager(config));
  for (auto _ : state) {
    const auto manager = simulation.manager(config);
    hjm_simulation::run(*manager);
    benchmark::ClobberMemory();
  }
  report_factor_steps(state, simulation.factors);
}

// Batch b of every iteration is one simulation manager with batch index b, on whichever thread takes it;
// 32 batches, so that a thread held up by the machine's other work delays the others little.
void batches(benchmark::State& state) {
  constexpr size_t count = 32;
  const hjm_simulation simulation(3);
  const auto threads = static_cast<size_t>(state.range(0));
  const auto type = static_cast<random_type>(state.range(1));
  std::vector<ptr_const<random_config>> configs;
  for (size_t b = 0; b < count; ++b) configs.push_back(simulation.config(type, b));
  smp_tools_api::GetInstance().set_backend(smp_tools_api::TBB, threads);
  for (auto _ : state) {
    parallel_for(count, [&](int first, int last) {
      for (int b = first; b < last; ++b) hjm_simulation::run(*simulation.manager(configs[static_cast<size_t>(b)]));
    });
  }
  smp_tools_api::GetInstance().set_backend(smp_tools_api::SEQUENTIAL, 1);
  report_factor_steps(state, simulation.factors, count);
}

size_t allocated_bytes() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// The most a random manager holds at once while it serves every date of a batch (3 factors), its workspace
// included, over the batch's states (those of one date) and over one date of numbers.
void memory(benchmark::State& state) {
  const auto type = static_cast<random_type>(state.range(0));
  const hjm_simulation simulation(3);
  matrix<double> identity(3, 3);
  for (size_t k = 0; k < 3; ++k) identity(k, k) = 1.0;
  size_t held = 0;
  for (auto _ : state) {
    // On a thread of its own, which has no workspace left by the batches before.
    std::thread([&] {
      const size_t before = allocated_bytes();
      const random_manager manager(simulation.config(type));
      held = allocated_bytes() - before;
      for (size_t t = 1; t <= steps; ++t) {
        benchmark::DoNotOptimize(manager.correlate(t, identity).data());
        held = std::max(held, allocated_bytes() - before);
      }
    }).join();
  }
  const double date_bytes = static_cast<double>(simulation.factors * paths * sizeof(double));
  const double states_bytes = static_cast<double>(simulation.states() * paths * sizeof(double));
  state.counters["bytes"] = static_cast<double>(held);
  state.counters["per_date"] = static_cast<double>(held) / date_bytes;
  state.counters["per_2_states_1_date"] = static_cast<double>(held) / (2.0 * states_bytes + date_bytes);
}

// ---------------------------------------------------------------------------------------------------------
// QuantLib

template <class Generator>
void quantlib(benchmark::State& state) {
  using namespace QuantLib;
  const auto factors = static_cast<size_t>(state.range(0));
  const std::vector<datetime> dates = monthly_dates();
  std::vector<Time> times;
  for (const datetime& d : dates) times.push_back((d.serial() - dates.front().serial()) / 365.0);

  const Date today(15, January, 2024);
  const Handle<YieldTermStructure> curve(ext::make_shared<FlatForward>(today, rate, Actual365Fixed()));
  std::vector<ext::shared_ptr<StochasticProcess1D>> processes;
  Matrix correlations(factors, factors);
  for (size_t k = 0; k < factors; ++k) {
    processes.push_back(ext::make_shared<HullWhiteProcess>(curve, decay(k), volatility(k)));
    for (size_t j = 0; j < factors; ++j) correlations[k][j] = correlation(k, j);
  }
  const auto process = ext::make_shared<StochasticProcessArray>(processes, correlations);
  const TimeGrid grid(times.begin(), times.end());
  MultiPathGenerator<typename Generator::rsg_type> generator(
      process, grid, Generator::make_sequence_generator(factors * steps, seed), false);
  for (auto _ : state) {
    for (size_t p = 0; p < paths; ++p) benchmark::DoNotOptimize(generator.next().value[0].back());
  }
  report_factor_steps(state, factors);
}

void quantlib_pseudo_random(benchmark::State& state) { quantlib<QuantLib::PseudoRandom>(state); }
void quantlib_sobol(benchmark::State& state) { quantlib<QuantLib::LowDiscrepancy>(state); }

BENCHMARK(kernel)->ArgName("factors")->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);
BENCHMARK(mersenne)->ArgName("factors")->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);
BENCHMARK(sobol)->ArgName("factors")->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);
BENCHMARK(sobol_bridge)->ArgName("factors")->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);
BENCHMARK(quantlib_pseudo_random)->ArgName("factors")->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);
BENCHMARK(quantlib_sobol)->ArgName("factors")->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);
BENCHMARK(mersenne_batch)->ArgName("batch")->Arg(0)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(batches)
    ->ArgNames({"threads", "type"})
    ->ArgsProduct({{1, 2, 4, 8},
                   {static_cast<int64_t>(random_type::SOBOL_BROWNIAN_BRIDGE),
                    static_cast<int64_t>(random_type::MERSENNE_TWISTER)}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(memory)
    ->ArgName("type")
    ->Arg(static_cast<int64_t>(random_type::SOBOL))
    ->Arg(static_cast<int64_t>(random_type::SOBOL_BROWNIAN_BRIDGE))
    ->Arg(static_cast<int64_t>(random_type::MERSENNE_TWISTER))
    ->Iterations(1);

// ---------------------------------------------------------------------------------------------------------
// The ratios, printed after the console report.

void print_ratios(const bench::rate_reporter& report) {
  std::printf("\nRatios of factor-step rates:\n");
  for (const std::string factors : {"factors:1", "factors:3"}) {
    report.print_ratio("mersenne / kernel, " + factors, "mersenne", "kernel", factors, "at least 0.6");
    report.print_ratio("mersenne / quantlib_pseudo_random, " + factors, "mersenne", "quantlib_pseudo_random",
                       factors, "at least 60");
    report.print_ratio("sobol / quantlib_sobol, " + factors, "sobol", "quantlib_sobol", factors);
    report.print_ratio("sobol_bridge time / mersenne time, " + factors, "mersenne", "sobol_bridge", factors,
                       "at most 1.5");
  }
  const std::optional<double> first = report.rate("mersenne_batch", "batch:0");
  const std::optional<double> later = report.rate("mersenne_batch", "batch:1000");
  if (first && later)
    std::printf("  mersenne_batch time, batch:1000 / batch:0: %.3f   (goal: at most 1.1)\n", *first / *later);
  for (const random_type type : {random_type::SOBOL_BROWNIAN_BRIDGE, random_type::MERSENNE_TWISTER}) {
    const std::string of_type = "/type:" + std::to_string(static_cast<int>(type));
    const std::optional<double> one = report.rate("batches", "threads:1" + of_type);
    for (const std::string threads : {"threads:2", "threads:4", "threads:8"}) {
      const std::optional<double> many = report.rate("batches", threads + of_type);
      if (many && one)
        std::printf("  batches %s%s / threads:1: %.2f%s\n", threads.c_str(), of_type.c_str(), *many / *one,
                    threads == "threads:4" ? "   (goal: at least 3.6)" : "");
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  bench::rate_reporter reporter("factor_steps", print_ratios);
  return bench::run_benchmarks(argc, argv, reporter);
}
