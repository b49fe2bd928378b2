#pragma once

#include <algorithm>
#include <cstddef>

#include "Core/check.h"
#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

// The work buffers of a call carved out of one aligned block, which grows to the largest size asked for and is
// kept: every call zeroes what it needs and carves it afresh, so a run of calls allocates only while it grows.
class scratch_block {
 public:
  // Zeroes the first `size` numbers, growing the block when it is smaller, and carves from the front again.
  void reset(size_t size) {
    if (storage_.size() < size) storage_.resize(size);
    std::fill(storage_.begin(), storage_.begin() + static_cast<std::ptrdiff_t>(size), 0.0);
    size_ = size;
    next_ = 0;
  }

  // The next `count` numbers of what the last reset zeroed.
  double* carve(size_t count) {
    QAVREK_CHECK(count <= size_ - next_, "a scratch block of ", size_, " numbers has ", size_ - next_,
                 " left, not ", count);
    double* first = storage_.data() + next_;
    next_ += count;
    return first;
  }
  void carve(vector<double>& out, size_t size) { out.rebind(carve(size), size); }
  void carve(matrix<double>& out, size_t rows, size_t columns) {
    out.rebind(carve(rows * columns), rows, columns);
  }

 private:
  vector<double> storage_;
  size_t size_ = 0;
  size_t next_ = 0;
};

}  // namespace qavrek
