#pragma once

#include <cstddef>
#include <vector>

namespace qavrek {

// Builds a Brownian motion on the unit grid 0, 1, ..., N from N standard normals, the most important first:
// the first places W(N), the next the midpoint of (0, N), then the midpoints of the two halves, and so on
// level by level, left to right (the midpoint of (l, r) is l + (r - l) / 2, rounded down). Given W(l) and
// W(r), W(m) = ((r - m) W(l) + (m - l) W(r)) / (r - l) + sqrt((m - l)(r - m) / (r - l)) z. The output is the
// increments W(t) - W(t - 1), which are again independent standard normals: the map is orthogonal.
class brownian_bridge {
 public:
  explicit brownian_bridge(size_t steps);

  size_t steps() const noexcept { return date_.size(); }
  // The grid date (1..N) that the normal of rank j places.
  size_t date(size_t rank) const noexcept { return date_[rank]; }
  // The grid dates whose values it is placed between; 0 stands for W(0) = 0 (both are 0 for rank 0).
  size_t left(size_t rank) const noexcept { return left_[rank]; }
  size_t right(size_t rank) const noexcept { return right_[rank]; }

  // W at the date of rank j on n paths at once, from W at its two brackets (null for W(0)) and the normals of
  // rank j: the operations of `increments`, in the same order, so the values are the same.
  void place(size_t rank, const double* left, const double* right, const double* normals, double* values,
             size_t n) const;

  // normals[j * normal_stride] is the normal of rank j; increments[(t - 1) * increment_stride] receives
  // W(t) - W(t - 1), t = 1..N.
  void increments(const double* normals, size_t normal_stride, double* increments, size_t increment_stride);

 private:
  std::vector<size_t> date_, left_, right_;
  std::vector<double> left_weight_, right_weight_, deviation_;
  std::vector<double> path_;  // W(0..N), scratch
};

}  // namespace qavrek
