#include "Random/inverse_normal_cdf.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace qavrek {
namespace {

// Acklam's rational approximations (relative error below 1.2e-9), central region and lower tail.
constexpr double central_numerator[] = {-3.969683028665376e+01, 2.209460984245205e+02,  -2.759285104469687e+02,
                                        1.383577518672690e+02,  -3.066479806614716e+01, 2.506628277459239e+00};
constexpr double central_denominator[] = {-5.447609879822406e+01, 1.615858368580409e+02, -1.556989798598866e+02,
                                          6.680131188771972e+01, -1.328068155288572e+01};
constexpr double tail_numerator[] = {-7.784894002430293e-03, -3.223964580411365e-01, -2.400758277161838e+00,
                                     -2.549732539343734e+00, 4.374664141464968e+00,  2.938163982698783e+00};
constexpr double tail_denominator[] = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00,
                                       3.754408661907416e+00};
constexpr double tail_start = 0.02425;

double acklam_lower(double p) {
  if (p < tail_start) {
    const double q = std::sqrt(-2.0 * std::log(p));
    const double* c = tail_numerator;
    const double* d = tail_denominator;
    return (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
           ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1.0);
  }
  const double q = p - 0.5;
  const double r = q * q;
  const double* a = central_numerator;
  const double* b = central_denominator;
  return (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
         (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1.0);
}

// p in (0, 1/2]: one Halley step on Phi(x) = p from Acklam's value. Phi comes from erfc, which keeps its
// relative precision in the lower tail; the upper half is served by symmetry for the same reason.
double lower_half(double p) {
  constexpr double sqrt_2pi = 2.50662827463100050242;
  const double x = acklam_lower(p);
  const double error = 0.5 * std::erfc(-x / std::numbers::sqrt2) - p;
  const double u = error * sqrt_2pi * std::exp(0.5 * x * x);
  if (!std::isfinite(u)) return x;  // p so small that exp overflows: Acklam's value is all there is
  return x - u / (1.0 + 0.5 * x * u);
}

}  // namespace

double inverse_normal_cdf(double p) noexcept {
  if (!(p > 0.0)) return p == 0.0 ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::quiet_NaN();
  if (!(p < 1.0)) return p == 1.0 ? std::numeric_limits<double>::infinity() : std::numeric_limits<double>::quiet_NaN();
  if (p > 0.5) return -lower_half(1.0 - p);
  return lower_half(p);
}

}  // namespace qavrek
