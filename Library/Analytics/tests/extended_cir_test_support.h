#pragma once

// What the extended CIR tests share: parameter sets in ACT/365F on the dates of the HJM test support, and a
// reference solution of the model's affine coefficients by classical Runge-Kutta, independent of the closed
// forms that the model uses.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

#include "Analytics/parameters/parameter_extended_cir.h"
#include "Analytics/tests/hjm_model_test_support.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Vectorization/matrix.h"

namespace qavrek::cir_test {

using hjm_test::day;
using hjm_test::days;
using hjm_test::valuation;
using hjm_test::years;

// One block of piecewise parameters: rows of factor values and their dates.
struct dated_rows {
  matrix<double> rows;
  std::vector<datetime> dates;
};

inline matrix<double> identity(size_t n) {
  matrix<double> correlation(n, n);
  for (size_t k = 0; k < n; ++k) correlation(k, k) = 1.0;
  return correlation;
}

inline ptr_const<parameter_extended_cir> make_parameter(const dated_rows& kappa, const dated_rows& sigma,
                                                        const dated_rows& theta) {
  return std::make_shared<const parameter_extended_cir>(kappa.rows, sigma.rows, theta.rows,
                                                        identity(kappa.rows.columns()), kappa.dates, sigma.dates,
                                                        theta.dates, std::make_shared<const day_count_convention>());
}

// Constant parameters, one entry per factor, dated ten years after the valuation date.
inline ptr_const<parameter_extended_cir> constant_parameter(const std::vector<double>& kappa,
                                                            const std::vector<double>& sigma,
                                                            const std::vector<double>& theta) {
  const auto row = [](const std::vector<double>& values) {
    matrix<double> m(1, values.size());
    std::copy(values.begin(), values.end(), m.begin());
    return m;
  };
  const std::vector<datetime> dates = days({3650});
  return make_parameter({row(kappa), dates}, {row(sigma), dates}, {row(theta), dates});
}

// ln A(t, T) and B(t, T) per factor, from B' = 1 - kappa B - sigma^2 B^2 / 2 and (ln A)' = sigma^2 theta B^2 / 2
// integrated backwards from T with RK4, the piecewise parameters read at each piece's midpoint (row k on
// (d_{k-1}, d_k], the last row after the last date). With steps of at most 1e-3 years the method's error,
// of order h^4 per year for coefficients of order one, stays below 1e-12.
class reference_cir {
 public:
  explicit reference_cir(const parameter_extended_cir& parameter) : parameter_(parameter) {
    for (const auto* dates :
         {&parameter.mean_reversion_speed_dates(), &parameter.volatilities_dates(), &parameter.shifts_dates()})
      for (const datetime& date : *dates) breakpoints_.push_back(years(date));
    std::sort(breakpoints_.begin(), breakpoints_.end());
  }

  struct coefficients {
    double log_a = 0.0;
    std::vector<double> b;
  };

  // t and T in years from the valuation date, t <= T.
  coefficients solve(double t, double T) const {
    const size_t n = parameter_.number_of_factors();
    coefficients c{0.0, std::vector<double>(n, 0.0)};
    std::vector<double> cuts{T};
    for (auto point = breakpoints_.rbegin(); point != breakpoints_.rend(); ++point)
      if (*point > t && *point < T) cuts.push_back(*point);
    cuts.push_back(t);
    for (size_t piece = 1; piece < cuts.size(); ++piece) {
      const double end = cuts[piece - 1];
      const double start = cuts[piece];
      const double middle = 0.5 * (start + end);
      for (size_t i = 0; i < n; ++i)
        c.log_a += integrate_factor(
            value(parameter_.mean_reversion_speeds(), parameter_.mean_reversion_speed_dates(), i, middle),
            value(parameter_.volatilities(), parameter_.volatilities_dates(), i, middle),
            value(parameter_.shifts(), parameter_.shifts_dates(), i, middle), end - start, c.b[i]);
    }
    return c;
  }

  // ln A(t, T) - ln A(v, T) + ln A(v, t) - B(t, T).x: the model's normalised conditional log price.
  double normalized_log_price(double t, double T, const std::vector<double>& x) const {
    const coefficients forward = solve(t, T);
    double value = forward.log_a - solve(0.0, T).log_a + solve(0.0, t).log_a;
    for (size_t i = 0; i < x.size(); ++i) value -= forward.b[i] * x[i];
    return value;
  }

 private:
  static double value(const matrix<double>& rows, const std::vector<datetime>& dates, size_t factor, double u) {
    size_t row = 0;
    while (row + 1 < dates.size() && years(dates[row]) < u) ++row;
    return rows(row, factor);
  }

  // Advances (B, ln A) of one factor over `length` years of constant parameters; returns the ln A increase.
  static double integrate_factor(double kappa, double sigma, double theta, double length, double& b) {
    if (!(length > 0.0)) return 0.0;
    const size_t steps = std::max<size_t>(16, static_cast<size_t>(std::ceil(length * 1000.0)));
    const double h = length / static_cast<double>(steps);
    const auto slope = [&](double x) { return 1.0 - kappa * x - 0.5 * sigma * sigma * x * x; };
    const auto growth = [&](double x) { return 0.5 * sigma * sigma * theta * x * x; };
    double log_a = 0.0;
    for (size_t s = 0; s < steps; ++s) {
      const double k1 = slope(b), l1 = growth(b);
      const double k2 = slope(b + 0.5 * h * k1), l2 = growth(b + 0.5 * h * k1);
      const double k3 = slope(b + 0.5 * h * k2), l3 = growth(b + 0.5 * h * k2);
      const double k4 = slope(b + h * k3), l4 = growth(b + h * k3);
      b += h / 6.0 * (k1 + 2.0 * k2 + 2.0 * k3 + k4);
      log_a += h / 6.0 * (l1 + 2.0 * l2 + 2.0 * l3 + l4);
    }
    return log_a;
  }

  const parameter_extended_cir& parameter_;
  std::vector<double> breakpoints_;
};

}  // namespace qavrek::cir_test
