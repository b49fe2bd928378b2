// The extended CIR model against QuantLib's square-root models: conditional prices against
// CoxIngersollRoss::discountBond, one simulation step against the moments of CoxIngersollRossProcess, and a
// Monte Carlo zero-coupon bond call through the rate diffusion against ExtendedCoxIngersollRoss.
//
// With constant parameters y = x + theta is QuantLib's CIR short rate, and the rate x = y - theta is its
// extended model with the fitting shift phi = -theta: so the model's own curve, P(0, t) =
// CIR P(0, t; y0 = theta) exp(theta t), makes ExtendedCoxIngersollRoss with x0 = theta the same model.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <ql/models/shortrate/onefactormodels/coxingersollross.hpp>
#include <ql/models/shortrate/onefactormodels/extendedcoxingersollross.hpp>
#include <ql/processes/coxingersollrossprocess.hpp>
#include <ql/termstructures/yieldtermstructure.hpp>
#include <ql/time/calendars/nullcalendar.hpp>
#include <ql/time/daycounters/actual365fixed.hpp>
#include <random>
#include <string>
#include <vector>

#include "Analytics/diffusion/ir/diffusion_ir_extended_cir.h"
#include "Analytics/models/model_extended_cir.h"
#include "Analytics/simulation/simulation_manager.h"
#include "Analytics/tests/extended_cir_test_support.h"
#include "Analytics/tests/simulation_test_support.h"

