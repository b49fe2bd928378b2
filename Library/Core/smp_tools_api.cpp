#include "Core/smp_tools_api.h"

#include <tbb/blocked_range.h>
#include <tbb/global_control.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <memory>
#include <thread>

#include "Core/check.h"
#include "Core/smp_thread_pool.h"

// Debian's oneTBB is not built with ThreadSanitizer, which cannot see its synchronisation and reports
// every hand-over of data between its threads as a race: under the sanitizer its loops run on the pool.
#if defined(__SANITIZE_THREAD__)
#define QAVREK_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QAVREK_THREAD_SANITIZER 1
#endif
#endif

namespace qavrek {
namespace {

size_t machine_threads() {
  const unsigned count = std::thread::hardware_concurrency();
  return count == 0 ? 1 : count;
}

// Caps oneTBB's threads while a thread count is set.
std::unique_ptr<tbb::global_control>& tbb_limit() {
  static std::unique_ptr<tbb::global_control> limit;
  return limit;
}

// About 200 chunks at most: small loops go one index per task.
int tbb_grain(int first, int last) {
  const int length = last - first;
  return length < 200 ? 1 : (length - 1) / 200 + 1;
}

}  // namespace

smp_tools_api::smp_tools_api() : number_of_threads_(machine_threads()) {}

smp_tools_api& smp_tools_api::GetInstance() {
  static smp_tools_api instance;
  return instance;
}

void smp_tools_api::set_backend(int32_t backend, size_t number_of_threads) {
  QAVREK_CHECK(backend >= SEQUENTIAL && backend <= TBB_NESTED, "unknown parallel backend ", backend);
  backend_ = backend;
  number_of_threads_ = number_of_threads == 0 ? machine_threads() : number_of_threads;
  tbb_limit() = std::make_unique<tbb::global_control>(tbb::global_control::max_allowed_parallelism,
                                                      number_of_threads_);
}

void smp_tools_api::run_tbb(int count, const std::function<void(int, int)>& body) {
  if (count <= 0) return;
#ifdef QAVREK_THREAD_SANITIZER
  smp_thread_pool& pool = smp_thread_pool::GetInstance();
  // A worker that waited for jobs queued behind it could wait for ever: nested loops run in place.
  if (pool.IsParallelScope()) {
    body(0, count);
    return;
  }
  const int grain = tbb_grain(0, count);
  auto proxy = pool.AllocateThreads(number_of_threads_);
  for (int first = 0; first < count; first += grain) {
    const int last = std::min(first + grain, count);
    proxy->DoJob([&body, first, last] { body(first, last); });
  }
  proxy->Join();
#else
  tbb::parallel_for(tbb::blocked_range<int>(0, count, tbb_grain(0, count)),
                    [&body](const tbb::blocked_range<int>& range) { body(range.begin(), range.end()); });
#endif
}

}  // namespace qavrek
