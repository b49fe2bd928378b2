#include "PDE/boundary/pde_boundary_indices.h"

#include <algorithm>

#include "Core/check.h"
#include "PDE/grid/space_grid.h"

namespace qavrek {

pde_boundary_indices::pde_boundary_indices(size_t dimensions)
    : upper_index(dimensions, 0),
      upper_value(dimensions, 0.0),
      upper_at_grid_end(dimensions, false),
      lower_index(dimensions, 0),
      lower_value(dimensions, 0.0),
      lower_at_grid_end(dimensions, false) {}

pde_boundary_indices::pde_boundary_indices(const std::vector<ptr_const<space_grid>>& grids,
                                           const std::vector<pde_boundary_config>& configs)
    : pde_boundary_indices(grids.size()) {
  assign(grids, configs);
}

void pde_boundary_indices::assign(const std::vector<ptr_const<space_grid>>& grids,
                                  const std::vector<pde_boundary_config>& configs) {
  const size_t dimensions = grids.size();
  upper_index.assign(dimensions, 0);
  upper_value.assign(dimensions, 0.0);
  upper_at_grid_end.assign(dimensions, false);
  lower_index.assign(dimensions, 0);
  lower_value.assign(dimensions, 0.0);
  lower_at_grid_end.assign(dimensions, false);
  QAVREK_CHECK(configs.size() >= grids.size(), configs.size(), " boundary configurations for ", grids.size(),
               " space grids");
  for (size_t d = 0; d < grids.size(); ++d) {
    QAVREK_CHECK(grids[d] != nullptr && grids[d]->size() > 0, "space grid ", d, " has no points");
    const std::vector<double>& axis = grids[d]->axis();
    const pde_boundary_config& config = configs[d];
    if (!config.is_up_floating()) {
      lower_value[d] = axis.front();
      upper_index[d] = axis.size() - 1;
      upper_value[d] = axis.back();
      continue;
    }

    double down = config.down_boundary();
    apply_transformation(grids[d]->transformation(), down);
    if (axis.front() > down) {
      lower_at_grid_end[d] = true;
      lower_value[d] = axis.front();
    } else {
      lower_value[d] = down;
      lower_index[d] = size_t(std::lower_bound(axis.begin(), axis.end(), down) - axis.begin());
    }

    double up = config.up_boundary();
    apply_transformation(grids[d]->transformation(), up);
    if (up > axis.back()) {
      upper_at_grid_end[d] = true;
      upper_value[d] = axis.back();
      upper_index[d] = axis.size() - 1;
    } else {
      upper_value[d] = up;
      upper_index[d] = size_t(std::upper_bound(axis.begin(), axis.end(), up) - axis.begin());
    }
  }
}

size_t pde_boundary_indices::last_index(size_t d, const std::vector<double>& axis) const noexcept {
  const size_t upper = upper_index[d];
  if (upper > 0 && upper - 1 < axis.size() && axis[upper - 1] == upper_value[d]) return upper - 1;
  return std::min(upper, axis.size() - 1);
}

}  // namespace qavrek
