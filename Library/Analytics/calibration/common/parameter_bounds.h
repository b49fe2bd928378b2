#pragma once

#include <vector>

namespace qavrek {

// The interval [lo, hi] that a calibrated parameter keeps to, and the map between it and the real line
// on which the optimiser moves its unknown x:
//   p = (lo + hi + (hi - lo) tanh(0.1 x)) / 2,   x = atanh((2p - lo - hi) / (hi - lo)) / 0.1.
// The factor 0.1 makes a unit step in x a modest move in p.
struct parameter_bounds {
  double lo;
  double hi;

  static constexpr double tanh_scale = 0.1;

  // The interval of a settings' bounds vector: its first two entries in either order, a NaN one giving
  // way to the other. Fewer than two entries, or bounds that are not finite, are errors naming `name`.
  static parameter_bounds read(const std::vector<double>& values, const char* name);

  // The unknown of a starting value p: exactly the inverse of `bounded` when lo < p < hi, so a start
  // inside the interval is kept; a value on or beyond a bound starts inside it, at 0.9 of the half-width
  // from the centre, where tanh still responds. 0 when the interval is a single point.
  double unbounded(double p) const;
  double bounded(double x) const;
  // d bounded / dx.
  double bounded_derivative(double x) const;
};

}  // namespace qavrek
