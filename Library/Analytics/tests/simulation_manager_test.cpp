// The simulation manager: how it numbers, correlates and slices the factors between its diffusions, what
// its views answer after each step, that they outlive it safely, and what it refuses.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/diffusion/credit/survival_curve_diffusion.h"
#include "Analytics/diffusion/ir/discount_curve_diffusion.h"
#include "Analytics/simulation/random_manager.h"
#include "Analytics/simulation/simulation_manager.h"
#include "Core/interruption.h"
#include "simulation_test_support.h"

namespace qavrek::simulation_test {
namespace {

const datetime start(2024, 1, 15);

matrix<double> identity(size_t n) {
  matrix<double> m(n, n);
  for (size_t i = 0; i < n; ++i) m(i, i) = 1.0;
  return m;
}

// A rate of two factors and a credit of one, correlated across the three.
struct TwoPlusOneFactors : ::testing::Test {
  static constexpr size_t paths = 64;
  static constexpr size_t steps = 4;
  const std::vector<datetime> dates = monthly_dates(start, steps + 1);
  const matrix<double> correlation = {{1.0, 0.3, -0.4}, {0.3, 1.0, 0.5}, {-0.4, 0.5, 1.0}};
  const ptr_const<random_config> config = random_configuration(paths, steps + 1, 3);
  const ptr_const<diffusion> rate =
      std::make_shared<const recording_rate>(dates, std::make_shared<const discount_curve>(start, 0.02), 2);
  const ptr_const<diffusion> default_intensity =
      std::make_shared<const recording_credit>(dates, std::make_shared<const survival_curve>(start, 0.01), 1);

