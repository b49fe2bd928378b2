#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "PDE/boundary/pde_boundary_indices.h"
#include "PDE/scheme/pde_scheme.h"
#include "Vectorization/matrix.h"

namespace qavrek {

// The step of a one-dimensional problem with one banded matrix M = a - b (D d2/dx2 + R) - s C d/dx (tri- or
// pentadiagonal by the stencil width), factorised for a step and boundary configuration unless the matrix held is
// built from the same weights, domain and coefficients, bit for bit (constant coefficients on equal steps, as
// between the Rannacher steps or across a Crank-Nicolson run):
// - CRANK_NICOLSON: a = 1/2, b = 1/4: M^-1 u - u is the Crank-Nicolson step; on the time grid's Rannacher steps
//   a = b = 1, one backward Euler solve;
// - TWO_STAGE_IMPLICIT: a = 1, b = 1 - 1/sqrt 2; v = M^-1 u, then M^-1 ((1 + sqrt 2) v - sqrt 2 u);
// - IMPLICIT: a = b = 1, one solve.
// s is b walking backward and -b walking forward (the forward equation of a drift runs against it).
//
// Rows by the boundary indices of the key's first configuration: the end rows of a side of type NO_DIFFUSION
// keep the convection and reaction of the side's boundary coefficient set (two rows for width 5), those of a side
// of type DIRICHLET hold their value; rows outside the domain, of a side of another type, or of a domain with
// fewer points than the stencil hold their values too. Uniform grids use the closed-form stencils, and the row
// next to a floating end the level of that end in place of the grid point.
class pde_scheme_one_dimension : public pde_scheme {
 public:
  pde_scheme_one_dimension(const ptr_const<time_grid>& grid, const ptr_const<space_grid>& space,
                           const ptr_const<pde_model_coefficients>& coefficients, size_t width, pde_scheme_type type,
                           bool rescale);

  void initialize(size_t step) override;

  // `data` holds one pair of boundary coefficient sets per key of the storage's boundary groups, in key order.
  void diffuse(pde_storage& storage, const boundary_coefficients& data, double factor) override;

  // The matrix of one boundary configuration (one per grid) and its pair of boundary coefficient sets, as diffuse
  // builds it before factorising (and forgets the factorisation it holds).
  void build_matrix(const std::vector<pde_boundary_config>& key, const boundary_coefficient_pair& ends);
  const matrix<double>& operator_matrix() const noexcept { return operator_matrix_; }

  // The weights of the current step.
  double identity_weight() const noexcept { return a_; }
  double operator_weight() const noexcept { return b_; }
  double convection_weight() const noexcept { return s_; }
  bool is_rannacher() const noexcept { return rannacher_; }

 private:
  // What the factorised matrix was built from: the weights, the domain and the types of its ends, the boundary
  // coefficients its end rows read and, bit for bit, the coefficient set. A step whose matrix would be built from
  // the same reuses the factorisation, which is then the one a rebuild would give, bit for bit.
  struct factorisation {
    explicit factorisation(size_t n);
    bool matches(const pde_scheme_one_dimension& scheme, const pde_boundary_config& config,
                 const std::array<double, 8>& ends) const noexcept;
    void remember(const pde_scheme_one_dimension& scheme, const pde_boundary_config& config,
                  const std::array<double, 8>& ends);

    bool valid = false;
    double a = 0.0, b = 0.0, s = 0.0;
    pde_boundary_config::boundary_conditions_type down{}, up{};
    size_t lower = 0, upper = 0;
    bool has_rows = false;
    double lower_value = 0.0, upper_value = 0.0;
    std::array<double, 8> end_values{};
    std::vector<double> diffusion, convection, reaction;
  };

  // The factorised matrix of the key's configuration for the current step: the one held when nothing it is built
  // from has changed, else built, checked and factorised.
  void prepare_matrix(const std::vector<pde_boundary_config>& key, const boundary_coefficient_pair& ends);
  // The rows of the domain, from the boundary indices.
  void set_domain();
  // The convection and reaction of the boundary sets that the end rows of NO_DIFFUSION sides read (one row a side
  // for width 3, two for width 5), lower side first, rows from the end inward; zero elsewhere.
  std::array<double, 8> end_coefficients(const std::vector<pde_boundary_config>& key,
                                         const boundary_coefficient_pair& ends) const;
  void build_rows(const std::vector<pde_boundary_config>& key, const boundary_coefficient_pair& ends);
  void set_weights(double a, double b);
  void build_interior_rows(size_t lower, size_t upper);
  void build_uniform_rows(size_t lower, size_t upper);
  void build_lower_rows(pde_boundary_config::boundary_conditions_type type, size_t lower,
                        const pde_model_coefficients* ends);
  void build_upper_rows(pde_boundary_config::boundary_conditions_type type, size_t upper,
                        const pde_model_coefficients* ends);
  // Row i, a - b (D d2/dx2 + R) - s C d/dx with the coefficients c at i, from five second- and first-derivative
  // weights centred on its point; without second-derivative weights (the end rows) convection and reaction only.
  void set_row(size_t i, const pde_model_coefficients& c, const double* second, const double* first);
  // Whether the rows of the domain are finite: a coefficient they read that is not finite, or one so large that a
  // row overflows, makes one of their entries infinite or NaN. The loops over the interior rows count their entries
  // as they write them (row_words_); the few rows at the ends are read again.
  bool rows_finite() const noexcept;
  // Names the first coefficient of the domain's rows that is not finite, or the overflow, and the step.
  [[noreturn]] void refuse_non_finite(const std::vector<pde_boundary_config>& key,
                                      const boundary_coefficient_pair& ends) const;
  void factorise();
  void solve(double* values, size_t rows) const;

  matrix<double> operator_matrix_;
  std::vector<ptr_const<space_grid>> space_;  // the one grid, as the boundary indices take it
  size_t width_;
  std::vector<double> second_weights_;  // width per grid point, point after point
  std::vector<double> first_weights_;
  pde_boundary_indices boundary_indices_;
  size_t lower_ = 0;  // the rows of the domain, as the last matrix was built
  size_t upper_ = 0;
  bool has_rows_ = false;  // false when the domain holds fewer points than the stencil: every row holds
  std::uint64_t row_words_ = 0;  // the non-finite words of the interior rows (pde_coefficient_checks)
  factorisation factorised_;
  double a_ = 0.0;
  double b_ = 0.0;
  double s_ = 0.0;
  bool rannacher_ = false;
};

}  // namespace qavrek
