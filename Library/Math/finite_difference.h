#pragma once

#include <cstddef>

namespace qavrek {

// Finite-difference weights on arbitrary (non-uniform) points.
//
// Band layout: the weights of one point are stored in `width` consecutive entries (width odd), entry k applying to
// the point at offset k - width / 2 from it, so that they drop straight into the bands of a banded operator.
// Entries whose point does not exist (beyond the ends of an axis or of a stencil) are 0.
//
// The flag `divided_difference` replaces the first-derivative weights by the two-point divided difference between
// the neighbours of the point (the point itself at an end): no large weight on the point when one spacing is much
// shorter than the other, at the price of first order on non-uniform spacing. Second-derivative weights keep the
// full stencil.
class finite_difference {
 public:
  // Weights of the derivatives of orders 0 ... max_order at `at` from the values at `count` distinct points, by
  // Fornberg's recursion: weights[m * count + j] multiplies f(points[j]) in the m-th derivative. The derivative of
  // order m is exact on polynomials of degree below `count` (0 when m >= count). Repeated or non-finite points are
  // an error.
  static void weights(double at, const double* points, size_t count, size_t max_order, double* weights);

  // For each point i of an axis of n distinct points, `width` (3 or 5) first- and second-derivative weights at
  // first[i * width + k] and second[i * width + k], weight k applying to point i + k - width / 2. The stencil of a
  // point is every axis point within width / 2 of it, so it shrinks near the ends (one-sided, lower order).
  static void nonuniform_derivation(const double* x, size_t n, double* first, double* second, bool divided_difference,
                                    size_t width);

  // Weights at points[index] of a small stencil, in a five-entry band centred on that point (entry
  // 2 + j - index for stencil point j). The stencil is points[0 .. 2] (three points), points[0 .. 4] (five points,
  // index 2), the three points a band row can reach at the end of a line (_0, index 0 at a lower end or 2 at an
  // upper end) or the four points of the row next to it (_1, index 1 or 2). The boundary forms give first-derivative
  // weights only.
  static void nonuniform_three_points_derivative_mid(const double* points, size_t index, double* first,
                                                     double* second, bool divided_difference);
  static void nonuniform_five_points_derivative_mid(const double* points, size_t index, double* first,
                                                    double* second, bool divided_difference);
  static void nonuniform_five_points_derivative_0(const double* points, size_t index, double* first);
  static void nonuniform_five_points_derivative_1(const double* points, size_t index, double* first);
};

}  // namespace qavrek