namespace qavrek {
namespace {

using namespace cir_test;

struct factor {
  double kappa, sigma, theta;
};

QuantLib::CoxIngersollRoss square_root_model(const factor& f) {
  return QuantLib::CoxIngersollRoss(f.theta, f.theta, f.kappa, f.sigma, false);
}

// ln P(t, T) of the shifted sum of factors at x, from QuantLib's CIR bond price of y = x + theta.
double quantlib_log_price(const std::vector<factor>& factors, double t, double T, const std::vector<double>& x) {
  double value = 0.0;
  for (size_t i = 0; i < factors.size(); ++i)
    value += std::log(square_root_model(factors[i]).discountBond(t, T, x[i] + factors[i].theta)) +
             factors[i].theta * (T - t);
  return value;
}

ptr_const<parameter_extended_cir> parameter_of(const std::vector<factor>& factors) {
  std::vector<double> kappa, sigma, theta;
  for (const factor& f : factors) {
    kappa.push_back(f.kappa);
    sigma.push_back(f.sigma);
    theta.push_back(f.theta);
  }
  return constant_parameter(kappa, sigma, theta);
}

// Bond prices of order one from two closed forms in double; the model sums its ln A over several intervals.
constexpr double price_tolerance = 1e-12;

TEST(ExtendedCirQuantLib, ConstantParametersPriceAsTheSquareRootBond) {
  const std::vector<std::vector<factor>> cases = {
      {{0.25, 0.09, 0.04}},
      {{0.6, 0.2, 0.015}, {0.05, 0.04, 0.03}},
  };
  const std::vector<datetime> dates = days({0, 30, 365, 1461});
  const std::vector<int> maturities = {30, 365, 900, 1461, 7300};
  for (const auto& factors : cases) {
    SCOPED_TRACE(std::to_string(factors.size()) + " factors");
    const size_t n = factors.size();
    const auto parameter = parameter_of(factors);
    const model_extended_cir model(*parameter, valuation(), dates, false);
    std::vector<double> state(model.state_parameters_size());
    model.get_state_parameters(state.data());
    const double* log_a = state.data() + model.log_a_from_valuation_offset();

    const std::vector<std::vector<double>> paths = {std::vector<double>(n, 0.0), {0.02, -0.01}, {-0.035, 0.05}};
    matrix<double> states(n + 1, paths.size());
    for (size_t p = 0; p < paths.size(); ++p)
      for (size_t i = 0; i < n; ++i) states(i, p) = paths[p][i];
    vector<double> prices(paths.size());
    for (size_t j = 0; j < dates.size(); ++j) {
      const double t = years(dates[j]);
      for (int maturity : maturities) {
        if (day(maturity) < dates[j]) continue;
        SCOPED_TRACE("from " + dates[j].to_string() + " to " + day(maturity).to_string());
        const double T = years(day(maturity));
        model.conditional_price(states, dates[j], day(maturity), prices);
        const auto simulated = std::find(dates.begin(), dates.end(), day(maturity));
        const std::vector<double> zero(n, 0.0);
        for (size_t p = 0; p < paths.size(); ++p) {
          const std::vector<double> x(paths[p].begin(), paths[p].begin() + static_cast<std::ptrdiff_t>(n));
          if (simulated != dates.end()) {
            // De-normalised with ln A(v, .) of the state-parameter vector.
            EXPECT_NEAR(prices[p] + log_a[simulated - dates.begin()] - log_a[j], quantlib_log_price(factors, t, T, x),
                        price_tolerance);
          } else {
            EXPECT_NEAR(prices[p],
                        quantlib_log_price(factors, t, T, x) - quantlib_log_price(factors, 0.0, T, zero) +
                            quantlib_log_price(factors, 0.0, t, zero),
                        price_tolerance);
          }
        }
      }
    }
  }
}

// Mean, variance and their standard errors of a large sample.
struct moments {
  double mean = 0.0, variance = 0.0, mean_error = 0.0, variance_error = 0.0;
};

moments moments_of(const double* values, size_t count) {
  const double n = static_cast<double>(count);
  double sum = 0.0;
  for (size_t p = 0; p < count; ++p) sum += values[p];
  const double mean = sum / n;
  double m2 = 0.0, m4 = 0.0;
  for (size_t p = 0; p < count; ++p) {
    const double d = (values[p] - mean) * (values[p] - mean);
    m2 += d;
    m4 += d * d;
  }
  m2 /= n;
  m4 /= n;
  return {mean, m2 * n / (n - 1.0), std::sqrt(m2 / n), std::sqrt((m4 - m2 * m2) / n)};
}

// The variance of the square-root transition from y0 over dt (the scaled non-central chi-square's
// c^2 2 (d + 2 lambda)). QuantLib 1.29's CoxIngersollRossProcess::variance cannot serve here: it reads the
// process's own x0 instead of its argument and counts the level term twice.
double transition_variance(const factor& f, double y0, double dt) {
  const double e = std::exp(-f.kappa * dt);
  const double s2 = f.sigma * f.sigma;
  return y0 * s2 / f.kappa * (e - e * e) + f.theta * s2 / (2.0 * f.kappa) * (1.0 - e) * (1.0 - e);
}

// One step of half a year over 10^6 paths: the sample mean and variance of y = x + theta against the exact
// transition's, within 4 standard errors (about 1 in 16000 for a correct draw; the draw matches both moments
// exactly, so a wrong scale, degrees of freedom or non-centrality shows at once).
TEST(ExtendedCirQuantLib, OneStepHasTheTransitionMoments) {
  struct start {
    const char* label;
    factor f;
    double y0;
  };
  const std::vector<start> starts = {
      {"above the level", {0.5, 0.15, 0.04}, 0.07},
      {"near zero, Feller condition broken", {1.2, 0.3, 0.02}, 1e-4},
      {"below zero, drawn as from zero", {0.3, 0.1, 0.05}, -0.03},
  };
  std::vector<factor> factors;
  for (const auto& s : starts) factors.push_back(s.f);
  const auto parameter = parameter_of(factors);
  const std::vector<datetime> dates = days({0, 182});
  const model_extended_cir model(*parameter, valuation(), dates, false);

  constexpr size_t paths = 1000000;
  const size_t n = starts.size();
  matrix<double> states(n + 1, paths), previous;
  for (size_t i = 0; i < n; ++i) std::fill(states[i], states[i] + paths, starts[i].y0 - starts[i].f.theta);
  matrix<double> draws(n, paths);
  std::mt19937_64 generator(20240611);
  std::normal_distribution<double> normal;
  for (double& z : draws) z = normal(generator);
  model.evolve(change_of_measure(), 1, draws, previous, states);

  const double dt = years(dates[1]);
  for (size_t i = 0; i < n; ++i) {
    SCOPED_TRACE(starts[i].label);
    std::vector<double> y(states[i], states[i] + paths);
    for (double& value : y) value += starts[i].f.theta;
    const moments sample = moments_of(y.data(), paths);
    const QuantLib::CoxIngersollRossProcess process(starts[i].f.kappa, starts[i].f.sigma, 0.0, starts[i].f.theta);
    const double y0 = std::max(starts[i].y0, 0.0);
    EXPECT_LE(std::abs(sample.mean - process.expectation(0.0, y0, dt)), 4.0 * sample.mean_error);
    EXPECT_LE(std::abs(sample.variance - transition_variance(starts[i].f, y0, dt)), 4.0 * sample.variance_error);
  }
}

// The model's own discount curve for QuantLib: P(0, t) = CIR P(0, t; theta) exp(theta t).
class square_root_curve : public QuantLib::YieldTermStructure {
 public:
  square_root_curve(const QuantLib::Date& reference, const factor& f)
      : QuantLib::YieldTermStructure(reference, QuantLib::NullCalendar(), QuantLib::Actual365Fixed()),
        model_(square_root_model(f)),
        theta_(f.theta) {}
  QuantLib::Date maxDate() const override { return QuantLib::Date::maxDate(); }

