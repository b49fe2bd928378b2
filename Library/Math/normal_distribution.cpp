#include "Math/normal_distribution.h"

#include <boost/math/special_functions/erf.hpp>

#include <cmath>
#include <limits>

namespace qavrek {
namespace {

constexpr double inverse_sqrt_two_pi = 0.398942280401432677939946059934;
constexpr double sqrt_two = 1.41421356237309504880168872421;

// The ends of [0, 1] are handled before, so no error can arise; never throw from noexcept code.
using quiet_policy = boost::math::policies::policy<boost::math::policies::domain_error<boost::math::policies::ignore_error>,
                                                   boost::math::policies::overflow_error<boost::math::policies::ignore_error>,
                                                   boost::math::policies::evaluation_error<boost::math::policies::ignore_error>>;

}  // namespace

double normal_distribution::density(double x) noexcept {
  // Beyond 40 the density is below the smallest double (and x * x may overflow).
  if (!(std::abs(x) < 40.0)) return std::isnan(x) ? x : 0.0;
  // x * x split into its rounded value and the rounding error keeps the tails accurate: exp magnifies an
  // absolute error in its argument into the same relative error.
  const double square = x * x;
  const double square_error = std::fma(x, x, -square);
  return inverse_sqrt_two_pi * std::exp(-0.5 * square) * (1.0 - 0.5 * square_error);
}

double normal_distribution::quantile(double p) noexcept {
  if (!(p >= 0.0 && p <= 1.0)) return std::numeric_limits<double>::quiet_NaN();
  if (p == 0.0) return -std::numeric_limits<double>::infinity();
  if (p == 1.0) return std::numeric_limits<double>::infinity();
  // Phi^-1(p) = -sqrt(2) erfc^-1(2 p); the upper half goes through 1 - p, exact there, so both tails keep
  // full relative precision.
  if (p <= 0.5) return -sqrt_two * boost::math::erfc_inv(2.0 * p, quiet_policy());
  return sqrt_two * boost::math::erfc_inv(2.0 * (1.0 - p), quiet_policy());
}

}  // namespace qavrek
