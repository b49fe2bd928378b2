// Simulated lognormal equity and FX spots with HJM rates against the market curves: under the domestic
// risk-neutral measure of the simulation, over 10^5 paths,
//   mean discounting_d(t) S(t) / S(0)                       -> 1
//   mean discounting_d(t) P_d(t, T) forward(t, T) / S(0)    -> 1
//   mean discounting_d(t) X(t) / X(0)                       -> P_f(0, t)
//   mean discounting_d(t) P_d(t, T) forward(t, T) / X(0)    -> P_f(0, T)
// each within 4 standard errors of its sample mean (fixed seeds; about 1 in 16000 for a correct model).
// The foreign rate is simulated under the domestic measure through its quanto change of measure; the
// FX-foreign correlation makes that drift many standard errors large, so leaving it out fails.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/diffusion/equity/diffusion_equity_lognormal.h"
#include "Analytics/diffusion/fx/diffusion_fx_lognormal.h"
#include "Analytics/diffusion/ir/diffusion_ir_markovian_hjm.h"
#include "Analytics/simulation/simulation_manager.h"
#include "simulation_test_support.h"

namespace qavrek::simulation_test {
namespace {

const datetime start(2024, 1, 15);
constexpr size_t paths = 100000;
constexpr size_t months = 60;
// Checked after 1, 3 and 5 years, with bonds and forwards to 2 years beyond.
const std::vector<size_t> checked_months = {12, 36, 60};
constexpr int forward_years = 2;

const ptr_const<day_count_convention> act_365 = std::make_shared<const day_count_convention>();

ptr_const<parameter_markovian_hjm> hull_white(const matrix<double>& decays, const matrix<double>& volatilities,
                                              const matrix<double>& correlation) {
  return std::make_shared<const parameter_markovian_hjm>(
      decays, volatilities, correlation, std::vector{datetime(2026, 1, 15)},
      std::vector{datetime(2025, 1, 15), datetime(2034, 1, 15)}, act_365, parameter_markovian_hjm_type::HULL_WHITE);
}

// Volatility dates off the monthly grid, so that steps cross them.
ptr_const<parameter_lognormal> lognormal(const matrix<double>& volatilities) {
  return std::make_shared<const parameter_lognormal>(
      volatilities, matrix<double>{{1.0}}, std::vector{datetime(2025, 7, 1), datetime(2027, 1, 1), datetime(2034, 1, 1)},
      act_365);
}

const ptr_const<discount_curve> domestic_rates = std::make_shared<const discount_curve>(
    start, std::vector{datetime(2025, 1, 15), datetime(2027, 1, 15), datetime(2031, 1, 15)},
    std::vector{0.965, 0.905, 0.80});
const ptr_const<discount_curve> foreign_rates = std::make_shared<const discount_curve>(
    start, std::vector{datetime(2025, 1, 15), datetime(2029, 1, 15), datetime(2035, 1, 15)},
    std::vector{0.99, 0.94, 0.86});

datetime years_after(const datetime& t, int years) { return datetime(t.year() + years, t.month(), t.day()); }

// Steps the simulation and, at the checked months t, compares the means of discounting_d(t) S(t) and of
// discounting_d(t) P_d(t, T) forward(t, T) with expected(t) and expected(T), S the spot view's spots
// (relative to the start spot) and the domestic rate the simulation's first diffusion.
template <class Spot>
void expect_martingales(simulation_manager& manager, const std::vector<datetime>& dates, const Spot& spot,
                        const std::function<double(const datetime&)>& expected) {
  const auto curve = diffusion::diffusion_discount_curve(manager.data(0));
  vector<double> discounting(paths), bond(paths), forward(paths);
  manager.states_initialize();
  size_t next_check = 0;
  for (size_t t = 1; t <= months; ++t) {
    manager.propagate(t);
    if (t != checked_months[next_check]) continue;
    ++next_check;
    SCOPED_TRACE("after " + std::to_string(t) + " months");
    const datetime delivery = years_after(dates[t], forward_years);
    curve->discounting(discounting, dates[t]);
    curve->log_df(bond, dates[t], delivery);
    spot.forward(forward, dates[t], delivery);
    const vector<double> spots = spot.spots();
    sample discounted_spot, discounted_forward;
    for (size_t p = 0; p < paths; ++p) {
      discounted_spot.add(discounting[p] * spots[p]);
      discounted_forward.add(discounting[p] * std::exp(bond[p]) * forward[p]);
    }
    EXPECT_TRUE(within_four_standard_errors(discounted_spot, expected(dates[t])));
    EXPECT_TRUE(within_four_standard_errors(discounted_forward, expected(delivery)));
  }
}

TEST(LognormalMartingales, DiscountedEquityIsAMartingale) {
  const std::vector<datetime> dates = monthly_dates(start, months + 1);
  const auto rate = std::make_shared<const diffusion_ir_markovian_hjm>(
      dates, domestic_rates, hull_white({{0.03, 0.6}}, {{0.012, 0.008}, {0.010, 0.007}}, {{1.0, -0.5}, {-0.5, 1.0}}));
  const auto equity = std::make_shared<const diffusion_equity_lognormal>(
      dates, 4150.0, domestic_rates, lognormal({{0.25}, {0.18}, {0.22}}));
  const matrix<double> correlation{{1.0, -0.5, 0.35}, {-0.5, 1.0, -0.2}, {0.35, -0.2, 1.0}};
  simulation_manager manager({rate, equity}, std::vector(2, std::make_shared<const change_of_measure>()), correlation,
                             random_configuration(paths, dates.size(), 3, random_type::MERSENNE_TWISTER), dates);
  expect_martingales(manager, dates, *diffusion::diffusion_equity_spot(manager.data(1)),
                     [](const datetime&) { return 1.0; });
}

TEST(LognormalMartingales, ForeignBondsConvertedAtTheSimulatedRateAreDomesticMartingales) {
  const std::vector<datetime> dates = monthly_dates(start, months + 1);
  const auto domestic = std::make_shared<const diffusion_ir_markovian_hjm>(
      dates, domestic_rates, hull_white({{0.03, 0.6}}, {{0.012, 0.008}, {0.010, 0.007}}, {{1.0, -0.5}, {-0.5, 1.0}}));
  const auto foreign = std::make_shared<const diffusion_ir_markovian_hjm>(
      dates, foreign_rates, hull_white({{0.02}}, {{0.015}, {0.013}}, {{1.0}}));
  const auto fx = std::make_shared<const diffusion_fx_lognormal>(
      dates, std::make_shared<const fx_spot>(start, 1.09), domestic_rates, foreign_rates,
      lognormal({{0.12}, {0.09}, {0.11}}));
  // Factors: domestic (2), foreign (1), FX (1).
  const matrix<double> correlation{
      {1.0, -0.5, 0.3, 0.2}, {-0.5, 1.0, 0.1, -0.1}, {0.3, 0.1, 1.0, -0.6}, {0.2, -0.1, -0.6, 1.0}};
  // Under the domestic measure the foreign factor's draw is shifted by the FX step volatility times its
  // correlation with the FX factor.
  const auto quanto = std::make_shared<const change_of_measure>(
      matrix<double>{{correlation(2, 3)}}, matrix<double>(fx->model()->incremental_volatility()));
  simulation_manager manager({domestic, foreign, fx},
                             {std::make_shared<const change_of_measure>(), quanto,
                              std::make_shared<const change_of_measure>()},
                             correlation, random_configuration(paths, dates.size(), 4, random_type::WELL_19937), dates);
  expect_martingales(manager, dates, *diffusion::diffusion_fx_spot(manager.data(2)),
                     [](const datetime& t) { return foreign_rates->df(start, t); });
}

}  // namespace
}  // namespace qavrek::simulation_test
