#include "Random/inverse_normal_cdf.h"

#include <cmath>
#include <limits>

namespace qavrek {
namespace {

// Wichura's AS 241 (PPND16): rational approximations with a relative error of about 1e-16, so no
// refinement through erfc is needed. Central region |p - 1/2| <= 0.425, then two tail regions in
// r = sqrt(-log p).
constexpr double central_numerator[] = {3.3871328727963666080e0,  1.3314166789178437745e+2, 1.9715909503065514427e+3,
                                        1.3731693765509461125e+4, 4.5921953931549871457e+4, 6.7265770927008700853e+4,
                                        3.3430575583588128105e+4, 2.5090809287301226727e+3};
constexpr double central_denominator[] = {1.0,
                                          4.2313330701600911252e+1,
                                          6.8718700749205790830e+2,
                                          5.3941960214247511077e+3,
                                          2.1213794301586595867e+4,
                                          3.9307895800092710610e+4,
                                          2.8729085735721942674e+4,
                                          5.2264952788528545610e+3};
constexpr double near_tail_numerator[] = {1.42343711074968357734e0,  4.63033784615654529590e0,
                                          5.76949722146069140550e0,  3.64784832476320460504e0,
                                          1.27045825245236838258e0,  2.41780725177450611770e-1,
                                          2.27238449892691845833e-2, 7.74545014278341407640e-4};
constexpr double near_tail_denominator[] = {1.0,
                                            2.05319162663775882187e0,
                                            1.67638483018380384940e0,
                                            6.89767334985100004550e-1,
                                            1.48103976427480074590e-1,
                                            1.51986665636164571966e-2,
                                            5.47593808499534494600e-4,
                                            1.05075007164441684324e-9};
constexpr double far_tail_numerator[] = {6.65790464350110377720e0,  5.46378491116411436990e0,
                                         1.78482653991729133580e0,  2.96560571828504891230e-1,
                                         2.65321895265761230930e-2, 1.24266094738807843860e-3,
                                         2.71155556874348757815e-5, 2.01033439929228813265e-7};
constexpr double far_tail_denominator[] = {1.0,
                                           5.99832206555887937690e-1,
                                           1.36929880922735805310e-1,
                                           1.48753612908506148525e-2,
                                           7.86869131145613259100e-4,
                                           1.84631831751005468180e-5,
                                           1.42151175831644588870e-7,
                                           2.04426310338993978564e-15};

// Degree-7 polynomial by Horner's rule, lowest coefficient first.
double polynomial(const double (&c)[8], double x) {
  return ((((((c[7] * x + c[6]) * x + c[5]) * x + c[4]) * x + c[3]) * x + c[2]) * x + c[1]) * x + c[0];
}

constexpr double central_half_width = 0.425;

// |p - 1/2| <= 0.425. Odd in q = p - 1/2, which is exact there.
double central(double q) {
  const double r = 0.180625 - q * q;
  return q * polynomial(central_numerator, r) / polynomial(central_denominator, r);
}

// p in (0, 1/2) below the central region.
double lower_tail(double p) {
  double r = std::sqrt(-std::log(p));
  if (r <= 5.0) {
    r -= 1.6;
    return -polynomial(near_tail_numerator, r) / polynomial(near_tail_denominator, r);
  }
  r -= 5.0;
  return -polynomial(far_tail_numerator, r) / polynomial(far_tail_denominator, r);
}

}  // namespace

double inverse_normal_cdf(double p) noexcept {
  if (!(p > 0.0)) return p == 0.0 ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::quiet_NaN();
  if (!(p < 1.0)) return p == 1.0 ? std::numeric_limits<double>::infinity() : std::numeric_limits<double>::quiet_NaN();
  const double q = p - 0.5;
  if (std::fabs(q) <= central_half_width) return central(q);
  // The upper tail by symmetry, so that opposite probabilities give opposite values.
  return q > 0.0 ? -lower_tail(1.0 - p) : lower_tail(p);
}

void inverse_normal_cdf(const double* p, double* x, std::size_t n) noexcept {
  for (std::size_t i = 0; i < n; ++i) x[i] = central(p[i] - 0.5);
  for (std::size_t i = 0; i < n; ++i) {
    const double q = p[i] - 0.5;
    if (std::fabs(q) > central_half_width) x[i] = q > 0.0 ? -lower_tail(1.0 - p[i]) : lower_tail(p[i]);
  }
}

}  // namespace qavrek
