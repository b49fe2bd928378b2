#pragma once

// What the tests of the Markovian HJM model share: dates counted in days from one valuation date,
// parameter sets in ACT/365F (so a year fraction is days / 365, as QuantLib's Actual365Fixed counts),
// and a reference computation of the model's quantities straight from their defining integrals.

#include <boost/math/quadrature/gauss_kronrod.hpp>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Vectorization/matrix.h"

namespace qavrek::hjm_test {

inline datetime valuation() { return datetime(2024, 1, 2); }
inline datetime day(int days) { return datetime(valuation().serial() + days); }
inline std::vector<datetime> days(std::initializer_list<int> offsets) {
  std::vector<datetime> dates;
  for (int offset : offsets) dates.push_back(day(offset));
  return dates;
}
// ACT/365F year fraction from the valuation date.
inline double years(const datetime& date) { return (date.serial() - valuation().serial()) / 365.0; }

inline parameter_markovian_hjm make_parameter(parameter_markovian_hjm_type type, const matrix<double>& decays,
                                              const std::vector<datetime>& decays_dates,
                                              const matrix<double>& volatilities,
                                              const std::vector<datetime>& volatilities_dates,
                                              const matrix<double>& correlation) {
  return parameter_markovian_hjm(decays, volatilities, correlation, decays_dates, volatilities_dates,
                                 std::make_shared<const day_count_convention>(), type);
}

// The adjoint tests' parameter set, n = 1 to 3 factors: decays and volatilities that change on dates
// inside the lives the tests look at, so that the loadings read several parameter rows, and correlated
// factors. A near-zero decay (1e-9) sits on factor 0 (from the second row on for PICEWISE_CONSTANT, where
// a zero first decay would make the first step's variance kink); the first volatility row may be zero.
inline parameter_markovian_hjm varying_parameter(parameter_markovian_hjm_type type, size_t n, bool near_zero_decay,
                                                 bool zero_first_volatility = false) {
  const bool hull_white = type == parameter_markovian_hjm_type::HULL_WHITE;
  const std::vector<double> decay_base =
      hull_white ? std::vector<double>{0.03, 0.2, 0.5} : std::vector<double>{1.0, 0.5, 1.5};
  const std::vector<double> decay_scale{1.0, 0.6, 1.4};
  const std::vector<double> volatility_base{0.010, 0.007, 0.005};
  const std::vector<double> volatility_scale{1.0, 1.3, 0.8, 1.1};
  matrix<double> decays(decay_scale.size(), n);
  for (size_t r = 0; r < decays.rows(); ++r)
    for (size_t k = 0; k < n; ++k) decays(r, k) = decay_base[k] * decay_scale[r];
  if (near_zero_decay)
    for (size_t r = hull_white ? 0 : 1; r < (hull_white ? decays.rows() : 2); ++r) decays(r, 0) = 1e-9;
  matrix<double> volatilities(volatility_scale.size(), n);
  for (size_t r = 0; r < volatilities.rows(); ++r)
    for (size_t k = 0; k < n; ++k)
      volatilities(r, k) = zero_first_volatility && r == 0 ? 0.0 : volatility_base[k] * volatility_scale[r];
  const matrix<double> full_correlation{{1.0, -0.4, 0.2}, {-0.4, 1.0, 0.3}, {0.2, 0.3, 1.0}};
  matrix<double> correlation(n, n);
  for (size_t a = 0; a < n; ++a)
    for (size_t b = 0; b < n; ++b) correlation(a, b) = full_correlation(a, b);
  return make_parameter(type, decays, days({365, 1095, 2555}), volatilities, days({180, 730, 1460, 3650}),
                        correlation);
}

// Integral of f over [a, b] in years, split at the given breakpoints (where piecewise-constant
// parameters jump) and integrated piece by piece with the 61-point Gauss-Kronrod rule. On each piece the
// integrands are products of exponentials exp(c u) with |c u| of order one and of polynomials: the rule
// integrates polynomials of degree 91 exactly, so its error lies far below the rounding of the sum.
inline double integrate(const std::function<double(double)>& f, double a, double b,
                        const std::vector<double>& breakpoints) {
  if (!(a < b)) return 0.0;
  std::vector<double> cuts{a};
  for (double point : breakpoints)
    if (point > a && point < b) cuts.push_back(point);
  cuts.push_back(b);
  double sum = 0.0;
  for (size_t i = 1; i < cuts.size(); ++i)
    sum += boost::math::quadrature::gauss_kronrod<double, 61>::integrate(f, cuts[i - 1], cuts[i], 0);
  return sum;
}

// The model's quantities from their definitions, in years u from the valuation date: parameter row k
// applies on (d_{k-1}, d_k] and the last row after the last date; under HULL_WHITE D(u) = exp(-integral
// of the mean reversion), under PICEWISE_CONSTANT D is the decays row itself; G(u) is the integral of D.
class reference_hjm {
 public:
  explicit reference_hjm(const parameter_markovian_hjm& parameter) : parameter_(parameter) {
    for (const auto& date : parameter.decays_dates()) decay_times_.push_back(years(date));
    for (const auto& date : parameter.volatilities_dates()) volatility_times_.push_back(years(date));
    breakpoints_ = decay_times_;
    breakpoints_.insert(breakpoints_.end(), volatility_times_.begin(), volatility_times_.end());
    std::sort(breakpoints_.begin(), breakpoints_.end());
  }

