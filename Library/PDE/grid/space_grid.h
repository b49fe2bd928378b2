#pragma once

#include <cstddef>
#include <vector>

#include "PDE/grid/space_grid_config.h"
#include "PDE/grid/transformation.h"

namespace qavrek {

// The points of one space dimension of the finite-difference engine, built once and then shared read-only.
//
// - GIVEN_POINTS: the points as given, in their order (size and bounds unused).
// - UNIFORM: `size` equally spaced points from lower to upper, both included.
// - REFINED: a step (upper - lower) / size between lower, upper and each given point (moved into the bounds);
//   every segment between consecutive values has at least its two ends.
// - CRITICAL_POINTS: the given points inside the bounds, apart from each other, get a bracket each; the brackets are
//   joined by bridges whose spacing follows a smooth quadratic profile, the ends are filled with smoothed regions,
//   and every given point is in the grid.
// - EMPTY, or any other type: no point.
// Refined and concentrated grids are ascending without repeats. Afterwards every point is transformed when the
// configuration's transform_end is set, then shifted by `shift`.
//
// Uniform, refined and concentrated grids need 0 < size <= max_points and finite bounds lower < upper (after
// transform_start) a finite distance apart, refined and concentrated grids points that are not NaN, and a
// concentrated grid size >= 2 k points for its k bracketed points and more points than its bridges hold; at most
// max_points points are given. The points of the grid, once transformed and shifted, must be finite and strictly
// ascending (given points too: every user of a grid searches and differentiates along it); anything else is an
// error.
class space_grid {
 public:
  // The most points a grid is built with or given: a million points along one dimension is far beyond what any
  // finite-difference problem needs, and refusing more keeps a careless size from taking gigabytes and minutes.
  static constexpr size_t max_points = size_t(1) << 20;

  space_grid(const space_grid_config& config, size_t size, double lower, double upper, double shift,
             const std::vector<double>& points);

  size_t size() const noexcept { return size_; }
  // True for a uniform grid that was not transformed at the end.
  bool is_uniform() const noexcept { return is_uniform_; }
  const std::vector<double>& axis() const noexcept { return axis_; }
  transformation_type transformation() const noexcept { return transformation_; }

 private:
  transformation_type transformation_;
  std::vector<double> axis_;
  bool is_uniform_ = false;
  size_t size_ = 0;
};

}  // namespace qavrek
