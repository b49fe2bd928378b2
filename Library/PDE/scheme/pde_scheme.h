#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Core/pointers.h"
#include "PDE/scheme/boundary_coefficients.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"

namespace qavrek {

class pde_model_coefficients;
class pde_storage;
class space_grid;
class time_grid;

// The time-stepping schemes, stored as numbers. 0 to 3 split any number of space dimensions into implicit
// one-dimensional solves (alternating direction implicit); 4 to 6 solve one dimension with a single banded matrix.
enum class pde_scheme_type : std::int32_t {
  HUNDSDORFER_VERWER = 0,    // two corrector stages, theta from the number of dimensions
  DOUGLAS = 1,               // one stage, theta 1/2: second order in time without a cross term only
  CRAIG_SNEYD = 2,           // the cross term corrected explicitly, theta 1/2
  MODIFIED_CRAIG_SNEYD = 3,  // the whole operator corrected, theta 1/3 in two dimensions
  CRANK_NICOLSON = 4,        // fully implicit on the time grid's Rannacher steps
  TWO_STAGE_IMPLICIT = 5,    // two implicit stages sharing one matrix, L-stable, second order
  IMPLICIT = 6,              // backward Euler
};

// Rolls the values of a pde_storage from one date of a time grid to the next. The coefficients of the PDE
//   du = D d2u/dx2 + C du/dx + R u  (+ the cross terms between dimensions)
// are those of the step, filled by the caller between steps: D, C and R already carry the step's length, so a
// scheme knows the dates of its step but never their distance.
//
// Per step the caller runs initialize(step), reads from() and to(), lets the models fill the coefficients, then
// calls diffuse. A model may replace the tensors between steps: diffuse refuses a coefficient set that no longer
// covers the grid, and a coefficient that is not finite where the step reads it, naming the step, before any value
// moves.
class pde_scheme {
 public:
  // The scheme of the given type. The sizes are the stencil widths (3 or 5), one per space dimension, the flags ask
  // for divided-difference first derivatives, one per dimension; the correlation couples the dimensions (empty, or
  // at least d x d with a leading block that is a correlation matrix: symmetric, unit diagonal, entries in [-1, 1],
  // positive semidefinite; the scheme keeps its own copy). The one-dimensional types use the first grid,
  // coefficient set and width only. Unknown types, missing or mismatched arguments are errors.
  static std::shared_ptr<pde_scheme> create_scheme(const ptr_const<time_grid>& grid,
                                                   const std::vector<ptr_const<space_grid>>& space_grids,
                                                   const std::vector<ptr_const<pde_model_coefficients>>& coefficients,
                                                   const std::vector<size_t>& sizes, const std::vector<bool>& flags,
                                                   pde_scheme_type type, bool rescale,
                                                   const matrix<double>& correlation);

  virtual ~pde_scheme() = default;
  pde_scheme(const pde_scheme&) = delete;
  pde_scheme& operator=(const pde_scheme&) = delete;

  // The step that starts at grid date `step` and ends at the next date in the grid's direction; a step that
  // leaves the grid is an error.
  virtual void initialize(size_t step);

  // Moves every stored result from from() to to(); with the rescale flag, then multiplies them by factor.
  virtual void diffuse(pde_storage& storage, const boundary_coefficients& data, double factor) = 0;

  // The dates of the current step; no date (NaN) before the first initialize.
  const datetime& from() const noexcept { return from_; }
  const datetime& to() const noexcept { return to_; }

  pde_scheme_type type() const noexcept { return type_; }
  bool rescale() const noexcept { return rescale_; }

 protected:
  pde_scheme(ptr_const<time_grid> grid, std::vector<ptr_const<pde_model_coefficients>> coefficients,
             pde_scheme_type type, bool rescale);

  const time_grid& grid() const noexcept { return *time_grid_; }
  const std::vector<ptr_const<pde_model_coefficients>>& coefficients() const noexcept { return coefficients_; }
  // "step 3 of the time grid, from ... to ...", for the messages of what a step refuses.
  std::string step_name() const;

 private:
  ptr_const<time_grid> time_grid_;
  std::vector<ptr_const<pde_model_coefficients>> coefficients_;
  pde_scheme_type type_;
  bool rescale_;
  size_t step_ = 0;
  datetime from_;
  datetime to_;
};

}  // namespace qavrek
