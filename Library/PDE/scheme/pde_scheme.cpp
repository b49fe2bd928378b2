#include "PDE/scheme/pde_scheme.h"

#include <utility>

#include "Core/check.h"
#include "PDE/grid/time_grid.h"
#include "PDE/scheme/pde_scheme_alternating_direction_implicit.h"
#include "PDE/scheme/pde_scheme_one_dimension.h"

namespace qavrek {

pde_scheme::pde_scheme(ptr_const<time_grid> grid, std::vector<ptr_const<pde_model_coefficients>> coefficients,
                       pde_scheme_type type, bool rescale)
    : time_grid_(std::move(grid)), coefficients_(std::move(coefficients)), type_(type), rescale_(rescale) {
  QAVREK_CHECK(time_grid_ != nullptr, "no time grid");
}

std::shared_ptr<pde_scheme> pde_scheme::create_scheme(
    const ptr_const<time_grid>& grid, const std::vector<ptr_const<space_grid>>& space_grids,
    const std::vector<ptr_const<pde_model_coefficients>>& coefficients, const std::vector<size_t>& sizes,
    const std::vector<bool>& flags, pde_scheme_type type, bool rescale, const matrix<double>& correlation) {
  switch (type) {
    case pde_scheme_type::HUNDSDORFER_VERWER:
    case pde_scheme_type::DOUGLAS:
    case pde_scheme_type::CRAIG_SNEYD:
    case pde_scheme_type::MODIFIED_CRAIG_SNEYD:
      // The operators check the lengths of the vectors, one entry per dimension.
      return std::make_shared<pde_scheme_alternating_direction_implicit>(grid, space_grids, coefficients, sizes,
                                                                         flags, type, rescale, correlation);
    case pde_scheme_type::CRANK_NICOLSON:
    case pde_scheme_type::TWO_STAGE_IMPLICIT:
    case pde_scheme_type::IMPLICIT:
      QAVREK_CHECK(!space_grids.empty() && !coefficients.empty() && !sizes.empty(), space_grids.size(),
                   " space grids, ", coefficients.size(), " coefficient sets and ", sizes.size(),
                   " stencil widths for a one-dimensional scheme");
      return std::make_shared<pde_scheme_one_dimension>(grid, space_grids[0], coefficients[0], sizes[0], type,
                                                        rescale);
  }
  details::check_fail("create_scheme", "Library/PDE/scheme/pde_scheme", 40, "");
}

void pde_scheme::initialize(size_t step) {
  const size_t size = time_grid_->size();
  const bool forward = time_grid_->is_direction_forward();
  QAVREK_CHECK(step < size && (forward ? step + 1 < size : step > 0), "no ", forward ? "forward" : "backward",
               " step from date ", step, " of a time grid of ", size, " dates");
  step_ = step;
  from_ = time_grid_->date(step);
  to_ = time_grid_->date(forward ? step + 1 : step - 1);
}

std::string pde_scheme::step_name() const {
  return details::concat("step ", step_, " of the time grid, from ", from_, " to ", to_);
}

}  // namespace qavrek
