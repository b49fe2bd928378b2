// The Cheyette rate diffusion: its shapes and refusals; at zero skew the Markovian HJM diffusion path by
// path; and with skews of both signs the martingale identities of the simulated curve,
//   mean discounting(t)                     -> P(0, t)
//   mean discounting(t) exp(log_df(t, T))   -> P(0, T)
// each within 4 standard errors of its sample mean (fixed seeds; about 1 in 16000 for a correct model).

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Analytics/diffusion/ir/diffusion_ir_cheyette.h"
#include "Analytics/diffusion/ir/diffusion_ir_markovian_hjm.h"
#include "Analytics/diffusion/ir/discount_curve_diffusion.h"
#include "Analytics/simulation/simulation_manager.h"
#include "monte_carlo_test_support.h"
#include "simulation_test_support.h"

namespace qavrek::simulation_test {
namespace {

const datetime start(2024, 1, 15);

// Hull-White factors whose parameters change on dates that are no simulation dates, so that the HJM
// model has more dates than the simulation.
ptr_const<parameter_markovian_hjm> hull_white(const matrix<double>& decays, const matrix<double>& volatilities,
                                              const matrix<double>& correlation) {
  return std::make_shared<const parameter_markovian_hjm>(
      decays, volatilities, correlation, std::vector{datetime(2027, 3, 3)},
      std::vector{datetime(2025, 7, 20), datetime(2029, 5, 5), datetime(2033, 8, 8)}, std::make_shared<const day_count_convention>(),
      parameter_markovian_hjm_type::HULL_WHITE);
}

ptr_const<parameter_cheyette> cheyette(const ptr_const<parameter_markovian_hjm>& hjm, const matrix<double>& skews,
                                       std::vector<datetime> skew_dates, double level) {
  return std::make_shared<const parameter_cheyette>(hjm, skews, skew_dates, level);
}

std::shared_ptr<const discount_curve_diffusion> view_of(const simulation_manager& manager) {
  return std::dynamic_pointer_cast<const discount_curve_diffusion>(manager.data(0));
}

struct CheyetteDiffusion : ::testing::Test {
  const std::vector<datetime> dates = monthly_dates(start, 4);
  const ptr_const<discount_curve> rates = twenty_year_discount_curve(start);
  const ptr_const<diffusion_ir_cheyette> rate = std::make_shared<const diffusion_ir_cheyette>(
      dates, rates,
      cheyette(hull_white({{0.05, 0.3, 0.6}}, {{0.01, 0.008, 0.006}, {0.01, 0.008, 0.006}, {0.01, 0.008, 0.006}},
                          {{1.0, 0.2, 0.2}, {0.2, 1.0, 0.2}, {0.2, 0.2, 1.0}}),
               {{3.0, -2.0, 1.0}}, {datetime(2030, 1, 15)}, 0.5));
};

TEST_F(CheyetteDiffusion, ShapesFollowTheFactors) {
  EXPECT_EQ(rate->number_of_factors(), 3u);
  EXPECT_EQ(rate->number_of_states(), 18u);
  EXPECT_EQ(rate->discounting_state_index(), 15u);
  EXPECT_EQ(rate->model()->simulation_dates(), dates);
  matrix<double> states(18, 5, 7.0);
  rate->states_initialize(states);
  for (double value : states) EXPECT_EQ(value, 0.0);
}

TEST_F(CheyetteDiffusion, AZeroBlockAnswersWithTheMarketCurve) {
  const matrix<double> zero(18, 5);
  vector<double> output(5);
  for (const datetime& t : dates) {
    SCOPED_TRACE(t.to_string());
    // exp of a log-linear curve against the curve's own discount factor: rounding only.
    rate->discounting(output, zero, t);
    for (double value : output) EXPECT_NEAR(value, rates->df(dates[0], t), 1e-15);
    rate->log_df(output, zero, t, datetime(2030, 1, 15));
    for (double value : output) EXPECT_NEAR(value, rates->log_df(t, datetime(2030, 1, 15)), 1e-15);
  }
  expect_zeros_over_no_time(*rate, dates[2], 5);
}

TEST_F(CheyetteDiffusion, RefusesOutputsOfTheWrongLengthAndOtherDates) {
  const matrix<double> states(18, 5);
  vector<double> output(3, 42.0);
  EXPECT_EQ(error_message([&] { rate->discounting(output, states, dates[1]); }), three_outputs_for_five_paths);
  EXPECT_EQ(error_message([&] { rate->log_df(output, states, dates[1], dates[3]); }), three_outputs_for_five_paths);
  for (double value : output) EXPECT_EQ(value, 42.0);
  vector<double> paths(5);
  EXPECT_NE(error_message([&] { rate->discounting(paths, states, datetime(2024, 2, 1)); }).find("not a simulation date"),
            std::string::npos);
  EXPECT_NE(error_message([&] { rate->log_df(paths, states, datetime(2024, 2, 1), dates[3]); })
                .find("not a simulation date"),
            std::string::npos);
}

struct gaussian_case {
  const char* label;
  matrix<double> decays;
  matrix<double> volatilities;  // rows to 2025-07-20, 2029-05-05, 2033-08-08 (and after)
  matrix<double> correlation;
  double level;
};

// With every skew zero the Cheyette step is the HJM step: the same draws give the same states, y is the
// HJM state covariance, and prices and discount factors agree path by path. Both discount exactly over
// each step, one through y and one through the covariance table, so they differ by rounding only.
TEST(CheyetteGaussianLimit, ZeroSkewSimulatesTheMarkovianHjmModel) {
  const std::vector<gaussian_case> cases = {
      {"one factor", {{0.03}}, {{0.012}, {0.015}, {0.01}}, {{1.0}}, 0.0},
      {"two correlated factors", {{0.02, 0.5}}, {{0.012, 0.009}, {0.01, 0.008}, {0.011, 0.01}}, {{1.0, -0.6}, {-0.6, 1.0}},
       0.0},
      {"two factors, a level without skew", {{0.02, 0.5}}, {{0.012, 0.009}, {0.01, 0.008}, {0.011, 0.01}},
       {{1.0, 0.4}, {0.4, 1.0}}, 3.0},
  };
  constexpr size_t paths = 256;
  constexpr size_t months = 72;
  const std::vector<datetime> dates = monthly_dates(start, months + 1);
  const auto rates = twenty_year_discount_curve(start);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const size_t n = c.decays.columns();
    const auto hjm = hull_white(c.decays, c.volatilities, c.correlation);
    const auto gaussian = std::make_shared<const diffusion_ir_markovian_hjm>(dates, rates, hjm);
    const auto skewless = std::make_shared<const diffusion_ir_cheyette>(
        dates, rates, cheyette(hjm, matrix<double>(2, n, 0.0), {datetime(2026, 1, 15), datetime(2028, 1, 15)}, c.level));
    simulation_manager gaussian_manager({gaussian}, {std::make_shared<const change_of_measure>()}, c.correlation,
                                        random_configuration(paths, months + 1, n), dates);
    simulation_manager skewless_manager({skewless}, {std::make_shared<const change_of_measure>()}, c.correlation,
                                        random_configuration(paths, months + 1, n), dates);
    const auto gaussian_view = view_of(gaussian_manager);
    const auto skewless_view = view_of(skewless_manager);
    const model_markovian_hjm& hjm_model = *gaussian->model();
    const model_cheyette& model = *skewless->model();

    vector<double> expected(paths), actual(paths);
    gaussian_manager.states_initialize();
    skewless_manager.states_initialize();
    for (size_t t = 1; t <= months; ++t) {
      gaussian_manager.propagate(t);
      skewless_manager.propagate(t);
      if (t % 12 != 0) continue;
      SCOPED_TRACE("after " + std::to_string(t) + " months");
      const matrix<double>& states = skewless_view->next_states();
      const matrix<double>& gaussian_states = gaussian_view->next_states();
      const matrix<double> covariance =
          hjm_model.states_covariance().get_matrix(hjm_model.simulation_index()[t], 0, 0);
      for (size_t p = 0; p < paths; ++p) {
        for (size_t f = 0; f < n; ++f) {
          EXPECT_NEAR(states(f, p), gaussian_states(f, p), 1e-13);  // x of order 0.05: rounding only
          for (size_t g = 0; g < n; ++g)
            EXPECT_NEAR(states(model.y_state_index(f, g), p), covariance(f, g), 1e-14 * covariance(f, f));
        }
      }
      skewless_view->discounting(actual, dates[t]);
      gaussian_view->discounting(expected, dates[t]);
      for (size_t p = 0; p < paths; ++p) EXPECT_NEAR(actual[p], expected[p], 1e-10 * expected[p]);
      for (int years : {2, 7}) {
        const datetime maturity(dates[t].year() + years, dates[t].month(), dates[t].day());
        skewless_view->log_df(actual, dates[t], maturity);
        gaussian_view->log_df(expected, dates[t], maturity);
        // ln P: an absolute difference of 1e-10 is a relative one in the bond.
        for (size_t p = 0; p < paths; ++p) EXPECT_NEAR(actual[p], expected[p], 1e-10);
      }
    }
  }
}

struct skew_case {
  const char* label;
  matrix<double> decays;
  matrix<double> volatilities;  // rows to 2025-07-20, 2029-05-05, 2033-08-08 (and after)
  matrix<double> correlation;
  matrix<double> skews;  // rows until 2028-01-15, then after
  double level;
  random_type generator;
};

TEST(CheyetteMartingales, DiscountedBondsHaveTheMarketMeans) {
  const std::vector<skew_case> cases = {
      {"one factor, positive skews", {{0.03}}, {{0.015}, {0.012}, {0.014}}, {{1.0}}, {{8.0}, {5.0}}, 0.0,
       random_type::MERSENNE_TWISTER},
      {"one factor, negative skews with a level", {{0.05}}, {{0.012}, {0.015}, {0.01}}, {{1.0}}, {{-6.0}, {-9.0}}, 2.0,
       random_type::WELL_19937},
      {"two correlated factors, skews of both signs", {{0.02, 0.15}}, {{0.012, 0.009}, {0.01, 0.008}, {0.011, 0.01}},
       {{1.0, -0.6}, {-0.6, 1.0}}, {{6.0, -4.0}, {-3.0, 5.0}}, 1.0, random_type::WELL_44497},
      {"two correlated factors, zero skew", {{0.02, 0.5}}, {{0.012, 0.009}, {0.01, 0.008}, {0.011, 0.01}},
       {{1.0, 0.5}, {0.5, 1.0}}, {{0.0, 0.0}, {0.0, 0.0}}, 0.0, random_type::MERSENNE_TWISTER},
      {"one factor, skews below one of both signs", {{0.03}}, {{0.015}, {0.012}, {0.014}}, {{1.0}}, {{0.3}, {-0.3}},
       1.0, random_type::MERSENNE_TWISTER},
      {"two correlated factors, skews below one of both signs", {{0.02, 0.15}},
       {{0.012, 0.009}, {0.01, 0.008}, {0.011, 0.01}}, {{1.0, -0.6}, {-0.6, 1.0}}, {{-0.3, 0.3}, {0.3, -0.3}}, 0.5,
       random_type::WELL_19937},
  };
  constexpr size_t paths = 8192;
  const std::vector<datetime> dates = monthly_dates(start, martingale_months + 1);
  const auto rates = twenty_year_discount_curve(start);

  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const size_t n = c.decays.columns();
    const auto rate = std::make_shared<const diffusion_ir_cheyette>(
        dates, rates,
        cheyette(hull_white(c.decays, c.volatilities, c.correlation), c.skews,
                 {datetime(2028, 1, 15), datetime(2034, 1, 15)}, c.level));
    simulation_manager manager({rate}, {std::make_shared<const change_of_measure>()}, c.correlation,
                               random_configuration(paths, martingale_months + 1, n, c.generator), dates);
    const auto curve = diffusion::diffusion_discount_curve(manager.data(0));

    vector<double> discount_factors(paths);
    check_after_one_five_and_ten_years(manager, [&](size_t t) {
      expect_discounted_bonds_at_market(*curve, *rates, start, dates[t], martingale_bond_years, discount_factors);
    });
  }
}

}  // namespace
}  // namespace qavrek::simulation_test
