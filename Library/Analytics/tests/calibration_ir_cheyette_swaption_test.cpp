// The Cheyette swaption target: its volatilities against Monte Carlo prices of the Cheyette diffusion,
// its limit at zero skew (the Gaussian HJM price), its displaced-diffusion approximation, and the
// conventions of a single node's price.

#include "Analytics/calibration/ir/cheyette/calibration_ir_cheyette_swaption.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/calibration/ir/hjm/calibration_ir_hjm_swaption.h"
#include "Core/logger.h"
#include "Util/black_scholes.h"
#include "cheyette_swaption_test_support.h"

namespace qavrek::cheyette_test {
namespace {

using simulation_test::error_message;

std::vector<double> model_volatilities(const calibration_ir_cheyette_swaption& target,
                                       const ptr_const<model_cheyette>& model) {
  std::vector<double> out;
  target.values(out, model, model->variance(target.expiry()));
  return out;
}

struct monte_carlo_case {
  const char* label;
  double skew;
  double level;
  datetime start, end;
  const char* frequency;
  bool is_call;
};

// With one skew in force up to the expiry the target's law is the model's, but for the cap on the local
// volatility and the clamp that keeps it non-negative, both far out in the tails here. The Monte Carlo
// (100000 paths, 96 Euler steps a year) then differs by its standard error and the scheme's weak error:
// with 400000 paths that error was at most 1.7e-3 in volatility at 12 steps a year and within the noise
// (2e-4) at 192, so about 2e-4 at 96. 5e-4 covers it; 4 standard errors cover the noise.
TEST(CheyetteSwaption, ValuesAgreeWithMonteCarloOfTheCheyetteDiffusion) {
  const auto curve = market_curve();
  const auto hjm = ten_year_hjm();
  const monte_carlo_case cases[] = {
      {"1Y caplet in 1Y, skew 15", 15.0, -5.0, years_after(1), years_after(2), "1Y", true},
      {"6M caplet in 4Y, skew -10", -10.0, -5.0, years_after(4), datetime(2028, 7, 15), "6M", true},
      {"5Y swap in 1Y, skew 20", 20.0, -5.0, years_after(1), years_after(6), "1Y", true},
      {"5Y swap in 5Y, skew -12", -12.0, -5.0, years_after(5), years_after(10), "1Y", true},
      {"receiver 1Y caplet in 3Y, skew 12 at level 0.5", 12.0, 0.5, years_after(3), years_after(4), "1Y", false},
  };
  constexpr size_t paths = 100000;
  constexpr double steps_per_year = 96.0;
  for (const monte_carlo_case& c : cases) {
    SCOPED_TRACE(c.label);
    const auto parameter = cheyette(hjm, {c.skew}, {years_after(1)}, c.level);
    const calibration_ir_cheyette_swaption target(c.is_call, curve, c.start, c.end, tenor(c.frequency), act_365f(),
                                                  {0.7, 1.0, 1.4}, true);
    const std::vector<double> volatilities = model_volatilities(target, model_on(parameter));
    const interest_rate_swap& swap = *target.swaptions()->swap();
    const auto steps = static_cast<size_t>(std::round(steps_per_year * swap.expiry_double()));
    const auto prices = monte_carlo(parameter, curve, *target.swaptions(), paths, steps);
    ASSERT_EQ(volatilities.size(), 3u);
    for (size_t k = 0; k < 3; ++k) {
      const double strike = target.swaptions()->strikes()[k];
      const double simulated = swap.implied_volatility(prices[k].mean(), strike, c.is_call ? 1.0 : -1.0);
      const double vega =
          black_scholes::vega(swap.swap_rate(), strike, swap.expiry_double(), simulated, swap.annuity());
      EXPECT_NEAR(volatilities[k], simulated, 4.0 * prices[k].standard_error() / vega + 5e-4) << "strike " << strike;
    }
  }
}

struct skew_set {
  const char* label;
  std::vector<double> skews;  // one per factor
};

// A 2Y x 5Y payer at 80%, 100% and 125% of the at-the-money rate under skews of every size and both signs, one
// factor, and a second factor with a skew of the other sign. The target reads the model as one factor, its first,
// so the second carries no volatility: its skew must leave the first factor's local volatility alone.
//
// Each set is simulated once for the three strikes, 100000 paths on 96 steps, and on 48 steps of the same paths for
// the Euler bias. The paths are those of the zero skew too, whose price is the Gaussian HJM model's in closed form:
// the simulated price is that price plus the mean path by path difference to the zero skew, a control variate that
// takes the noise the skews share out of the comparison (the standard errors fall from about 1e-4 to 2e-7 - 7e-6),
// so that a multiplier cut near its centre, even on half the paths, shows. Far from the multiplier's kink and cap the
// target's law is the model's, so the simulated price is the target's up to the Euler bias and the noise: 4
// standard errors plus the size of the bias estimate. The zero skew itself is checked on its raw sample. The
// quadrature's own error, below 1e-7 in volatility (1e-8 in price) here, is far inside.
TEST(CheyetteSwaption, ValuesAgreeWithMonteCarloAtSkewsOfEverySize) {
  const auto curve = market_curve();
  const calibration_ir_cheyette_swaption target(true, curve, years_after(2), years_after(7), tenor("1Y"), act_365f(),
                                                {0.8, 1.0, 1.25}, true);
  const instrument_ir_swaption& swaption = *target.swaptions();
  const interest_rate_swap& swap = *swaption.swap();
  const ptr_const<parameter_markovian_hjm> one_factor = ten_year_hjm();
  matrix<double> volatilities(one_factor->volatilities().rows(), 2);
  for (size_t r = 0; r < volatilities.rows(); ++r) volatilities(r, 0) = one_factor->volatilities()(r, 0);
  const matrix<double> correlation{{1.0, -0.5}, {-0.5, 1.0}};
  const auto two_factors = std::make_shared<const parameter_markovian_hjm>(
      matrix<double>{{0.03, 0.4}}, volatilities, correlation, std::vector{years_after(1)},
      one_factor->volatilities_dates(), act_365f(), parameter_markovian_hjm_type::HULL_WHITE);
  const std::vector<skew_set> sets = {
      {"b = -6", {-6.0}},  {"b = -1", {-1.0}}, {"b = -0.3", {-0.3}}, {"b = 0", {0.0}},
      {"b = 0.2", {0.2}},  {"b = 0.5", {0.5}}, {"b = 1", {1.0}},     {"b = 3", {3.0}},
      {"b = 8", {8.0}},    {"two factors, b = (0.4, -0.2)", {0.4, -0.2}},
  };
  constexpr size_t paths = 100000;
  constexpr size_t steps = 96;
  auto parameter_of = [&](const std::vector<double>& row) {
    matrix<double> skews(1, row.size());
    for (size_t f = 0; f < row.size(); ++f) skews(0, f) = row[f];
    return std::make_shared<const parameter_cheyette>(row.size() == 1 ? one_factor : two_factors, skews,
                                                      std::vector{years_after(1)}, -5.0);
  };
  auto simulate = [&](const ptr_const<parameter_cheyette>& parameter) {
    return coupled_monte_carlo(parameter, curve, swaption,
                               parameter->number_of_factors() == 1 ? matrix<double>{{1.0}} : correlation, paths,
                               steps);
  };
  auto prices_of = [&](const ptr_const<parameter_cheyette>& parameter) {
    const std::vector<double> found = model_volatilities(target, model_on(parameter));
    std::vector<double> prices;
    for (size_t k = 0; k < found.size(); ++k)
      prices.push_back(black_scholes::price(swap.swap_rate(), swaption.strikes()[k], swap.expiry_double(), found[k],
                                            swap.annuity(), 1.0));
    return prices;
  };
  // The zero skew's paths and prices for each number of factors.
  std::vector<euler_payoffs> gaussian_payoffs;
  std::vector<std::vector<double>> gaussian_prices;
  for (size_t n : {1, 2}) {
    const auto gaussian = parameter_of(std::vector<double>(n, 0.0));
    gaussian_payoffs.push_back(simulate(gaussian));
    gaussian_prices.push_back(prices_of(gaussian));
  }
  for (const skew_set& set : sets) {
    SCOPED_TRACE(set.label);
    const size_t n = set.skews.size();
    const auto parameter = parameter_of(set.skews);
    const std::vector<double> prices = prices_of(parameter);
    const bool is_control = std::all_of(set.skews.begin(), set.skews.end(), [](double b) { return b == 0.0; });
    const std::vector<simulated_price> simulated =
        is_control ? simulated_prices(gaussian_payoffs[n - 1])
                   : simulated_prices(simulate(parameter), &gaussian_payoffs[n - 1], gaussian_prices[n - 1]);
    for (size_t k = 0; k < 3; ++k) {
      const simulated_price& s = simulated[k];
      EXPECT_NEAR(s.price, prices[k], 4.0 * s.standard_error + std::abs(s.bias)) << "strike " << swaption.strikes()[k];
    }
  }
}

// As the skew vanishes the law of Z concentrates and the price tends to the Gaussian one, linearly in the
// skew: about 2e-3 of volatility per unit of skew (measured 1.9e-3), so 3e-3 |b|, plus 1e-7 for the
// digits that the small skew costs (1e-16 / |b| relative). At zero skew it is the HJM price itself.
TEST(CheyetteSwaption, TendsToTheGaussianHjmVolatilityAsTheSkewVanishes) {
  const auto curve = market_curve();
  const auto hjm = ten_year_hjm();
  for (const auto& [start, end] :
       {std::pair{years_after(1), years_after(2)}, std::pair{years_after(3), years_after(8)}}) {
    const calibration_ir_cheyette_swaption target(true, curve, start, end, tenor("1Y"), act_365f(), {0.7, 1.0, 1.4},
                                                  true);
    const calibration_ir_hjm_swaption gaussian(target.swaptions()->swap());
    for (double skew : {1e-2, -1e-3, 1e-3, 1e-4, 0.0}) {
      SCOPED_TRACE(start.to_string() + " skew " + std::to_string(skew));
      const auto model = model_on(cheyette(hjm, {skew}, {years_after(1)}, -5.0));
      const std::vector<double> volatilities = model_volatilities(target, model);
      for (size_t k = 0; k < 3; ++k) {
        vector<double> root;
        const double expected =
            gaussian.implied_volatility(target.swaptions()->strikes()[k], *model->hjm_model(), root, 30, 1e-10);
        if (skew == 0.0) {
          EXPECT_EQ(volatilities[k], expected);
        } else {
          EXPECT_NEAR(volatilities[k], expected, 3e-3 * std::abs(skew) + 1e-7);
        }
      }
    }
  }
}

// The displaced diffusion matches the quadrature's smile to first order in the skew-weighted volatility:
// its error is of second order, measured at most 2.3e-3 for skews up to 15 in size (b sigma sqrt(T) up to
// 0.3) on these expiries, so 3e-3.
TEST(CheyetteSwaption, DisplacedDiffusionApproximatesTheQuadrature) {
  const auto curve = market_curve();
  const auto hjm = ten_year_hjm();
  for (double skew : {15.0, -10.0, 3.0}) {
    for (const auto& [start, end] : {std::pair{1, 2}, std::pair{1, 6}, std::pair{5, 10}}) {
      SCOPED_TRACE("skew " + std::to_string(skew) + " from year " + std::to_string(start));
      const auto model = model_on(cheyette(hjm, {skew}, {years_after(1)}, -5.0));
      const calibration_ir_cheyette_swaption target(true, curve, years_after(start), years_after(end), tenor("1Y"),
                                                    act_365f(), {0.7, 1.0, 1.4}, true);
      std::vector<double> approximated;
      target.value_approxitmation(approximated, model, hjm->volatilities_dates());
      const std::vector<double> volatilities = model_volatilities(target, model);
      ASSERT_EQ(approximated.size(), 3u);
      for (size_t k = 0; k < 3; ++k) EXPECT_NEAR(approximated[k], volatilities[k], 3e-3);
    }
  }
}

// The level search stops after 50 Newton steps: a model whose volatilities are not numbers never reprices
// the swap rate, and each of its dates warns once instead of searching for ever.
TEST(CheyetteSwaption, ApproximationLevelSearchStopsAndWarns) {
  const auto hjm = ten_year_hjm();
  matrix<double> volatilities = hjm->writable_volatilities();
  volatilities(0, 0) = std::nan("");
  const auto model = model_on(cheyette(hjm, {10.0}, {years_after(1)}, -5.0));
  const calibration_ir_cheyette_swaption target(true, market_curve(), years_after(3), years_after(8), tenor("1Y"),
                                                act_365f(), {1.0}, true);
  std::vector<std::string> warnings;
  const int cutoff = logger::GetCurrentVerbosityCutoff();
  logger::SetCurrentVerbosityCutoff(0);
  const logger::Sink previous =
      logger::SetSink([&](int, std::string_view, unsigned, std::string_view text) { warnings.emplace_back(text); });
  std::vector<double> out;
  target.value_approxitmation(out, model, hjm->volatilities_dates());
  logger::SetSink(previous);
  logger::SetCurrentVerbosityCutoff(cutoff);
  ASSERT_EQ(warnings.size(), 3u);  // the dates of years 1, 2 and 3
  EXPECT_NE(warnings[0].find("swap rate level search did not converge in 50 steps at 2025-01-15!"), std::string::npos);
  EXPECT_EQ(out, std::vector<double>{10000.0});  // a price that is not a number has no volatility
}

// Single nodes through `value`: G holds Gt = (G - L) / s of the swap's dates.
struct CheyetteSwaptionNode : ::testing::Test {
  const ptr_const<discount_curve> curve = market_curve();
  const ptr_const<model_cheyette> model = model_on(cheyette(ten_year_hjm(), {15.0}, {years_after(1)}, -5.0));
  const calibration_ir_cheyette_swaption target{true,        curve,      years_after(3), years_after(8),
                                                tenor("1Y"), act_365f(), {1.0},          true};
  const interest_rate_swap& swap = *target.swaptions()->swap();
  const double forward = swap.swap_rate();
  // A node at the centre of the law: Z = 1 / c.
  const double node = 1.0 / model->variance(years_after(3));

