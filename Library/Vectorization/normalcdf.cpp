#include "Vectorization/normalcdf.h"

#include <cmath>

namespace qavrek {

namespace {

// 1/sqrt(2) as the nearest double plus the remainder, and 1/sqrt(pi).
constexpr double inverse_sqrt_two = 0x1.6a09e667f3bcdp-1;
constexpr double inverse_sqrt_two_remainder = -4.8336466567264565e-17;
constexpr double inverse_sqrt_pi = 0.56418958354775628;

}  // namespace

double normalcdf(double x) {
  if (std::isnan(x)) return x;
  if (std::isinf(x)) return x > 0.0 ? 1.0 : 0.0;
  // Phi(x) = erfc(z) / 2 with z = -x / sqrt(2). Rounding z costs a relative error of about
  // 2 z^2 ulp in erfc, some 1e-13 in the far lower tail, so the rounding error dz of z is
  // put back to first order: erfc(z + dz) = erfc(z) - 2 / sqrt(pi) exp(-z^2) dz.
  const double z = -x * inverse_sqrt_two;
  const double half_erfc = 0.5 * std::erfc(z);
  if (z < 1.0) return half_erfc;
  const double dz = std::fma(-x, inverse_sqrt_two, -z) - x * inverse_sqrt_two_remainder;
  return half_erfc - inverse_sqrt_pi * std::exp(-z * z) * dz;
}

}  // namespace qavrek
