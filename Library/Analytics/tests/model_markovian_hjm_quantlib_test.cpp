// The conditional bond prices of the Markovian HJM model against QuantLib's Gaussian short-rate models:
// Hull-White, GSR (piecewise volatilities and reversions) and G2++.
//
// The model's state x enters its log bond price from t to T as -(G(T) - G(t)).x - 1/2 (G(T) - G(t))' S (G(T) + G(t)).
// Writing G(T) - G(t) = D(t) B(t, T) factor by factor, this is the short-rate models' -B.z - 1/2 B' D S D B
// with the short-rate factor z = D(t) (x + S(t) G(t)). The tests map x to z with D, G and S computed from
// their definitions (closed forms or quadrature), never from the model, and compare prices on a flat curve.

#include <gtest/gtest.h>

#include <ql/models/shortrate/onefactormodels/gsr.hpp>
#include <ql/models/shortrate/onefactormodels/hullwhite.hpp>
#include <ql/models/shortrate/twofactormodels/g2.hpp>
#include <ql/termstructures/yield/flatforward.hpp>
#include <ql/time/daycounters/actual365fixed.hpp>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/tests/hjm_model_test_support.h"

namespace qavrek {
namespace {

using namespace hjm_test;
using hjm_type = parameter_markovian_hjm_type;

// Bond prices of order one, two models evaluated in double: rounding stays near 1e-15.
constexpr double price_tolerance = 1e-12;

QuantLib::Date ql_date(const datetime& date) {
  return QuantLib::Date(static_cast<QuantLib::Date::serial_type>(date.serial()));
}

QuantLib::Handle<QuantLib::YieldTermStructure> flat_curve() {
  return QuantLib::Handle<QuantLib::YieldTermStructure>(
      QuantLib::ext::make_shared<QuantLib::FlatForward>(ql_date(valuation()), 0.03, QuantLib::Actual365Fixed()));
}

const std::vector<datetime> observation_dates = days({0, 91, 365, 1000, 2400, 4000});
const std::vector<int> maturity_offsets{0, 30, 365, 1826, 7300};
const std::vector<double> states{-0.05, -0.004, 0.0, 0.013, 0.04};

// Walks the observations t, maturities T and states of a one-factor model: `expected` receives (t, T, x)
// in years and the state, `curve_ratio` being P(0, T) / P(0, t).
void compare_one_factor(const model_markovian_hjm& model, const QuantLib::Handle<QuantLib::YieldTermStructure>& curve,
                        const std::function<double(double, double, double)>& expected, bool skip_valuation_date) {
  matrix<double> state_matrix(2, states.size());
  for (size_t p = 0; p < states.size(); ++p) state_matrix(0, p) = states[p];
  vector<double> prices(states.size());
  for (const datetime& t : observation_dates) {
    if (skip_valuation_date && t == valuation()) continue;
    for (int offset : maturity_offsets) {
      const datetime maturity(t.serial() + offset);
      model.conditional_price(state_matrix, t, maturity, prices);
      const double t_years = years(t);
      const double maturity_years = years(maturity);
      const double curve_ratio = curve->discount(maturity_years) / curve->discount(t_years);
      for (size_t p = 0; p < states.size(); ++p)
        EXPECT_NEAR(curve_ratio * std::exp(prices[p]), expected(t_years, maturity_years, states[p]), price_tolerance)
            << "t " << t << " T " << maturity << " x " << states[p];
    }
  }
}

TEST(ModelMarkovianHjmQuantLib, HullWhiteConstantParameters) {
  const double kappa = 0.05;
  const double sigma = 0.011;
  const auto curve = flat_curve();
  const QuantLib::HullWhite hull_white(curve, kappa, sigma);
  const parameter_markovian_hjm parameter =
      make_parameter(hjm_type::HULL_WHITE, {{kappa}}, days({3650}), {{sigma}}, days({3650}), {{1.0}});
  const auto expected = [&](double t, double maturity, double x) {
    const double decay = std::exp(-kappa * t);
    const double integral = -std::expm1(-kappa * t) / kappa;
    const double variance = sigma * sigma * std::expm1(2.0 * kappa * t) / (2.0 * kappa);
    const double forward = curve->forwardRate(t, t, QuantLib::Continuous, QuantLib::NoFrequency);
    return hull_white.discountBond(t, maturity, forward + decay * (x + variance * integral));
  };
  // With one factor the simulation model's covariances are exact too.
  compare_one_factor(model_markovian_hjm(parameter, valuation(), {}, true, observation_dates), curve, expected, false);
  compare_one_factor(model_markovian_hjm(parameter, valuation(), observation_dates, false), curve, expected, false);
}

// GSR works in the normalised state y = (z - E[z]) / stdev(z) of its T-forward measure.
double gsr_zero_bond(const QuantLib::Gsr& gsr, double t, double maturity, double z) {
  const auto process = gsr.stateProcess();
  const double y = (z - process->expectation(0.0, 0.0, t)) / process->stdDeviation(0.0, 0.0, t);
  return gsr.zerobond(maturity, t, y);
}

struct gsr_case {
  std::string name;
  hjm_type type;
  matrix<double> decays;
  std::vector<datetime> decays_dates;
  matrix<double> volatilities;
  std::vector<datetime> volatilities_dates;
  // GSR's reversions and volatilities on the same steps (the model's volatility dates but the last).
  std::vector<double> gsr_reversions;
  std::vector<double> gsr_volatilities;
};

void PrintTo(const gsr_case& c, std::ostream* out) { *out << c.name; }

class GsrComparison : public ::testing::TestWithParam<gsr_case> {};

TEST_P(GsrComparison, ConditionalBondPrices) {
  const gsr_case& c = GetParam();
  const auto curve = flat_curve();
  std::vector<QuantLib::Date> steps;
  for (size_t j = 0; j + 1 < c.volatilities_dates.size(); ++j) steps.push_back(ql_date(c.volatilities_dates[j]));
  const QuantLib::Gsr gsr(curve, steps, c.gsr_volatilities, c.gsr_reversions);
  const parameter_markovian_hjm parameter =
      make_parameter(c.type, c.decays, c.decays_dates, c.volatilities, c.volatilities_dates, {{1.0}});
  const reference_hjm reference(parameter);
  const auto expected = [&](double t, double maturity, double x) {
    const double z = reference.decay(0, t) * (x + reference.covariance(0, 0, t) * reference.integral_decay(0, t));
    return gsr_zero_bond(gsr, t, maturity, z);
  };
  // GSR's state has no spread at the valuation date to normalise by.
  compare_one_factor(model_markovian_hjm(parameter, valuation(), {}, true, observation_dates), curve, expected, true);
}

// PICEWISE_CONSTANT with a constant decay d has forward volatilities sigma(t) d, a GSR without reversion.
INSTANTIATE_TEST_SUITE_P(
    ModelMarkovianHjmQuantLib, GsrComparison,
    ::testing::Values(
        gsr_case{"HullWhitePiecewiseVolatilities", hjm_type::HULL_WHITE, {{0.04}}, days({5000}),
                 {{0.010}, {0.014}, {0.007}, {0.012}}, days({200, 730, 1826, 5000}), {0.04, 0.04, 0.04, 0.04},
                 {0.010, 0.014, 0.007, 0.012}},
        gsr_case{"HullWhitePiecewiseReversions", hjm_type::HULL_WHITE, {{0.04}, {0.12}, {0.01}, {0.06}},
                 days({200, 730, 1826, 5000}), {{0.010}, {0.014}, {0.007}, {0.012}}, days({200, 730, 1826, 5000}),
                 {0.04, 0.12, 0.01, 0.06}, {0.010, 0.014, 0.007, 0.012}},
        gsr_case{"PiecewiseConstant", hjm_type::PICEWISE_CONSTANT, {{0.8}}, days({5000}),
                 {{0.010}, {0.014}, {0.007}, {0.012}}, days({200, 730, 1826, 5000}), {0.0, 0.0, 0.0, 0.0},
                 {0.008, 0.0112, 0.0056, 0.0096}}),
    [](const auto& info) { return info.param.name; });

TEST(ModelMarkovianHjmQuantLib, TwoFactorsAgainstG2) {
  const double a = 0.1;
  const double sigma = 0.01;
  const double b = 0.6;
  const double eta = 0.008;
  const double rho = -0.7;
  const auto curve = flat_curve();
  const QuantLib::G2 g2(curve, a, sigma, b, eta, rho);
  const parameter_markovian_hjm parameter = make_parameter(hjm_type::HULL_WHITE, {{a, b}}, days({3650}),
                                                           {{sigma, eta}}, days({3650}), {{1.0, rho}, {rho, 1.0}});
  // The exact covariance needs the full-covariance model: the simulation model pairs the steps' standard
  // deviations, which is exact for one factor but not for two with different reversions.
  const model_markovian_hjm model(parameter, valuation(), {}, true, observation_dates);
  const double kappas[2] = {a, b};
  const double sigmas[2] = {sigma, eta};
  const double correlation[2][2] = {{1.0, rho}, {rho, 1.0}};

  matrix<double> state_matrix(3, states.size() * states.size());
  for (size_t p = 0; p < states.size(); ++p)
    for (size_t q = 0; q < states.size(); ++q) {
      state_matrix(0, p * states.size() + q) = states[p];
      state_matrix(1, p * states.size() + q) = 0.5 * states[q];
    }
  vector<double> prices(state_matrix.columns());
  for (const datetime& t : observation_dates) {
    const double ty = years(t);
    double decay[2];
    double integral[2];
    for (size_t k = 0; k < 2; ++k) {
      decay[k] = std::exp(-kappas[k] * ty);
      integral[k] = -std::expm1(-kappas[k] * ty) / kappas[k];
    }
    // G2's factors are the zero-mean Ornstein-Uhlenbeck parts of the short rate: z less its risk-neutral
    // mean, sum_j rho sigma_i sigma_j / k_j [(1 - e^{-k_i t}) / k_i - (1 - e^{-(k_i + k_j) t}) / (k_i + k_j)].
    double covariance_times_integral[2] = {0.0, 0.0};
    double mean[2] = {0.0, 0.0};
    for (size_t i = 0; i < 2; ++i)
      for (size_t j = 0; j < 2; ++j) {
        const double sum = kappas[i] + kappas[j];
        const double covariance = correlation[i][j] * sigmas[i] * sigmas[j] * std::expm1(sum * ty) / sum;
        covariance_times_integral[i] += covariance * integral[j];
        mean[i] += correlation[i][j] * sigmas[i] * sigmas[j] / kappas[j] *
                   (-std::expm1(-kappas[i] * ty) / kappas[i] + std::expm1(-sum * ty) / sum);
      }
    for (int offset : maturity_offsets) {
      const datetime maturity(t.serial() + offset);
      const double my = years(maturity);
      model.conditional_price(state_matrix, t, maturity, prices);
      const double curve_ratio = curve->discount(my) / curve->discount(ty);
      for (size_t column = 0; column < prices.size(); ++column) {
        const double x = decay[0] * (state_matrix(0, column) + covariance_times_integral[0]) - mean[0];
        const double y = decay[1] * (state_matrix(1, column) + covariance_times_integral[1]) - mean[1];
        EXPECT_NEAR(curve_ratio * std::exp(prices[column]), g2.discountBond(ty, my, x, y), price_tolerance)
            << "t " << t << " T " << maturity << " column " << column;
      }
    }
  }
}

}  // namespace
}  // namespace qavrek
