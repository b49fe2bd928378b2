// Simulated HJM rates and credit against the market curves they are built on: under the risk-neutral
// measure of the simulation the discounted zero-coupon prices are martingales, so over the paths
//   mean discounting(t)                          -> P(0, t)
//   mean discounting(t) exp(log_df(t, T))        -> P(0, T)
//   mean survival_probability(t)                 -> Q(0, t)
//   mean survival_probability(t) exp(log_survival_probability(t, T)) -> Q(0, T)
// each within 4 standard errors of its sample mean (fixed seeds; about 1 in 16000 for a correct model).
// The volatilities make the convexity of the discount factors several standard errors large, so a wrong
// drift or covariance term shows.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/diffusion/credit/diffusion_credit_markovian_hjm.h"
#include "Analytics/diffusion/ir/diffusion_ir_markovian_hjm.h"
#include "Analytics/simulation/simulation_manager.h"
#include "simulation_test_support.h"

namespace qavrek::simulation_test {
namespace {

const datetime start(2024, 1, 15);

struct hjm_case {
  const char* label;
  parameter_markovian_hjm_type type;
  matrix<double> decays;        // one row per decays date
  matrix<double> volatilities;  // two rows: until 2026-01-15, then after
  matrix<double> correlation;
  random_type generator;
};

ptr_const<parameter_markovian_hjm> parameters_of(const hjm_case& c) {
  std::vector<datetime> decays_dates;
  for (size_t i = 0; i < c.decays.rows(); ++i) decays_dates.emplace_back(2026 + 3 * static_cast<int>(i), 1, 15);
  return std::make_shared<const parameter_markovian_hjm>(
      c.decays, c.volatilities, c.correlation, decays_dates, std::vector{datetime(2026, 1, 15), datetime(2034, 1, 15)},
      std::make_shared<const day_count_convention>(), c.type);
}

// The correlation of all factors: the rate's own block, then the credit factor correlated with the first
// rate factor.
matrix<double> joint_correlation(const matrix<double>& rate_block, double credit_rate) {
  const size_t n = rate_block.rows();
  matrix<double> joint(n + 1, n + 1);
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j < n; ++j) joint(i, j) = rate_block(i, j);
  joint(n, n) = 1.0;
  joint(0, n) = joint(n, 0) = credit_rate;
  return joint;
}

TEST(HjmMartingales, DiscountedBondsAndSurvivalHaveTheMarketMeans) {
  const std::vector<hjm_case> cases = {
      {"one factor", parameter_markovian_hjm_type::HULL_WHITE, {{0.03}}, {{0.015}, {0.012}}, {{1.0}},
       random_type::MERSENNE_TWISTER},
      {"two factors", parameter_markovian_hjm_type::HULL_WHITE, {{0.02, 0.5}, {0.04, 0.3}},
       {{0.012, 0.009}, {0.01, 0.008}}, {{1.0, -0.6}, {-0.6, 1.0}}, random_type::WELL_44497},
      {"three factors", parameter_markovian_hjm_type::HULL_WHITE, {{0.01, 0.3, 1.5}},
       {{0.01, 0.008, 0.007}, {0.009, 0.007, 0.006}}, {{1.0, -0.5, 0.2}, {-0.5, 1.0, 0.3}, {0.2, 0.3, 1.0}},
       random_type::WELL_19937},
      {"two piecewise-constant decays", parameter_markovian_hjm_type::PICEWISE_CONSTANT, {{1.0, 0.7}, {0.8, 0.4}},
       {{0.012, 0.01}, {0.011, 0.009}}, {{1.0, 0.4}, {0.4, 1.0}}, random_type::MERSENNE_TWISTER},
  };
  constexpr size_t paths = 8192;
  constexpr size_t months = 120;
  const std::vector<datetime> dates = monthly_dates(start, months + 1);
  const auto rates = std::make_shared<const discount_curve>(
      start,
      std::vector{datetime(2025, 1, 15), datetime(2027, 1, 15), datetime(2031, 1, 15), datetime(2036, 1, 15),
                  datetime(2044, 1, 15)},
      std::vector{0.975, 0.93, 0.84, 0.72, 0.55});
  const auto defaults = std::make_shared<const survival_curve>(
      start, std::vector{datetime(2025, 1, 15), datetime(2029, 1, 15), datetime(2034, 1, 15)},
      std::vector{0.985, 0.93, 0.85});
  const auto credit_parameters = std::make_shared<const parameter_markovian_hjm>(
      matrix<double>{{0.1}}, matrix<double>{{0.012}}, matrix<double>{{1.0}}, std::vector{datetime(2030, 1, 15)},
      std::vector{datetime(2030, 1, 15)}, std::make_shared<const day_count_convention>(),
      parameter_markovian_hjm_type::HULL_WHITE);
  // Checked after 1, 5 and 10 years; bonds to two and seven years beyond, past the last simulation date too.
  const std::vector<size_t> checked_months = {12, 60, 120};
  const std::vector<int> bond_years = {2, 7};

  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const auto rate = std::make_shared<const diffusion_ir_markovian_hjm>(dates, rates, parameters_of(c));
    const auto intensity = std::make_shared<const diffusion_credit_markovian_hjm>(dates, defaults, credit_parameters);
    const size_t factors = rate->number_of_factors() + 1;
    simulation_manager manager({rate, intensity},
                               {std::make_shared<const change_of_measure>(), std::make_shared<const change_of_measure>()},
                               joint_correlation(c.correlation, 0.4),
                               random_configuration(paths, months + 1, factors, c.generator), dates);
    const auto curve = diffusion::diffusion_discount_curve(manager.data(0));
    const auto survival = diffusion::diffusion_survival_curve(manager.data(1));

    vector<double> discount_factors(paths), log_bond(paths), survival_probabilities(paths);
    manager.states_initialize();
    for (size_t t = 1; t <= months; ++t) {
      manager.propagate(t);
      if (std::find(checked_months.begin(), checked_months.end(), t) == checked_months.end()) continue;
      SCOPED_TRACE("after " + std::to_string(t) + " months");
      curve->discounting(discount_factors, dates[t]);
      sample discounted;
      for (double d : discount_factors) discounted.add(d);
      EXPECT_TRUE(within_four_standard_errors(discounted, rates->df(start, dates[t])));

      for (int years : bond_years) {
        const datetime maturity(dates[t].year() + years, dates[t].month(), dates[t].day());
        curve->log_df(log_bond, dates[t], maturity);
        sample bond;
        for (size_t p = 0; p < paths; ++p) bond.add(discount_factors[p] * std::exp(log_bond[p]));
        EXPECT_TRUE(within_four_standard_errors(bond, rates->df(start, maturity))) << years << " years on";
      }

      survival->survival_probability(survival_probabilities, dates[t]);
      sample survived;
      for (double q : survival_probabilities) survived.add(q);
      EXPECT_TRUE(within_four_standard_errors(survived, defaults->survival_probability(start, dates[t])));

      for (int years : bond_years) {
        const datetime horizon(dates[t].year() + years, dates[t].month(), dates[t].day());
        survival->log_survival_probability(log_bond, dates[t], horizon);
        sample survived_on;
        for (size_t p = 0; p < paths; ++p) survived_on.add(survival_probabilities[p] * std::exp(log_bond[p]));
        EXPECT_TRUE(within_four_standard_errors(survived_on, defaults->survival_probability(start, horizon)))
            << years << " years on";
      }
    }
  }
}

}  // namespace
}  // namespace qavrek::simulation_test
