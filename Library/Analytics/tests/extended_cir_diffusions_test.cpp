// The extended CIR rate and credit diffusions: what they answer on known states, the queries they refuse,
// and, simulated beside a Markovian HJM rate with correlated factors, the martingale identities
//   mean discounting(t)                                   -> P(0, t)
//   mean discounting(t) exp(log_df(t, T))                 -> P(0, T)
//   mean survival_probability(t)                          -> Q(0, t)
//   mean survival_probability(t) exp(log_survival_probability(t, T)) -> Q(0, T)
// each within 4 standard errors (fixed seeds; about 1 in 16000 for a correct model).

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "Analytics/diffusion/credit/diffusion_credit_extended_cir.h"
#include "Analytics/diffusion/ir/diffusion_ir_extended_cir.h"
#include "Analytics/diffusion/ir/diffusion_ir_markovian_hjm.h"
#include "Analytics/simulation/simulation_manager.h"
#include "monte_carlo_test_support.h"
#include "simulation_test_support.h"

namespace qavrek::simulation_test {
namespace {

const datetime start(2024, 1, 15);

ptr_const<parameter_extended_cir> cir_parameter(const matrix<double>& kappa, const std::vector<datetime>& kappa_dates,
                                                const matrix<double>& sigma, const std::vector<datetime>& sigma_dates,
                                                const matrix<double>& theta, const std::vector<datetime>& theta_dates) {
  matrix<double> correlation(kappa.columns(), kappa.columns());
  for (size_t k = 0; k < kappa.columns(); ++k) correlation(k, k) = 1.0;
  return std::make_shared<const parameter_extended_cir>(kappa, sigma, theta, correlation, kappa_dates, sigma_dates,
                                                        theta_dates, std::make_shared<const day_count_convention>());
}

ptr_const<parameter_extended_cir> flat_cir(size_t factors) {
  matrix<double> kappa(1, factors), sigma(1, factors), theta(1, factors);
  for (size_t k = 0; k < factors; ++k) {
    kappa(0, k) = 0.2 + 0.4 * static_cast<double>(k);
    sigma(0, k) = 0.1;
    theta(0, k) = 0.02;
  }
  const std::vector<datetime> dates{datetime(2030, 1, 15)};
  return cir_parameter(kappa, dates, sigma, dates, theta, dates);
}

struct ExtendedCirDiffusions : ::testing::Test, four_month_market {
  const ptr_const<diffusion_ir_extended_cir> rate =
      std::make_shared<const diffusion_ir_extended_cir>(dates, rates, flat_cir(3));
  const ptr_const<diffusion_credit_extended_cir> intensity =
      std::make_shared<const diffusion_credit_extended_cir>(dates, defaults, flat_cir(1));
};

TEST_F(ExtendedCirDiffusions, ShapesAndTheStartFollowTheMarketCurves) {
  EXPECT_EQ(rate->number_of_factors(), 3u);
  EXPECT_EQ(rate->number_of_states(), 4u);
  EXPECT_EQ(rate->discounting_state_index(), 3u);
  EXPECT_EQ(intensity->number_of_factors(), 1u);
  EXPECT_EQ(intensity->number_of_states(), 2u);
  EXPECT_EQ(rate->model()->simulation_dates(), dates);
  EXPECT_EQ(rate->model()->valuation_date(), dates[0]);

  matrix<double> states(4, 5, 7.0);
  rate->states_initialize(states);
  for (double value : states) EXPECT_EQ(value, 0.0);

  // Zero factors at the start are the model's own forward curve, which the market curve replaces: every
  // path sees the market's prices (exp and log of a log-linear curve: rounding only).
  const matrix<double> zero(4, 5), zero_credit(2, 5);
  vector<double> output(5);
  rate->log_df(output, zero, dates[0], datetime(2027, 6, 1));
  for (double value : output) EXPECT_NEAR(value, rates->log_df(dates[0], datetime(2027, 6, 1)), 1e-15);
  intensity->log_conditional_survival_probability(output, zero_credit, dates[0], datetime(2027, 6, 1));
  for (double value : output)
    EXPECT_NEAR(value, defaults->log_survival_probability(dates[0], datetime(2027, 6, 1)), 1e-15);
  for (const datetime& t : dates) {
    rate->discounting(output, zero, t);
    for (double value : output) EXPECT_NEAR(value, rates->df(dates[0], t), 1e-15);
    intensity->survival_probability(output, zero_credit, t);
    for (double value : output) EXPECT_NEAR(value, defaults->survival_probability(dates[0], t), 1e-15);
  }
  expect_zeros_over_no_time(*rate, dates[2], 5);
  expect_zeros_over_no_time(*intensity, dates[1], 5);
}

TEST_F(ExtendedCirDiffusions, AStepIsTheModelsStep) {
  matrix<double> draws(3, 5);
  for (size_t k = 0; k < 3; ++k)
    for (size_t p = 0; p < 5; ++p) draws(k, p) = 0.4 * static_cast<double>(p) - 0.7 * static_cast<double>(k);
  matrix<double> next(4, 5), current(4, 5);
  rate->states_initialize(next);
  rate->propagate_state(next, current, 1, draws, change_of_measure());
  matrix<double> expected(4, 5), previous;
  rate->model()->evolve(change_of_measure(), 1, draws, previous, expected);
  for (size_t i = 0; i < next.size(); ++i) EXPECT_EQ(next.data()[i], expected.data()[i]);
  for (double value : current) EXPECT_EQ(value, 0.0);
}

TEST_F(ExtendedCirDiffusions, RefusesQueriesOffTheSimulationDates) {
  const matrix<double> states(4, 5), credit_states(2, 5);
  vector<double> output(5);
  const std::vector<refusal> refusals = {
      {"log_df from between simulation dates", [&] { rate->log_df(output, states, datetime(2024, 2, 1), dates[3]); },
       "not a simulation date"},
      {"discounting from after the last date", [&] { rate->discounting(output, states, datetime(2025, 1, 1)); },
       "not a simulation date"},
      {"conditional survival from between simulation dates",
       [&] { intensity->log_conditional_survival_probability(output, credit_states, datetime(2024, 3, 1), dates[3]); },
       "not a simulation date"},
      {"survival from an unset date", [&] { intensity->survival_probability(output, credit_states, datetime()); },
       "not a simulation date"},
      {"no rate parameters", [&] { diffusion_ir_extended_cir(dates, rates, nullptr); }, "parameter set"},
      {"no credit parameters", [&] { diffusion_credit_extended_cir(dates, defaults, nullptr); }, "parameter set"},
  };
  expect_refusals(refusals);
}

// All factors: the HJM rate (0), the two CIR rate factors (1, 2) and the CIR intensity (3).
const matrix<double> joint_correlation{
    {1.0, 0.5, -0.2, 0.3}, {0.5, 1.0, -0.4, 0.2}, {-0.2, -0.4, 1.0, 0.0}, {0.3, 0.2, 0.0, 1.0}};

TEST(ExtendedCirMartingales, DiscountedBondsAndSurvivalHaveTheMarketMeans) {
  constexpr size_t paths = 8192;
  const std::vector<datetime> dates = monthly_dates(start, martingale_months + 1);
  const auto domestic_curve = std::make_shared<const discount_curve>(start, 0.025);
  const auto rates = twenty_year_discount_curve(start);
  const auto defaults = ten_year_survival_curve(start);
  const auto domestic = std::make_shared<const diffusion_ir_markovian_hjm>(
      dates, domestic_curve,
      std::make_shared<const parameter_markovian_hjm>(
          matrix<double>{{0.05}}, matrix<double>{{0.01}}, matrix<double>{{1.0}}, std::vector{datetime(2030, 1, 15)},
          std::vector{datetime(2030, 1, 15)}, std::make_shared<const day_count_convention>(),
          parameter_markovian_hjm_type::HULL_WHITE));
  // Speeds from a date before the start, volatilities changing between simulation dates, and shifts that
  // rise at a simulation date (a falling shift would take y = x + theta below zero on some paths, outside
  // the square-root dynamics); the last rows hold after 2032.
  const auto rate_parameters = cir_parameter(
      {{0.9, 2.0}, {0.4, 1.5}, {0.3, 1.2}}, {datetime(2023, 6, 1), datetime(2026, 2, 1), datetime(2030, 1, 15)},
      {{0.12, 0.2}, {0.09, 0.25}}, {datetime(2027, 5, 30), datetime(2032, 1, 1)}, {{0.03, 0.015}, {0.05, 0.02}},
      {datetime(2028, 1, 15), datetime(2032, 1, 1)});
  const auto credit_parameters =
      cir_parameter({{0.5}}, {datetime(2030, 1, 15)}, {{0.1}, {0.14}}, {datetime(2026, 8, 1), datetime(2031, 1, 1)},
                    {{0.02}}, {datetime(2030, 1, 15)});
  const auto rate = std::make_shared<const diffusion_ir_extended_cir>(dates, rates, rate_parameters);
  const auto intensity = std::make_shared<const diffusion_credit_extended_cir>(dates, defaults, credit_parameters);
  simulation_manager manager({domestic, rate, intensity},
                             {std::make_shared<const change_of_measure>(), std::make_shared<const change_of_measure>(),
                              std::make_shared<const change_of_measure>()},
                             joint_correlation, random_configuration(paths, martingale_months + 1, 4), dates);
  const auto curve = diffusion::diffusion_discount_curve(manager.data(1));
  const auto survival = diffusion::diffusion_survival_curve(manager.data(2));

  vector<double> discount_factors(paths), survival_probabilities(paths);
  check_after_one_five_and_ten_years(manager, [&](size_t t) {
    expect_discounted_bonds_at_market(*curve, *rates, start, dates[t], martingale_bond_years, discount_factors);
    expect_survival_at_market(*survival, *defaults, start, dates[t], martingale_bond_years, survival_probabilities);
  });
}

}  // namespace
}  // namespace qavrek::simulation_test
