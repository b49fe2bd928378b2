// The Black-Karasinski model against closed forms of its one-factor Gaussian driver, the trapezoid of its
// step, and a Monte Carlo of the exact factor for its conditional prices.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "Analytics/change_of_measure/change_of_measure.h"
#include "Analytics/models/model_black_karasinski.h"
#include "Core/error.h"
#include "black_karasinski_test_support.h"

namespace qavrek::black_karasinski_test {
namespace {

std::vector<datetime> days_of(std::initializer_list<int> offsets) {
  std::vector<datetime> dates;
  for (int d : offsets) dates.push_back(day(d));
  return dates;
}

using simulation_test::error_message;

TEST(BlackKarasinskiModel, DriverGivesTheOrnsteinUhlenbeckDecayAndVariance) {
  const set_up s = piecewise_rate();
  const auto parameter = s.parameter();
  const std::vector<datetime> dates = days_of({0, 200, 730, 1500, 4000});
  const model_black_karasinski model(*parameter, valuation(), dates, false);
  EXPECT_EQ(model.number_of_factors(), 1u);
  EXPECT_EQ(model.number_of_states(), 2u);
  EXPECT_EQ(model.discounting_state_index(), 1u);
  const double kappa = s.mean_reversion;
  for (const datetime& date : dates) {
    const double tau = years(date);
    // Products and sums of a few exponentials: a few epsilon.
    EXPECT_NEAR(model.factor_decay(date), std::exp(-kappa * tau), 1e-15) << date;
    // Var y(t) = integral of sigma^2 e^{-2 kappa (t - u)}.
    const double variance = std::exp(-2.0 * kappa * tau) * weighted_variance(s, 0.0, tau, 2.0 * kappa);
    EXPECT_NEAR(model.variance(date), variance, 1e-14 * variance + 1e-300) << date;
  }
}

struct step_case {
  const char* name;
  size_t step;
  bool with_measure_change;
};

// With fixed draws the step is arithmetic: the factor moves by sigma (draw - row_dot) with sigma^2 the
// integral of sigma(u)^2 e^{2 kappa u} over the step, and the integral row by the trapezoid with the level
// of the step's start at both ends and each end's own decay.
TEST(BlackKarasinskiModel, StepMovesTheFactorAndAddsTheTrapezoidOfTheRate) {
  const set_up s = piecewise_rate();
  const auto parameter = s.parameter();
  // Step 2 crosses the level date at 365 days and step 3 the volatility date at 730.
  const std::vector<datetime> dates = days_of({0, 200, 400, 900});
  const model_black_karasinski model(*parameter, valuation(), dates, false);
  const std::vector<step_case> cases = {
      {"first step", 1, false}, {"across a level date", 2, false}, {"across a volatility date", 3, false},
      {"under a change of measure", 2, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const matrix<double> start{{-0.4, 0.1, 0.9}, {0.02, 0.0, 0.3}};
    matrix<double> states = start;
    matrix<double> previous;
    const matrix<double> draws{{-1.2, 0.3, 2.0}};
    // row_dot(i, 0) = 0.3 * 0.5 - 0.2 * 0.25 = 0.1 on every step.
    const change_of_measure none;
    const change_of_measure shifted(matrix<double>{{0.5, 0.25}},
                                    matrix<double>{{0.3, -0.2}, {0.3, -0.2}, {0.3, -0.2}, {0.3, -0.2}});
    const change_of_measure& used = c.with_measure_change ? shifted : none;
    model.evolve(used, c.step, draws, previous, states);

    const double from = years(dates[c.step - 1]), to = years(dates[c.step]);
    const double kappa = s.mean_reversion;
    const double sigma = std::sqrt(weighted_variance(s, from, to, 2.0 * kappa));
    const double shift = c.with_measure_change ? 0.1 : 0.0;
    const double level = s.level_on(int(dates[c.step - 1].serial() - valuation().serial()));
    for (size_t p = 0; p < 3; ++p) {
      const double x = start(0, p) + sigma * (draws(0, p) - shift);
      const double trapezoid = 0.5 * (to - from) *
                               (std::exp(level + std::exp(-kappa * from) * start(0, p)) +
                                std::exp(level + std::exp(-kappa * to) * x));
      // A handful of roundings: the factor's on values of order 1, the integral's a few ulps of the result
      // (the step's exponentials are good to an ulp).
      EXPECT_NEAR(states(0, p), x, 1e-14) << p;
      const double integral = start(1, p) + trapezoid;
      EXPECT_NEAR(states(1, p), integral, 4.0 * std::numeric_limits<double>::epsilon() * integral) << p;
      EXPECT_EQ(previous(0, p), start(0, p));
      EXPECT_EQ(previous(1, p), start(1, p));
    }
  }
}

TEST(BlackKarasinskiModel, StepRefusesStepsOutsideTheDatesAndMismatchedDraws) {
  const auto parameter = piecewise_rate().parameter();
  const std::vector<datetime> dates = days_of({0, 30, 60});
  const model_black_karasinski model(*parameter, valuation(), dates, false);
  matrix<double> states(2, 3), previous;
  const matrix<double> draws(1, 3), wrong_draws(1, 4);
  const change_of_measure none;
  EXPECT_NE(error_message([&] { model.evolve(none, 0, draws, previous, states); }), "");
  EXPECT_NE(error_message([&] { model.evolve(none, 3, draws, previous, states); }), "");
  EXPECT_NE(error_message([&] { model.evolve(none, 1, wrong_draws, previous, states); }), "");
  matrix<double> one_row(1, 3);
  EXPECT_NE(error_message([&] { model.evolve(none, 1, draws, previous, one_row); }), "");
}

// Rates beyond the range of doubles saturate: the integral stays a number (its survival then 0 or 1).
TEST(BlackKarasinskiModel, StepStaysFiniteForRatesBeyondTheRangeOfDoubles) {
  for (double level : {800.0, -800.0}) {
    set_up s = piecewise_rate();
    s.levels = {level};
    s.level_days = {0};
    const auto parameter = s.parameter();
    const model_black_karasinski model(*parameter, valuation(), days_of({0, 30}), false);
    matrix<double> states{{0.0, 50.0}, {0.0, 0.0}}, previous;
    model.evolve(change_of_measure(), 1, matrix<double>{{0.0, 1.0}}, previous, states);
    for (size_t p = 0; p < 2; ++p) {
      EXPECT_TRUE(std::isfinite(states(1, p))) << level << " " << p;
      EXPECT_GE(states(1, p), 0.0) << level << " " << p;
    }
    EXPECT_EQ(std::exp(-states(1, 0)), level > 0 ? 0.0 : 1.0);
  }
}

// Decay rows that change at 3 and 5 years, with the volatilities: mean-reversion speeds under HULL_WHITE, the
// factor's loadings under PICEWISE_CONSTANT.
set_up changing_decays(parameter_markovian_hjm_type type, std::vector<double> decays) {
  set_up s{0.0, {0.3, 0.5, 0.25}, {1095, 1825, 3650}, {std::log(0.02), std::log(0.03)}, {0, 1460}};
  s.type = type;
  s.decays = std::move(decays);
  return s;
}

struct conditional_price_case {
  const char* name;
  set_up inputs;
  int start_day;
  std::vector<double> starting_values;  // y(t) = a(t) x(t)
  std::vector<int> horizons;            // days after t
};

// E[exp(-integral of r) | x(t)] against a Monte Carlo of the exact factor on daily steps, at several factor
// values: over 1 to 10 years for one mean reversion, and across the changes of piecewise decays (from one of
// them for the loadings, so that y jumps on the first day).
TEST(BlackKarasinskiModel, ConditionalPriceAgreesWithMonteCarloOfTheExactFactor) {
  const std::vector<conditional_price_case> cases = {
      {"one mean reversion, rate", piecewise_rate(), 730, {-0.6, 0.0, 0.6}, {365, 1095, 3650}},
      {"one mean reversion, intensity", credit_intensity(), 730, {-0.6, 0.0, 0.6}, {365, 1095, 3650}},
      {"piecewise mean reversions", changing_decays(parameter_markovian_hjm_type::HULL_WHITE, {0.05, 0.8, 0.2}), 730,
       {-0.6, 0.6}, {730, 1825}},
      {"piecewise loadings", changing_decays(parameter_markovian_hjm_type::PICEWISE_CONSTANT, {1.0, 0.5, 1.4}), 1095,
       {-0.6, 0.6}, {730, 1095}},
  };
  unsigned seed = 17;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto parameter = c.inputs.parameter();
    const model_black_karasinski model(*parameter, valuation(), days_of({0, 365, c.start_day}), false);
    const datetime t = day(c.start_day);
    const double decay = model.factor_decay(t);
    matrix<double> states(2, c.starting_values.size());
    for (size_t j = 0; j < c.starting_values.size(); ++j) states(0, j) = c.starting_values[j] / decay;
    for (size_t j = 0; j < c.starting_values.size(); ++j) {
      const std::vector<sample> reference =
          monte_carlo_prices(c.inputs, c.start_day, c.starting_values[j], c.horizons, 4000, seed++);
      for (size_t h = 0; h < c.horizons.size(); ++h) {
        vector<double> log_prices(c.starting_values.size());
        model.conditional_price(states, t, day(c.start_day + c.horizons[h]), log_prices);
        // Four standard errors (a chance of 6e-5 for a correct model); the expansion's own error (below
        // 2e-6) and the daily trapezoid's are far below them.
        EXPECT_NEAR(std::exp(log_prices[j]), reference[h].mean(), 4.0 * reference[h].standard_error())
            << c.horizons[h] << " days, y " << c.starting_values[j];
      }
    }
  }
}

TEST(BlackKarasinskiModel, WithoutVolatilityThePriceIsTheExponentialOfTheLevels) {
  set_up s = piecewise_rate();
  s.volatilities = {0.0, 0.0};
  const auto parameter = s.parameter();
  const model_black_karasinski model(*parameter, valuation(), days_of({0, 100}), false);
  // From day 100 to 2500 through the level dates at 365, 1095 and 2190.
  const double integral = (265 * 0.02 + 730 * 0.025 + 1095 * 0.03 + 310 * 0.035) / 365.0;
  const matrix<double> states{{0.0, 0.0}, {0.7, -0.2}};
  vector<double> log_prices(2);
  model.conditional_price(states, day(100), day(2500), log_prices);
  for (double value : log_prices) EXPECT_NEAR(value, -integral, 1e-10);

  // Over no time the price is 1 whatever the factor.
  const matrix<double> anywhere{{-2.0, 0.0, 3.0}, {0.0, 0.0, 0.0}};
  vector<double> nothing(3, -1.0);
  model.conditional_price(anywhere, day(100), day(100), nothing);
  for (double value : nothing) EXPECT_EQ(value, 0.0);
}

TEST(BlackKarasinskiModel, StateParametersAreTheDriversThenTheLevelTimes) {
  const set_up s = piecewise_rate();
  const auto parameter = s.parameter();
  model_black_karasinski model(*parameter, valuation(), days_of({0, 300, 800}), false);
  const size_t driver = model.hjm_model()->state_parameters_size();
  ASSERT_EQ(model.state_parameters_size(), driver + s.level_days.size());
  EXPECT_EQ(model.levels_offset(), driver);

  std::vector<double> values(model.state_parameters_size());
  std::vector<double> driver_values(driver);
  EXPECT_EQ(model.get_state_parameters(values.data()), values.size());
  model.hjm_model()->get_state_parameters(driver_values.data());
  for (size_t i = 0; i < driver; ++i) EXPECT_EQ(values[i], driver_values[i]) << i;
  for (size_t k = 0; k < s.level_days.size(); ++k) EXPECT_NEAR(values[driver + k], s.level_days[k] / 365.0, 1e-15);

  std::vector<double> changed = values;
  for (double& value : changed) value += 0.25;
  EXPECT_EQ(model.set_state_parameters(changed.data()), changed.size());
  std::vector<double> read(changed.size());
  model.get_state_parameters(read.data());
  EXPECT_EQ(read, changed);
}

TEST(BlackKarasinskiModel, RefusesSetsWithoutLevelsTimeStepOrRoots) {
  set_up no_step = piecewise_rate();
  no_step.time_step_in_days = 0;
  set_up no_roots = piecewise_rate();
  no_roots.number_of_roots = 0;
  set_up no_levels = piecewise_rate();
  no_levels.levels.clear();
  no_levels.level_days.clear();
  for (const set_up& s : {no_step, no_roots, no_levels}) {
    const auto parameter = s.parameter();
    EXPECT_NE(error_message([&] { model_black_karasinski(*parameter, valuation(), days_of({0, 30}), false); }), "");
  }
}

}  // namespace
}  // namespace qavrek::black_karasinski_test
