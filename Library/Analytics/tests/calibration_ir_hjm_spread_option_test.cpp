// The HJM CMS spread option: prices against quadratures of the exact pay-off under the expiry's forward
// measure (one factor, two correlated factors), call-put parity, both coordinates of the state, the root
// search's contract, the annuity expansion, the errors, the experimental second-order value and the
// driver's experimental at-the-money pricing.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Analytics/calibration/ir/hjm/calibration_ir_hjm.h"
#include "Analytics/models/model_dfs.h"
#include "Analytics/tests/hjm_spread_option_test_support.h"
#include "Core/error.h"
#include "Util/bachelier.h"
#include "Util/calendar.h"

namespace qavrek {

struct calibration_ir_hjm_spread_option_access {
  static double reference_distance(const std::pair<double, double>& roots, bool is_call) {
    return calibration_ir_hjm_spread_option::reference_distance(roots, is_call);
  }
  // The root search as a valuation runs it, from `root` in the coordinates of the measure flag.
  static void find_root(const calibration_ir_hjm_spread_option& option, const model_markovian_hjm& model,
                        vector<double>& root, vector<double>& direction, double strike, size_t max_iterations,
                        double tolerance) {
    const size_t n = model.number_of_factors();
    vector<double> origin(n);
    const matrix<double> G = option.centred_decomposition(model, origin);
    vector<double> x = root + origin;
    matrix<double> H(n, n);
    option.find_root(x, direction, H, strike, G, max_iterations, tolerance);
    root = x - origin;
  }
};

namespace {

using namespace hjm_spread_option_test;

// The driver's search settings for the spread option.
constexpr size_t iterations = 20;
constexpr double tolerance = 1e-13;

constexpr double basis_point = 1e-4;

// One-factor normal volatilities against the quadrature of the exact pay-off: the half-space is then the
// exercise region, and what is left is the annuity expansion's missing fourth and higher cumulants, which
// grow with the loadings' spread over a swap: 0.001 bp at most in these tests. A tenth of the goal of
// 0.5 bp keeps a margin for other curves and models.
constexpr double one_factor_tolerance = 0.05 * basis_point;

struct model_case {
  std::string name;
  parameter_markovian_hjm (*parameter)();
};

// Strong mean reversion, so that the short rate moves the 2Y rate much more than the 10Y one and the
// spread has a normal volatility of 20 to 30 bp.
parameter_markovian_hjm one_factor() { return hull_white_parameter(0.1, 0.012); }
// Decays and volatilities that change inside the swaps' lives.
parameter_markovian_hjm varying_one_factor() {
  return varying_parameter(parameter_markovian_hjm_type::HULL_WHITE, 1, false);
}
parameter_markovian_hjm two_factors() { return varying_parameter(parameter_markovian_hjm_type::HULL_WHITE, 2, false); }
// No mean reversion and a high volatility: the expiry's loadings in the model's own coordinates, the
// state's offset from its forward-measure mean, reach most of a standard deviation at ten years.
parameter_markovian_hjm far_from_the_mean() {
  return make_parameter(parameter_markovian_hjm_type::HULL_WHITE, {{0.0, 0.5}}, days({3650}), {{0.02, 0.015}},
                        days({3650}), {{1.0, -0.5}, {-0.5, 1.0}});
}

const std::vector<model_case> one_factor_models{{"OneFactor", one_factor}, {"VaryingOneFactor", varying_one_factor}};

// The price of the option on the case's spread, the root seeded as the driver seeds it.
double searched_price(const calibration_ir_hjm_spread_option& option, const model_markovian_hjm& model, double strike,
                      bool is_call) {
  vector<double> root(model.number_of_factors());
  vector<double> direction(model.number_of_factors());
  option.initial_root(root, strike, model);
  return option.value(strike, model, root, direction, is_call, iterations, tolerance);
}

double model_spread(const calibration_ir_hjm_spread_option& option, const model_markovian_hjm& model) {
  return option.spread(model, vector<double>(model.number_of_factors(), 0.0));
}

// The option whose normal volatility is read: out of the money, where a price error is a volatility error
// divided by a vega of the order of the price itself (deep in the money both sides tie through parity).
bool out_of_the_money(double strike, double forward, bool is_call) {
  return is_call ? strike >= forward : strike <= forward;
}

TEST(CalibrationHjmSpreadOption, BuildsItsSpread) {
  const datetime expiry = after(valuation(), "2Y");
  const calibration_ir_hjm_spread_option option(market_curve(), expiry, after(expiry, "10Y"), after(expiry, "2Y"),
                                                tenor("6M"), act_365f(), 1.5, 0.5, false);
  const interest_rate_spread& spread = *option.calibration_spread_option();
  const interest_rate_spread expected(market_curve(), expiry, after(expiry, "10Y"), after(expiry, "2Y"), tenor("6M"),
                                      act_365f(), 1.5, 0.5);
  EXPECT_EQ(spread.all_dates(), expected.all_dates());
  EXPECT_EQ(spread.dfs(), expected.dfs());
  EXPECT_EQ(spread.long_weight(), 1.5);
  EXPECT_EQ(spread.short_weight(), 0.5);
  EXPECT_FALSE(option.use_forward_measure());
}

// With one period per swap each annuity is a single discount factor, exactly log-linear in the state, so
// the third-order expansion is exact; with one factor and a spread monotone in the state (unequal
// weights make it so) the exercise region is the half-line. The search stops within 1e-13 of the
// boundary, which moves the price at second order only, and the quadrature's pieces agree to 1e-13
// relative: 1e-10 leaves room for neither an approximation nor a misread date. In every case the short
// swap ends inside the long one's period, so the long swap's end date is not at its own index among the
// spread's dates.
TEST(CalibrationHjmSpreadOption, OnePeriodSwapsMatchTheExactPayoff) {
  const std::vector<spread_case> cases{
      {"1Y", "6M", "3M", "6M", 1.0, 0.5}, {"2Y", "1Y", "6M", "1Y", 0.5, 1.0}, {"5Y", "3M", "1M", "3M", 2.0, 1.0}};
  constexpr double price_tolerance = 1e-10;
  // Call minus put against the discounted expected spread: sums of a few terms of order 1e-2.
  constexpr double parity_tolerance = 1e-14;
  for (const model_case& m : one_factor_models) {
    const hjm_setup hjm(m.parameter());
    for (const spread_case& c : cases) {
      for (bool forward_measure : {true, false}) {
        const calibration_ir_hjm_spread_option option = spread_option(c, forward_measure);
        const interest_rate_spread& spread = *option.calibration_spread_option();
        const payoff_quadrature exact(spread, hjm.model);
        const double forward = exact.forward();
        const double expected_spread = model_spread(option, hjm.model);
        // Exact as well: the rounding of rates of order 1e-2.
        EXPECT_NEAR(expected_spread, forward, 1e-14) << m.name << " " << describe(c);
        for (double shift : {-0.01, -0.003, 0.0, 0.003, 0.01}) {
          const double strike = forward + shift;
          const double call = searched_price(option, hjm.model, strike, true);
          const double put = searched_price(option, hjm.model, strike, false);
          const std::string where = m.name + " " + describe(c) + " measure flag " + std::to_string(forward_measure) +
                                    " strike " + std::to_string(strike);
          EXPECT_NEAR(call, exact.price(strike, true), price_tolerance) << where;
          EXPECT_NEAR(put, exact.price(strike, false), price_tolerance) << where;
          EXPECT_NEAR(call - put, spread.dfs()[0] * (expected_spread - strike), parity_tolerance) << where;
        }
      }
    }
  }
}

// The expected spread and, for strikes within 100 bp of the forward, the normal volatilities of the
// out-of-the-money options, against the quadrature of the exact pay-off.
void expect_quadrature_prices(const spread_case& c, const hjm_setup& hjm, double forward_tolerance,
                              double volatility_tolerance, const std::string& name) {
  const calibration_ir_hjm_spread_option option = spread_option(c);
  const interest_rate_spread& spread = *option.calibration_spread_option();
  const payoff_quadrature exact(spread, hjm.model);
  const double forward = exact.forward();
  EXPECT_NEAR(model_spread(option, hjm.model), forward, forward_tolerance) << name << " " << describe(c);
  for (double shift : {-0.01, -0.005, 0.0, 0.005, 0.01}) {
    const double strike = forward + shift;
    for (bool is_call : {true, false}) {
      if (!out_of_the_money(strike, forward, is_call)) continue;
      const double price = searched_price(option, hjm.model, strike, is_call);
      EXPECT_NEAR(normal_volatility(price, forward, strike, spread, is_call),
                  normal_volatility(exact.price(strike, is_call), forward, strike, spread, is_call),
                  volatility_tolerance)
          << name << " " << describe(c) << " strike " << strike << (is_call ? " call" : " put");
    }
  }
}

// The expected spread drops the same cumulants as the prices: 0.005 bp at most.
constexpr double forward_tolerance = 0.02 * basis_point;

// 10Y - 2Y spreads, quarterly, from 1 to 10 years, and a 10Y - 18M annual spread whose short swap ends
// between two dates of the long one.
TEST(CalibrationHjmSpreadOption, OneFactorAgreesWithTheExactPayoffInNormalVolatility) {
  const std::vector<spread_case> cases{{"1Y", "10Y", "2Y", "3M"},
                                       {"2Y", "10Y", "2Y", "3M"},
                                       {"5Y", "10Y", "2Y", "3M"},
                                       {"10Y", "10Y", "2Y", "3M"},
                                       {"2Y", "10Y", "18M", "1Y"}};
  for (const model_case& m : one_factor_models) {
    const hjm_setup hjm(m.parameter());
    for (const spread_case& c : cases)
      expect_quadrature_prices(c, hjm, forward_tolerance, one_factor_tolerance, m.name);
  }
}

// With two factors the exercise boundary is curved and the half-space through its point nearest the
// state's mean is a first-order approximation of it; with these correlated factors the error stays below
// 0.002 bp. The tolerance, 0.05 bp against a goal of 2 bp, keeps a margin for more curved boundaries.
TEST(CalibrationHjmSpreadOption, TwoCorrelatedFactorsAgreeWithTheExactPayoff) {
  const hjm_setup hjm(two_factors());
  constexpr double volatility_tolerance = 0.05 * basis_point;
  for (const char* expiry : {"1Y", "5Y", "10Y"})
    expect_quadrature_prices({expiry, "10Y", "2Y", "3M"}, hjm, forward_tolerance, volatility_tolerance, "TwoFactors");
}

// Call and put integrate over the two sides of one half-space, each with its annuity expanded about its
// own side, and `spread` over the whole space about the mean: the three expansions differ by the dropped
// cumulants, 0.001 bp of normal volatility at most as a price difference over the at-the-money vega, held
// to the tolerance of the one-factor prices.
TEST(CalibrationHjmSpreadOption, CallMinusPutIsTheDiscountedSpreadLessTheStrike) {
  for (const model_case& m : {model_case{"OneFactor", one_factor}, model_case{"TwoFactors", two_factors}}) {
    const hjm_setup hjm(m.parameter());
    for (const char* expiry : {"1Y", "10Y"}) {
      const spread_case c{expiry, "10Y", "2Y", "3M"};
      const calibration_ir_hjm_spread_option option = spread_option(c);
      const interest_rate_spread& spread = *option.calibration_spread_option();
      const double forward = model_spread(option, hjm.model);
      const double at_the_money = searched_price(option, hjm.model, forward, true);
      const double vega = at_the_money / normal_volatility(at_the_money, forward, forward, spread, true);
      for (double shift : {-0.01, 0.0, 0.01}) {
        const double strike = forward + shift;
        const double parity = searched_price(option, hjm.model, strike, true) -
                              searched_price(option, hjm.model, strike, false) - spread.dfs()[0] * (forward - strike);
        EXPECT_LT(std::abs(parity) / vega, one_factor_tolerance) << m.name << " " << describe(c) << " " << strike;
      }
    }
  }
}

// The flag only chooses the coordinates of the state: the caller's root comes back in them, the price is
// the same. The model's own coordinates put the state's forward-measure mean far from their origin here,
// where a search and an expansion about that origin would price up to several basis points off. Both
// flags run the same arithmetic on the centred state; what differs is the rounding of the centring.
TEST(CalibrationHjmSpreadOption, BothMeasureFlagsGiveOnePrice) {
  const hjm_setup hjm(far_from_the_mean());
  const spread_case c{"10Y", "10Y", "2Y", "3M"};
  const calibration_ir_hjm_spread_option relative = spread_option(c, true);
  const calibration_ir_hjm_spread_option own = spread_option(c, false);
  const interest_rate_spread& spread = *relative.calibration_spread_option();
  matrix<double> G(spread.all_dates().size(), 2);
  hjm.model.decompose(G, spread.expiry(), spread.all_dates(), false);
  ASSERT_GT(std::hypot(G(0, 0), G(0, 1)), 0.5);
  const double forward = model_spread(relative, hjm.model);
  EXPECT_NEAR(model_spread(own, hjm.model), forward, 1e-15);
  for (double shift : {-0.01, 0.0, 0.01}) {
    for (bool is_call : {true, false}) {
      vector<double> root_relative(2);
      vector<double> root_own(2);
      vector<double> direction(2);
      relative.initial_root(root_relative, forward + shift, hjm.model);
      own.initial_root(root_own, forward + shift, hjm.model);
      const double price =
          relative.value(forward + shift, hjm.model, root_relative, direction, is_call, iterations, tolerance);
      EXPECT_NEAR(own.value(forward + shift, hjm.model, root_own, direction, is_call, iterations, tolerance), price,
                  1e-14)
          << shift << (is_call ? " call" : " put");
      // The same boundary point, offset by the expiry's loadings: both searches stop within 1e-13 of the
      // boundary in the spread, whose gradient is of order 1e-3.
      for (size_t k = 0; k < 2; ++k) EXPECT_NEAR(root_own[k] + G(0, k), root_relative[k], 1e-9);
    }
  }
}

// --- Root search ------------------------------------------------------------------------------------

// The spread's gradient in the state by central differences of the exact spread: steps of 1e-5 leave a
// truncation of order 1e-10 of the gradient.
std::vector<double> spread_gradient(const exact_spread& s, const vector<double>& x) {
  std::vector<double> gradient(x.size());
  constexpr double h = 1e-5;
  for (size_t k = 0; k < x.size(); ++k) {
    std::vector<double> up(x.begin(), x.end());
    std::vector<double> down(x.begin(), x.end());
    up[k] += h;
    down[k] -= h;
    gradient[k] = (s(up) - s(down)) / (2.0 * h);
  }
  return gradient;
}

// As the driver calls it: the call, then the put from the root that the call left. The put's search finds
// the root on the boundary and does not move it; both leave the spread's gradient there.
TEST(CalibrationHjmSpreadOption, AWarmStartOnTheBoundaryIsKept) {
  const hjm_setup hjm(two_factors());
  const calibration_ir_hjm_spread_option option = spread_option({"5Y", "10Y", "2Y", "3M"});
  const exact_spread s(*option.calibration_spread_option(), hjm.model);
  const double strike = model_spread(option, hjm.model) + 0.002;
  vector<double> root(2);
  vector<double> direction(2);
  option.initial_root(root, strike, hjm.model);
  const double call = option.value(strike, hjm.model, root, direction, true, iterations, tolerance);
  const vector<double> boundary = root;
  // The search's tolerance, and the rounding between two evaluations of the spread.
  EXPECT_LT(std::abs(s(as_std(root)) - strike), 1e-12);
  const std::vector<double> gradient = spread_gradient(s, root);
  for (size_t k = 0; k < 2; ++k) EXPECT_NEAR(direction[k], gradient[k], 1e-8 * std::hypot(gradient[0], gradient[1]));

  const vector<double> call_direction = direction;
  direction = 0.0;
  const double put = option.value(strike, hjm.model, root, direction, false, iterations, tolerance);
  for (size_t k = 0; k < 2; ++k) {
    EXPECT_EQ(root[k], boundary[k]);
    EXPECT_EQ(direction[k], call_direction[k]);
  }
  // And the call again from there: the same price to the last bit.
  EXPECT_EQ(option.value(strike, hjm.model, root, direction, true, iterations, tolerance), call);
  EXPECT_GT(put, 0.0);
}

// Without iterations the search tries only the warm start, the two curvature steps and the two anchors: the
// best of them is kept, not yet on the boundary but no further from it than the warm start, with the
// gradient there. Twenty iterations from the same start reach the boundary. (A valuation refuses to run
// the search without iterations: see the errors below.)
TEST(CalibrationHjmSpreadOption, WithoutIterationsTheBestFirstCandidateIsKept) {
  const hjm_setup hjm(one_factor());
  const calibration_ir_hjm_spread_option option = spread_option({"5Y", "10Y", "2Y", "3M"});
  const exact_spread s(*option.calibration_spread_option(), hjm.model);
  const double strike = model_spread(option, hjm.model) + 0.01;
  const vector<double> warm_start{6.0};
  vector<double> root = warm_start;
  vector<double> direction(1);
  calibration_ir_hjm_spread_option_access::find_root(option, hjm.model, root, direction, strike, 0, tolerance);
  const double miss = std::abs(s(as_std(root)) - strike);
  EXPECT_GT(miss, tolerance);
  EXPECT_LT(miss, std::abs(s(as_std(warm_start)) - strike));
  EXPECT_NEAR(direction[0], spread_gradient(s, root)[0], 1e-8 * std::abs(direction[0]));

  root = warm_start;
  option.value(strike, hjm.model, root, direction, true, iterations, tolerance);
  EXPECT_LT(std::abs(s(as_std(root)) - strike), 1e-12);
}

// A strike equal to the spread at the state's mean, searched from there: the root stays at the origin,
// where the signed distance of the boundary is -0, and the option prices as from any other start.
TEST(CalibrationHjmSpreadOption, ARootAtTheOriginPricesAsAnyOther) {
  const hjm_setup hjm(one_factor());
  const calibration_ir_hjm_spread_option option = spread_option({"2Y", "10Y", "2Y", "3M"});
  const interest_rate_spread& spread = *option.calibration_spread_option();
  const double strike = exact_spread(spread, hjm.model)({0.0});
  const payoff_quadrature exact(spread, hjm.model);
  const double forward = exact.forward();
  for (bool is_call : {true, false}) {
    vector<double> root(1, 0.0);
    vector<double> direction(1);
    const double price = option.value(strike, hjm.model, root, direction, is_call, iterations, tolerance);
    EXPECT_EQ(root[0], 0.0);
    EXPECT_NEAR(price, searched_price(option, hjm.model, strike, is_call), 1e-13);
    EXPECT_NEAR(normal_volatility(price, forward, strike, spread, is_call),
                normal_volatility(exact.price(strike, is_call), forward, strike, spread, is_call),
                one_factor_tolerance);
  }
}

// The call's reference distance is the larger root, the put's the smaller, the first on a tie (told apart
// here by the sign of zero).
TEST(CalibrationHjmSpreadOption, ReferenceDistanceTakesTheFirstRootOnATie) {
  struct tie_case {
    std::pair<double, double> roots;
    bool is_call;
    double expected;
  };
  const std::vector<tie_case> cases{{{2.0, -0.5}, true, 2.0},   {{2.0, -0.5}, false, -0.5}, {{-0.0, 0.0}, true, -0.0},
                                    {{-0.0, 0.0}, false, -0.0}, {{0.0, -0.0}, true, 0.0},   {{0.0, -0.0}, false, 0.0}};
  for (const tie_case& c : cases) {
    const double distance = calibration_ir_hjm_spread_option_access::reference_distance(c.roots, c.is_call);
    EXPECT_EQ(distance, c.expected);
    EXPECT_EQ(std::signbit(distance), std::signbit(c.expected)) << c.roots.first << " " << c.roots.second;
  }
}

// The reference distances solve (t - c)(t - s0) = 1, c the spread's curvature along the direction over
// its slope, here from second differences of the exact spread (steps of 1e-3: a truncation near 1e-7 of c).
TEST(CalibrationHjmSpreadOption, ReferenceRootsSolveTheirQuadratic) {
  const hjm_setup hjm(one_factor());
  const calibration_ir_hjm_spread_option option = spread_option({"5Y", "10Y", "2Y", "3M"});
  const interest_rate_spread& spread = *option.calibration_spread_option();
  const exact_spread s(spread, hjm.model);
  matrix<double> G(spread.all_dates().size(), 1);
  hjm.model.decompose(G, spread.expiry(), spread.all_dates(), true);
  const double point = 0.7;
  const double along = -1.0;
  constexpr double h = 1e-3;
  const double up = s({point + h * along});
  const double down = s({point - h * along});
  const double curvature = (up - 2.0 * s({point}) + down) / (h * h) / ((up - down) / (2.0 * h));

  std::vector<double> dfs(spread.all_dates().size());
  std::vector<double> log_dfs_aad(spread.all_dates().size());
  for (double distance : {-0.7, -0.0, 2.0}) {
    const auto [t1, t2] =
        option.reference_root(vector<double>{point}, dfs, log_dfs_aad, vector<double>{along}, G, distance);
    EXPECT_GT(t1, t2);
    for (double t : {t1, t2}) EXPECT_NEAR((t - curvature) * (t - distance), 1.0, 1e-6) << distance;
  }
  // The model discount factors at the root, and the spread's log adjoints on them.
  std::vector<double> expected(dfs.size());
  model_dfs(expected, vector<double>{point}, G, spread.dfs());
  EXPECT_EQ(dfs, expected);
  std::vector<double> adjoints(dfs.size(), 0.0);
  spread.value_aad(adjoints, 1.0, expected);
  EXPECT_EQ(log_dfs_aad, adjoints);
}

// --- Errors -------------------------------------------------------------------------------------------

TEST(CalibrationHjmSpreadOption, DegenerateSpreadsAreErrors) {
  const hjm_setup hjm(one_factor());
  const double strike = 0.001;
  // Two equal swaps with equal weights: a spread of zero, whatever the state.
  const calibration_ir_hjm_spread_option flat = spread_option({"2Y", "5Y", "5Y", "1Y"});
  vector<double> root(1);
  vector<double> direction(1);
  EXPECT_THROW(flat.value(strike, hjm.model, root, direction, true, iterations, tolerance), Error);
  vector<double> x(1);
  matrix<double> G(flat.calibration_spread_option()->all_dates().size(), 1);
  hjm.model.decompose(G, flat.calibration_spread_option()->expiry(), flat.calibration_spread_option()->all_dates(),
                      true);
  EXPECT_THROW(flat.value_henrard_experimental(0.0, strike, G, x, true), Error);

  // A model without volatility: nothing moves with the state.
  const hjm_setup still(hull_white_parameter(0.1, 0.0));
  const calibration_ir_hjm_spread_option option = spread_option({"2Y", "10Y", "2Y", "3M"});
  EXPECT_THROW(option.value(strike, still.model, root, direction, true, iterations, tolerance), Error);

  // A root or direction of the wrong size, a strike that is not a number.
  vector<double> long_root(2);
  EXPECT_THROW(option.value(strike, hjm.model, long_root, direction, true, iterations, tolerance), Error);
  EXPECT_THROW(option.initial_root(long_root, strike, hjm.model), Error);
  EXPECT_THROW(option.spread(hjm.model, long_root), Error);
  EXPECT_THROW(option.value(std::nan(""), hjm.model, root, direction, true, iterations, tolerance), Error);
  // An empty root is a cold start.
  vector<double> empty;
  vector<double> no_direction;
  EXPECT_GT(option.value(strike, hjm.model, empty, no_direction, true, iterations, tolerance), 0.0);
  EXPECT_EQ(empty.size(), 1u);
}

// Settings under which no price can be trusted: maturities given the wrong way round (the spread would be
// read upside down), a search without iterations (it would stop off the boundary) and a tolerance that is
// not a positive number (NaN is never met, infinity always). Equal maturities are a spread of zero and are
// built; the driver's settings price.
TEST(CalibrationHjmSpreadOption, RefusesSwappedMaturitiesAndSearchSettingsThatCannotSucceed) {
  const hjm_setup hjm(one_factor());
  struct settings_case {
    const char* label;
    spread_case spread;
    size_t max_iterations;
    double tolerance;
    std::string message;  // empty: prices
  };
  const std::vector<settings_case> cases = {
      {"the driver's settings", {"5Y", "10Y", "2Y", "3M"}, iterations, tolerance, ""},
      {"one iteration", {"5Y", "10Y", "2Y", "3M"}, 1, tolerance, ""},
      {"swapped maturities", {"5Y", "2Y", "10Y", "3M"}, iterations, tolerance, "the maturities are swapped"},
      {"no iteration", {"5Y", "10Y", "2Y", "3M"}, 0, tolerance, "the root search needs at least one iteration"},
      {"NaN tolerance", {"5Y", "10Y", "2Y", "3M"}, iterations, std::nan(""),
       "the root search's tolerance nan is not a positive number"},
      {"infinite tolerance", {"5Y", "10Y", "2Y", "3M"}, iterations, std::numeric_limits<double>::infinity(),
       "the root search's tolerance inf is not a positive number"},
      {"negative tolerance", {"5Y", "10Y", "2Y", "3M"}, iterations, -1e-13,
       "the root search's tolerance -1e-13 is not a positive number"},
      {"zero tolerance", {"5Y", "10Y", "2Y", "3M"}, iterations, 0.0,
       "the root search's tolerance 0 is not a positive number"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::string failure;
    double price = 0.0;
    try {
      const calibration_ir_hjm_spread_option option = spread_option(c.spread);
      vector<double> root(1);
      vector<double> direction(1);
      const double strike = model_spread(option, hjm.model);
      option.initial_root(root, strike, hjm.model);
      price = option.value(strike, hjm.model, root, direction, true, c.max_iterations, c.tolerance);
    } catch (const Error& error) {
      failure = error.what();
    }
    if (c.message.empty()) {
      EXPECT_EQ(failure, "");
      EXPECT_GT(price, 0.0);
    } else {
      EXPECT_NE(failure.find(c.message), std::string::npos) << failure;
    }
  }
}

// Under business/252 a swap over a weekend accrues nothing: it has no annuity and no rate.
TEST(CalibrationHjmSpreadOption, ASwapWithoutAnnuityIsAnError) {
  const auto business = std::make_shared<const day_count_convention>(
      day_count_convention_type::BUSINESS_252, std::make_shared<const calendar>(true, std::vector<datetime>{}));
  const datetime saturday(2024, 1, 6);
  EXPECT_THROW(calibration_ir_hjm_spread_option(market_curve(), saturday, datetime(2024, 1, 8), datetime(2024, 1, 7),
                                                tenor("1D"), business, 1.0, 1.0, true),
               Error);

  const hjm_setup hjm(one_factor());
  const calibration_ir_hjm_spread_option option = spread_option({"2Y", "10Y", "2Y", "3M"});
  const auto weekend =
      std::make_shared<const interest_rate_swap>(market_curve(), saturday, datetime(2024, 1, 7), tenor("1D"), business);
  tensor<double> T({1, 1, 1});
  matrix<double> M(1, 1);
  vector<double> v(1);
  const matrix<double> G{{0.0}, {0.01}};
  EXPECT_THROW(option.annuity_approximation(T, M, v, vector<double>{0.3}, G, weekend), Error);
}

// --- Annuity expansion ------------------------------------------------------------------------------

// ln A(x + h d) - (ln A(x) - v.z - z'Mz - T[z,z,z]) with z = h d falls with the fourth power of h, and
// without its third-order term with the third: halving h divides the misses by 16 and 8 once h is small.
TEST(CalibrationHjmSpreadOption, TheAnnuityExpansionIsOfThirdOrder) {
  const hjm_setup hjm(two_factors());
  const calibration_ir_hjm_spread_option option = spread_option({"5Y", "10Y", "2Y", "3M"});
  const ptr_const<interest_rate_swap>& swap = option.calibration_spread_option()->long_swap();
  const size_t dates = swap->all_dates().size();
  matrix<double> G(dates, 2);
  hjm.model.decompose(G, swap->expiry(), swap->all_dates(), true);
  const vector<double> x{0.3, -0.2};
  tensor<double> T({2, 2, 2});
  matrix<double> M(2, 2);
  vector<double> v(2);
  const double level = option.annuity_approximation(T, M, v, x, G, swap);

  // The annuity on discount factors from their definition.
  const auto log_annuity = [&](const std::vector<double>& y) {
    std::vector<double> dfs(dates);
    for (size_t i = 0; i < dates; ++i) {
      double exponent = 0.0;
      for (size_t k = 0; k < 2; ++k) exponent -= G(i, k) * y[k] + 0.5 * G(i, k) * G(i, k);
      dfs[i] = swap->dfs()[i] * std::exp(exponent);
    }
    return std::log(swap->annuity(dfs));
  };
  const double at_x = log_annuity({x[0], x[1]});
  EXPECT_NEAR(std::log(level) - (v[0] * x[0] + v[1] * x[1]), at_x, 1e-14);
  const auto misses = [&](double h) {
    const double z[2] = {h * 0.8, h * 0.6};
    double second = 0.0;
    double third = 0.0;
    for (size_t k = 0; k < 2; ++k)
      for (size_t l = 0; l < 2; ++l) {
        second += M(k, l) * z[k] * z[l];
        for (size_t p = 0; p < 2; ++p) third += T(k, l, p) * z[k] * z[l] * z[p];
      }
    const double exact = log_annuity({x[0] + z[0], x[1] + z[1]});
    const double linear = at_x - v[0] * z[0] - v[1] * z[1];
    return std::pair{std::abs(exact - (linear - second - third)), std::abs(exact - (linear - second))};
  };
  // Steps where the next order is still small next to the one measured, and the miss far above rounding.
  EXPECT_NEAR(misses(1.0).first / misses(0.5).first, 16.0, 2.0);
  EXPECT_NEAR(misses(0.25).second / misses(0.125).second, 8.0, 1.0);
  for (size_t k = 0; k < 2; ++k)
    for (size_t l = 0; l < 2; ++l) {
      EXPECT_EQ(M(k, l), M(l, k));
      for (size_t p = 0; p < 2; ++p) EXPECT_EQ(T(k, l, p), T(p, k, l));
    }
}

// Loadings equal on every date leave nothing to expand: no moments, and the market annuity at any state.
TEST(CalibrationHjmSpreadOption, EqualLoadingsHaveNoMoments) {
  const calibration_ir_hjm_spread_option option = spread_option({"5Y", "10Y", "2Y", "3M"});
  const ptr_const<interest_rate_swap>& swap = option.calibration_spread_option()->long_swap();
  matrix<double> G(swap->all_dates().size(), 2);
  for (size_t i = 0; i < G.rows(); ++i) {
    G(i, 0) = 0.3;
    G(i, 1) = -0.1;
  }
  for (const vector<double>& x : {vector<double>{0.0, 0.0}, vector<double>{1.5, -0.4}}) {
    tensor<double> T({2, 2, 2}, 1.0);
    matrix<double> M(2, 2, 1.0);
    vector<double> v(2, 1.0);
    EXPECT_NEAR(option.annuity_approximation(T, M, v, x, G, swap), swap->annuity(), 1e-15);
    for (double value : v) EXPECT_EQ(value, 0.0);
    for (double value : M) EXPECT_EQ(value, 0.0);
    for (double value : T) EXPECT_EQ(value, 0.0);
  }
}

// --- Experimental values ------------------------------------------------------------------------------

// The second-order expansion of the spread about the state's mean prices within 0.5 bp of normal volatility
// of the searched value for strikes within 50 bp of the forward (its quadratic term is taken over the
// linear part's exercise region, and its higher terms dropped); it reads the same from either
// decomposition and leaves the mean, minus the expiry's loadings, in its state argument.
TEST(CalibrationHjmSpreadOption, TheSecondOrderValueIsCloseToTheSearchedOne) {
  constexpr double volatility_tolerance = 0.5 * basis_point;
  for (const model_case& m : {model_case{"OneFactor", one_factor}, model_case{"TwoFactors", two_factors},
                              model_case{"FarFromTheMean", far_from_the_mean}}) {
    const hjm_setup hjm(m.parameter());
    const size_t n = hjm.factors();
    for (const char* expiry : {"1Y", "10Y"}) {
      const calibration_ir_hjm_spread_option option = spread_option({expiry, "10Y", "2Y", "3M"});
      const interest_rate_spread& spread = *option.calibration_spread_option();
      matrix<double> relative(spread.all_dates().size(), n);
      matrix<double> own(spread.all_dates().size(), n);
      hjm.model.decompose(relative, spread.expiry(), spread.all_dates(), true);
      hjm.model.decompose(own, spread.expiry(), spread.all_dates(), false);
      const double forward = model_spread(option, hjm.model);
      for (double shift : {-0.005, 0.0, 0.005}) {
        const double strike = forward + shift;
        for (bool is_call : {true, false}) {
          const std::string where = m.name + " " + expiry + " " + std::to_string(shift) + (is_call ? " call" : " put");
          vector<double> x(n, 7.0);
          const double volatility = option.value_henrard_experimental(forward, strike, relative, x, is_call);
          const double price = searched_price(option, hjm.model, strike, is_call);
          EXPECT_NEAR(volatility, normal_volatility(price, forward, strike, spread, is_call), volatility_tolerance)
              << where;
          vector<double> y(n);
          EXPECT_NEAR(option.value_henrard_experimental(forward, strike, own, y, is_call), volatility,
                      1e-9 * volatility)
              << where;
          for (size_t k = 0; k < n; ++k) {
            EXPECT_EQ(x[k], -relative(0, k));
            EXPECT_EQ(y[k], -own(0, k));
          }
        }
      }
    }
  }
}

// The normal volatility of a price, or 0.0 below its intrinsic value (a price of exactly the intrinsic
// value has none either).
TEST(CalibrationHjmSpreadOption, NormalVolatilityIsZeroBelowIntrinsic) {
  struct price_case {
    double forward;
    double strike;
    double price;
    bool is_call;
    double expected;
  };
  const double df = 0.9;
  const double expiry = 2.0;
  const double priced = bachelier::price(0.003, 0.004, expiry, 0.006, df, 1.0);
  const std::vector<price_case> cases{
      {0.003, 0.003, -1e-12, true, 0.0},           {0.003, 0.003, 0.0, true, 0.0},
      {0.004, 0.003, 0.8 * df * 0.001, true, 0.0}, {0.003, 0.004, 0.8 * df * 0.001, false, 0.0},
      {0.004, 0.003, df * 0.001, true, 0.0},       {0.003, 0.004, priced, true, 0.006}};
  for (const price_case& c : cases)
    EXPECT_NEAR(
        calibration_ir_hjm_spread_option::normal_volatility(c.forward, c.strike, expiry, c.price, df, c.is_call),
        c.expected, 1e-12)
        << c.forward << " " << c.strike << " " << c.price;
}

// The driver's experimental pricing: the normal volatility, over the expiry in years, of the at-the-money
// call at the model's expected spread; against the quadrature's price at that strike, the same under
// either flag (to the rounding of the centring).
TEST(CalibrationHjmSpreadOption, TheDriverPricesTheAtTheMoneyTenTwoSpread) {
  const auto parameter = std::make_shared<const parameter_markovian_hjm>(one_factor());
  const hjm_setup hjm(one_factor());
  for (const char* expiry_tenor : {"1Y", "5Y"}) {
    const datetime expiry = after(valuation(), expiry_tenor);
    const double volatility =
        calibration_ir_hjm::cms_spread_pricing_experimental(valuation(), expiry, parameter, market_curve());
    EXPECT_NEAR(
        calibration_ir_hjm::cms_spread_pricing_experimental(valuation(), expiry, parameter, market_curve(), false),
        volatility, 1e-10);

    const spread_case c{expiry_tenor, "10Y", "2Y", "3M"};
    const calibration_ir_hjm_spread_option option = spread_option(c);
    const interest_rate_spread& spread = *option.calibration_spread_option();
    const double strike = model_spread(option, hjm.model);
    const payoff_quadrature exact(spread, hjm.model);
    EXPECT_NEAR(volatility, normal_volatility(exact.price(strike, true), strike, strike, spread, true),
                one_factor_tolerance)
        << expiry_tenor;
  }
  // Expiring today the spread cannot move.
  EXPECT_THROW(calibration_ir_hjm::cms_spread_pricing_experimental(valuation(), valuation(), parameter, market_curve()),
               Error);
}

}  // namespace
}  // namespace qavrek
