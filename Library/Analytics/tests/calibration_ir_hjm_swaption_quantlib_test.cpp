// Model prices of the HJM swaption target against QuantLib's Gaussian short-rate models on the same
// log-linear curve and the same schedule (QuantLib's swap is built from our swap's dates, ACT/365F
// accruals, no spot lag, the floating leg worth par at the start, as QuantLib's Jamshidian and G2 engines
// take it):
// - a one-factor Hull-White HJM model is QuantLib's Hull-White model with the same mean reversion and
//   volatility, for caplets (a put on a zero bond) and swaptions (Jamshidian's decomposition);
// - piecewise-constant volatilities are QuantLib's GSR model;
// - two factors are QuantLib's G2++ model; there the half-space of the target is an approximation of the
//   exercise region, measured against G2++ and against a Gauss-Hermite integral of the exact payoff.

#include <gtest/gtest.h>

#include <ql/currencies/europe.hpp>
#include <ql/exercise.hpp>
#include <ql/indexes/iborindex.hpp>
#include <ql/instruments/swaption.hpp>
#include <ql/instruments/vanillaswap.hpp>
#include <ql/math/distributions/normaldistribution.hpp>
#include <ql/math/integrals/gaussianquadratures.hpp>
#include <ql/math/interpolations/loginterpolation.hpp>
#include <ql/math/solvers1d/brent.hpp>
#include <ql/models/shortrate/onefactormodels/gsr.hpp>
#include <ql/models/shortrate/onefactormodels/hullwhite.hpp>
#include <ql/models/shortrate/twofactormodels/g2.hpp>
#include <ql/pricingengines/swaption/g2swaptionengine.hpp>
#include <ql/pricingengines/swaption/gaussian1djamshidianswaptionengine.hpp>
#include <ql/pricingengines/swaption/gaussian1dswaptionengine.hpp>
#include <ql/pricingengines/swaption/jamshidianswaptionengine.hpp>
#include <ql/settings.hpp>
#include <ql/termstructures/yield/discountcurve.hpp>
#include <ql/time/calendars/nullcalendar.hpp>
#include <ql/time/daycounters/actual365fixed.hpp>
#include <ql/time/schedule.hpp>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "Analytics/tests/hjm_swaption_quantlib_support.h"

