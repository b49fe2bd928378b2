// A Monte Carlo run builds one random manager per batch. On each thread the batches after the first reuse
// what the batch before them left, the buffer of the numbers and the Sobol generator, and allocate nothing
// on the heap: neither when they are built, nor for any date, nor when they are destroyed.
//
// The heap allocations are those of the calling thread, counted by thread_allocations.cpp.

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "Analytics/simulation/random_manager.h"
#include "Math/cholesky_decomposition.h"
#include "thread_allocations.h"

namespace qavrek {
namespace {

using drawing = random_manager::drawing;

constexpr size_t paths = 64, dates = 6, brownians = 3;

struct reuse_case {
  random_type type;
  bool use_shift;
  drawing mode;
  std::string name;
};

void PrintTo(const reuse_case& c, std::ostream* out) { *out << c.name; }

// Every date of a batch, the way a simulation asks for them.
void run_batch(const ptr_const<random_config>& config, drawing mode, const matrix<double>& factor) {
  const random_manager manager(config, mode);
  for (size_t t = 1; t < dates; ++t) manager.correlate(t, factor);
}

class RandomManagerAllocations : public testing::TestWithParam<reuse_case> {};

TEST_P(RandomManagerAllocations, SobolBatchesAfterTheFirstOnAThreadAllocateNothing) {
  if (!allocation_test::counts_allocations()) GTEST_SKIP() << "the sanitizer owns the allocation functions";
  const reuse_case& c = GetParam();
  matrix<double> factor(brownians, brownians, 0.4);
  for (size_t k = 0; k < brownians; ++k) factor(k, k) = 1.0;
  ASSERT_TRUE(cholesky_decomposition(factor.data(), brownians, 'L'));
  // Up front, orthogonalised: the whole batch at once. Later batches, then back to earlier ones.
  const bool orthogonalization = c.mode == drawing::up_front;
  const std::vector<size_t> order = {0, 1, 2, 9, 3, 0, 5};

  // Two threads at once, each with batches of its own.
  constexpr size_t threads = 2;
  std::vector<std::vector<size_t>> counts(threads);
  std::vector<std::thread> running;
  for (size_t i = 0; i < threads; ++i)
    running.emplace_back([&, i] {
      std::vector<ptr_const<random_config>> configs;
      for (size_t b : order)
        configs.push_back(std::make_shared<const random_config>(c.type, 2024, paths, dates, brownians,
                                                                b + 10 * i, c.use_shift, orthogonalization));
      for (const auto& config : configs)
        counts[i].push_back(allocation_test::allocations_of([&] { run_batch(config, c.mode, factor); }));
    });
  for (auto& thread : running) thread.join();

  for (size_t i = 0; i < threads; ++i) {
    EXPECT_GT(counts[i][0], 0u) << "the first batch on thread " << i << " makes the workspace";
    for (size_t j = 1; j < order.size(); ++j)
      EXPECT_EQ(counts[i][j], 0u) << "batch " << order[j] + 10 * i << " on thread " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    SobolTypes, RandomManagerAllocations,
    testing::Values(reuse_case{random_type::SOBOL, false, drawing::one_date, "Sobol"},
                    reuse_case{random_type::SOBOL, true, drawing::one_date, "ShiftedSobol"},
                    reuse_case{random_type::SOBOL_BROWNIAN_BRIDGE, false, drawing::one_date, "SobolBridge"},
                    reuse_case{random_type::SOBOL_BROWNIAN_BRIDGE, true, drawing::one_date, "ShiftedSobolBridge"},
                    reuse_case{random_type::SOBOL, false, drawing::up_front, "SobolUpFront"},
                    reuse_case{random_type::SOBOL_BROWNIAN_BRIDGE, true, drawing::up_front, "ShiftedSobolBridgeUpFront"}),
    [](const testing::TestParamInfo<reuse_case>& info) { return info.param.name; });

}  // namespace
}  // namespace qavrek