  matrix<double> shifted_decays() const {
    const double s = model->average_skew(years_after(3));
    matrix<double> G(swap.all_dates().size(), 1);
    vector<double> decay(1);
    for (size_t j = 0; j < swap.all_dates().size(); ++j) {
      model->hjm_model()->integral_decay(swap.all_dates()[j], decay);
      G(j, 0) = (decay[0] + 5.0) / s;
    }
    return G;
  }
};

TEST_F(CheyetteSwaptionNode, NanRootRestartsFromZeroAndNanNodePricesTheIntrinsicValue) {
  const matrix<double> G = shifted_decays();
  double from_zero = 0.0;
  double from_nan = std::numeric_limits<double>::quiet_NaN();
  const double price = target.value(from_zero, node, forward, G, true, 30, 1e-10);
  EXPECT_EQ(target.value(from_nan, node, forward, G, true, 30, 1e-10), price);
  EXPECT_EQ(from_nan, from_zero);
  EXPECT_TRUE(std::isfinite(from_zero));

  // A node that is not a number leaves no root: the price is the market swap's intrinsic value.
  double root = 0.0;
  EXPECT_EQ(target.value(root, std::nan(""), 0.5 * forward, G, true, 30, 1e-10), 0.5 * forward * swap.annuity());
  EXPECT_TRUE(std::isnan(root));
}

TEST_F(CheyetteSwaptionNode, TinyPricesAreZeroAndNanPricesAreRefused) {
  const matrix<double> G = shifted_decays();
  double root = 0.0;
  EXPECT_EQ(target.value(root, node, 20.0 * forward, G, true, 30, 1e-10), 0.0);
  // No search step from root 0 at a node that is not a number: the price there is not a number.
  root = 0.0;
  EXPECT_NE(error_message([&] {
              target.value(root, std::nan(""), forward, G, true, 0, 1e-10);
            }).find("Expected !std::isnan(output) to be true, but got false.   swaption price is negatif nan"),
            std::string::npos);
}

TEST_F(CheyetteSwaptionNode, SearchThatDoesNotConvergeWarnsAndPricesAtItsLastRoot) {
  struct line {
    std::string file;
    unsigned number;
    std::string message;
  };
  std::vector<line> lines;
  const int cutoff = logger::GetCurrentVerbosityCutoff();
  logger::SetCurrentVerbosityCutoff(0);
  const logger::Sink previous =
      logger::SetSink([&](int, std::string_view file, unsigned number, std::string_view text) {
        lines.push_back({std::string(file), number, std::string(text)});
      });
  const matrix<double> G = shifted_decays();
  double root = 0.0;
  target.value(root, node, forward, G, true, 30, 1e-10);
  EXPECT_TRUE(lines.empty());
  double stopped = 0.0;
  target.value(stopped, node, forward, G, true, 0, 1e-10);
  logger::SetSink(previous);
  logger::SetCurrentVerbosityCutoff(cutoff);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].file, "Library/Analytics/calibration/ir/cheyette/calibration_ir_cheyette_swaption");
  EXPECT_EQ(lines[0].number, 483u);
  EXPECT_NE(lines[0].message.find("swap root finder did not converge!"), std::string::npos);
  // No Newton step: the quadratic start, near the root but not on it.
  EXPECT_NE(stopped, root);
  EXPECT_NEAR(stopped, root, 1e-3 * root);
}