 protected:
  QuantLib::DiscountFactor discountImpl(QuantLib::Time t) const override {
    return model_.discountBond(0.0, t, theta_) * std::exp(theta_ * t);
  }

 private:
  QuantLib::CoxIngersollRoss model_;
  double theta_;
};

struct price_estimate {
  double value, standard_error;
};

// A call on the zero-coupon bond maturing at `maturity`, expiring at the last of `dates`, by Monte Carlo
// through the rate diffusion over the model's own curve.
price_estimate simulated_call(const factor& f, const std::vector<datetime>& dates, const datetime& maturity,
                              double strike, size_t paths) {
  std::vector<datetime> curve_dates(dates.begin() + 1, dates.end());
  curve_dates.push_back(maturity);
  std::vector<double> dfs;
  for (const datetime& date : curve_dates) dfs.push_back(std::exp(quantlib_log_price({f}, 0.0, years(date), {0.0})));
  const auto curve = std::make_shared<const discount_curve>(valuation(), curve_dates, dfs);
  const auto rate = std::make_shared<const diffusion_ir_extended_cir>(dates, curve, parameter_of({f}));
  simulation_manager manager({rate}, {std::make_shared<const change_of_measure>()}, matrix<double>{{1.0}},
                             simulation_test::random_configuration(paths, dates.size(), 1), dates);
  manager.states_initialize();
  for (size_t t = 1; t < dates.size(); ++t) manager.propagate(t);
  const auto view = diffusion::diffusion_discount_curve(manager.data(0));
  vector<double> discounting(paths), log_bond(paths);
  view->discounting(discounting, dates.back());
  view->log_df(log_bond, dates.back(), maturity);
  std::vector<double> payoffs(paths);
  for (size_t p = 0; p < paths; ++p) payoffs[p] = discounting[p] * std::max(std::exp(log_bond[p]) - strike, 0.0);
  const moments m = moments_of(payoffs.data(), paths);
  return {m.mean, m.mean_error};
}

TEST(ExtendedCirQuantLib, BondCallMatchesTheExtendedModel) {
  const factor f{0.3, 0.15, 0.04};
  const datetime expiry = day(360);
  const datetime maturity = day(360 + 4 * 365);
  const double t = years(expiry), T = years(maturity);
  const double forward = std::exp(quantlib_log_price({f}, 0.0, T, {0.0}) - quantlib_log_price({f}, 0.0, t, {0.0}));

  const QuantLib::Date today(static_cast<QuantLib::Date::serial_type>(valuation().serial()));
  const QuantLib::Handle<QuantLib::YieldTermStructure> curve(QuantLib::ext::make_shared<square_root_curve>(today, f));
  const QuantLib::ExtendedCoxIngersollRoss extended(curve, f.theta, f.kappa, f.sigma, f.theta, false);
  const double expected = extended.discountBondOption(QuantLib::Option::Call, forward, t, T);

  // The step matches two moments of the transition and integrates the rate by trapezoids: a bias of first
  // order in the step, clearly visible with one step to the expiry. Finer steps must come within 4 standard
  // errors of the exact price plus that bias scaled down with the step.
  constexpr size_t paths = 1 << 20;
  std::vector<double> errors, standard_errors;
  const std::vector<int> step_counts = {1, 4, 12};
  for (int steps : step_counts) {
    std::vector<datetime> dates;
    for (int s = 0; s <= steps; ++s) dates.push_back(day(360 * s / steps));
    const price_estimate estimate = simulated_call(f, dates, maturity, forward, paths);
    errors.push_back(std::abs(estimate.value - expected));
    standard_errors.push_back(estimate.standard_error);
  }
  const double one_step_bias = errors.front();
  for (size_t k = 1; k < step_counts.size(); ++k) {
    SCOPED_TRACE(std::to_string(step_counts[k]) + " steps");
    EXPECT_LE(errors[k], 4.0 * standard_errors[k] + one_step_bias / step_counts[k]);
  }
  EXPECT_LT(errors.back(), one_step_bias);
}

}  // namespace
}  // namespace qavrek
