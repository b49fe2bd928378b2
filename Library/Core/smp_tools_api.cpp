#include "Core/smp_tools_api.h"

#include <tbb/blocked_range.h>
#include <tbb/global_control.h>
#include <tbb/parallel_for.h>

#include <memory>
#include <thread>

#include "Core/check.h"

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
  tbb::parallel_for(tbb::blocked_range<int>(0, count, tbb_grain(0, count)),
                    [&body](const tbb::blocked_range<int>& range) { body(range.begin(), range.end()); });
}

}  // namespace qavrek
