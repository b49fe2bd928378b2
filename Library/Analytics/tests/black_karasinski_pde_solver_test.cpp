// The Black-Karasinski survival solver against the closed form of its scheme without volatility, the
// exponential of the integrated intensity, the model's conditional price, a Monte Carlo of the exact factor,
// and its own convergence orders in space and time.

#include "Analytics/pde_pricing/black_karasinski_pde_solver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "Analytics/models/model_black_karasinski.h"
#include "black_karasinski_survival_test_support.h"

namespace qavrek::black_karasinski_test {
namespace {

using simulation_test::error_message;

int day_of(const datetime& date) { return int(date.serial() - valuation().serial()); }

// The two-stage scheme's amplification of u' = -lambda u over a step with lambda dt = z:
// (1 - (sqrt 2 - 1) z) / (1 + gamma z)^2, gamma = 1 - 1/sqrt 2.
double amplification(double z) {
  const double gamma = 1.0 - 1.0 / std::numbers::sqrt2;
  return (1.0 - (std::numbers::sqrt2 - 1.0) * z) / ((1.0 + gamma * z) * (1.0 + gamma * z));
}

// A fast-reverting intensity: its decays differ from one grid date to the next, and the volatility dates
// (days 50 and 400) are model dates of the HJM driver between grid dates.
set_up reverting_intensity(double volatility) {
  return {0.3, {volatility, volatility}, {50, 400}, {std::log(0.03), std::log(0.06), std::log(0.045)}, {0, 180, 365}};
}

struct killing_case {
  const char* name;
  double scale;                // of the state grid
  std::vector<double> shifts;  // per grid date, or none
};

// Without volatility nothing diffuses, whatever the state grid: each node only decays, and each step multiplies
// its value by the scheme's amplification of the trapezoid of lambda = exp(level + d (x + shift)) over the step,
// with the level of the step's start and d = exp(-kappa t) at the step's two grid dates.
TEST(BlackKarasinskiSurvivalSolver, WithoutVolatilityEachStepIsTheSchemesAmplificationOfTheKillingRate) {
  const set_up s = reverting_intensity(0.0);
  survival_pde pde(s, {});
  const std::vector<datetime>& grid = pde.solver->time_grid();
  std::vector<double> shifts(grid.size());
  for (size_t k = 0; k < grid.size(); ++k) shifts[k] = 0.2 * std::sin(double(k));

  const std::vector<killing_case> cases = {{"a grid without room to diffuse", 0.0, {}},
                                           {"a grid without variance", 1.0, {}},
                                           {"a grid without variance, shifted", 1.0, shifts}};
  for (const killing_case& c : cases) {
    SCOPED_TRACE(c.name);
    pde.solver->update_states(c.scale);
    pde.solver->update(c.shifts);
    const size_t last = pde.solver->level_positions()[2];
    const double survival = pde.solver->survival_probability(2, true);
    const vector<double>& x = pde.solver->states();
    const size_t n = pde.solver->size();
    for (size_t j = 0; j < n; ++j) {
      EXPECT_NEAR(x[j], c.scale * 3.0 * (2.0 * double(j) / double(n - 1) - 1.0), 1e-15) << j;
      double expected = 1.0;
      for (size_t k = 1; k <= last; ++k) {
        const double shift = c.shifts.empty() ? 0.0 : c.shifts[k];
        const double level = s.level_on(day_of(grid[k - 1]));
        const auto rate = [&](const datetime& t) {
          return std::exp(level + std::exp(-s.mean_reversion * years(t)) * (x[j] + shift));
        };
        expected *= amplification((years(grid[k]) - years(grid[k - 1])) * 0.5 * (rate(grid[k - 1]) + rate(grid[k])));
      }
      // A product of some twenty factors, each good to a few ulps.
      EXPECT_NEAR(pde.solver->result()[j], expected, 1e-14 * expected) << j;
    }
    EXPECT_EQ(survival, pde.solver->result()[n / 2]);
  }
}

// Without volatility the survival is exp(-integral of e^level); the scheme's local error O(dt^3) leaves a
// global error O(dt^2): halving the step divides it by 4.
TEST(BlackKarasinskiSurvivalSolver, WithoutVolatilityTheSurvivalConvergesAtSecondOrderInTime) {
  const set_up s = {
      0.2, {0.0}, {360}, {std::log(0.5), std::log(1.0), std::log(0.8), std::log(0.8)}, {0, 120, 240, 360}};
  const double exact = std::exp(-120.0 / 365.0 * (0.5 + 1.0 + 0.8));
  std::vector<double> errors;
  for (double step : {40.0, 20.0, 10.0, 5.0}) {
    survival_pde pde(s, {.step = step, .period = 0});
    errors.push_back(pde.survival(3) - exact);
  }
  for (size_t i = 1; i < errors.size(); ++i) {
    const double order = std::log2(errors[i - 1] / errors[i]);
    // The next term of the error is a step smaller: the observed order is 2 within a few hundredths.
    EXPECT_NEAR(order, 2.0, 0.05) << "steps " << i << ": errors " << errors[i - 1] << ", " << errors[i];
  }
}

// Level dates at 1, 3 and 5 years under a slow and a fast mean reversion.
set_up five_years(double kappa, std::vector<double> volatilities, std::vector<int> volatility_days) {
  return {kappa,
          std::move(volatilities),
          std::move(volatility_days),
          {std::log(0.02), std::log(0.025), std::log(0.03), std::log(0.03)},
          {0, 365, 1095, 1825}};
}

struct reference_case {
  set_up inputs;
  // The default grid's error at these dates, which a refined grid measures at up to 3e-6 (slow reversion) and
  // 7e-5 (fast reversion: the factor's spread grows as e^{kappa t}, and the early steps see few nodes).
  double default_grid_error;
};

// At x = 0 the survival is the model's conditional price from the valuation date, which its Karhunen-Loeve
// expansion gives within 2e-6, and the mean of exp(-integral of lambda) over exact paths of the factor.
TEST(BlackKarasinskiSurvivalSolver, AtTheCentreItAgreesWithTheConditionalPriceAndMonteCarlo) {
  const std::vector<reference_case> cases = {{five_years(0.1, {0.5}, {1825}), 1e-5},
                                             {five_years(0.4, {0.9, 0.7}, {1095, 1825}), 1e-4}};
  unsigned seed = 5;
  for (const reference_case& c : cases) {
    SCOPED_TRACE("mean reversion " + std::to_string(c.inputs.mean_reversion));
    survival_pde standard(c.inputs, {});
    survival_pde refined(c.inputs, {.nodes = 1025, .span = 4.0, .step = 3.0});
    const std::vector<sample> monte_carlo = monte_carlo_prices(c.inputs, 0, 0.0, {365, 1095, 1825}, 4000, seed++);
    for (size_t i = 1; i < 4; ++i) {
      const double expected = standard.conditional_price(i);
      const double survival = standard.survival(i);
      // The refined grid errs by less than 3e-7 (its orders below): the expansion's 2e-6 dominates.
      EXPECT_NEAR(refined.survival(i), expected, 2e-6) << "level date " << i;
      EXPECT_NEAR(survival, expected, c.default_grid_error) << "level date " << i;
      EXPECT_TRUE(simulation_test::within_four_standard_errors(monte_carlo[i - 1], survival, c.default_grid_error))
          << "level date " << i;
    }
  }
}

// On a smooth case (one level, a span wide enough that the edges do not matter) halving the node spacing or the
// time step divides the error by 4. Differences of successive refinements cancel the other dimension's error.
TEST(BlackKarasinskiSurvivalSolver, ErrorFallsAtSecondOrderInSpaceAndTime) {
  const set_up s{0.2, {0.6}, {720}, {std::log(0.05), std::log(0.05)}, {0, 720}};
  std::vector<double> in_space, in_time;
  for (size_t nodes : {65, 129, 257, 513}) {
    survival_pde pde(s, {.nodes = nodes, .span = 6.0, .step = 10.0, .period = 0});
    in_space.push_back(pde.survival(1));
  }
  for (double step : {40.0, 20.0, 10.0, 5.0}) {
    survival_pde pde(s, {.nodes = 257, .span = 6.0, .step = step, .period = 0});
    in_time.push_back(pde.survival(1));
  }
  for (const auto& [name, values] : {std::pair{"space", in_space}, std::pair{"time", in_time}}) {
    for (size_t i = 2; i < values.size(); ++i) {
      const double order = std::log2((values[i - 2] - values[i - 1]) / (values[i - 1] - values[i]));
      // The next error term, a power of h or dt smaller, moves the observed order by a few hundredths.
      EXPECT_NEAR(order, 2.0, 0.05) << name << ", refinement " << i;
    }
  }
}

struct direction_case {
  const char* name;
  set_up inputs;
  bool shifted;
};

// Forward steps solve with the transposes of the backward steps' matrices, so the mass summed at a level date
// is the backward value at the centre node: the two agree to rounding, whatever the grid's own error.
TEST(BlackKarasinskiSurvivalSolver, BackwardAndForwardRunsAgree) {
  set_up unit = reverting_intensity(0.5);
  unit.mean_reversion = 0.0;
  const std::vector<direction_case> cases = {{"reverting", reverting_intensity(0.5), false},
                                             {"reverting and shifted", reverting_intensity(0.5), true},
                                             {"unit decays", unit, false}};
  for (const direction_case& c : cases) {
    SCOPED_TRACE(c.name);
    survival_pde backward(c.inputs, {});
    survival_pde forward(c.inputs, {.backward = false});
    std::vector<double> shifts;
    if (c.shifted)
      for (size_t k = 0; k < backward.solver->time_grid().size(); ++k) shifts.push_back(0.3 * std::cos(double(k)));
    backward.solver->update(shifts);
    forward.solver->update(shifts);
    for (size_t i = 0; i < 3; ++i) {
      const double expected = backward.survival(i);
      // Some hundred steps of two tridiagonal solves each, on values below 1.
      EXPECT_NEAR(forward.survival(i), expected, 1e-14) << "level date " << i;
    }
  }
}

struct size_case {
  size_t grid_size;
  bool backward;
  size_t nodes;
};

TEST(BlackKarasinskiSurvivalSolver, GridSizesAndTheFirstLevelDate) {
  // Backward reads the node x = 0, so an even grid gets one more node; forward keeps it.
  const std::vector<size_case> cases = {
      {128, true, 129}, {128, false, 128}, {129, true, 129}, {129, false, 129}, {3, false, 3}};
  for (const size_case& c : cases) {
    SCOPED_TRACE(std::to_string(c.grid_size) + (c.backward ? " backward" : " forward"));
    survival_pde pde(reverting_intensity(0.5), {.nodes = c.grid_size, .backward = c.backward});
    EXPECT_EQ(pde.solver->size(), c.nodes);
    // The first level date is the first grid date: no step, whatever the result held.
    pde.solver->update_states(0.4);
    pde.survival(2);
    EXPECT_EQ(pde.solver->survival_probability(0, true), 1.0);
    EXPECT_EQ(pde.solver->states().size(), c.nodes);
    EXPECT_EQ(pde.solver->result().size(), c.nodes);
  }
}

// With unit decays the grid holds exp(x) and lambda = exp(level + shift) exp(x): the same survival as decays
// one part in 10^12 away from 1, which take the general road.
TEST(BlackKarasinskiSurvivalSolver, UnitDecaysKeepTheExponentialOfTheStates) {
  set_up unit = reverting_intensity(0.5);
  unit.mean_reversion = 0.0;
  set_up almost = unit;
  almost.type = parameter_markovian_hjm_type::PICEWISE_CONSTANT;
  almost.mean_reversion = 1.0 + 1e-12;
  survival_pde exponential(unit, {});
  survival_pde general(almost, {});
  ASSERT_TRUE(exponential.solver->unit_decays());
  ASSERT_FALSE(general.solver->unit_decays());

  exponential.solver->update_states(0.5);
  const size_t n = exponential.solver->size();
  for (size_t j = 0; j < n; ++j) {
    const double x = 1.5 * (2.0 * double(j) / double(n - 1) - 1.0);
    // The batched exponential is good to 2 ulps, the grid point to 1.
    EXPECT_NEAR(exponential.solver->states()[j], std::exp(x), 1e-15 * std::exp(x)) << j;
  }
  // The same grid for both: the general road's helper would read 1 + 1e-12 as a mean reversion.
  general.solver->update_states(0.5);
  for (size_t i = 1; i < 3; ++i) {
    // The decays differ by 1e-12, so lambda by 1e-12 |x| relatively, with |x| below 2.
    EXPECT_NEAR(exponential.solver->survival_probability(i, true), general.solver->survival_probability(i, true), 1e-11)
        << "level date " << i;
  }
}

// A terminal profile is stepped in the caller's vector; the solve is linear in it.
TEST(BlackKarasinskiSurvivalSolver, InitialResultIsSteppedInPlace) {
  survival_pde pde(reverting_intensity(0.5), {});
  const double survival = pde.survival(2);
  vector<double> profile(pde.solver->size(), 0.25);
  pde.solver->initial_result(profile);
  const double scaled = pde.solver->survival_probability(2, false);
  EXPECT_EQ(pde.solver->result().data(), profile.data());
  // The same steps on values a power of 2 apart.
  EXPECT_EQ(scaled, 0.25 * survival);
  EXPECT_EQ(profile[pde.solver->size() / 2], scaled);
}

// Level dates before the valuation date are off the grid, which starts on the valuation date: their survival is
// 1, and the later ones are those of a set whose dates start on the valuation date with the same levels from
// there on (the same grid and steps, so the same numbers).
TEST(BlackKarasinskiSurvivalSolver, LevelDatesBeforeTheValuationDateTakeNoStep) {
  set_up on_valuation = reverting_intensity(0.5);
  set_up earlier = on_valuation;
  earlier.level_days = {-400, -30, 180, 365};
  earlier.levels = {std::log(0.5), on_valuation.levels[0], on_valuation.levels[1], on_valuation.levels[2]};
  survival_pde reference(on_valuation, {});
  survival_pde pde(earlier, {});
  ASSERT_EQ(pde.solver->time_grid(), reference.solver->time_grid());
  EXPECT_EQ(pde.solver->time_grid().front(), valuation());
  pde.solver->update_states(0.4);
  for (size_t i : {0, 1}) EXPECT_EQ(pde.solver->survival_probability(i, true), 1.0) << i;
  for (size_t i : {1, 2}) EXPECT_EQ(pde.survival(i + 1), reference.survival(i)) << i;
}

struct ceiling_case {
  const char* name;
  grid_settings grid;
  int last_day;  // of the level dates, monthly from the valuation date
  bool accepted;
};

// The solver keeps a factorised matrix per time-grid date: dates times nodes are capped, and refused before the
// time grid or a matrix is laid out (10 years of daily steps on the largest grid would take 5.7 GB, a coarse step
// of 1e-4 days 3.6e7 time-grid dates).
TEST(BlackKarasinskiSurvivalSolver, RefusesMoreGridCellsThanItsCeiling) {
  const size_t largest = calibration_black_karasinski_settings::max_pde_grid_size;
  const std::vector<ceiling_case> cases = {
      {"the largest grid over ten years of days", {.nodes = largest, .step = 1.0}, 3650, false},
      {"a coarse step of 1e-4 days", {.step = 1e-4}, 3650, false},
      {"the largest grid over a month", {.nodes = largest, .step = 30.0, .period = 0}, 30, true},
      {"ten years of days", {.step = 1.0}, 3650, true},
  };
  for (const ceiling_case& c : cases) {
    SCOPED_TRACE(c.name);
    set_up s = reverting_intensity(0.5);
    s.level_days.clear();
    s.levels.clear();
    for (int d = 0; d <= c.last_day; d += 30) {
      s.level_days.push_back(d);
      s.levels.push_back(std::log(0.03));
    }
    const auto parameter = s.parameter();
    const std::string message = error_message([&] {
      const black_karasinski_pde_solver solver(valuation(), parameter->levels_parameter(), *parameter,
                                               parameter->levels_parameter_dates(), settings_of(c.grid));
      EXPECT_LE(solver.time_grid().size() * solver.size(), black_karasinski_pde_solver::max_grid_cells);
    });
    if (c.accepted)
      EXPECT_EQ(message, "");
    else
      EXPECT_NE(message.find("grid cells"), std::string::npos) << message;
  }
}

TEST(BlackKarasinskiSurvivalSolver, RefusesInputsOutsideItsContract) {
  const set_up s = reverting_intensity(0.5);
  const auto parameter = s.parameter();
  const std::vector<datetime>& dates = parameter->levels_parameter_dates();
  const auto settings = settings_of({});
  black_karasinski_pde_solver solver(valuation(), parameter->levels_parameter(), *parameter, dates, settings);
  // The model's variances must come one per grid date.
  const model_black_karasinski other_dates(*parameter, valuation(), dates, true);
  EXPECT_EQ(error_message([&] { solver.update(other_dates); }),
            "Expected expr.size() == rhs.size() to be true, but got false.  expression has diferrent size " +
                std::to_string(dates.size()) + " than destination " + std::to_string(solver.time_grid().size()));
  EXPECT_NE(error_message([&] { solver.update_states(1.0); }), "");  // before the model
  const model_black_karasinski model(*parameter, valuation(), solver.time_grid(), true);
  solver.update(model);
  EXPECT_NE(error_message([&] { solver.survival_probability(1, true); }), "");  // before the states
  for (double scale : {-1.0, std::nan(""), HUGE_VAL})
    EXPECT_NE(error_message([&] { solver.update_states(scale); }), "") << scale;
  solver.update_states(0.5);
  EXPECT_NE(error_message([&] { solver.update(std::vector<double>(3, 0.1)); }), "");
  EXPECT_NE(error_message([&] { solver.survival_probability(3, true); }), "");
  vector<double> short_profile(5);
  EXPECT_NE(error_message([&] { solver.initial_result(short_profile); }), "");
  EXPECT_GT(solver.survival_probability(2, true), 0.0);

  // Too few nodes, and level dates that the solver's dates do not reach.
  EXPECT_NE(error_message([&] {
              black_karasinski_pde_solver(valuation(), parameter->levels_parameter(), *parameter, dates,
                                          settings_of({.nodes = 2, .backward = false}));
            }),
            "");
  const std::vector<datetime> short_dates(dates.begin(), dates.end() - 1);
  EXPECT_NE(error_message([&] {
              black_karasinski_pde_solver(valuation(), parameter->levels_parameter(), *parameter, short_dates,
                                          settings);
            }),
            "");
}

}  // namespace
}  // namespace qavrek::black_karasinski_test
