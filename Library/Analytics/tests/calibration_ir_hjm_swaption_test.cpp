// The HJM swaption target: implied volatilities and their degenerate mappings, the root search's
// contract (a root, the gradient there, warm starts, the clamp of its secant steps, the line it logs when
// it does not converge), the starting root, the first-order volatility, three factors against Monte
// Carlo, and concurrent valuations. Prices against QuantLib's models are in the QuantLib test.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Analytics/tests/captured_log.h"
#include "Analytics/tests/hjm_swaption_test_support.h"
#include "Core/error.h"
#include "Core/logger.h"
#include "Util/bachelier.h"
#include "Util/black_scholes.h"

namespace qavrek {

// The kernels that the public operations only reach through a whole search.
struct calibration_ir_hjm_swaption_access {
  static void bracketing_step(vector<double>& x, double v, vector<double>& b1, double& V1, const vector<double>& b2,
                              double V2) {
    calibration_ir_hjm_swaption::bracketing_step(x, v, b1, V1, b2, V2);
  }
};

namespace {

using namespace hjm_swaption_test;

constexpr double epsilon = std::numeric_limits<double>::epsilon();

struct model_case {
  std::string name;
  parameter_markovian_hjm (*parameter)();
};

parameter_markovian_hjm one_factor() { return hull_white_parameter(0.05, 0.01); }
parameter_markovian_hjm zero_volatility() { return hull_white_parameter(0.05, 0.0); }

const std::vector<model_case> one_and_three_factors{{"OneFactor", one_factor}, {"ThreeFactors", three_factor_parameter}};

struct swap_case {
  std::string expiry;
  std::string length;
  std::string frequency;
};

const std::vector<swap_case> swaptions{{"1Y", "5Y", "1Y"}, {"5Y", "10Y", "6M"}, {"10Y", "10Y", "1Y"}};
const std::vector<double> moneyness{0.6, 1.0, 1.5};

std::string describe(const swap_case& c, double strike) {
  return c.expiry + "x" + c.length + " every " + c.frequency + " at strike " + std::to_string(strike);
}

// The calibration's call: the target's initial root, then the search from it.
double calibration_volatility(const calibration_ir_hjm_swaption& target, const model_markovian_hjm& model,
                              double strike) {
  vector<double> root(model.number_of_factors());
  target.initial_root(root, strike, model);
  return target.implied_volatility(strike, model, root, calibration_iterations, calibration_tolerance);
}

TEST(CalibrationHjmSwaption, BuildsOrSharesItsSwap) {
  const calibration_ir_hjm_swaption built = target("2Y", "5Y", "6M");
  const interest_rate_swap expected(market_curve(), after(valuation(), "2Y"), after(after(valuation(), "2Y"), "5Y"),
                                    tenor("6M"), act_365f());
  EXPECT_EQ(built.swaption()->all_dates(), expected.all_dates());
  EXPECT_EQ(built.swaption()->dfs(), expected.dfs());
  EXPECT_EQ(built.swap_rate(), expected.swap_rate());

  const calibration_ir_hjm_swaption shared(built.swaption());
  EXPECT_EQ(shared.swaption(), built.swaption());
  EXPECT_THROW(calibration_ir_hjm_swaption(ptr_const<interest_rate_swap>()), Error);
}

// The volatility is that of the model price under the swap's Black convention (forward swap rate,
// annuity numeraire, payer): Black's price at it gives the model price back. The Black solver converges
// to rounding, so the price comes back to a few units in the last place of the option's forward value.
constexpr double round_trip_tolerance = 1e-13;

TEST(CalibrationHjmSwaption, ImpliedVolatilitiesGiveTheModelPriceBack) {
  for (const model_case& m : one_and_three_factors) {
    const hjm_setup hjm(m.parameter());
    for (const swap_case& c : swaptions) {
      const calibration_ir_hjm_swaption swaption = target(c.expiry, c.length, c.frequency);
      const interest_rate_swap& swap = *swaption.swaption();
      for (double ratio : moneyness) {
        const double strike = ratio * swaption.swap_rate();
        const double volatility = calibration_volatility(swaption, hjm.model, strike);
        vector<double> root(hjm.factors());
        vector<double> gradient(hjm.factors());
        swaption.initial_root(root, strike, hjm.model);
        const double price =
            swaption.value(strike, hjm.model, root, gradient, calibration_iterations, calibration_tolerance);
        const double black = black_scholes::price(swap.swap_rate(), strike, swap.expiry_double(), volatility,
                                                  swap.annuity(), 1.0);
        EXPECT_NEAR(black, price, round_trip_tolerance) << m.name << " " << describe(c, strike);

        // An empty root is a cold start from the origin, which reaches the same boundary (both searches
        // stop within 1e-10 of it in value, which the price sees only at second order).
        vector<double> empty;
        EXPECT_NEAR(swaption.implied_volatility(strike, hjm.model, empty, calibration_iterations,
                                                calibration_tolerance),
                    volatility, 1e-12)
            << m.name << " " << describe(c, strike);
        EXPECT_EQ(empty.size(), hjm.factors());
      }
    }
  }
}

// Prices at or below 2^-52 map to 0, prices that are not numbers to 10000, and a price without time
// value to 0 rather than an error.
TEST(CalibrationHjmSwaption, DegeneratePricesMapToNumbers) {
  const hjm_setup hjm(one_factor());
  const hjm_setup flat(zero_volatility());
  const double nan = std::numeric_limits<double>::quiet_NaN();
  enum class price_kind { tiny, no_time_value, not_a_number };
  struct degenerate_case {
    std::string name;
    const hjm_setup* setup;
    swap_case swap;
    double strike_over_rate;
    price_kind kind;
    double volatility;
  };
  const std::vector<degenerate_case> cases{
      // Struck this far out of the money the options are worth about 1e-19 and 1e-18, which Black's
      // formula would still invert.
      {"FarOutOfTheMoneySwaption", &hjm, {"1Y", "5Y", "1Y"}, 3.25, price_kind::tiny, 0.0},
      {"FarOutOfTheMoneyCaplet", &hjm, {"1Y", "6M", "6M"}, 3.5, price_kind::tiny, 0.0},
      {"SwaptionAtANaNStrike", &hjm, {"1Y", "5Y", "1Y"}, nan, price_kind::not_a_number, 10000.0},
      {"CapletAtANaNStrike", &hjm, {"1Y", "6M", "6M"}, nan, price_kind::not_a_number, 10000.0},
      // Without variance the option is worth its intrinsic value, which has no time value to invert.
      {"InTheMoneyWithoutVariance", &flat, {"2Y", "5Y", "1Y"}, 0.5, price_kind::no_time_value, 0.0},
      {"OutOfTheMoneyWithoutVariance", &flat, {"2Y", "5Y", "1Y"}, 1.5, price_kind::no_time_value, 0.0},
      {"InTheMoneyCapletWithoutVariance", &flat, {"2Y", "1Y", "1Y"}, 0.5, price_kind::no_time_value, 0.0},
  };
  for (const degenerate_case& c : cases) {
    const calibration_ir_hjm_swaption swaption = target(c.swap.expiry, c.swap.length, c.swap.frequency);
    const double strike = c.strike_over_rate * swaption.swap_rate();
    vector<double> root(1);
    vector<double> gradient(1);
    swaption.initial_root(root, strike, c.setup->model);
    const double price = swaption.value(strike, c.setup->model, root, gradient, calibration_iterations,
                                        calibration_tolerance);
    // The prices are what each case is about.
    const double intrinsic = swaption.swaption()->annuity() * std::max(swaption.swap_rate() - strike, 0.0);
    switch (c.kind) {
      case price_kind::tiny: EXPECT_TRUE(price > 0.0 && price <= epsilon) << c.name << ": " << price; break;
      case price_kind::no_time_value: EXPECT_NEAR(price, intrinsic, 1e-15) << c.name; break;
      case price_kind::not_a_number: EXPECT_TRUE(std::isnan(price)) << c.name; break;
    }
    EXPECT_EQ(swaption.implied_volatility(strike, c.setup->model, root, calibration_iterations,
                                          calibration_tolerance),
              c.volatility)
        << c.name;
  }
}

// A model without variance: the swap value does not move with the state, so the search finds no slope
// and ends quietly, and the option is worth its intrinsic value on the market curve.
TEST(CalibrationHjmSwaption, WithoutVarianceOptionsAreWorthTheirIntrinsicValue) {
  const hjm_setup flat(zero_volatility());
  captured_log log(0);
  for (const swap_case& c : {swap_case{"2Y", "5Y", "1Y"}, swap_case{"2Y", "1Y", "1Y"}}) {
    const calibration_ir_hjm_swaption swaption = target(c.expiry, c.length, c.frequency);
    const interest_rate_swap& swap = *swaption.swaption();
    for (double ratio : {0.5, 1.5}) {
      const double strike = ratio * swaption.swap_rate();
      vector<double> root(1);
      vector<double> gradient(1);
      const double intrinsic = swap.annuity() * std::max(swap.swap_rate() - strike, 0.0);
      // Sums of a few discount factors of order one: rounding.
      EXPECT_NEAR(swaption.value(strike, flat.model, root, gradient, calibration_iterations, calibration_tolerance),
                  intrinsic, 1e-15)
          << describe(c, strike);
    }
  }
  EXPECT_TRUE(log.lines.empty());
}

TEST(CalibrationHjmSwaption, CapletsLeaveTheRootAndGradientAlone) {
  const hjm_setup hjm(three_factor_parameter());
  const calibration_ir_hjm_swaption caplet = target("3Y", "6M", "6M");
  ASSERT_TRUE(caplet.swaption()->is_caplet());
  vector<double> root(3, 1.0);
  vector<double> gradient(3, 2.0);
  EXPECT_GT(caplet.value(caplet.swap_rate(), hjm.model, root, gradient, calibration_iterations, calibration_tolerance),
            0.0);
  caplet.initial_root(root, caplet.swap_rate(), hjm.model);
  for (size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(root[k], 1.0);
    EXPECT_EQ(gradient[k], 2.0);
  }
  // Nor does a caplet need them.
  vector<double> empty;
  EXPECT_GT(caplet.implied_volatility(caplet.swap_rate(), hjm.model, empty, calibration_iterations,
                                      calibration_tolerance),
            0.0);
  EXPECT_TRUE(empty.empty());
}

// dV/dx by central differences of the swap value computed from the definition of the model discount
// factors. V is smooth with third derivatives of order one in x, so steps of 1e-5 leave a truncation of
// about 1e-11 and a rounding of about 1e-16 / 1e-5: well within 1e-9.
constexpr double gradient_step = 1e-5;
constexpr double gradient_tolerance = 1e-9;

TEST(CalibrationHjmSwaption, SearchLeavesARootWithItsGradientAndRestartsThereAtOnce) {
  for (const model_case& m : one_and_three_factors) {
    const hjm_setup hjm(m.parameter());
    for (const swap_case& c : swaptions) {
      const calibration_ir_hjm_swaption swaption = target(c.expiry, c.length, c.frequency);
      for (double ratio : moneyness) {
        const double strike = ratio * swaption.swap_rate();
        vector<double> root(hjm.factors());
        vector<double> gradient(hjm.factors());
        swaption.initial_root(root, strike, hjm.model);
        const double price =
            swaption.value(strike, hjm.model, root, gradient, calibration_iterations, calibration_tolerance);
        const std::vector<double> x = as_std(root);
        EXPECT_LT(std::abs(swap_value_in_state(swaption, hjm.model, strike, x)), calibration_tolerance)
            << m.name << " " << describe(c, strike);
        for (size_t k = 0; k < hjm.factors(); ++k) {
          std::vector<double> up = x;
          std::vector<double> down = x;
          up[k] += gradient_step;
          down[k] -= gradient_step;
          const double slope = (swap_value_in_state(swaption, hjm.model, strike, up) -
                                swap_value_in_state(swaption, hjm.model, strike, down)) /
                               (2.0 * gradient_step);
          EXPECT_NEAR(gradient[k], slope, gradient_tolerance) << m.name << " " << describe(c, strike) << " k " << k;
        }

        // Valued again from that root, the search stops at its warm start: the root does not move at all.
        const vector<double> first_root = root;
        const vector<double> first_gradient = gradient;
        gradient.fill(0.0);
        EXPECT_EQ(swaption.value(strike, hjm.model, root, gradient, calibration_iterations, calibration_tolerance),
                  price);
        for (size_t k = 0; k < hjm.factors(); ++k) {
          EXPECT_EQ(root[k], first_root[k]);
          EXPECT_EQ(gradient[k], first_gradient[k]);
        }
      }
    }
  }
}

TEST(CalibrationHjmSwaption, UnconvergedSearchLogsAndPricesAtItsLastPoint) {
  const hjm_setup hjm(three_factor_parameter());
  const calibration_ir_hjm_swaption swaption = target("5Y", "10Y", "6M");
  const double strike = 1.2 * swaption.swap_rate();
  for (size_t iterations : {size_t{0}, size_t{1}}) {
    vector<double> root(3, 0.5);
    vector<double> gradient(3);
    double price = 0.0;
    {
      captured_log log(0);
      // No value is below a tolerance of 0: the search runs out of iterations wherever it stands (|V| is
      // near 1e-6 after the stages before the loop, near 1e-12 after one Newton step).
      price = swaption.value(strike, hjm.model, root, gradient, iterations, 0.0);
      ASSERT_EQ(log.lines.size(), 1u) << iterations << " iterations";
      const captured_log::line& line = log.lines[0];
      EXPECT_EQ(line.verbosity, 0);
      EXPECT_EQ(line.file, "Library/Analytics/calibration/ir/hjm/calibration_ir_hjm_swaption");
      EXPECT_EQ(line.number, 767u);
      // " pv: %f:" of the value where the search stopped.
      const std::string& message = line.message;
      ASSERT_TRUE(message.starts_with(" pv: ") && message.ends_with(":")) << message;
      const std::string number = message.substr(5, message.size() - 6);
      EXPECT_EQ(number.size() - number.find('.'), 7u) << message;
      EXPECT_NEAR(std::stod(number), swap_value_in_state(swaption, hjm.model, strike, as_std(root)), 5e-7) << message;
    }
    // The price is the one at the point it stopped at: a search that accepts that point at once prices it
    // the same.
    vector<double> again = root;
    vector<double> gradient_again(3);
    EXPECT_EQ(swaption.value(strike, hjm.model, again, gradient_again, 0, 1.0), price);
    EXPECT_EQ(again[0], root[0]);
    for (size_t k = 0; k < 3; ++k) EXPECT_EQ(gradient_again[k], gradient[k]);

    // Below verbosity 0 nothing is logged.
    captured_log quiet(-1);
    root.fill(0.5);
    swaption.value(strike, hjm.model, root, gradient, iterations, 0.0);
    EXPECT_TRUE(quiet.lines.empty());
  }
}

// A secant step between the current point x (value v) and a bracket of the opposite sign moves the
// fraction v / (v - V) of the way, held within [0.2, 0.8]; without a sign change it extrapolates through
// the bracket with the smaller value, unbounded.
TEST(CalibrationHjmSwaption, BracketingStepsClampTheirSecantFraction) {
  struct bracketing_case {
    std::string name;
    double v;
    double V1;
    double V2;
    double lambda;          // the fraction moved
    int towards;            // 1: b1, 2: b2, 0: x stays
    bool first_replaced;    // b1 := x, V1 := v
  };
  const std::vector<bracketing_case> cases{
      {"FractionBelowTheClamp", 0.05, -0.95, 3.0, 0.2, 1, false},
      {"FractionAboveTheClamp", 0.95, -0.05, 3.0, 0.8, 1, false},
      {"FractionInside", 0.5, -0.5, 3.0, 0.5, 1, false},
      // A negative point replaces a positive first bracket, then steps towards the second.
      {"NegativePointReplacesAPositiveBracket", -0.95, 0.2, 0.05, 0.8, 2, true},
      // A point closer to the root than the first bracket, bracketed by the second, replaces the first.
      {"CloserPointReplacesTheFirstBracket", 0.6, 0.9, -0.9, 0.4, 2, true},
      {"ExtrapolatesThroughTheFirst", 2.0, 1.0, 3.0, 2.0, 1, false},
      {"ExtrapolatesThroughTheSecond", 2.0, 3.0, 1.0, 2.0, 2, false},
      {"EqualBracketsLeaveThePoint", 2.0, 1.0, 1.0, 0.0, 0, false},
      {"NoSecantThroughEqualValues", 1.0, 1.0, 3.0, 0.0, 0, false},
  };
  const vector<double> start{1.0, 2.0};
  const vector<double> first{3.0, -1.0};
  const vector<double> second{-2.0, 4.0};
  for (const bracketing_case& c : cases) {
    vector<double> x = start;
    vector<double> b1 = first;
    double V1 = c.V1;
    calibration_ir_hjm_swaption_access::bracketing_step(x, c.v, b1, V1, second, c.V2);
    const vector<double>& target_point = c.towards == 1 ? (c.first_replaced ? start : first) : second;
    for (size_t k = 0; k < 2; ++k) {
      const double expected = c.towards == 0 ? start[k] : (1.0 - c.lambda) * start[k] + c.lambda * target_point[k];
      EXPECT_NEAR(x[k], expected, 1e-15) << c.name << " k " << k;
      EXPECT_EQ(b1[k], c.first_replaced ? start[k] : first[k]) << c.name;
    }
    EXPECT_EQ(V1, c.first_replaced ? c.v : c.V1) << c.name;
  }
}

TEST(CalibrationHjmSwaption, InitialRootImprovesOnTheOriginOrStaysThere) {
  for (const model_case& m : one_and_three_factors) {
    const hjm_setup hjm(m.parameter());
    for (const swap_case& c : swaptions) {
      const calibration_ir_hjm_swaption swaption = target(c.expiry, c.length, c.frequency);
      for (double ratio : moneyness) {
        const double strike = ratio * swaption.swap_rate();
        vector<double> root(hjm.factors(), 7.0);
        swaption.initial_root(root, strike, hjm.model);
        const double at_origin = swap_value_in_state(swaption, hjm.model, strike, std::vector<double>(hjm.factors()));
        const double at_root = swap_value_in_state(swaption, hjm.model, strike, as_std(root));
        // Away from the boundary a second-order step from the origin always gets closer to it.
        EXPECT_LT(std::abs(at_root), std::abs(at_origin)) << m.name << " " << describe(c, strike);
      }
    }
  }
  // Without variance there is no gradient at the origin to step along.
  const hjm_setup flat(zero_volatility());
  const calibration_ir_hjm_swaption swaption = target("2Y", "5Y", "1Y");
  vector<double> root(1, 1.0);
  swaption.initial_root(root, 0.5 * swaption.swap_rate(), flat.model);
  EXPECT_EQ(root[0], 0.0);
}

TEST(CalibrationHjmSwaption, RootsOfTheWrongSizeAreErrors) {
  const hjm_setup hjm(three_factor_parameter());
  const calibration_ir_hjm_swaption swaption = target("2Y", "5Y", "1Y");
  const double strike = swaption.swap_rate();
  vector<double> short_root(2);
  vector<double> gradient(3);
  EXPECT_THROW(swaption.initial_root(short_root, strike, hjm.model), Error);
  EXPECT_THROW(swaption.value(strike, hjm.model, short_root, gradient, 20, 1e-10), Error);
  EXPECT_THROW(swaption.implied_volatility(strike, hjm.model, short_root, 20, 1e-10), Error);
  vector<double> root(3);
  vector<double> short_gradient(1);
  EXPECT_THROW(swaption.value(strike, hjm.model, root, short_gradient, 20, 1e-10), Error);
  // An empty view cannot be sized to the factors.
  vector<double> empty_view = vector<double>::view(root.data(), 0);
  EXPECT_THROW(swaption.value(strike, hjm.model, empty_view, gradient, 20, 1e-10), Error);
}

// The first-order volatility is the norm of the swap rate's gradient in the factors at the origin, per
// square root of the expiry: central differences of the swap rate on the model discount factors (steps of
// 1e-4, truncation about 1e-8 of the slope) reproduce it to 1e-7 relative.
TEST(CalibrationHjmSwaption, PriceApproximationIsTheSwapRateSlopePerRootOfTime) {
  for (const model_case& m : one_and_three_factors) {
    const hjm_setup hjm(m.parameter());
    for (const swap_case& c : swaptions) {
      const calibration_ir_hjm_swaption swaption = target(c.expiry, c.length, c.frequency);
      const interest_rate_swap& swap = *swaption.swaption();
      double sum = 0.0;
      for (size_t k = 0; k < hjm.factors(); ++k) {
        std::vector<double> up(hjm.factors());
        std::vector<double> down(hjm.factors());
        up[k] = 1e-4;
        down[k] = -1e-4;
        const double slope = (swap.swap_rate(dfs_in_state(swap, hjm.model, up)) -
                              swap.swap_rate(dfs_in_state(swap, hjm.model, down))) /
                             2e-4;
        sum += slope * slope;
      }
      const double approximation = swaption.swaption_price_approximation(hjm.model);
      EXPECT_NEAR(approximation, std::sqrt(sum / swap.expiry_double()), 1e-7 * approximation)
          << m.name << " " << c.expiry << "x" << c.length;
      // As a normal volatility it prices the at-the-money swaption to first order: the swap rate of a
      // Gaussian model is nearly normal, off by its small skew and the annuity's variation (below 2% here).
      const double strike = swaption.swap_rate();
      vector<double> root(hjm.factors());
      vector<double> gradient(hjm.factors());
      swaption.initial_root(root, strike, hjm.model);
      const double price =
          swaption.value(strike, hjm.model, root, gradient, calibration_iterations, calibration_tolerance);
      EXPECT_NEAR(bachelier::price(strike, strike, swap.expiry_double(), approximation, swap.annuity(), 1.0), price,
                  0.02 * price)
          << m.name << " " << c.expiry << "x" << c.length;
    }
  }
  const hjm_setup hjm(one_factor());
  const calibration_ir_hjm_swaption expiring_now(market_curve(), valuation(), after(valuation(), "5Y"), tenor("1Y"),
                                                 act_365f());
  EXPECT_THROW(expiring_now.swaption_price_approximation(hjm.model), Error);
}

// Three factors: the half-space price against a Monte Carlo estimate of E[max(V(x), 0)] over standard
// Gaussian states, V from the definition of the model discount factors. 100000 antithetic pairs; the
// half-space approximation (below 1e-7 in price for models like this one) is far below the estimate's
// standard error, so the two agree within 4 standard errors.
TEST(CalibrationHjmSwaption, ThreeFactorPricesAgreeWithMonteCarlo) {
  const hjm_setup hjm(three_factor_parameter());
  std::mt19937 generator(20240102);
  std::normal_distribution<double> normal;
  for (const swap_case& c : {swap_case{"2Y", "5Y", "6M"}, swap_case{"10Y", "10Y", "1Y"}}) {
    const calibration_ir_hjm_swaption swaption = target(c.expiry, c.length, c.frequency);
    const interest_rate_swap& swap = *swaption.swaption();
    const size_t n = swap.all_dates().size();
    matrix<double> G(n, 3);
    hjm.model.decompose(G, swap.expiry(), swap.all_dates(), true);
    for (double ratio : moneyness) {
      const double strike = ratio * swaption.swap_rate();
      std::vector<double> dfs(n);
      const auto payoff = [&](const double* x, double sign) {
        for (size_t i = 0; i < n; ++i) {
          double exponent = 0.0;
          for (size_t k = 0; k < 3; ++k) exponent -= G(i, k) * sign * x[k] + 0.5 * G(i, k) * G(i, k);
          dfs[i] = swap.dfs()[i] * std::exp(exponent);
        }
        return std::max(swap.value(strike, dfs), 0.0);
      };
      const size_t pairs = 100000;
      double sum = 0.0;
      double sum_squares = 0.0;
      for (size_t p = 0; p < pairs; ++p) {
        const double x[3] = {normal(generator), normal(generator), normal(generator)};
        const double sample = 0.5 * (payoff(x, 1.0) + payoff(x, -1.0));
        sum += sample;
        sum_squares += sample * sample;
      }
      const double mean = sum / pairs;
      const double standard_error = std::sqrt((sum_squares / pairs - mean * mean) / (pairs - 1));
      vector<double> root(3);
      vector<double> gradient(3);
      swaption.initial_root(root, strike, hjm.model);
      const double price =
          swaption.value(strike, hjm.model, root, gradient, calibration_iterations, calibration_tolerance);
      EXPECT_NEAR(price, mean, 4.0 * standard_error) << describe(c, strike);
    }
  }
}

// The calibration's parallel loop: targets priced from several threads at once on one model, each with
// its own root, give exactly the sequential results.
TEST(CalibrationHjmSwaption, ConcurrentValuationsMatchSequentialOnes) {
  const hjm_setup hjm(three_factor_parameter());
  std::vector<calibration_ir_hjm_swaption> targets;
  for (const char* expiry : {"6M", "1Y", "2Y", "5Y", "10Y"})
    for (const char* length : {"1Y", "5Y", "10Y"}) targets.push_back(target(expiry, length, "6M"));
  const size_t count = targets.size();
  matrix<double> initial_roots(count, 3);
  for (size_t i = 0; i < count; ++i) {
    vector<double> row = initial_roots.row(i);
    targets[i].initial_root(row, targets[i].swap_rate(), hjm.model);
  }
  const auto price_all = [&](matrix<double>& roots, std::vector<double>& volatilities, size_t first, size_t step) {
    for (size_t i = first; i < count; i += step) {
      vector<double> row = roots.row(i);
      volatilities[i] = targets[i].implied_volatility(targets[i].swap_rate(), hjm.model, row, calibration_iterations,
                                                      calibration_tolerance);
    }
  };
  matrix<double> sequential_roots = initial_roots;
  std::vector<double> sequential(count);
  price_all(sequential_roots, sequential, 0, 1);

  matrix<double> roots = initial_roots;
  std::vector<double> concurrent(count);
  const size_t threads = 4;
  std::vector<std::thread> workers;
  for (size_t t = 0; t < threads; ++t) workers.emplace_back([&, t] { price_all(roots, concurrent, t, threads); });
  for (std::thread& worker : workers) worker.join();
  for (size_t i = 0; i < count; ++i) {
    EXPECT_EQ(concurrent[i], sequential[i]) << i;
    EXPECT_GT(concurrent[i], 0.0) << i;
    for (size_t k = 0; k < 3; ++k) EXPECT_EQ(roots(i, k), sequential_roots(i, k)) << i;
  }
}

}  // namespace
}  // namespace qavrek
