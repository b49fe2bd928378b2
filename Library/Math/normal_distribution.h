#pragma once

namespace qavrek {

// The standard normal law.
class normal_distribution {
 public:
  // exp(-x^2 / 2) / sqrt(2 pi).
  static double density(double x) noexcept;

  // The inverse of the distribution function, to full double precision also deep in the tails:
  // -infinity at 0, +infinity at 1, NaN outside [0, 1].
  static double quantile(double p) noexcept;
};

}  // namespace qavrek
