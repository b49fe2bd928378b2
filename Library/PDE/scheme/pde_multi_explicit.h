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
  // grid ends of both axes, with the stencil in the plane of the pair
  //   S = scale (alpha + 1) (u[++] + u[--]) + scale (alpha - 1) (u[-+] + u[+-])
  //       + 2 scale alpha (2 u - u[+.] - u[-.] - u[.+] - u[.-]),
  // which is 4 scale h_i h_j d2u/dx_i dx_j on a uniform grid, plus scale alpha h_i^2 h_j^2 d4u/dx_i2 dx_j2.
  // alpha takes the sign of rho_ij (u[++] is the neighbour up both axes): alpha 1 drops the two corners of the
  // other diagonal, and reflecting one axis, which turns rho_ij into -rho_ij, mirrors the stencil.
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
