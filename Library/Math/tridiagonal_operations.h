#pragma once

#include <cstddef>

namespace qavrek {

// Tridiagonal systems along one dimension of a row-major tensor of outer x n x inner values: every one of the
// outer * inner lines (n points, stride inner) has its own matrix. The bands are three blocks of outer * n * inner
// entries laid out like the values; band k of the row of point p couples p with the point k - 1 steps further along
// its line. Entries that would couple a point with one beyond its line are never read.
// With `parallel` the lines are shared out over Core's parallel loop; the results do not change.
class tridiagonal_operations {
 public:
  // out += factor * A * in; out and in must not overlap.
  static void multiply(double* out, const double* in, const double* bands, size_t outer, size_t n, size_t inner,
                       double factor, bool parallel);

  // Factorises A = L U in place without pivoting (fit for the diagonally dominant matrices of diffusion): band 0
  // then holds the multipliers of L, band 1 the inverse pivots, band 2 is unchanged. A zero or non-finite pivot is
  // an error (the bands are then partly factorised).
  static void decomposition(double* bands, size_t outer, size_t n, size_t inner, bool parallel);

  // Solves A x = b in place (x holds b on entry) with bands factorised by decomposition; one factorisation serves
  // any number of right-hand sides.
  static void solve_decomposed(double* x, const double* bands, size_t outer, size_t n, size_t inner, bool parallel);
};

}  // namespace qavrek
