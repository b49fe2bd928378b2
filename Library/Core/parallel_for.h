#pragma once

#include <algorithm>
#include <functional>
#include <limits>

#include "Core/check.h"
#include "Core/smp_thread_pool.h"
#include "Core/smp_tools_api.h"

namespace qavrek {

// Runs body(first, last) over disjoint subranges covering [0, count), each handling its indices in
// increasing order, with the backend selected in smp_tools_api. The calling thread waits for all of
// them; the first exception a subrange throws reaches the caller.
template <typename Body>
void parallel_for(size_t count, Body&& body) {
  if (count == 0) return;
  QAVREK_CHECK(count <= static_cast<size_t>(std::numeric_limits<int>::max()), "parallel loop of ", count,
               " iterations is too long");
  smp_tools_api& api = smp_tools_api::GetInstance();
  const int K = static_cast<int>(count);
  switch (api.backend()) {
    case smp_tools_api::SEQUENTIAL:
      body(0, K);
      return;
    case smp_tools_api::THREAD_POOL: {
      smp_thread_pool& pool = smp_thread_pool::GetInstance();
      if (!api.nested_parallelism() && pool.IsParallelScope()) {
        body(0, K);
        return;
      }
      const int threads = static_cast<int>(std::max<size_t>(1, api.GetNumberOfThreadsSTDThread()));
      const int chunk = K / (4 * threads);
      const int step = chunk >= 2 ? chunk : 1;
      auto proxy = pool.AllocateThreads(static_cast<size_t>(threads));
      for (int b = 0; b < K; b += step) {
        const int last = std::min(b + step, K);
        proxy->DoJob([&body, b, last] { body(b, last); });
      }
      proxy->Join();
      return;
    }
    default: {
      std::atomic<int>& region = api.tbb_region_flag();
      if (!api.nested_parallelism() && region.load() != 0) {
        body(0, K);
        return;
      }
      const int previous = region.exchange(1);
      // The flag goes back to what it was also when the loop throws.
      struct restore_flag {
        std::atomic<int>& flag;
        int previous;
        ~restore_flag() {
          int expected = 1;
          flag.compare_exchange_strong(expected, previous);
        }
      } restore{region, previous};
      api.run_tbb(K, std::function<void(int, int)>(std::ref(body)));
      return;
    }
  }
}

}  // namespace qavrek
