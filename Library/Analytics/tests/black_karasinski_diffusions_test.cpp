// The Black-Karasinski rate and credit diffusions away from randomness: shapes, start states, what a zero
// block answers, that the market curves stay out of their prices, and the dates they refuse.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "Analytics/diffusion/credit/diffusion_credit_black_karasinski.h"
#include "Analytics/diffusion/ir/diffusion_ir_black_karasinski.h"
#include "black_karasinski_test_support.h"
#include "simulation_test_support.h"

namespace qavrek::black_karasinski_test {
namespace {

using simulation_test::error_message;

struct BlackKarasinskiDiffusions : ::testing::Test {
  const std::vector<datetime> dates = {day(0), day(31), day(62), day(400)};
  // Curves far from the models' levels, so that a price that took them in would show it.
  const ptr_const<discount_curve> rates = std::make_shared<const discount_curve>(valuation(), 0.2);
  const ptr_const<survival_curve> defaults = std::make_shared<const survival_curve>(valuation(), 0.3);
  const ptr_const<parameter_black_karasinski> rate_parameter = piecewise_rate().parameter();
  const ptr_const<parameter_black_karasinski> credit_parameter = credit_intensity().parameter();
  const ptr_const<diffusion_ir_black_karasinski> rate =
      std::make_shared<const diffusion_ir_black_karasinski>(dates, rates, rate_parameter);
  const ptr_const<diffusion_credit_black_karasinski> intensity =
      std::make_shared<const diffusion_credit_black_karasinski>(dates, defaults, credit_parameter);
};

TEST_F(BlackKarasinskiDiffusions, ShapesAndStartStates) {
  EXPECT_EQ(rate->number_of_factors(), 1u);
  EXPECT_EQ(rate->number_of_states(), 2u);
  EXPECT_EQ(rate->discounting_state_index(), 1u);
  EXPECT_EQ(intensity->number_of_factors(), 1u);
  EXPECT_EQ(intensity->number_of_states(), 2u);
  EXPECT_EQ(rate->model()->dates(), dates);
  EXPECT_EQ(intensity->model()->valuation_date(), dates[0]);

  matrix<double> states(2, 5, 7.0);
  rate->states_initialize(states);
  for (double value : states) EXPECT_EQ(value, 0.0);
  states.fill(7.0);
  intensity->states_initialize(states);
  for (double value : states) EXPECT_EQ(value, 0.0);
}

// The models' prices are the whole prices: on a zero block the discount factor and survival are 1 at every
// date, and the conditional ones are the models' own, whatever the market curves say.
TEST_F(BlackKarasinskiDiffusions, PricesAreTheModelsAloneWithoutTheMarketCurves) {
  const matrix<double> zero(2, 3);
  vector<double> output(3), model_output(3);
  for (const datetime& t : dates) {
    rate->discounting(output, zero, t);
    for (double value : output) EXPECT_EQ(value, 1.0);
    intensity->survival_probability(output, zero, t);
    for (double value : output) EXPECT_EQ(value, 1.0);
  }
  const matrix<double> states{{-0.8, 0.1, 1.4}, {0.01, 0.02, 0.03}};
  const datetime from = dates[2], to = day(62 + 1000);
  rate->log_df(output, states, from, to);
  rate->model()->conditional_price(states, from, to, model_output);
  for (size_t p = 0; p < 3; ++p) EXPECT_EQ(output[p], model_output[p]) << p;
  intensity->log_conditional_survival_probability(output, states, from, to);
  intensity->model()->conditional_price(states, from, to, model_output);
  for (size_t p = 0; p < 3; ++p) EXPECT_EQ(output[p], model_output[p]) << p;

  simulation_test::expect_zeros_over_no_time(*rate, dates[1], 3);
  simulation_test::expect_zeros_over_no_time(*intensity, dates[1], 3);
}

// Simulated states belong to their simulation date.
TEST_F(BlackKarasinskiDiffusions, QueriesFromOtherDatesAreRefused) {
  const matrix<double> zero(2, 3);
  vector<double> output(3);
  const datetime between = day(45);
  EXPECT_NE(error_message([&] { rate->log_df(output, zero, between, day(400)); }), "");
  EXPECT_NE(error_message([&] { rate->discounting(output, zero, between); }), "");
  EXPECT_NE(error_message([&] { intensity->log_conditional_survival_probability(output, zero, between, day(400)); }),
            "");
  EXPECT_NE(error_message([&] { intensity->survival_probability(output, zero, between); }), "");
  EXPECT_NE(error_message([&] {
              diffusion_ir_black_karasinski(dates, rates, nullptr);
            }),
            "");
}

}  // namespace
}  // namespace qavrek::black_karasinski_test
