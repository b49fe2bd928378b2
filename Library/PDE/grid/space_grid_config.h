#pragma once

#include <cstdint>

#include "PDE/grid/transformation.h"

namespace qavrek {

// Stored as numbers; other values build an empty grid.
enum class space_grid_type : std::int32_t {
  GIVEN_POINTS = 0,     // the points as given, in their order
  UNIFORM = 1,          // equally spaced from lower to upper
  REFINED = 2,          // equally spaced, with the given points added and every segment between them kept
  EMPTY = 3,            // no point
  CRITICAL_POINTS = 4,  // concentrated around the given points
};

// How a space grid is built. Tolerance, scaling and bracket fraction are kept for the caller; the grid does not
// read them.
class space_grid_config {
 public:
  space_grid_config(space_grid_type type, bool transform_start, bool transform_end, transformation_type transformation,
                    double tolerance, double scaling, double bracket_fraction);

  space_grid_type type() const noexcept { return type_; }
  // Transform the bounds (and the points of refined and concentrated grids) before building.
  bool transform_start() const noexcept { return transform_start_; }
  // Transform every point once the grid is built.
  bool transform_end() const noexcept { return transform_end_; }
  transformation_type transformation() const noexcept { return transformation_; }
  double tolerance() const noexcept { return tolerance_; }
  double scaling() const noexcept { return scaling_; }
  double bracket_fraction() const noexcept { return bracket_fraction_; }
  // Half-width of the bracket around a critical point, in grid steps.
  double center_dx() const noexcept { return center_dx_; }
  // Share of the points kept for the region between the critical points.
  double internal_proportion() const noexcept { return internal_proportion_; }

 private:
  space_grid_type type_;
  bool transform_start_;
  bool transform_end_;
  transformation_type transformation_;
  double scaling_;
  double bracket_fraction_;
  double tolerance_;
  double center_dx_ = 0.1;
  double internal_proportion_ = 0.7;
};

}  // namespace qavrek
