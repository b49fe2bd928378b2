#pragma once

#include <memory>

#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

class pde_multi_discrete;

// The explicit operations of a split step on the operators of a pde_multi_discrete. Every operation adds to `out`
// what it computes from `in`; the two must be distinct vectors of the tensor's size.
class pde_multi_explicit {
 public:
  // factor scales the banded operators; scale and alpha shape the cross-term stencil; the correlation (empty, or
  // at least d x d) is copied.
  pde_multi_explicit(std::shared_ptr<const pde_multi_discrete> discrete, double factor, double scale, double alpha,
                     const matrix<double>& correlation);

  // out += factor * sum_d A_d in.
  void apply_explicit(vector<double>& out, const vector<double>& in) const;

  // out += rho_ij * (mixed coefficient) * S for every pair with a non-zero correlation, at the nodes away from the
  // grid ends of both axes, with a and b the cross first-derivative and damping weights of the two axes applied to
  // the three-by-three neighbourhood in the plane of the pair:
  //   S = scale (a_i (x) a_j + alpha b_i (x) b_j) u = scale (d2u/dx_i dx_j + alpha h_i h_j / 4 d4u/dx_i2 dx_j2),
  // to second order. On a uniform grid a = (-1, 0, 1) / 2h and b = (1, -2, 1) / 2h: alpha 0 leaves the four
  // corners, alpha 1 the seven-point stencil without the corners (+-) and (-+). alpha takes the sign of rho_ij, so
  // that the damping leans on the diagonal the correlation favours and reflecting one axis, which turns rho_ij
  // into -rho_ij, mirrors the stencil.
  void apply_mixed(vector<double>& out, const vector<double>& in) const;

  // out += c * R_d * in for every dimension whose reaction is not empty.
  void apply_reaction(vector<double>& out, double c, const vector<double>& in) const;

 private:
  std::shared_ptr<const pde_multi_discrete> discrete_;
  double factor_;
  double scale_;
  double alpha_;
  matrix<double> correlation_;
};

}  // namespace qavrek