namespace qavrek {
namespace {

using namespace hjm_swaption_test;
namespace ql = QuantLib;


// Our model price with the calibration's search, from the target's initial root.
double model_price(const calibration_ir_hjm_swaption& target, const model_markovian_hjm& model, double strike) {
  vector<double> root(model.number_of_factors());
  vector<double> gradient(model.number_of_factors());
  target.initial_root(root, strike, model);
  return target.value(strike, model, root, gradient, calibration_iterations, calibration_tolerance);
}

struct swaption_case {
  std::string expiry;
  std::string length;
  std::string frequency;
};

std::string case_name(const swaption_case& c) { return c.expiry + "x" + c.length + "_" + c.frequency; }

// In the money, at the money, out of the money.
const std::vector<double> moneyness{0.7, 1.0, 1.4};

constexpr double mean_reversion = 0.05;
constexpr double short_rate_volatility = 0.01;

// A caplet on (T0, T1) pays (L - K) tau at T1: (1 + K tau) puts on the zero bond P(T0, T1) struck at
// 1 / (1 + K tau). Both sides evaluate closed forms on the same discount factors and variances, so they
// agree to rounding.
constexpr double caplet_tolerance = 1e-12;

TEST(CalibrationHjmSwaptionQuantLib, CapletsAreHullWhiteBondPuts) {
  const auto curve = ql_curve();
  const ql::HullWhite hull_white(curve, mean_reversion, short_rate_volatility);
  const hjm_setup hjm(hull_white_parameter(mean_reversion, short_rate_volatility));
  for (const swaption_case& c : {swaption_case{"6M", "3M", "3M"}, swaption_case{"1Y", "6M", "6M"},
                                 swaption_case{"5Y", "1Y", "1Y"}, swaption_case{"10Y", "6M", "6M"}}) {
    const calibration_ir_hjm_swaption caplet = target(c.expiry, c.length, c.frequency);
    const interest_rate_swap& swap = *caplet.swaption();
    ASSERT_TRUE(swap.is_caplet()) << case_name(c);
    const double accrual = swap.fixed_leg_instrument()->dcf(0);
    const double start = years(swap.all_dates()[0]);
    const double end = years(swap.all_dates()[1]);
    for (double m : moneyness) {
      const double strike = m * caplet.swap_rate();
      const double expected =
          (1.0 + accrual * strike) * hull_white.discountBondOption(ql::Option::Put, 1.0 / (1.0 + accrual * strike),
                                                                   start, end);
      EXPECT_NEAR(model_price(caplet, hjm.model, strike), expected, caplet_tolerance)
          << case_name(c) << " strike " << strike;
    }
  }
}

// Jamshidian's decomposition on QuantLib's Hull-White bond prices and bond options, with the short rate
// r* at which the coupon bond is worth par solved to rounding.
double jamshidian_price(const ql::HullWhite& model, const interest_rate_swap& swap, double strike) {
  const std::vector<datetime>& dates = swap.all_dates();
  const double expiry = years(dates[0]);
  std::vector<double> times;
  std::vector<double> amounts;
  for (size_t i = 1; i < dates.size(); ++i) {
    times.push_back(years(dates[i]));
    amounts.push_back(strike * swap.fixed_leg_instrument()->dcf(i - 1) + (i + 1 == dates.size() ? 1.0 : 0.0));
  }
  const auto coupon_bond_less_par = [&](double r) {
    double sum = -1.0;
    for (size_t i = 0; i < times.size(); ++i) sum += amounts[i] * model.discountBond(expiry, times[i], r);
    return sum;
  };
  const double r_star = ql::Brent().solve(coupon_bond_less_par, 1e-15, 0.03, -1.0, 1.0);
  double price = 0.0;
  for (size_t i = 0; i < times.size(); ++i)
    price += amounts[i] * model.discountBondOption(ql::Option::Put, model.discountBond(expiry, times[i], r_star),
                                                   expiry, times[i]);
  return price;
}

// With one factor the swap value is monotone in the state, the half-space is the exact exercise region
// and our price is Jamshidian's. Against the decomposition solved to rounding: the boundary is searched
// to |V| < 1e-10, an error that enters the price only at second order, and the rest is the rounding of
// sums of up to eighty terms of order one.
constexpr double jamshidian_tolerance = 1e-12;
// QuantLib's engine stops its search for r* at a short-rate accuracy of about 1e-8, an error that enters
// its price at first order (times the coupon bond's duration and the exercise probability): differences
// up to 5e-9 here, which vanish against the decomposition solved to rounding.
constexpr double jamshidian_engine_tolerance = 2e-8;

TEST(CalibrationHjmSwaptionQuantLib, OneFactorSwaptionsAreJamshidianPrices) {
  const auto curve = ql_curve();
  const auto hull_white = ql::ext::make_shared<ql::HullWhite>(curve, mean_reversion, short_rate_volatility);
  const auto engine = ql::ext::make_shared<ql::JamshidianSwaptionEngine>(hull_white);
  const hjm_setup hjm(hull_white_parameter(mean_reversion, short_rate_volatility));
  for (const swaption_case& c :
       {swaption_case{"1Y", "2Y", "6M"}, swaption_case{"1Y", "10Y", "1Y"}, swaption_case{"5Y", "5Y", "6M"},
        swaption_case{"10Y", "10Y", "1Y"}, swaption_case{"3M", "20Y", "3M"}, swaption_case{"2Y", "7Y", "2Y"}}) {
    const calibration_ir_hjm_swaption swaption = target(c.expiry, c.length, c.frequency);
    for (double m : moneyness) {
      const double strike = m * swaption.swap_rate();
      const double ours = model_price(swaption, hjm.model, strike);
      EXPECT_NEAR(ours, jamshidian_price(*hull_white, *swaption.swaption(), strike), jamshidian_tolerance)
          << case_name(c) << " strike " << strike;
      const auto reference_swaption = ql_swaption(*swaption.swaption(), strike, curve);
      ql::Swaption& reference = *reference_swaption;
      reference.setPricingEngine(engine);
      EXPECT_NEAR(ours, reference.NPV(), jamshidian_engine_tolerance) << case_name(c) << " strike " << strike;
    }
  }
}

// Piecewise-constant volatilities under a constant reversion are QuantLib's GSR model with the same
// steps. QuantLib prices GSR swaptions by integrating over a grid of the state with a spline of the
// payoff, whose kink limits the accuracy: its Jamshidian engine (bond options on 64 points over 7
// standard deviations) is off by up to 2e-5 here; the swaption engine on 4096 points over 10 standard
// deviations by up to 2e-8 (the differences shrink about 16-fold per 4-fold refinement: 1e-5, 3.5e-7, 2e-8).
constexpr double gsr_jamshidian_engine_tolerance = 5e-5;
constexpr double gsr_fine_grid_tolerance = 5e-8;

TEST(CalibrationHjmSwaptionQuantLib, PiecewiseVolatilitiesAreGsrPrices) {
  const auto curve = ql_curve();
  const double reversion = 0.04;
  const std::vector<datetime> volatility_dates = days({200, 730, 1826, 5000});
  const std::vector<double> volatilities{0.010, 0.014, 0.007, 0.012};
  // GSR's steps are the model's volatility dates but the last; its last volatility applies after them.
  std::vector<ql::Date> steps;
  for (size_t j = 0; j + 1 < volatility_dates.size(); ++j) steps.push_back(to_ql(volatility_dates[j]));
  const auto gsr = ql::ext::make_shared<ql::Gsr>(curve, steps, volatilities, std::vector<double>(4, reversion));
  const auto jamshidian_engine = ql::ext::make_shared<ql::Gaussian1dJamshidianSwaptionEngine>(gsr);
  const auto fine_grid_engine = ql::ext::make_shared<ql::Gaussian1dSwaptionEngine>(gsr, 4096, 10.0, true, false);
  matrix<double> sigma(volatilities.size(), 1);
  for (size_t j = 0; j < volatilities.size(); ++j) sigma(j, 0) = volatilities[j];
  const hjm_setup hjm(make_parameter(parameter_markovian_hjm_type::HULL_WHITE, {{reversion}}, days({5000}), sigma,
                                     volatility_dates, {{1.0}}));
  for (const swaption_case& c : {swaption_case{"6M", "2Y", "6M"}, swaption_case{"1Y", "5Y", "1Y"},
                                 swaption_case{"3Y", "10Y", "1Y"}, swaption_case{"7Y", "5Y", "6M"}}) {
    const calibration_ir_hjm_swaption swaption = target(c.expiry, c.length, c.frequency);
    for (double m : moneyness) {
      const double strike = m * swaption.swap_rate();
      const double ours = model_price(swaption, hjm.model, strike);
      const auto reference_swaption = ql_swaption(*swaption.swaption(), strike, curve);
      ql::Swaption& reference = *reference_swaption;
      reference.setPricingEngine(jamshidian_engine);
      EXPECT_NEAR(ours, reference.NPV(), gsr_jamshidian_engine_tolerance) << case_name(c) << " strike " << strike;
      reference.setPricingEngine(fine_grid_engine);
      EXPECT_NEAR(ours, reference.NPV(), gsr_fine_grid_tolerance) << case_name(c) << " strike " << strike;
    }
  }
}

// E[max(V(x), 0)] for two standard Gaussian factors, the exact price of our model on its own loadings.
// In coordinates u along a unit vector e and w across it, a Gauss-Hermite rule over w and the integral
// over u in closed form: with V increasing in u the exercised part of each line is u > u*(w), and a cash
// flow c_i Pm_i exp(-G_i.x - |G_i|^2 / 2) integrates over it to c_i Pm_i exp(-b_i w - b_i^2 / 2) N(-(u* + a_i)),
// a_i = G_i.e and b_i = G_i.e'. The integrand left in w is smooth, so 48 nodes reach rounding (a product
// rule over both coordinates converges slowly across the payoff's kink: about 1e-6 with 128 x 128 nodes).
double exact_two_factor_price(const interest_rate_swap& swap, const model_markovian_hjm& model, double strike) {
  const size_t n = swap.all_dates().size();
  matrix<double> G(n, 2);
  model.decompose(G, swap.expiry(), swap.all_dates(), true);
  // The swap's weight of each date, and e along the gradient of V at the origin, -sum_i c_i Pm_i G_i.
  std::vector<double> cash_flows(n);
  double e[2] = {0.0, 0.0};
  for (size_t i = 0; i < n; ++i) {
    std::vector<double> unit(n, 0.0);
    unit[i] = swap.dfs()[i];
    cash_flows[i] = swap.value(strike, unit);
    for (size_t k = 0; k < 2; ++k) e[k] -= cash_flows[i] * G(i, k);
  }
  const double norm = std::hypot(e[0], e[1]);
  e[0] /= norm;
  e[1] /= norm;
  std::vector<double> along(n);
  std::vector<double> across(n);
  for (size_t i = 0; i < n; ++i) {
    along[i] = G(i, 0) * e[0] + G(i, 1) * e[1];
    across[i] = -G(i, 0) * e[1] + G(i, 1) * e[0];
    // V = c_0 Pm_0 (positive) plus negative cash flows that all decrease along e: V increases along e.
    EXPECT_TRUE(i == 0 ? cash_flows[i] > 0.0 : cash_flows[i] < 0.0 && along[i] > 0.0) << "date " << i;
  }
  ql::GaussHermiteIntegration hermite(48);
  const ql::CumulativeNormalDistribution normal_cdf;
  double price = 0.0;
  for (size_t j = 0; j < hermite.order(); ++j) {
    const double w = std::sqrt(2.0) * hermite.x()[j];
    const auto value_on_line = [&](double u) {
      double v = 0.0;
      for (size_t i = 0; i < n; ++i)
        v += cash_flows[i] * std::exp(-along[i] * u - across[i] * w - 0.5 * (along[i] * along[i] + across[i] * across[i]));
      return v;
    };
    // Beyond 40 standard deviations a line's remaining mass is below e^-800.
    const double bound = 40.0;
    const double u_star = value_on_line(-bound) >= 0.0 ? -bound
                          : value_on_line(bound) <= 0.0 ? bound
                                                        : ql::Brent().solve(value_on_line, 1e-14, 0.0, -bound, bound);
    double line = 0.0;
    for (size_t i = 0; i < n; ++i)
      line += cash_flows[i] * std::exp(-across[i] * w - 0.5 * across[i] * across[i]) * normal_cdf(-(u_star + along[i]));
    // QuantLib's weights integrate f over the line: the Gaussian weight exp(-x^2) is ours to apply.
    price += hermite.weights()[j] * std::exp(-hermite.x()[j] * hermite.x()[j]) * line;
  }
  return price / std::sqrt(std::numbers::pi);
}

struct two_factor_case {
  std::string name;
  double a, sigma, b, eta, rho;
};

void PrintTo(const two_factor_case& c, std::ostream* out) { *out << c.name; }

class TwoFactorSwaptions : public ::testing::TestWithParam<two_factor_case> {};

// Two factors: G2++ with the model's reversions, volatilities and correlation.
// - The exact integral of our loadings against QuantLib's G2++ engine (integration over 1000 intervals
//   with a root search per node; it moves by up to 6e-10 from 100 intervals): price within 2e-9.
// - The half-space price against both, in Black volatility. The half-space misses the sliver between the
//   curved exercise boundary and its tangent at the boundary point nearest the origin (where the search
//   ends); V vanishes on both, so the sliver is worth a second-order amount in the boundary's curvature,
//   which only the coupons (K tau each, against par at both ends) give. It can only lose value, and loses
//   up to 1.5e-8 in price, 7e-8 in volatility, when the factors' reversions differ most (0.5 and 0.01):
//   within 2e-7 in volatility.
constexpr double g2_integral_tolerance = 2e-9;
constexpr double half_space_volatility_tolerance = 2e-7;
// The half-space price is at most the exact price, up to the rounding of both.
constexpr double half_space_rounding = 1e-13;

TEST_P(TwoFactorSwaptions, HalfSpacePricesAgainstG2AndTheExactIntegral) {
  const two_factor_case& p = GetParam();
  const auto curve = ql_curve();
  const auto engine = ql::ext::make_shared<ql::G2SwaptionEngine>(
      ql::ext::make_shared<ql::G2>(curve, p.a, p.sigma, p.b, p.eta, p.rho), 8.0, 1000);
  const hjm_setup hjm(make_parameter(parameter_markovian_hjm_type::HULL_WHITE, {{p.a, p.b}}, days({3650}),
                                     {{p.sigma, p.eta}}, days({3650}), {{1.0, p.rho}, {p.rho, 1.0}}));
  for (const swaption_case& c :
       {swaption_case{"1Y", "5Y", "1Y"}, swaption_case{"5Y", "10Y", "1Y"}, swaption_case{"10Y", "10Y", "6M"}}) {
    const calibration_ir_hjm_swaption swaption = target(c.expiry, c.length, c.frequency);
    const interest_rate_swap& swap = *swaption.swaption();
    for (double m : moneyness) {
      const double strike = m * swaption.swap_rate();
      const auto reference_swaption = ql_swaption(swap, strike, curve);
      ql::Swaption& reference = *reference_swaption;
      reference.setPricingEngine(engine);
      const double g2 = reference.NPV();
      const double exact = exact_two_factor_price(swap, hjm.model, strike);
      const double ours = model_price(swaption, hjm.model, strike);
      EXPECT_NEAR(exact, g2, g2_integral_tolerance) << case_name(c) << " strike " << strike;
      EXPECT_LE(ours, exact + half_space_rounding) << case_name(c) << " strike " << strike;
      const double volatility = swap.implied_volatility(ours, strike);
      EXPECT_NEAR(volatility, swap.implied_volatility(exact, strike), half_space_volatility_tolerance)
          << case_name(c) << " strike " << strike;
      EXPECT_NEAR(volatility, swap.implied_volatility(g2, strike), half_space_volatility_tolerance)
          << case_name(c) << " strike " << strike;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(CalibrationHjmSwaptionQuantLib, TwoFactorSwaptions,
                         ::testing::Values(two_factor_case{"AnticorrelatedSlowAndFast", 0.1, 0.01, 0.6, 0.008, -0.7},
                                           two_factor_case{"DistinctReversions", 0.5, 0.03, 0.01, 0.01, 0.0}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace qavrek
