#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qavrek {

// The Sobol sequence with Joe-Kuo direction numbers, as 32-bit integer coordinates, in Gray-code order:
// point n is the XOR of the direction integers v_(j+1) over the set bits j of n ^ (n >> 1). Consecutive
// points differ by one direction integer per dimension, and any point is reached directly in 32 XORs per
// dimension. Point 0 is the all-zero point; the last point is 2^32 - 1.
class sobol_sequence {
 public:
  static constexpr std::uint64_t last_index = 0xffffffffu;

  static size_t maximum_dimension() noexcept;

  // Starts at point 0.
  explicit sobol_sequence(size_t dimension);

  size_t dimension() const noexcept { return dimension_; }
  std::uint64_t index() const noexcept { return index_; }
  const std::uint32_t* point() const noexcept { return point_.data(); }

  void move_to(std::uint64_t index);
  void advance();

  // Dimension d of points first .. first + count - 1, one dimension at a time: a jump to the first point, then
  // the Gray-code recurrence, sixteen points per step from a table of the four lowest direction integers.
  // Leaves the current point alone.
  void coordinates(size_t d, std::uint64_t first, size_t count, std::uint32_t* out) const;

  // v_k of dimension d (k = 1..32, d = 0..dimension-1), the integer whose top k bits are m_k.
  std::uint32_t direction(size_t d, unsigned k) const noexcept { return directions_[(k - 1) * dimension_ + d]; }

 private:
  size_t dimension_;
  std::vector<std::uint32_t> directions_;  // v_k of every dimension, row k - 1, contiguous over dimensions
  std::vector<std::uint32_t> point_;
  std::uint64_t index_;
};

}  // namespace qavrek