  bool hull_white() const { return parameter_.model_type() == parameter_markovian_hjm_type::HULL_WHITE; }
  const std::vector<double>& breakpoints() const { return breakpoints_; }

  double kappa(size_t k, double u) const { return parameter_.decays()(row_at(decay_times_, u), k); }
  double sigma(size_t k, double u) const { return parameter_.volatilities()(row_at(volatility_times_, u), k); }

  double decay(size_t k, double u) const {
    if (!hull_white()) return u > 0.0 ? kappa(k, u) : parameter_.decays()(0, k);
    // The integral of a piecewise constant: exact sum of the pieces.
    double integral = 0.0;
    double from = 0.0;
    for (double cut : breakpoints_) {
      if (cut <= from) continue;
      if (cut >= u) break;
      integral += kappa(k, cut) * (cut - from);
      from = cut;
    }
    integral += kappa(k, u) * (u - from);
    return std::exp(-integral);
  }

  double integral_decay(size_t k, double u) const {
    return integrate([&](double s) { return decay(k, s); }, 0.0, u, breakpoints_);
  }

  // The weight sigma / D of a factor's Brownian increment in its state (no division under PICEWISE_CONSTANT).
  double state_loading(size_t k, double u) const { return hull_white() ? sigma(k, u) / decay(k, u) : sigma(k, u); }

  double covariance(size_t a, size_t b, double u) const {
    const double rho = parameter_.correlation()(a, b);
    return integrate([&](double s) { return rho * state_loading(a, s) * state_loading(b, s); }, 0.0, u, breakpoints_);
  }

  double sv_variance(size_t k, double from, double to) const {
    return integrate([&](double s) { return std::pow(state_loading(k, s), 2); }, from, to, breakpoints_);
  }

  double mm_variance(size_t k, double from, double to) const {
    return integrate([&](double s) { return std::pow(state_loading(k, s) * integral_decay(k, s), 2); }, from, to,
                     breakpoints_);
  }

 private:
  static size_t row_at(const std::vector<double>& times, double u) {
    const auto first_not_before = std::lower_bound(times.begin(), times.end(), u);
    return std::min(static_cast<size_t>(first_not_before - times.begin()), times.size() - 1);
  }

  const parameter_markovian_hjm& parameter_;
  std::vector<double> decay_times_;
  std::vector<double> volatility_times_;
  std::vector<double> breakpoints_;
};

}  // namespace qavrek::hjm_test
