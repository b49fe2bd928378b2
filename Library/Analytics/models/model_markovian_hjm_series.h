#pragma once

// The divided differences of exp that both the model's tables and their adjoints evaluate, shared by the
// model's translation units so that the adjoints differentiate exactly the functions the tables hold.
// Internal to the model: no public header includes it.

#include <cmath>
#include <limits>

namespace qavrek::markovian_hjm_details {

// 2^-52: below it an exponent is treated as zero in expm1(x)/x.
inline constexpr double epsilon = std::numeric_limits<double>::epsilon();

// Below this size of x the divided differences of exp below are summed as series: their closed forms
// cancel there, catastrophically as x goes to 0 (a mean reversion of 1e-8 would lose every digit).
inline constexpr double series_bound = 1.0;

// (e^x - 1)/x = sum_j x^j / (j + 1)!.
inline double phi(double x) { return std::abs(x) >= epsilon ? std::expm1(x) / x : 1.0 + 0.5 * x; }

// Sum over j of weight(j) x^j / (j + shift)!, for |x| < series_bound and the weights used here (at most
// (j + 1) 2^(j + 3), and shift >= 2): 30 terms leave a remainder below 1e-25.
template <class Weight>
double exp_series(double x, int shift, Weight weight) {
  double factorial = 1.0;
  for (int i = 2; i <= shift; ++i) factorial *= i;
  double power = 1.0;
  double sum = 0.0;
  for (int j = 0; j < 30; ++j) {
    sum += weight(j) * power / factorial;
    power *= x;
    factorial *= j + shift + 1;
  }
  return sum;
}

// (phi(2x) - phi(x))/x: integral over [0, 1] of e^{xs} (e^{xs} - 1)/x ds.
inline double phi_cross(double x) {
  if (std::abs(x) < series_bound) return exp_series(x, 2, [](int j) { return std::ldexp(2.0, j) - 1.0; });
  return (phi(2.0 * x) - phi(x)) / x;
}

// (phi(2x) - 2 phi(x) + 1)/x^2: integral over [0, 1] of ((e^{xs} - 1)/x)^2 ds.
inline double phi_square(double x) {
  if (std::abs(x) < series_bound) return exp_series(x, 3, [](int j) { return std::ldexp(4.0, j) - 2.0; });
  return (phi(2.0 * x) - 2.0 * phi(x) + 1.0) / (x * x);
}

}  // namespace qavrek::markovian_hjm_details
