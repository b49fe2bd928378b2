#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace qavrek {

// Work space for a handful of per-factor values in the set-up of a path loop. It lives on the stack
// for every realistic number of factors, so that a simulation step or a conditional price allocates
// nothing per call; only an unusually wide model spills to the heap.
class factor_scratch {
 public:
  static constexpr size_t inline_capacity = 128;

  // `size` doubles, all zero.
  explicit factor_scratch(size_t size) : size_(size) {
    if (size > inline_capacity) {
      heap_.assign(size, 0.0);
      data_ = heap_.data();
    } else {
      inline_.fill(0.0);
      data_ = inline_.data();
    }
  }

  factor_scratch(const factor_scratch&) = delete;
  factor_scratch& operator=(const factor_scratch&) = delete;

  double* data() noexcept { return data_; }
  size_t size() const noexcept { return size_; }
  // The values from position `first` on, for carving several per-factor vectors out of one scratch.
  double* block(size_t first) noexcept { return data_ + first; }

 private:
  std::array<double, inline_capacity> inline_;
  std::vector<double> heap_;
  double* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace qavrek
