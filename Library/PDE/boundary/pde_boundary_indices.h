#pragma once

#include <cstddef>
#include <vector>

#include "Core/pointers.h"
#include "PDE/boundary/pde_boundary_config.h"

namespace qavrek {

class space_grid;

// Where the solution domain starts and stops along each space dimension, one entry per dimension: the grid index
// that opens it (lower) and the one that closes it (upper), the levels of its ends and whether a level lay beyond
// the grid so that the grid end was used instead.
struct pde_boundary_indices {
  // Every dimension at index 0, level 0, not at a grid end.
  explicit pde_boundary_indices(size_t dimensions);

  // From one grid per dimension (ascending points) and the configurations of the dimensions, in the same order;
  // configurations beyond the grids are not read. A side that does not float spans the whole grid; a floating
  // level, put through the grid's transformation, is clamped to the grid. A null or empty grid is an error.
  pde_boundary_indices(const std::vector<ptr_const<space_grid>>& grids,
                       const std::vector<pde_boundary_config>& configs);

  // The same from other grids or configurations, in place: no allocation when the number of grids is unchanged, so
  // that the schemes can rebuild their indices at every step.
  void assign(const std::vector<ptr_const<space_grid>>& grids, const std::vector<pde_boundary_config>& configs);

  // The grid index of the last point of the domain along dimension d of `axis`: the upper index, or the point the
  // upper level sits on, so that a level on a grid point closes the domain there as a level on the last point does
  // (and no row is built on a spacing of zero).
  size_t last_index(size_t d, const std::vector<double>& axis) const noexcept;

  std::vector<size_t> upper_index;      // first point strictly above the upper level (the grid size at the last point)
  std::vector<double> upper_value;
  std::vector<bool> upper_at_grid_end;  // the upper level lay above the last point
  std::vector<size_t> lower_index;      // first point at or above the lower level
  std::vector<double> lower_value;
  std::vector<bool> lower_at_grid_end;  // the lower level lay below the first point
};

}  // namespace qavrek
