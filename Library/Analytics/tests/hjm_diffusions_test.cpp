// The Markovian HJM rate and credit diffusions and their simulated curves, away from randomness: shapes,
// start states, what a zero state block answers, the size check, the queries they refuse, and that a
// view reads the live states.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/diffusion/credit/diffusion_credit_markovian_hjm.h"
#include "Analytics/diffusion/credit/survival_curve_diffusion.h"
#include "Analytics/diffusion/ir/diffusion_ir_markovian_hjm.h"
#include "Analytics/diffusion/ir/discount_curve_diffusion.h"
#include "Analytics/simulation/states_variables.h"
#include "simulation_test_support.h"

namespace qavrek::simulation_test {
namespace {

ptr_const<parameter_markovian_hjm> hull_white(size_t factors) {
  matrix<double> decays(1, factors), volatilities(1, factors), correlation(factors, factors);
  for (size_t k = 0; k < factors; ++k) {
    decays(0, k) = 0.05 + 0.3 * static_cast<double>(k);
    volatilities(0, k) = 0.01;
    for (size_t j = 0; j < factors; ++j) correlation(k, j) = k == j ? 1.0 : 0.2;
  }
  return std::make_shared<const parameter_markovian_hjm>(decays, volatilities, correlation,
                                                         std::vector{datetime(2030, 1, 15)},
                                                         std::vector{datetime(2030, 1, 15)},
                                                         std::make_shared<const day_count_convention>(),
                                                         parameter_markovian_hjm_type::HULL_WHITE);
}

struct HjmDiffusions : ::testing::Test, four_month_market {
  const ptr_const<diffusion_ir_markovian_hjm> rate =
      std::make_shared<const diffusion_ir_markovian_hjm>(dates, rates, hull_white(3));
  const ptr_const<diffusion_credit_markovian_hjm> intensity =
      std::make_shared<const diffusion_credit_markovian_hjm>(dates, defaults, hull_white(1));
};

TEST_F(HjmDiffusions, ShapesFollowTheFactors) {
  EXPECT_EQ(rate->number_of_factors(), 3u);
  EXPECT_EQ(rate->number_of_states(), 4u);
  EXPECT_EQ(rate->discounting_state_index(), 3u);
  EXPECT_EQ(intensity->number_of_factors(), 1u);
  EXPECT_EQ(intensity->number_of_states(), 2u);
  EXPECT_EQ(rate->dates(), dates);

  matrix<double> states(3, 5, 7.0);
  rate->states_initialize(states);
  for (double value : states) EXPECT_EQ(value, 0.0);
}

TEST_F(HjmDiffusions, AZeroBlockAnswersWithTheMarketCurve) {
  const matrix<double> zero(4, 5);
  const matrix<double> zero_credit(2, 5);
  vector<double> output(5);
  for (const datetime& t : dates) {
    SCOPED_TRACE(t.to_string());
    // exp of a log-linear curve against the curve's own discount factor: rounding only.
    rate->discounting(output, zero, t);
    for (double value : output) EXPECT_NEAR(value, rates->df(dates[0], t), 1e-15);
    intensity->survival_probability(output, zero_credit, t);
    for (double value : output) EXPECT_NEAR(value, defaults->survival_probability(dates[0], t), 1e-15);
  }
  expect_zeros_over_no_time(*rate, dates[2], 5);
  expect_zeros_over_no_time(*intensity, dates[1], 5);
}

TEST_F(HjmDiffusions, AnOutputOfTheWrongLengthIsRefusedUntouched) {
  const matrix<double> states(4, 5);
  vector<double> output(3, 42.0);
  EXPECT_EQ(error_message([&] { rate->discounting(output, states, dates[1]); }), three_outputs_for_five_paths);
  EXPECT_EQ(error_message([&] { intensity->survival_probability(output, matrix<double>(2, 5), dates[1]); }),
            three_outputs_for_five_paths);
  for (double value : output) EXPECT_EQ(value, 42.0);
}

TEST_F(HjmDiffusions, ScalarQueriesAndPdeCoefficientsAreNotOffered) {
  auto storage = std::make_shared<states_variables>(std::vector<size_t>{4, 2}, 5);
  const ptr_const<diffusion> rate_asset = rate;
  const ptr_const<diffusion> credit_asset = intensity;
  const auto curve = diffusion::diffusion_discount_curve(
      rate->create_market_data(rate_asset, storage->next_states(0), storage->current_states(0), {}, storage));
  const auto survival = diffusion::diffusion_survival_curve(
      intensity->create_market_data(credit_asset, storage->next_states(1), storage->current_states(1), {}, storage));
  ASSERT_TRUE(curve && survival);

  const std::string ir_view = "Library/Analytics/diffusion/ir/discount_curve_diffusion";
  const std::string credit_view = "Library/Analytics/diffusion/credit/survival_curve_diffusion";
  const std::string base = "Library/Analytics/diffusion/common/diffusion";
  const std::vector<not_implemented_case> cases = {
      {"df", [&] { curve->df(dates[0], dates[1]); }, {"df", ir_view, 52}, "df"},
      {"log_df", [&] { curve->log_df(dates[0], dates[1]); }, {"log_df", ir_view, 46}, "log_df"},
      {"log_survival_probability", [&] { survival->log_survival_probability(dates[0], dates[1]); },
       {"log_survival_probability", credit_view, 42}, "log_survival_probability"},
      {"survival_probability", [&] { survival->survival_probability(dates[0], dates[1]); },
       {"survival_probability", credit_view, 49}, "survival_probability"},
      {"rate coefficients", [&] { rate->coefficients({}, dates[0], dates[1]); }, {"coefficients", base, 52},
       "coefficients function not implemented!"},
      {"credit coefficients", [&] { intensity->coefficients({}, dates[0], dates[1]); }, {"coefficients", base, 52},
       "coefficients function not implemented!"},
  };
  expect_not_implemented(cases);
}

TEST_F(HjmDiffusions, ViewsReadTheLiveStates) {
  auto storage = std::make_shared<states_variables>(std::vector<size_t>{4}, 5);
  const ptr_const<diffusion> asset = rate;
  const auto curve = diffusion::diffusion_discount_curve(
      rate->create_market_data(asset, storage->next_states(0), storage->current_states(0), {}, storage));
  matrix<double> next = storage->next_states(0);
  matrix<double> current = storage->current_states(0);
  rate->states_initialize(next);

  matrix<double> draws(3, 5);
  for (size_t k = 0; k < 3; ++k)
    for (size_t p = 0; p < 5; ++p) draws(k, p) = 0.5 * static_cast<double>(p) - 0.3 * static_cast<double>(k);
  rate->propagate_state(next, current, 1, draws, change_of_measure());

  // No finalize: the view answers from the states that the step wrote, which differ path by path.
  vector<double> through_view(5), direct(5);
  curve->discounting(through_view, dates[1]);
  rate->discounting(direct, next, dates[1]);
  for (size_t p = 0; p < 5; ++p) EXPECT_EQ(through_view[p], direct[p]);
  EXPECT_NE(through_view[0], through_view[4]);

  const vector<double> row = curve->log_normalized_discounting();
  EXPECT_FALSE(row.owner());
  EXPECT_EQ(row.data(), next[3]);
  EXPECT_EQ(row.size(), 5u);
}

TEST_F(HjmDiffusions, RefusesMeaninglessQueriesAndInputs) {
  const matrix<double> states(4, 5);
  vector<double> output(5);
  auto storage = std::make_shared<states_variables>(std::vector<size_t>{4}, 5);
  const ptr_const<diffusion> other = std::make_shared<const diffusion_ir_markovian_hjm>(dates, rates, hull_white(3));
  const std::vector<refusal> refusals = {
      {"log_df from between simulation dates", [&] { rate->log_df(output, states, datetime(2024, 2, 1), dates[3]); },
       "not a simulation date"},
      {"discounting from after the last date", [&] { rate->discounting(output, states, datetime(2025, 1, 1)); },
       "not a simulation date"},
      {"survival from an unset date",
       [&] { intensity->survival_probability(output, matrix<double>(2, 5), datetime()); }, "not a simulation date"},
      {"a view for another diffusion",
       [&] { rate->create_market_data(other, storage->next_states(0), storage->current_states(0), {}, storage); },
       "this diffusion"},
      {"a view over storage it does not keep",
       [&] { rate->create_market_data(rate, storage->next_states(0), storage->current_states(0), {}, nullptr); },
       "must keep that storage"},
      {"no curve", [&] { diffusion_ir_markovian_hjm(dates, nullptr, hull_white(1)); }, "market discount curve"},
      {"no survival curve", [&] { diffusion_credit_markovian_hjm(dates, nullptr, hull_white(1)); },
       "market survival curve"},
      {"no parameters", [&] { diffusion_ir_markovian_hjm(dates, rates, nullptr); }, "parameter set"},
      {"no dates", [&] { diffusion_ir_markovian_hjm({}, rates, hull_white(1)); }, "simulation dates"},
      {"dates out of order",
       [&] { diffusion_ir_markovian_hjm({dates[1], dates[0]}, rates, hull_white(1)); }, "is not after"},
  };
  expect_refusals(refusals);
}

}  // namespace
}  // namespace qavrek::simulation_test
