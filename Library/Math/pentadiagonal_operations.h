#pragma once

#include <cstddef>

namespace qavrek {

// Pentadiagonal systems along one dimension of a row-major tensor of outer x n x inner values, laid out as for
// tridiagonal_operations with five bands: band k of the row of point p couples p with the point k - 2 steps further
// along its line. Entries that would couple a point with one beyond its line are never read.
class pentadiagonal_operations {
 public:
  // out += factor * A * in; out and in must not overlap.
  static void multiply(double* out, const double* in, const double* bands, size_t outer, size_t n, size_t inner,
                       double factor, bool parallel);

  // Factorises A = L U in place without pivoting: bands 0 and 1 then hold the multipliers of L (two and one rows
  // back), band 2 the inverse pivots, band 3 the first superdiagonal of U, band 4 is unchanged. A zero or non-finite
  // pivot is an error (the bands are then partly factorised).
  static void decomposition(double* bands, size_t outer, size_t n, size_t inner, bool parallel);

  // Solves A x = b in place (x holds b on entry) with bands factorised by decomposition.
  static void solve_decomposed(double* x, const double* bands, size_t outer, size_t n, size_t inner, bool parallel);
};

}  // namespace qavrek
