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

#include <memory>
#include <vector>

#include "Analytics/diffusion/credit/diffusion_credit_markovian_hjm.h"
#include "Analytics/diffusion/ir/diffusion_ir_markovian_hjm.h"
#include "Analytics/simulation/simulation_manager.h"
#include "monte_carlo_test_support.h"
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
  const std::vector<datetime> dates = monthly_dates(start, martingale_months + 1);
  const auto rates = twenty_year_discount_curve(start);
  const auto defaults = ten_year_survival_curve(start);
  const auto credit_parameters = std::make_shared<const parameter_markovian_hjm>(
      matrix<double>{{0.1}}, matrix<double>{{0.012}}, matrix<double>{{1.0}}, std::vector{datetime(2030, 1, 15)},
      std::vector{datetime(2030, 1, 15)}, std::make_shared<const day_count_convention>(),
      parameter_markovian_hjm_type::HULL_WHITE);

  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const auto rate = std::make_shared<const diffusion_ir_markovian_hjm>(dates, rates, parameters_of(c));
    const auto intensity = std::make_shared<const diffusion_credit_markovian_hjm>(dates, defaults, credit_parameters);
    const size_t factors = rate->number_of_factors() + 1;
    simulation_manager manager({rate, intensity},
                               {std::make_shared<const change_of_measure>(), std::make_shared<const change_of_measure>()},
                               joint_correlation(c.correlation, 0.4),
                               random_configuration(paths, martingale_months + 1, factors, c.generator), dates);
    const auto curve = diffusion::diffusion_discount_curve(manager.data(0));
    const auto survival = diffusion::diffusion_survival_curve(manager.data(1));

    vector<double> discount_factors(paths), survival_probabilities(paths);
    check_after_one_five_and_ten_years(manager, [&](size_t t) {
      expect_discounted_bonds_at_market(*curve, *rates, start, dates[t], martingale_bond_years, discount_factors);
      expect_survival_at_market(*survival, *defaults, start, dates[t], martingale_bond_years, survival_probabilities);
    });
  }
}

}  // namespace
}  // namespace qavrek::simulation_test
