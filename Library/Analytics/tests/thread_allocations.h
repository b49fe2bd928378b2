#pragma once

#include <cstddef>

namespace qavrek::allocation_test {

// Counts the heap allocations of the calling thread: a test executable that links thread_allocations.cpp
// defines the C allocation functions itself (the C++ operators reach them too) and forwards to the C
// library's own. Under the address sanitizer, which owns those functions, there is nothing to count.
bool counts_allocations() noexcept;

void start_counting() noexcept;
// The allocations since start_counting on this thread.
size_t stop_counting() noexcept;

// The heap allocations that `work` makes on this thread.
template <class Work>
size_t allocations_of(const Work& work) {
  start_counting();
  work();
  return stop_counting();
}

}  // namespace qavrek::allocation_test
