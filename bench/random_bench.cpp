#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "Random/random.h"

namespace {

using qavrek::random;
using qavrek::random_settings;
using qavrek::random_type;

// Gaussians per second: one Monte Carlo batch of 60 dates x 4 factors x 1024 paths per iteration, the
// shape the engine asks for (the Sobol types fill whole batches; the others fill any count alike).
void gaussians(benchmark::State& state) {
  const auto type = static_cast<random_type>(state.range(0));
  constexpr size_t dates = 60, brownians = 4, paths = 1024, batch = dates * brownians * paths;
  const auto settings =
      std::make_shared<const random_settings>(42, paths, dates, brownians, 0, false, random_type::WELL_19937, false);
  const auto generator = random::random_generator_factory(type, settings);
  std::vector<double> output(batch);
  for (auto _ : state) {
    generator->gaussians(output.data(), batch, 0);
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * batch));
}

BENCHMARK(gaussians)
    ->ArgName("type")
    ->Arg(static_cast<int64_t>(random_type::SOBOL))
    ->Arg(static_cast<int64_t>(random_type::SOBOL_BROWNIAN_BRIDGE))
    ->Arg(static_cast<int64_t>(random_type::WELL_19937))
    ->Arg(static_cast<int64_t>(random_type::WELL_44497))
    ->Arg(static_cast<int64_t>(random_type::MERSENNE_TWISTER));

// A pseudo-random generator draws through a short skip and jumps a long one (of 2^20 numbers the WELL
// generators jump and the Mersenne Twister, whose words cost least, draws); a Sobol skip is a jump.
void discard(benchmark::State& state) {
  const auto type = static_cast<random_type>(state.range(0));
  const auto settings =
      std::make_shared<const random_settings>(42, 1024, 60, 4, 0, false, random_type::WELL_19937, false);
  auto generator = random::random_generator_factory(type, settings);
  constexpr size_t count = 1 << 20;
  // A Sobol sequence of 240 dimensions ends after about 2^40 numbers: the generator starts again, untimed,
  // long before that.
  constexpr size_t skips_per_generator = size_t(1) << 18;
  size_t skips = 0;
  for (auto _ : state) {
    if (++skips == skips_per_generator) {
      state.PauseTiming();
      generator = random::random_generator_factory(type, settings);
      skips = 0;
      state.ResumeTiming();
    }
    generator->discard(count);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
}

BENCHMARK(discard)
    ->ArgName("type")
    ->Arg(static_cast<int64_t>(random_type::SOBOL))
    ->Arg(static_cast<int64_t>(random_type::WELL_19937))
    ->Arg(static_cast<int64_t>(random_type::WELL_44497))
    ->Arg(static_cast<int64_t>(random_type::MERSENNE_TWISTER));

}  // namespace
