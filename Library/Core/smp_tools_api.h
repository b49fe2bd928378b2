#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace qavrek {

// The process-wide choice of how parallel loops run:
// 0 sequential, 1 Core's thread pool, 2 oneTBB, 3 oneTBB with nested loops allowed.
class smp_tools_api {
 public:
  enum backend_type : int32_t { SEQUENTIAL = 0, THREAD_POOL = 1, TBB = 2, TBB_NESTED = 3 };

  static smp_tools_api& GetInstance();

  // Selects the backend and the number of threads (0: as many as the machine has).
  void set_backend(int32_t backend, size_t number_of_threads = 0);
  int32_t backend() const noexcept { return backend_; }
  size_t GetNumberOfThreadsSTDThread() const noexcept { return number_of_threads_; }
  // Whether a loop started inside a parallel loop of the current backend may itself run in parallel.
  bool nested_parallelism() const noexcept { return backend_ == TBB_NESTED; }

  // Runs body(first, last) over disjoint subranges of [0, count) on oneTBB's threads.
  void run_tbb(int count, const std::function<void(int, int)>& body);

  std::atomic<int>& tbb_region_flag() noexcept { return tbb_region_flag_; }

 private:
  smp_tools_api();
  int32_t backend_ = TBB;
  size_t number_of_threads_ = 1;
  std::atomic<int> tbb_region_flag_{0};
};

}  // namespace qavrek
