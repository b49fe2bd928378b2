#pragma once

#include <cstddef>

#include "Vectorization/vector.h"

namespace qavrek {

// Gaussian quadrature rules. Output vectors that are empty and own their storage are sized by the
// routine; any other output must already be long enough.
class gaussian_quadrature {
 public:
  // The n-point Gauss-Hermite rule for the weight exp(-x^2): the sum of weights[i] f(roots[i]) is the
  // integral of exp(-x^2) f(x), exact for polynomials f of degree up to 2n - 1. Roots ascending, exactly
  // symmetric about 0 (0 itself for odd n), with symmetric weights.
  //
  // The roots and weights come from the eigenvalues and eigenvectors of the symmetric tridiagonal Jacobi
  // matrix of the Hermite recurrence (Golub-Welsch). With `polish`, each root is then refined by Newton's
  // method on the orthonormal Hermite polynomial until a step falls below tolerance * max(1, |root|) or
  // max_iterations steps are taken, and its weight is recomputed from the polynomial's derivative there,
  // which keeps the small weights of the outer roots accurate relative to their size (without it they are
  // accurate in absolute terms only). 1 <= n <= 1024; roots and weights hold n values.
  static void gauss_hermite_coefficients(size_t n, vector<double>& roots, vector<double>& weights, bool polish,
                                         double tolerance, size_t max_iterations);

  // The (2n + 1)-point Gauss-Kronrod rule on [-1, 1] through its n + 1 non-negative nodes: nodes[0] is the
  // largest, nodes[n] is 0, and weights[k] belongs to both nodes[k] and -nodes[k]. So the integral of f is
  //   weights[n] f(0) + sum over k < n of weights[k] (f(nodes[k]) + f(-nodes[k])),
  // and a caller that lays the 2n + 1 weights out in ascending node order mirrors weights[2n - k] =
  // weights[k]. gauss_weights[k] is the weight of the embedded n-point Gauss rule at nodes[k], 0 at the
  // nodes that only the Kronrod rule has, so the same sum with gauss_weights gives the Gauss estimate.
  // The Kronrod rule is exact for polynomials of degree up to 3n + 1 (3n + 2 for odd n), the Gauss rule up
  // to 2n - 1.
  //
  // The rules are Boost.Math's, tabulated or computed to double precision; tolerance and max_iterations
  // are there for the calling convention that this routine shares with the Gauss-Hermite one and have
  // nothing to refine. 1 <= n <= max_kronrod_order; each output holds at least n + 1 values, and only the
  // first n + 1 are written.
  static void gauss_kronrod(size_t n, vector<double>& nodes, vector<double>& weights, vector<double>& gauss_weights,
                            double tolerance, size_t max_iterations);

  static constexpr size_t max_kronrod_order = 30;
};

}  // namespace qavrek
