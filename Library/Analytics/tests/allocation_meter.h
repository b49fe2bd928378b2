#pragma once

#include <cstddef>

namespace qavrek::allocation_test {

// Counts what operator new and aligned_alloc (the storage of matrices) hand out while a meter lives, on
// every thread: a test executable that links allocation_meter.cpp replaces both. The sum of the requests
// bounds from above the most memory in use at any moment, whatever was freed in between.
class allocation_meter {
 public:
  allocation_meter();
  ~allocation_meter();
  allocation_meter(const allocation_meter&) = delete;
  allocation_meter& operator=(const allocation_meter&) = delete;

  std::size_t requested_bytes() const;
  std::size_t largest_request() const;
};

}  // namespace qavrek::allocation_test
