#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>
#include <stdexcept>
#include <thread>
#include <vector>

#include "Core/parallel_for.h"

namespace qavrek {
namespace {

// Restores the process-wide setting after each test.
class parallel_for_test : public ::testing::TestWithParam<std::pair<int, size_t>> {
 protected:
  void SetUp() override { smp_tools_api::GetInstance().set_backend(GetParam().first, GetParam().second); }
  void TearDown() override { smp_tools_api::GetInstance().set_backend(smp_tools_api::TBB, 0); }
};

TEST_P(parallel_for_test, EveryIndexRunsOnceInIncreasingOrderWithinItsRange) {
  for (size_t count : {0u, 1u, 7u, 199u, 200u, 1001u}) {
    std::vector<std::atomic<int>> visits(count);
    std::atomic<int> disorder{0};
    parallel_for(count, [&](int first, int last) {
      int previous = first - 1;
      for (int i = first; i < last; ++i) {
        if (i != previous + 1) ++disorder;
        previous = i;
        ++visits[static_cast<size_t>(i)];
      }
    });
    for (size_t i = 0; i < count; ++i) EXPECT_EQ(visits[i].load(), 1) << "count " << count << " index " << i;
    EXPECT_EQ(disorder.load(), 0);
  }
}

TEST_P(parallel_for_test, DisjointWritesGiveTheSequentialResult) {
  const size_t count = 513;
  std::vector<double> parallel(count), sequential(count);
  auto square_root_sum = [](size_t i) {
    double s = 0.0;
    for (size_t k = 0; k <= i; ++k) s += std::sqrt(static_cast<double>(k));
    return s;
  };
  for (size_t i = 0; i < count; ++i) sequential[i] = square_root_sum(i);
  parallel_for(count, [&](int first, int last) {
    for (int i = first; i < last; ++i) parallel[static_cast<size_t>(i)] = square_root_sum(static_cast<size_t>(i));
  });
  EXPECT_EQ(parallel, sequential);
}

TEST_P(parallel_for_test, AnExceptionReachesTheCaller) {
  EXPECT_THROW(parallel_for(100, [](int first, int last) {
                 for (int i = first; i < last; ++i)
                   if (i == 42) throw std::runtime_error("iteration 42 failed");
               }),
               std::runtime_error);
  // The backend still works afterwards.
  std::atomic<int> total{0};
  parallel_for(10, [&](int first, int last) { total += last - first; });
  EXPECT_EQ(total.load(), 10);
}

TEST_P(parallel_for_test, InnerLoopsCoverTheirRanges) {
  std::atomic<int> total{0};
  parallel_for(8, [&](int first, int last) {
    for (int i = first; i < last; ++i) parallel_for(16, [&](int a, int b) { total += b - a; });
  });
  EXPECT_EQ(total.load(), 8 * 16);
}

INSTANTIATE_TEST_SUITE_P(Backends, parallel_for_test,
                         ::testing::Values(std::pair{0, size_t(1)}, std::pair{1, size_t(1)}, std::pair{1, size_t(8)},
                                           std::pair{2, size_t(1)}, std::pair{2, size_t(8)}, std::pair{3, size_t(4)}),
                         [](const auto& info) {
                           return "backend" + std::to_string(info.param.first) + "_threads" +
                                  std::to_string(info.param.second);
                         });

TEST(ParallelFor, ThreadPoolRunsNestedLoopsOnTheWorker) {
  smp_tools_api::GetInstance().set_backend(smp_tools_api::THREAD_POOL, 4);
  std::atomic<int> inner_on_other_thread{0};
  parallel_for(4, [&](int first, int last) {
    for (int i = first; i < last; ++i) {
      const auto outer = std::this_thread::get_id();
      parallel_for(32, [&](int, int) {
        if (std::this_thread::get_id() != outer) ++inner_on_other_thread;
      });
    }
  });
  EXPECT_EQ(inner_on_other_thread.load(), 0);
  smp_tools_api::GetInstance().set_backend(smp_tools_api::TBB, 0);
}

// Loops started from several threads at once share the pool's workers; each covers its own range.
TEST(ParallelFor, LoopsFromSeveralThreadsShareThePool) {
  smp_tools_api::GetInstance().set_backend(smp_tools_api::THREAD_POOL, 4);
  constexpr int rounds = 20, count = 1000;
  std::vector<int> complete(4, 0);
  std::vector<std::thread> callers;
  for (size_t c = 0; c < complete.size(); ++c)
    callers.emplace_back([&complete, c] {
      for (int round = 0; round < rounds; ++round) {
        std::vector<int> visits(count, 0);
        parallel_for(count, [&visits](int first, int last) {
          for (int i = first; i < last; ++i) ++visits[static_cast<size_t>(i)];
        });
        complete[c] += std::count(visits.begin(), visits.end(), 1) == count;
      }
    });
  for (auto& caller : callers) caller.join();
  EXPECT_EQ(complete, std::vector<int>(4, rounds));
  smp_tools_api::GetInstance().set_backend(smp_tools_api::TBB, 0);
}

TEST(ParallelFor, UnknownBackendIsRefused) {
  EXPECT_THROW(smp_tools_api::GetInstance().set_backend(4, 1), Error);
  EXPECT_EQ(smp_tools_api::GetInstance().backend(), smp_tools_api::TBB);
}

}  // namespace
}  // namespace qavrek
