#include "Math/inverse_gaussian_distribution.h"

#include <cmath>
#include <limits>

namespace qavrek {
namespace {

constexpr double inverse_sqrt_pi = 0.564189583547756286948079451561;
constexpr double inverse_sqrt_two = 0.707106781186547524400844362105;

// exp(t^2) erfc(t) for t >= 0. Directly while erfc(t) stays a normal number (t < 26), with t^2 split into its
// rounded value and rounding error so that exp does not magnify that error; beyond, the asymptotic series
// 1 / (t sqrt(pi)) sum_k (-1)^k (2k - 1)!! / (2 t^2)^k, whose eighth term is below 1e-18 there.
double scaled_erfc(double t) {
  if (t < 26.0) {
    const double square = t * t;
    const double square_error = std::fma(t, t, -square);
    return std::exp(square) * (1.0 + square_error) * std::erfc(t);
  }
  const double ratio = 0.5 / (t * t);
  double term = 1.0;
  double sum = 1.0;
  for (int k = 1; k <= 8; ++k) {
    term *= -(2.0 * k - 1.0) * ratio;
    sum += term;
  }
  return sum * inverse_sqrt_pi / t;
}

// Phi(x) through erfc, accurate in the lower tail.
double normal_cdf(double x) { return 0.5 * std::erfc(-x * inverse_sqrt_two); }

}  // namespace

double inverse_gaussian_distribution::cdf(double x, double lambda) noexcept {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  if (std::isnan(x) || !std::isfinite(lambda) || lambda == 0.0) return nan;

  // x / lambda is the time by which the drifted Brownian motion must have reached 1.
  const double time = x / lambda;
  if (!(time > 0.0)) return 0.0;
  if (std::isinf(time)) return lambda > 0.0 ? 1.0 : std::exp(2.0 * lambda);

  const double scale = std::sqrt(lambda / x);
  const double below = scale * (x - 1.0);
  const double above = scale * (x + 1.0);
  // exp(2 lambda) Phi(-above) = 0.5 exp(-below^2 / 2) erfcx(above / sqrt 2), since
  // above^2 / 2 - below^2 / 2 = 2 lambda: no overflow of exp(2 lambda), no underflow of Phi(-above).
  const double t = above * inverse_sqrt_two;
  const double reflected = t >= 0.0 ? 0.5 * std::exp(-0.5 * below * below) * scaled_erfc(t)
                                    : 0.5 * std::exp(2.0 * lambda) * std::erfc(t);
  return normal_cdf(below) + reflected;
}

}  // namespace qavrek