  std::unique_ptr<simulation_manager> make(const matrix<double>& rho) const {
    return std::make_unique<simulation_manager>(
        std::vector{rate, default_intensity},
        std::vector{std::make_shared<const change_of_measure>(), std::make_shared<const change_of_measure>()}, rho,
        config, dates);
  }
};

TEST_F(TwoPlusOneFactors, EachDiffusionReceivesItsRowsOfTheCorrelatedIncrements) {
  const auto manager = make(correlation);
  const matrix<double>& factor = manager->decomposed_correlation();
  ASSERT_EQ(factor.rows(), 3u);
  ASSERT_EQ(factor.columns(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    for (size_t j = i + 1; j < 3; ++j) EXPECT_EQ(factor(i, j), 0.0);
    // L L^T gives the correlation back up to the rounding of a three-term sum.
    for (size_t j = 0; j < 3; ++j) {
      double product = 0.0;
      for (size_t k = 0; k < 3; ++k) product += factor(i, k) * factor(j, k);
      EXPECT_NEAR(product, correlation(i, j), 1e-15);
    }
  }

  // The same configuration draws the same uncorrelated numbers date by date.
  const random_manager reference(config);
  const auto rate_view = std::dynamic_pointer_cast<const discount_curve_diffusion>(manager->data(0));
  const auto credit_view = std::dynamic_pointer_cast<const survival_curve_diffusion>(manager->data(1));
  ASSERT_TRUE(rate_view && credit_view);

  manager->states_initialize();
  EXPECT_EQ(rate_view->valuation_date(), dates[0]);
  for (size_t t = 1; t <= steps; ++t) {
    SCOPED_TRACE(t);
    const matrix<double> before = rate_view->next_states();
    manager->propagate(t);
    EXPECT_EQ(manager->data(0), rate_view);  // the same view, moved to the new date
    EXPECT_EQ(rate_view->valuation_date(), dates[t]);
    EXPECT_EQ(credit_view->valuation_date(), dates[t]);

    const matrix<double> z = reference.correlate(t, identity(3));
    const matrix<double>& rate_rows = rate_view->next_states();
    const matrix<double>& credit_rows = credit_view->next_states();
    for (size_t p = 0; p < paths; ++p) {
      for (size_t k = 0; k < 3; ++k) {
        double expected = 0.0;
        for (size_t j = 0; j <= k; ++j) expected += factor(k, j) * z(j, p);
        const double received = k < 2 ? rate_rows(k, p) : credit_rows(0, p);
        EXPECT_NEAR(received, expected, 1e-14) << "factor " << k << " path " << p;
      }
      // The last row counts the steps; `current` holds the states of the date before.
      EXPECT_EQ(credit_rows(1, p), static_cast<double>(t));
      EXPECT_EQ(rate_view->current_states()(2, p), before(2, p));
      EXPECT_EQ(rate_view->current_states()(0, p), before(0, p));
    }
  }

  // A restart puts the states back at the start; the views answer for the first date again.
  manager->states_initialize();
  EXPECT_EQ(rate_view->valuation_date(), dates[0]);
  for (double value : rate_view->next_states()) EXPECT_EQ(value, 0.0);
}

TEST_F(TwoPlusOneFactors, IdentityCorrelationHandsOutTheDrawsThemselves) {
  const auto manager = make(identity(3));
  const random_manager reference(config);
  manager->states_initialize();
  manager->propagate(1);
  const matrix<double> z = reference.correlate(1, identity(3));
  const auto* rate_view = dynamic_cast<const discount_curve_diffusion*>(manager->data(0).get());
  const auto* credit_view = dynamic_cast<const survival_curve_diffusion*>(manager->data(1).get());
  for (size_t p = 0; p < paths; ++p) {
    EXPECT_EQ(rate_view->next_states()(0, p), z(0, p));
    EXPECT_EQ(rate_view->next_states()(1, p), z(1, p));
    EXPECT_EQ(credit_view->next_states()(0, p), z(2, p));
  }
}

TEST_F(TwoPlusOneFactors, ViewsKeepTheirStatesAfterTheManagerIsGone) {
  ptr_const<market_data> view;
  {
    const auto manager = make(correlation);
    manager->states_initialize();
    manager->propagate(1);
    manager->propagate(2);
    view = manager->data(0);
  }
  // The discounting row of the stand-in counts the steps; reading it after the manager is gone must
  // still see the storage (the sanitiser build catches a dangling read).
  const auto curve = diffusion::diffusion_discount_curve(view);
  ASSERT_NE(curve, nullptr);
  vector<double> discount_factors(paths);
  curve->discounting(discount_factors, dates[2]);
  for (double value : discount_factors) EXPECT_EQ(value, std::exp(-2.0));
}

TEST_F(TwoPlusOneFactors, CastsShareTheViewAndRefuseOtherKinds) {
  const auto manager = make(correlation);
  const ptr_const<market_data>& rate_view = manager->data(0);
  const long owners = rate_view.use_count();
  const auto curve = diffusion::diffusion_discount_curve(rate_view);
  EXPECT_EQ(curve.get(), dynamic_cast<const discount_curve*>(rate_view.get()));
  EXPECT_EQ(rate_view.use_count(), owners + 1);
  EXPECT_EQ(diffusion::diffusion_survival_curve(rate_view), nullptr);
  EXPECT_NE(diffusion::diffusion_survival_curve(manager->data(1)), nullptr);
  EXPECT_EQ(diffusion::diffusion_discount_curve(manager->data(1)), nullptr);
  EXPECT_EQ(diffusion::diffusion_discount_curve(nullptr), nullptr);
}

// Later families read the rates simulated before them through this helper of the base.
struct rate_reader : recording_rate {
  using recording_rate::recording_rate;
  using diffusion::discount_curve_at;
};

TEST_F(TwoPlusOneFactors, LaterViewsFindTheRatesSimulatedBeforeThem) {
  const auto manager = make(correlation);
  const std::vector<ptr_const<market_data>> before = {manager->data(0), manager->data(1)};
  EXPECT_EQ(rate_reader::discount_curve_at(before, 0), diffusion::diffusion_discount_curve(manager->data(0)));
  EXPECT_NE(error_message([&] { rate_reader::discount_curve_at(before, 1); }).find("is not a discount curve"),
            std::string::npos);
  EXPECT_NE(error_message([&] { rate_reader::discount_curve_at(before, 2); }).find("only 2 views come before it"),
            std::string::npos);
}

TEST_F(TwoPlusOneFactors, RefusesWhatWouldGiveMeaninglessPaths) {
  const auto cm = [] { return std::make_shared<const change_of_measure>(); };
  const matrix<double> not_positive_definite = {{1.0, 0.9, 0.9}, {0.9, 1.0, -0.9}, {0.9, -0.9, 1.0}};
  const matrix<double> not_symmetric = {{1.0, 0.3, 0.0}, {0.2, 1.0, 0.0}, {0.0, 0.0, 1.0}};
  const matrix<double> not_unit = {{2.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};
  const auto later_dates = monthly_dates(datetime(2024, 2, 15), steps + 1);
  const auto late_rate =
      std::make_shared<const recording_rate>(later_dates, std::make_shared<const discount_curve>(start, 0.02), 2);

  const std::vector<refusal> refusals = {
      {"a correlation that is not positive definite", [&] { make(not_positive_definite); }, "not positive definite"},
      {"a correlation that is not symmetric", [&] { make(not_symmetric); }, "not symmetric"},
      {"a correlation whose diagonal is not 1", [&] { make(not_unit); }, "instead of 1"},
      {"a correlation of the wrong size", [&] { make(identity(2)); }, "the correlation must be 3 x 3"},
      {"a missing change of measure",
       [&] { simulation_manager({rate, default_intensity}, {cm()}, correlation, config, dates); },
       "changes of measure for 2 diffusions"},
      {"a null change of measure",
       [&] { simulation_manager({rate, default_intensity}, {cm(), nullptr}, correlation, config, dates); }, "null"},
      {"too few brownians",
       [&] {
         simulation_manager({rate, default_intensity}, {cm(), cm()}, correlation,
                            random_configuration(paths, steps + 1, 2), dates);
       },
       "draws 2 brownians"},
      {"too few random dates",
       [&] {
         simulation_manager({rate, default_intensity}, {cm(), cm()}, correlation, random_configuration(paths, steps, 3),
                            dates);
       },
       "simulation dates"},
      {"a diffusion on other dates",
       [&] { simulation_manager({late_rate, default_intensity}, {cm(), cm()}, correlation, config, dates); },
       "other dates"},
      {"a credit where the domestic rate belongs",
       [&] { simulation_manager({default_intensity, rate}, {cm(), cm()}, correlation, config, dates); },
       "must be the domestic interest rate"},
      {"no diffusion", [&] { simulation_manager({}, {}, matrix<double>(), config, dates); }, "at least one diffusion"},
  };
  expect_refusals(refusals);
}

TEST_F(TwoPlusOneFactors, StepsRunInOrderFromOneAfterTheStart) {
  const auto manager = make(correlation);
  const std::vector<refusal> refusals = {
      {"a step before the start is set", [&] { manager->propagate(1); }, "states_initialize"},
      {"step 0", [&] { manager->states_initialize(), manager->propagate(0); }, "not a simulation step"},
      {"a step past the last date", [&] { manager->propagate(steps + 1); }, "not a simulation step"},
      {"a skipped step", [&] { manager->propagate(2); }, "does not follow"},
      {"a view out of range", [&] { manager->data(2); }, "out of range"},
  };
  expect_refusals(refusals);
  // The refusals changed nothing: the walk goes on from the start.
  for (size_t t = 1; t <= steps; ++t) manager->propagate(t);
  EXPECT_EQ(manager->data(0)->valuation_date(), dates[steps]);
}

// A batch whose draws of a date come in two chunks of 2^20 numbers at most.
struct LargeBatch : TwoPlusOneFactors {
  static constexpr size_t large_paths = 360000;
  const ptr_const<random_config> large_config = random_configuration(large_paths, steps + 1, 3);

  std::unique_ptr<simulation_manager> make_large() const {
    return std::make_unique<simulation_manager>(
        std::vector{rate, default_intensity},
        std::vector{std::make_shared<const change_of_measure>(), std::make_shared<const change_of_measure>()},
        correlation, large_config, dates);
  }
};

// Throws at its n-th look.
struct stop_at_look final : interruption::check {
  explicit stop_at_look(int n) : stop(n) {}
  int stop;
  int looks = 0;
  void operator()() override {
    if (++looks == stop) throw interrupted();
  }
};

// A caller that stops a step is heard between the two chunks of its draw and before each diffusion moves.
// Stopped while it draws, the step leaves the states as they were and may be taken again; stopped later, it
// asks for states_initialize. Either way the walk then gives the paths of a walk never stopped.
TEST_F(LargeBatch, AnInterruptedStepIsTakenAgainOrTheWalkRestarts) {
  const auto reference = make_large();
  reference->states_initialize();
  reference->propagate(1);
  reference->propagate(2);
  // The latest states of the rate and of the credit.
  const auto states = [](const simulation_manager& manager) {
    return std::vector<matrix<double>>{
        dynamic_cast<const discount_curve_diffusion&>(*manager.data(0)).next_states(),
        dynamic_cast<const survival_curve_diffusion&>(*manager.data(1)).next_states()};
  };

  struct stop_case {
    const char* label;
    int look;
    bool states_kept;
  };
  for (const stop_case& item : {stop_case{"in the draw", 1, true}, stop_case{"before the rate moves", 2, false},
                                stop_case{"before the credit moves", 3, false}}) {
    SCOPED_TRACE(item.label);
    const auto manager = make_large();
    manager->states_initialize();
    stop_at_look stop(item.look);
    {
      const interruption::scope installed(stop);
      EXPECT_THROW(manager->propagate(1), interrupted);
    }
    if (item.states_kept) {
      for (const matrix<double>& kept : states(*manager))
        EXPECT_TRUE(std::all_of(kept.begin(), kept.end(), [](double value) { return value == 0.0; }));
    } else {
      EXPECT_NE(error_message([&] { manager->propagate(1); }).find("states_initialize"), std::string::npos);
      manager->states_initialize();
    }
    manager->propagate(1);
    manager->propagate(2);
    const std::vector<matrix<double>> got = states(*manager);
    const std::vector<matrix<double>> expected = states(*reference);
    for (size_t i = 0; i < got.size(); ++i) {
      ASSERT_EQ(got[i].size(), expected[i].size());
      EXPECT_TRUE(std::equal(got[i].begin(), got[i].end(), expected[i].begin()));
    }
  }
  // An uninterrupted step looks three times.
  stop_at_look counting(0);
  const interruption::scope installed(counting);
  reference->propagate(3);
  EXPECT_EQ(counting.looks, 3);
}

}  // namespace
}  // namespace qavrek::simulation_test
