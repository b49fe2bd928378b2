// The lognormal equity and FX diffusions and their simulated spots, away from randomness: the curves'
// carry with zero volatilities, shapes, views that read the live states, the casts, and what they refuse.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/diffusion/equity/diffusion_equity_lognormal.h"
#include "Analytics/diffusion/equity/equity_spot_diffusion.h"
#include "Analytics/diffusion/fx/diffusion_fx_lognormal.h"
#include "Analytics/diffusion/fx/fx_spot_diffusion.h"
#include "Analytics/diffusion/ir/diffusion_ir_markovian_hjm.h"
#include "Analytics/simulation/simulation_manager.h"
#include "Analytics/simulation/states_variables.h"
#include "simulation_test_support.h"

namespace qavrek::simulation_test {
namespace {

const datetime start(2024, 1, 15);

ptr_const<parameter_markovian_hjm> hull_white(double volatility) {
  return std::make_shared<const parameter_markovian_hjm>(
      matrix<double>{{0.05}}, matrix<double>{{volatility}}, matrix<double>{{1.0}}, std::vector{datetime(2030, 1, 15)},
      std::vector{datetime(2030, 1, 15)}, std::make_shared<const day_count_convention>(),
      parameter_markovian_hjm_type::HULL_WHITE);
}

ptr_const<parameter_lognormal> lognormal(double volatility) {
  return std::make_shared<const parameter_lognormal>(matrix<double>{{volatility}}, matrix<double>{{1.0}},
                                                     std::vector{datetime(2030, 1, 15)},
                                                     std::make_shared<const day_count_convention>());
}

struct LognormalDiffusions : ::testing::Test {
  const std::vector<datetime> dates = monthly_dates(start, 4);
  // Rates whose forwards differ from segment to segment and between the two currencies.
  const ptr_const<discount_curve> domestic_rates = std::make_shared<const discount_curve>(
      start, std::vector{datetime(2024, 2, 15), datetime(2024, 4, 1), datetime(2025, 1, 15)},
      std::vector{0.9962, 0.9901, 0.9650});
  const ptr_const<discount_curve> foreign_rates = std::make_shared<const discount_curve>(
      start, std::vector{datetime(2024, 3, 1), datetime(2025, 1, 15)}, std::vector{0.9990, 0.9870});
  const ptr_const<diffusion_ir_markovian_hjm> domestic =
      std::make_shared<const diffusion_ir_markovian_hjm>(dates, domestic_rates, hull_white(0.01));
  const ptr_const<diffusion_ir_markovian_hjm> foreign =
      std::make_shared<const diffusion_ir_markovian_hjm>(dates, foreign_rates, hull_white(0.01));
  const ptr_const<diffusion_equity_lognormal> equity =
      std::make_shared<const diffusion_equity_lognormal>(dates, 4150.0, domestic_rates, lognormal(0.2));
  const ptr_const<diffusion_fx_lognormal> fx = std::make_shared<const diffusion_fx_lognormal>(
      dates, std::make_shared<const fx_spot>(start, 1.09), domestic_rates, foreign_rates, lognormal(0.1));
};

// With no volatility anywhere the rates' discounting rows stay zero and the spots follow the curves:
// S(t) / S(0) = 1 / P_d(t_0, t) and X(t) / X(0) = P_f(t_0, t) / P_d(t_0, t), step after step.
TEST_F(LognormalDiffusions, WithoutVolatilityTheSpotsCarryTheCurves) {
  const auto still_domestic = std::make_shared<const diffusion_ir_markovian_hjm>(dates, domestic_rates, hull_white(0.0));
  const auto still_foreign = std::make_shared<const diffusion_ir_markovian_hjm>(dates, foreign_rates, hull_white(0.0));
  const auto still_equity =
      std::make_shared<const diffusion_equity_lognormal>(dates, 4150.0, domestic_rates, lognormal(0.0));
  const auto still_fx = std::make_shared<const diffusion_fx_lognormal>(
      dates, std::make_shared<const fx_spot>(start, 1.09), domestic_rates, foreign_rates, lognormal(0.0));
  const matrix<double> correlation{{1.0, 0.3, 0.2, 0.1}, {0.3, 1.0, 0.4, 0.5}, {0.2, 0.4, 1.0, 0.6}, {0.1, 0.5, 0.6, 1.0}};
  constexpr size_t paths = 5;
  simulation_manager manager({still_domestic, still_foreign, still_equity, still_fx},
                             std::vector(4, std::make_shared<const change_of_measure>()), correlation,
                             random_configuration(paths, dates.size(), 4), dates);
  const auto equity_view = diffusion::diffusion_equity_spot(manager.data(2));
  const auto fx_view = diffusion::diffusion_fx_spot(manager.data(3));
  ASSERT_TRUE(equity_view && fx_view);

  manager.states_initialize();
  for (double s : equity_view->spots()) EXPECT_EQ(s, 1.0);
  for (double x : fx_view->spots()) EXPECT_EQ(x, 1.0);
  for (size_t t = 1; t < dates.size(); ++t) {
    manager.propagate(t);
    SCOPED_TRACE("date " + dates[t].to_string());
    const double p_d = domestic_rates->df(start, dates[t]);
    const double p_f = foreign_rates->df(start, dates[t]);
    // A sum of t log discount factors (an ulp each) through the batched exponential (2 ulps) against their
    // ratio, all near 1.
    const double tolerance = (3.0 + static_cast<double>(t)) * 2.3e-16;
    for (double s : equity_view->spots()) EXPECT_NEAR(s, 1.0 / p_d, tolerance);
    for (double x : fx_view->spots()) EXPECT_NEAR(x, p_f / p_d, tolerance);
  }
}

TEST_F(LognormalDiffusions, ShapesFollowTheParameters) {
  const auto two_factors = std::make_shared<const parameter_lognormal>(
      matrix<double>{{0.2, 0.1}}, matrix<double>{{1.0, 0.5}, {0.5, 1.0}}, std::vector{datetime(2030, 1, 15)},
      std::make_shared<const day_count_convention>());
  const diffusion_equity_lognormal wide(dates, 10.0, domestic_rates, two_factors);
  EXPECT_EQ(wide.number_of_factors(), 2u);
  EXPECT_EQ(wide.number_of_states(), 1u);
  EXPECT_EQ(fx->number_of_factors(), 1u);
  EXPECT_EQ(fx->number_of_states(), 1u);
  EXPECT_EQ(equity->spot(), 4150.0);
  EXPECT_EQ(fx->spot(), 1.09);
  EXPECT_EQ(fx->domestic_curve(), domestic_rates);
  EXPECT_EQ(fx->foreign_curve(), foreign_rates);

  matrix<double> states(1, 5, 3.0);
  equity->states_initialize(states);
  for (double value : states) EXPECT_EQ(value, 0.0);
}

// Diffusions stepped by hand over shared storage: the views read the states live at each finalize, keep
// their spots in place, and forward with the rates' simulated bonds.
TEST_F(LognormalDiffusions, ViewsReadTheLiveStates) {
  constexpr size_t paths = 5;
  auto storage = std::make_shared<states_variables>(std::vector<size_t>{2, 2, 1, 1}, paths);
  std::vector<ptr_const<market_data>> views;
  const std::vector<ptr_const<diffusion>> assets{domestic, foreign, equity, fx};
  for (size_t i = 0; i < assets.size(); ++i) {
    views.push_back(
        assets[i]->create_market_data(assets[i], storage->next_states(i), storage->current_states(i), views, storage));
  }
  const auto equity_view = diffusion::diffusion_equity_spot(views[2]);
  const auto fx_view = diffusion::diffusion_fx_spot(views[3]);
  ASSERT_TRUE(equity_view && fx_view);
  // The casts share ownership and tell the families apart.
  EXPECT_EQ(equity_view.get(), views[2].get());
  EXPECT_EQ(views[2].use_count(), 2);
  EXPECT_FALSE(diffusion::diffusion_fx_spot(views[2]));
  EXPECT_FALSE(diffusion::diffusion_equity_spot(views[3]));
  EXPECT_FALSE(diffusion::diffusion_discount_curve(views[2]));
  EXPECT_FALSE(diffusion::diffusion_equity_spot(views[0]));
  EXPECT_FALSE(diffusion::diffusion_equity_spot(nullptr));

  matrix<double> draws(1, paths);
  for (size_t p = 0; p < paths; ++p) draws(0, p) = 0.6 * static_cast<double>(p) - 1.0;
  for (size_t i = 0; i < assets.size(); ++i) {
    matrix<double> next = storage->next_states(i);
    assets[i]->states_initialize(next);
  }
  for (size_t i = 0; i < assets.size(); ++i) {
    matrix<double> next = storage->next_states(i);
    matrix<double> current = storage->current_states(i);
    assets[i]->propagate_state(next, current, 1, draws, change_of_measure());
  }
  const vector<double> spots = equity_view->spots();
  EXPECT_FALSE(spots.owner());
  for (const auto& view : views) view->finalize(dates[1]);

  // S / S0 = exp(x + D_d) and X / X0 = exp(x - D_f + D_d) from the states themselves.
  const matrix<double> d_row = storage->next_states(0);
  const matrix<double> f_row = storage->next_states(1);
  const matrix<double> equity_state = storage->next_states(2);
  const matrix<double> fx_state = storage->next_states(3);
  const vector<double> fx_spots = fx_view->spots();
  // The batched exponential is within 2 ulps of std::exp, which is within half of one.
  for (size_t p = 0; p < paths; ++p) {
    const double equity_expected = std::exp(equity_state(0, p) + d_row(1, p));
    const double fx_expected = std::exp((fx_state(0, p) - f_row(1, p)) + d_row(1, p));
    EXPECT_NEAR(spots[p], equity_expected, 2.5 * 2.3e-16 * equity_expected);
    EXPECT_NEAR(fx_spots[p], fx_expected, 2.5 * 2.3e-16 * fx_expected);
  }
  EXPECT_NE(spots[0], spots[4]);

  // Forwards: the spot over the simulated domestic bond, times the foreign bond for FX.
  const datetime delivery(2026, 1, 15);
  vector<double> forward(paths), domestic_bond(paths), foreign_bond(paths);
  diffusion::diffusion_discount_curve(views[0])->log_df(domestic_bond, dates[1], delivery);
  diffusion::diffusion_discount_curve(views[1])->log_df(foreign_bond, dates[1], delivery);
  equity_view->forward(forward, dates[1], delivery);
  // One exponential and one product each: rounding of the result's size.
  for (size_t p = 0; p < paths; ++p) EXPECT_NEAR(forward[p], spots[p] / std::exp(domestic_bond[p]), 1e-15 * forward[p]);
  fx_view->forward(forward, dates[1], delivery);
  for (size_t p = 0; p < paths; ++p) {
    EXPECT_NEAR(forward[p], fx_spots[p] * std::exp(foreign_bond[p]) / std::exp(domestic_bond[p]), 1e-15 * forward[p]);
  }
}

// A spot view whose rates views simulate other paths than its own, or asked for "no date", refuses to finalize
// and leaves its spots and its date as they were: a failed step must not leave half-computed spots behind.
TEST_F(LognormalDiffusions, FinalizeOverOtherPathsWritesNothing) {
  auto storage = std::make_shared<states_variables>(std::vector<size_t>{2, 2, 1, 1}, 3);
  auto wider = std::make_shared<states_variables>(std::vector<size_t>{2, 2}, 4);
  const auto rates_view = [](const ptr_const<diffusion_ir_markovian_hjm>& rates,
                             const std::shared_ptr<states_variables>& over, size_t i) {
    return rates->create_market_data(rates, over->next_states(i), over->current_states(i), {}, over);
  };
  const auto domestic_view = rates_view(domestic, storage, 0);
  const auto foreign_view = rates_view(foreign, storage, 1);
  const auto wide_domestic = rates_view(domestic, wider, 0);
  const auto wide_foreign = rates_view(foreign, wider, 1);
  const auto spot_view = [&](const ptr_const<diffusion>& asset, size_t i,
                             const std::vector<ptr_const<market_data>>& rates) {
    return asset->create_market_data(asset, storage->next_states(i), storage->current_states(i), rates, storage);
  };
  const char* wider_paths = "expression has diferrent size 4 than destination 3";
  const char* no_date = "the date is not set";
  struct failed_finalize {
    const char* label;
    size_t slot;
    ptr_const<market_data> view;
    datetime date;
    const char* refusal;
  };
  const std::vector<failed_finalize> cases = {
      {"equity, domestic over 4 paths", 2, spot_view(equity, 2, {wide_domestic}), dates[1], wider_paths},
      {"fx, domestic over 4 paths", 3, spot_view(fx, 3, {wide_domestic, foreign_view}), dates[1], wider_paths},
      {"fx, foreign over 4 paths", 3, spot_view(fx, 3, {domestic_view, wide_foreign}), dates[1], wider_paths},
      {"equity, no date", 2, spot_view(equity, 2, {domestic_view}), datetime(), no_date},
      {"fx, no date", 3, spot_view(fx, 3, {domestic_view, foreign_view}), datetime(), no_date},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    matrix<double> next = storage->next_states(c.slot);
    next.fill(0.25);
    matrix<double> spots = storage->current_states(c.slot);
    spots.fill(7.0);
    const std::string message = error_message([&] { c.view->finalize(c.date); });
    EXPECT_NE(message.find(c.refusal), std::string::npos) << message;
    for (double spot : spots) EXPECT_EQ(spot, 7.0);
    EXPECT_FALSE(c.view->valuation_date().is_valid());
  }
}

TEST_F(LognormalDiffusions, ScalarSpotsAndPdeCoefficientsAreNotOffered) {
  auto storage = std::make_shared<states_variables>(std::vector<size_t>{2, 2, 1, 1}, 3);
  std::vector<ptr_const<market_data>> views;
  const std::vector<ptr_const<diffusion>> assets{domestic, foreign, equity, fx};
  for (size_t i = 0; i < assets.size(); ++i) {
    views.push_back(
        assets[i]->create_market_data(assets[i], storage->next_states(i), storage->current_states(i), views, storage));
  }
  const std::string base = "Library/Analytics/diffusion/common/diffusion";
  const std::vector<not_implemented_case> cases = {
      {"equity spot", [&] { diffusion::diffusion_equity_spot(views[2])->spot(); },
       {"spot", "Library/Analytics/diffusion/equity/equity_spot_diffusion", 57}, "not implemented"},
      {"fx spot", [&] { diffusion::diffusion_fx_spot(views[3])->spot(); },
       {"spot", "Library/Analytics/diffusion/fx/fx_spot_diffusion", 65}, "not implemented"},
      {"equity coefficients", [&] { equity->coefficients({}, dates[0], dates[1]); }, {"coefficients", base, 52},
       "coefficients function not implemented!"},
      {"fx coefficients", [&] { fx->coefficients({}, dates[0], dates[1]); }, {"coefficients", base, 52},
       "coefficients function not implemented!"},
  };
  expect_not_implemented(cases);
}

TEST_F(LognormalDiffusions, RefusesMeaninglessQueriesAndInputs) {
  auto storage = std::make_shared<states_variables>(std::vector<size_t>{2, 2, 1, 1}, 3);
  const auto domestic_view =
      domestic->create_market_data(domestic, storage->next_states(0), storage->current_states(0), {}, storage);
  const auto foreign_view =
      foreign->create_market_data(foreign, storage->next_states(1), storage->current_states(1), {}, storage);
  const auto equity_view = diffusion::diffusion_equity_spot(equity->create_market_data(
      equity, storage->next_states(2), storage->current_states(2), {domestic_view}, storage));
  equity_view->finalize(dates[0]);
  const auto spot = std::make_shared<const fx_spot>(start, 1.09);
  vector<double> output(3);
  matrix<double> next(1, 3), current(1, 3);
  const std::vector<std::pair<const char*, std::function<void()>>> cases = {
      {"only 0 views come before it",
       [&] { equity->create_market_data(equity, storage->next_states(2), storage->current_states(2), {}, storage); }},
      {"only 1 views come before it",
       [&] {
         fx->create_market_data(fx, storage->next_states(3), storage->current_states(3), {domestic_view}, storage);
       }},
      {"is not a discount curve",
       [&] {
         fx->create_market_data(fx, storage->next_states(3), storage->current_states(3),
                                {domestic_view, equity_view}, storage);
       }},
      {"this diffusion",
       [&] { equity->create_market_data(fx, storage->next_states(2), storage->current_states(2), {domestic_view}, storage); }},
      {"must keep that storage",
       [&] {
         equity->create_market_data(equity, storage->next_states(2), storage->current_states(2), {domestic_view}, nullptr);
       }},
      {"the spots belong to", [&] { equity_view->forward(output, dates[1], dates[3]); }},
      {"step 0 does not move", [&] { equity->propagate_state(next, current, 0, matrix<double>(1, 3), change_of_measure()); }},
      {"step 4 does not move", [&] { fx->propagate_state(next, current, 4, matrix<double>(1, 3), change_of_measure()); }},
      {"domestic discount curve", [&] { diffusion_equity_lognormal(dates, 1.0, nullptr, lognormal(0.2)); }},
      {"is not positive and finite", [&] { diffusion_equity_lognormal(dates, 0.0, domestic_rates, lognormal(0.2)); }},
      {"parameter set", [&] { diffusion_equity_lognormal(dates, 1.0, domestic_rates, nullptr); }},
      {"needs its fx spot", [&] { diffusion_fx_lognormal(dates, nullptr, domestic_rates, foreign_rates, lognormal(0.1)); }},
      {"foreign discount curves", [&] { diffusion_fx_lognormal(dates, spot, domestic_rates, nullptr, lognormal(0.1)); }},
      {"parameter set", [&] { diffusion_fx_lognormal(dates, spot, domestic_rates, foreign_rates, nullptr); }},
  };
  for (const auto& [expected, action] : cases) {
    const std::string message = error_message(action);
    EXPECT_NE(message.find(expected), std::string::npos) << expected << " -- got: " << message;
  }
}

}  // namespace
}  // namespace qavrek::simulation_test
