#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "Core/pointers.h"
#include "PDE/boundary/pde_boundary_config.h"
#include "Vectorization/vector.h"

namespace qavrek {

class pde_model_coefficients;
class space_grid;
struct pde_boundary_indices;

// The finite-difference operators of one date step on the product of the space grids, one banded operator per
// dimension, for the alternating-direction-implicit scheme.
//
// Values are one row-major tensor over the dimensions, dimension 0 outermost; along dimension d the tensor is
// outer_d blocks of N_d points with stride inner_d. The operator of dimension d holds w_d (3 or 5) bands of `total`
// entries: band k of the row of node p couples p with p + (k - w_d / 2) inner_d. It is minus the one-dimensional
// part of the PDE, A_d = -(D_d d2/dx_d2 + C_d d/dx_d), so that theta A_d + 1 is the implicit matrix:
// - rows strictly inside the domain (between the boundary indices) take the derivative weights of their grid
//   point;
// - the rows at the ends of the domain keep only the convection, by a one-sided difference (two points for width
//   3, three for width 5); a convection of magnitude 1e6 or more is left out there;
// - when either side of a dimension is of type DIRICHLET, the rows next to both ends are rebuilt on a stencil that
//   puts the end node at the level of the domain's end (a floating level need not be a grid point);
// - rows outside the domain are zero, so that their values do not move; so are all rows of a dimension whose domain
//   has fewer points than its stencil.
//
// Between two dimensions i < j the PDE's cross term rho_ij sigma_i sigma_j d2u/dx_i dx_j is 2 rho_ij
// sqrt(D_i D_j) d2u/dx_i dx_j, since each D carries half a variance; the mixed coefficients hold 2 sqrt(D_i D_j)
// at every node, rebuilt with the operators. The cross derivative acts at the nodes away from the grid ends of both
// axes, on the three-by-three neighbourhood in the plane of the two axes, through three weights per axis and grid
// point (lower neighbour, point, upper neighbour; 0 at the ends):
// - first-derivative weights: those of three points, exact on quadratics on any spacing, so that their product is
//   a second-order cross derivative on a stretched grid too (the two-point divided difference, first order there,
//   when the dimension's flag asks for it);
// - damping weights: h_- h_+ / (h_- + h_+) times the three-point second-derivative weights, (1, -2, 1) / (2 h) on a
//   uniform grid, whose product is h_i h_j / 4 d4/dx_i2 dx_j2 to leading order and vanishes on cubics.
class pde_multi_discrete {
 public:
  struct layout {
    size_t outer, n, inner;
  };

  // One grid (ascending, at least three points), one coefficient set over the whole tensor, one width (3 or 5)
  // and one divided-difference flag per dimension; the grids and sets are shared, the rest copied.
  pde_multi_discrete(const std::vector<ptr_const<space_grid>>& grids,
                     const std::vector<ptr_const<pde_model_coefficients>>& coefficients,
                     const std::vector<size_t>& widths, const std::vector<bool>& flags);

  // Rebuilds every operator and the mixed coefficients from the current coefficients, for one boundary
  // configuration per dimension and the indices built from them. The coefficient sets must still cover the tensor
  // (a model may have replaced them since the last step).
  void update_operators(const std::vector<pde_boundary_config>& configs, const pde_boundary_indices& indices);

  // Whether what the last update built is finite: false when a diffusion or convection coefficient of a row strictly
  // inside a domain, or a diffusion coefficient that a mixed coefficient reads (any, with two dimensions or more),
  // is not, or when a row or a product of diffusions overflows. The end rows leave out a convection of 1e6 or
  // more, and read no other coefficient.
  bool operators_finite() const noexcept { return operators_finite_; }

  size_t dimensions() const noexcept { return grids_.size(); }
  size_t total() const noexcept { return total_; }
  size_t width(size_t d) const noexcept { return widths_[d]; }
  const layout& layout_of(size_t d) const noexcept { return layouts_[d]; }
  const vector<double>& operator_of(size_t d) const noexcept { return operators_[d]; }
  const pde_model_coefficients& coefficients(size_t d) const noexcept { return *coefficients_[d]; }
  const std::vector<ptr_const<space_grid>>& grids() const noexcept { return grids_; }

  // The running number of each pair i < j: (0, 1), (0, 2), ..., (1, 2), ...
  const std::map<std::pair<size_t, size_t>, size_t>& pair_index() const noexcept { return pair_index_; }
  // The cross-derivative weights of dimension d, band-major: band k (0 lower neighbour, 1 point, 2 upper
  // neighbour) of grid point m at k N_d + m.
  const std::vector<double>& cross_first_weights(size_t d) const noexcept { return cross_first_weights_[d]; }
  const std::vector<double>& cross_damping_weights(size_t d) const noexcept { return cross_damping_weights_[d]; }
  // Per pair, 2 sqrt(D_i D_j) at every node of the tensor.
  const vector<double>& mixed_coefficients(size_t pair) const noexcept { return mixed_coefficients_[pair]; }

 private:
  // Returns the non-finite words (pde_coefficient_checks) of the centre band.
  std::uint64_t update_interior_rows(size_t d, size_t lower, size_t upper);
  void update_end_rows(size_t d, size_t lower, size_t upper);
  void update_rows_next_to_ends(size_t d, size_t lower, size_t upper, double lower_value, double upper_value);
  void add_cross_weights(size_t d);
  // Returns the non-finite words of the products of diffusions.
  std::uint64_t update_mixed_coefficients();

  // Writes the band weights of grid row i of dimension d, scaled by the node's coefficients.
  void write_rows(size_t d, size_t i, const double* second, const double* first, bool second_order);

  std::vector<ptr_const<space_grid>> grids_;
  std::vector<ptr_const<pde_model_coefficients>> coefficients_;
  std::vector<size_t> widths_;
  std::vector<bool> flags_;
  std::map<std::pair<size_t, size_t>, size_t> pair_index_;
  std::vector<std::vector<double>> second_weights_;
  std::vector<std::vector<double>> first_weights_;
  std::vector<std::vector<double>> cross_first_weights_;
  std::vector<std::vector<double>> cross_damping_weights_;
  std::vector<vector<double>> operators_;
  std::vector<vector<double>> mixed_coefficients_;
  std::vector<layout> layouts_;
  size_t total_ = 1;
  bool operators_finite_ = true;
};

}  // namespace qavrek