TEST(CheyetteSwaption, OneVolatilityPerStrikeInOrderAndNoneOffTheModelDates) {
  const auto curve = market_curve();
  const auto model = model_on(cheyette(ten_year_hjm(), {-8.0}, {years_after(1)}, -5.0));
  const calibration_ir_cheyette_swaption ordered(true, curve, years_after(2), years_after(7), tenor("1Y"), act_365f(),
                                                 {0.7, 1.0, 1.4}, true);
  const calibration_ir_cheyette_swaption shuffled(true, curve, years_after(2), years_after(7), tenor("1Y"), act_365f(),
                                                  {1.4, 0.7, 1.0}, true);
  const std::vector<double> a = model_volatilities(ordered, model);
  std::vector<double> b = {1.0, 2.0, 3.0, 4.0};  // cleared first
  shuffled.values(b, model, model->variance(years_after(2)));
  ASSERT_EQ(b.size(), 3u);
  EXPECT_EQ(b[0], a[2]);
  EXPECT_EQ(b[1], a[0]);
  EXPECT_EQ(b[2], a[1]);
  // The model gives -1 off its simulation dates.
  EXPECT_NE(error_message([&] {
              ordered.values(b, model, model->variance(datetime(2026, 3, 1)));
            }).find("is not a non-negative number"),
            std::string::npos);
}

}  // namespace
}  // namespace qavrek::cheyette_test
