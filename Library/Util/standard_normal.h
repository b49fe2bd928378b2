#pragma once

#include <cmath>
#include <numbers>

namespace qavrek {

// The standard normal distribution, as the option formulas of this library use it.
class standard_normal {
 public:
  // Through erfc, so that the lower tail keeps its relative accuracy.
  static double cdf(double x) noexcept { return 0.5 * std::erfc(-x * std::numbers::sqrt2 / 2.0); }
  static double density(double x) noexcept { return std::exp(-0.5 * x * x) * inverse_sqrt_2pi; }

  static constexpr double inverse_sqrt_2pi = 0.5 * std::numbers::inv_sqrtpi * std::numbers::sqrt2;
  static constexpr double sqrt_2pi = 1.0 / inverse_sqrt_2pi;
};

}  // namespace qavrek
