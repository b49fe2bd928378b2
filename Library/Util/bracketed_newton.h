#pragma once

#include <cmath>
#include <limits>

namespace qavrek {

// Root of an increasing function by Newton steps kept inside a bracket that every evaluation narrows;
// a step that leaves the bracket (or is not finite) is replaced by bisection, or by doubling while the
// bracket has no upper end. So it converges wherever the root lies, and quadratically near it.
class bracketed_newton {
 public:
  // `objective(x)` returns {value, slope}; the value must be negative left of the root and positive
  // right of it (it may be -infinity, never NaN). Starts at x inside (lower, upper); upper may be
  // +infinity.
  template <typename Objective>
  static double solve(Objective&& objective, double x, double lower, double upper, int max_iterations = 200) {
    constexpr double eps = std::numeric_limits<double>::epsilon();
    for (int iteration = 0; iteration < max_iterations; ++iteration) {
      const auto [value, slope] = objective(x);
      if (value == 0.0) return x;
      (value < 0.0 ? lower : upper) = x;
      double next = x - value / slope;
      if (!(next > lower && next < upper)) next = fallback(x, lower, upper);
      if (std::abs(next - x) <= 2.0 * eps * std::abs(next)) return next;
      x = next;
    }
    return x;
  }

 private:
  static double fallback(double x, double lower, double upper) {
    if (std::isinf(upper)) return 2.0 * x;
    // A wide bracket away from zero is halved in the logarithm, so that a root many orders of magnitude
    // below the upper end is reached in few steps.
    if (lower > 0.0 && upper > 4.0 * lower) return std::sqrt(lower * upper);
    return 0.5 * (lower + upper);
  }
};

}  // namespace qavrek
