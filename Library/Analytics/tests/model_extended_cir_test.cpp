// The extended CIR model against references computed without its closed forms: its coefficients against a
// Runge-Kutta solution of their Riccati equations, its tables against their defining integrals, its
// deterministic limit against the linear ODE's solution; and its bookkeeping: dates, state parameters and
// the inputs it refuses.

#include "Analytics/models/model_extended_cir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "Analytics/tests/extended_cir_test_support.h"
#include "Analytics/tests/monte_carlo_test_support.h"
#include "Core/error.h"

namespace qavrek {
namespace {

using namespace cir_test;

// Two factors whose speeds, volatilities and shifts change on dates of their own, between the simulation
// dates and after the last one.
ptr_const<parameter_extended_cir> piecewise_parameter() {
  return make_parameter({{{0.3, 1.2}, {0.5, 0.9}, {0.2, 1.5}}, days({200, 900, 2000})},
                        {{{0.12, 0.05}, {0.08, 0.07}, {0.15, 0.04}, {0.1, 0.06}}, days({100, 500, 1500, 2400})},
                        {{{0.03, 0.01}, {0.045, 0.02}}, days({300, 1200})});
}

const std::vector<datetime> simulation_dates = days({0, 91, 365, 730, 1826});

std::vector<double> state_vector(const model_extended_cir& model) {
  std::vector<double> values(model.state_parameters_size());
  EXPECT_EQ(model.get_state_parameters(values.data()), values.size());
  return values;
}

struct riccati_case {
  const char* label;
  ptr_const<parameter_extended_cir> parameter;
};

// The ODE solution is good to 1e-12 (RK4 with steps of 1e-3 years); 1e-9 leaves room for the rounding of
// the closed forms over ten intervals and states of size 0.05.
constexpr double riccati_tolerance = 1e-9;

TEST(ExtendedCirModel, ConditionalPricesSolveTheRiccatiEquations) {
  const std::vector<riccati_case> cases = {
      {"piecewise parameters", piecewise_parameter()},
      {"tiny volatility", constant_parameter({0.5, 0.1}, {1e-6, 0.2}, {0.04, 0.0})},
      {"no mean reversion", constant_parameter({0.0, 0.7}, {0.09, 0.0}, {0.05, 0.02})},
  };
  const std::vector<std::vector<double>> states = {{0.0, 0.0}, {0.02, -0.005}, {-0.03, 0.04}};
  // After the last simulation date, and after every model date: the last parameter rows apply there.
  const std::vector<int> maturities = {91, 400, 1000, 1826, 6000};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const model_extended_cir model(*c.parameter, valuation(), simulation_dates, false);
    const reference_cir reference(*c.parameter);
    const std::vector<double> state = state_vector(model);
    const double* log_a = state.data() + model.log_a_from_valuation_offset();
    for (size_t j = 0; j < simulation_dates.size(); ++j)
      EXPECT_NEAR(log_a[j], reference.solve(0.0, years(simulation_dates[j])).log_a, riccati_tolerance) << j;

    matrix<double> state_matrix(3, states.size());
    for (size_t p = 0; p < states.size(); ++p)
      for (size_t i = 0; i < 2; ++i) state_matrix(i, p) = states[p][i];
    vector<double> prices(states.size());
    for (size_t j = 0; j < simulation_dates.size(); ++j) {
      const datetime& t = simulation_dates[j];
      for (int maturity : maturities) {
        if (day(maturity) < t) continue;
        SCOPED_TRACE("from " + t.to_string() + " to " + day(maturity).to_string());
        model.conditional_price(state_matrix, t, day(maturity), prices);
        const auto simulated = std::find(simulation_dates.begin(), simulation_dates.end(), day(maturity));
        for (size_t p = 0; p < states.size(); ++p) {
          if (simulated != simulation_dates.end()) {
            // De-normalised with the model's own ln A(v, .): the plain conditional log price.
            const auto exact = reference.solve(years(t), years(day(maturity)));
            const double log_price = exact.log_a - exact.b[0] * states[p][0] - exact.b[1] * states[p][1];
            EXPECT_NEAR(prices[p] + log_a[simulated - simulation_dates.begin()] - log_a[j], log_price,
                        riccati_tolerance);
          } else {
            EXPECT_NEAR(prices[p], reference.normalized_log_price(years(t), years(day(maturity)), states[p]),
                        riccati_tolerance);
          }
        }
      }
    }
  }
}

// The closed form of one interval from B = 0: the square-root bond formula for y = x + theta, plus the
// shift's theta (tau - B); and a zero-length interval, which changes nothing.
TEST(ExtendedCirModel, OneIntervalFromZeroIsTheSquareRootBondFormula) {
  const double kappa = 0.35, sigma = 0.11, theta = 0.045;
  const auto parameter = constant_parameter({kappa}, {sigma}, {theta});
  const model_extended_cir model(*parameter, valuation(), days({0, 730}), false);
  const double tau = 2.0;
  const double gamma = std::sqrt(kappa * kappa + 2.0 * sigma * sigma);
  const double e = std::exp(-gamma * tau);
  const double expected_b = 2.0 * (1.0 - e) / ((gamma - kappa) * e + gamma + kappa);
  const double bond_log_a = 2.0 * kappa * theta / (sigma * sigma) *
                            std::log(2.0 * gamma * std::exp(0.5 * (kappa + gamma) * tau) /
                                     ((gamma + kappa) * std::expm1(gamma * tau) + 2.0 * gamma));

  vector<double> b(1, 0.0);
  double log_a = 0.0;
  model.affine_coefficients(0, 0, valuation(), day(730), b, log_a);
  // Order-one values from two formulas in double: rounding only.
  EXPECT_NEAR(b[0], expected_b, 1e-15);
  EXPECT_NEAR(log_a, bond_log_a + theta * (tau - expected_b), 1e-15);

  b[0] = 0.7;
  log_a = -0.2;
  model.affine_coefficients(1, 1, day(730), day(730), b, log_a);
  EXPECT_EQ(b[0], 0.7);
  EXPECT_EQ(log_a, -0.2);
}

TEST(ExtendedCirModel, TablesFollowTheirDefinitions) {
  const auto parameter = piecewise_parameter();
  const model_extended_cir model(*parameter, valuation(), simulation_dates, false);
  const reference_cir reference(*parameter);
  // Every simulation and parameter date from the valuation date on, once.
  EXPECT_EQ(model.model_dates(), days({0, 91, 100, 200, 300, 365, 500, 730, 900, 1200, 1500, 1826, 2000, 2400}));

  // D_i(u) = exp(-integral of kappa_i), summed exactly over the pieces; the variance increments against
  // Gauss-Kronrod quadrature of sigma^2 / D between the simulation dates.
  const std::vector<double> kappa_times{years(day(200)), years(day(900)), years(day(2000))};
  const auto kappa = [&](size_t i, double u) {
    size_t row = 0;
    while (row + 1 < kappa_times.size() && kappa_times[row] < u) ++row;
    return parameter->mean_reversion_speeds()(row, i);
  };
  const auto decay = [&](size_t i, double u) {
    double integral = 0.0, from = 0.0;
    for (double cut : kappa_times) {
      if (cut >= u) break;
      integral += kappa(i, cut) * (cut - from);
      from = cut;
    }
    return std::exp(-(integral + kappa(i, u) * (u - from)));
  };
  const std::vector<double> breakpoints{years(day(100)), years(day(200)),  years(day(500)),
                                        years(day(900)), years(day(1500)), years(day(2000))};
  for (size_t i = 0; i < 2; ++i) {
    for (size_t k = 0; k < model.model_dates().size(); ++k)
      EXPECT_NEAR(model.cumulative_decays()(k, i), decay(i, years(model.model_dates()[k])), 1e-15) << k;
    // After the last model date the last speed carries the decay on.
    vector<double> beyond;
    model.decay(day(5000), model.model_dates().size() - 1, beyond);
    EXPECT_NEAR(beyond[i], decay(i, years(day(5000))), 1e-15);

    EXPECT_EQ(model.variance_increments()(0, i), 0.0);
    for (size_t j = 1; j < simulation_dates.size(); ++j) {
      const double expected = hjm_test::integrate(
          [&](double u) {
            const double sigma = parameter->volatilities()(u <= years(day(100))    ? 0
                                                           : u <= years(day(500))  ? 1
                                                           : u <= years(day(1500)) ? 2
                                                                                   : 3,
                                                           i);
            return sigma * sigma / decay(i, u);
          },
          years(simulation_dates[j - 1]), years(simulation_dates[j]), breakpoints);
      // Quadrature of smooth pieces: agreement to rounding relative to increments of order 1e-2.
      EXPECT_NEAR(model.variance_increments()(j, i), expected, 1e-15) << j;
    }
  }
  EXPECT_EQ(model.log_a_from_valuation().front(), 0.0);
}

// Rows dated before the valuation date take no part beyond the rows in force after it: a set whose dates
// start before it builds the same model as the set cut at the valuation date.
TEST(ExtendedCirModel, ParameterDatesBeforeTheValuationDateChangeNothing) {
  const auto dated_earlier =
      make_parameter({{{0.9}, {0.1}, {0.3}, {0.6}}, days({-400, -100, 500, 2000})},
                     {{{0.3}, {0.12}, {0.08}}, days({-200, 300, 900})}, {{{0.5}, {0.04}}, days({-50, 700})});
  const auto cut = make_parameter({{{0.3}, {0.6}}, days({500, 2000})}, {{{0.12}, {0.08}}, days({300, 900})},
                                  {{{0.04}}, days({700})});
  const model_extended_cir earlier(*dated_earlier, valuation(), simulation_dates, false);
  const model_extended_cir reference(*cut, valuation(), simulation_dates, false);
  EXPECT_EQ(earlier.model_dates(), reference.model_dates());
  EXPECT_EQ(state_vector(earlier), state_vector(reference));

  const matrix<double> states{{0.01, -0.02}, {0.0, 0.0}};
  vector<double> a(2), b(2);
  for (const datetime& t : simulation_dates) {
    earlier.conditional_price(states, t, day(3000), a);
    reference.conditional_price(states, t, day(3000), b);
    EXPECT_EQ(a[0], b[0]);
    EXPECT_EQ(a[1], b[1]);
  }
}

// A zero volatility makes a factor deterministic: dx = -kappa x dt, so B(t, T) = (1 - exp(-kappa tau)) / kappa
// (tau without reversion), ln A = 0, and a step multiplies x by exp(-kappa tau).
TEST(ExtendedCirModel, ZeroVolatilityIsTheDeterministicLimit) {
  const double kappa = 0.4;
  const auto parameter = constant_parameter({kappa, 0.0}, {0.0, 0.0}, {0.03, 0.02});
  const std::vector<datetime> dates = days({0, 182, 365});
  const model_extended_cir model(*parameter, valuation(), dates, false);

  // Values of order 0.1 through a few operations: rounding only.
  constexpr double tolerance = 1e-15;
  for (double value : model.log_a_from_valuation()) EXPECT_NEAR(value, 0.0, tolerance);
  for (double value : model.variance_increments()) EXPECT_EQ(value, 0.0);

  const matrix<double> states{{0.01, -0.02}, {0.005, 0.0}, {0.0, 0.0}};
  vector<double> prices(2);
  model.conditional_price(states, dates[1], day(2000), prices);
  const double tau = years(day(2000)) - years(dates[1]);
  const double b0 = -std::expm1(-kappa * tau) / kappa;
  for (size_t p = 0; p < 2; ++p) EXPECT_NEAR(prices[p], -b0 * states(0, p) - tau * states(1, p), tolerance) << p;

  // The draws do not matter.
  matrix<double> next = states;
  matrix<double> previous;
  const matrix<double> draws{{2.5, -1.0}, {-3.0, 0.7}};
  model.evolve(change_of_measure(), 1, draws, previous, next);
  const double step = years(dates[1]);
  const double ratio = std::exp(-kappa * step);
  for (size_t p = 0; p < 2; ++p) {
    EXPECT_NEAR(next(0, p), ratio * states(0, p), tolerance);
    EXPECT_NEAR(next(1, p), states(1, p), tolerance);
    const double trapezoid = 0.5 * step * ((1.0 + ratio) * states(0, p) + 2.0 * states(1, p));
    EXPECT_NEAR(next(2, p), trapezoid, tolerance);
    for (size_t r = 0; r < 3; ++r) EXPECT_EQ(previous(r, p), states(r, p));
  }
}

// In x the shift only sets the variance, dx = -kappa x dt + sigma sqrt(x + theta) dW, so E[x1] = R x0 with
// R = exp(-integral of kappa over the step), whatever the parameters do inside it. Over 2 x 10^5 paths the
// mean of one step from x0 = 0.01 stays within 4 standard errors of R x0. (Taking the shift of the step's
// start into y, or the degrees of freedom of its end rows alone, moves it by hundreds of standard errors.)
TEST(ExtendedCirModel, AStepKeepsTheMeanWhereParametersChange) {
  struct step_case {
    const char* label;
    ptr_const<parameter_extended_cir> parameter;
    double integrated_speed;  // over the step from day 365 to day 547
  };
  const std::vector<datetime> dates = days({0, 365, 547});
  const std::vector<step_case> cases = {
      {"a shift rising at the step's start",
       make_parameter({{{0.3}}, days({3650})}, {{{0.1}}, days({3650})}, {{{0.02}, {0.05}}, days({365, 3650})}),
       0.3 * 182 / 365.0},
      {"a volatility falling inside the step",
       make_parameter({{{0.3}}, days({3650})}, {{{0.2}, {0.05}}, days({400, 3650})}, {{{0.03}}, days({3650})}),
       0.3 * 182 / 365.0},
      {"a speed rising inside the step",
       make_parameter({{{0.3}, {1.0}}, days({400, 3650})}, {{{0.1}}, days({3650})}, {{{0.03}}, days({3650})}),
       (0.3 * 35 + 1.0 * 147) / 365.0},
  };
  constexpr size_t paths = 200000;
  const double x0 = 0.01;
  matrix<double> draws(1, paths);
  std::mt19937_64 generator(7);
  std::normal_distribution<double> normal;
  for (double& z : draws) z = normal(generator);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const model_extended_cir model(*c.parameter, valuation(), dates, false);
    matrix<double> states(2, paths), previous;
    std::fill(states[0], states[0] + paths, x0);
    model.evolve(change_of_measure(), 2, draws, previous, states);
    simulation_test::sample x1;
    for (size_t p = 0; p < paths; ++p) x1.add(states(0, p));
    EXPECT_NEAR(x1.mean(), std::exp(-c.integrated_speed) * x0, 4.0 * x1.standard_error());
  }
}

TEST(ExtendedCirModel, StateParametersAreItsTablesInOrder) {
  const auto parameter = piecewise_parameter();
  const model_extended_cir model(*parameter, valuation(), simulation_dates, false);
  const size_t m = model.model_dates().size(), s = simulation_dates.size();
  EXPECT_EQ(model.state_parameters_size(), m * 2 + s + s * 2);
  EXPECT_EQ(model.cumulative_decays_offset(), 0u);
  EXPECT_EQ(model.log_a_from_valuation_offset(), m * 2);
  EXPECT_EQ(model.variance_increments_offset(), m * 2 + s);

  // get, set and get again: the same count twice, and the same tables.
  model_extended_cir copy = model;
  std::vector<double> values = state_vector(model);
  EXPECT_EQ(values[model.log_a_from_valuation_offset() + 2], model.log_a_from_valuation()[2]);
  EXPECT_EQ(values[model.variance_increments_offset() + 2 * 2 + 1], model.variance_increments()(2, 1));
  EXPECT_EQ(copy.set_state_parameters(values.data()), values.size());
  EXPECT_EQ(state_vector(copy), values);

  // Set values are used as they are: with no variance left, the step is the deterministic one.
  std::fill(values.begin() + static_cast<std::ptrdiff_t>(model.variance_increments_offset()), values.end(), 0.0);
  copy.set_state_parameters(values.data());
  matrix<double> next{{0.01}, {-0.004}, {0.0}};
  matrix<double> previous;
  copy.evolve(change_of_measure(), 1, matrix<double>{{3.0}, {-2.0}}, previous, next);
  const double ratio0 = model.cumulative_decays()(model.date_offset(simulation_dates[1]), 0);
  EXPECT_NEAR(next(0, 0), ratio0 * (0.01 + 0.03) - ratio0 * 0.03, 1e-16);

  // With the flag: the decays alone, on the valuation date and the parameter dates.
  const model_extended_cir flagged(*parameter, valuation(), simulation_dates, true);
  EXPECT_EQ(flagged.model_dates().front(), valuation());
  EXPECT_EQ(flagged.model_dates().size(), m - 4);  // without days 91, 365, 730 and 1826
  EXPECT_EQ(flagged.state_parameters_size(), flagged.model_dates().size() * 2);
  EXPECT_EQ(state_vector(flagged).size(), flagged.model_dates().size() * 2);

  // No simulation dates: both simulation blocks are empty.
  const model_extended_cir unsimulated(*parameter, valuation(), {}, false);
  EXPECT_EQ(unsimulated.state_parameters_size(), unsimulated.model_dates().size() * 2);
  EXPECT_EQ(unsimulated.model_dates(), flagged.model_dates());
}

struct refusal {
  const char* label;
  std::function<void()> action;
  const char* expected;
};

TEST(ExtendedCirModel, RefusesWhatItCannotPriceOrSimulate) {
  const auto parameter = piecewise_parameter();
  const model_extended_cir model(*parameter, valuation(), simulation_dates, false);
  const model_extended_cir flagged(*parameter, valuation(), simulation_dates, true);
  matrix<double> states(3, 4), previous;
  vector<double> prices(4), short_prices(3), b(2);
  const matrix<double> draws(2, 4);
  const auto with_row = [](double kappa, double sigma, double theta) {
    return [=] {
      const auto p = constant_parameter({kappa}, {sigma}, {theta});
      model_extended_cir(*p, valuation(), simulation_dates, false);
    };
  };
  const std::vector<refusal> refusals = {
      {"a price seen between simulation dates", [&] { model.conditional_price(states, day(100), day(900), prices); },
       "is not one"},
      {"a price seen after the last simulation date",
       [&] { model.conditional_price(states, day(2000), day(2400), prices); }, "is not one"},
      {"a price paid before it is seen", [&] { model.conditional_price(states, day(365), day(91), prices); },
       "before it is seen"},
      {"an output of the wrong length", [&] { model.conditional_price(states, day(91), day(900), short_prices); },
       "expression has diferrent size 4 than destination 3"},
      {"a price from the flagged model", [&] { flagged.normalized_log_a(day(91), day(900), b); },
       "no simulation tables"},
      {"a step of the flagged model", [&] { flagged.evolve(change_of_measure(), 1, draws, previous, states); },
       "no simulation tables"},
      {"step 0", [&] { model.evolve(change_of_measure(), 0, draws, previous, states); }, "does not move"},
      {"a step past the last date", [&] { model.evolve(change_of_measure(), 5, draws, previous, states); },
       "does not move"},
      {"draws for fewer paths", [&] { model.evolve(change_of_measure(), 1, matrix<double>(2, 3), previous, states); },
       "paths"},
      {"a negative speed", with_row(-0.1, 0.1, 0.03), "not negative"},
      {"a negative volatility", with_row(0.1, -0.1, 0.03), "not negative"},
      {"a negative shift", with_row(0.1, 0.1, -0.03), "not negative"},
      {"an infinite shift", with_row(0.1, 0.1, std::numeric_limits<double>::infinity()), "finite"},
      {"no volatility row",
       [&] {
         const auto p = make_parameter({{{0.1}}, days({10})}, {matrix<double>(0, 1), {}}, {{{0.1}}, days({10})});
         model_extended_cir(*p, valuation(), simulation_dates, false);
       },
       "no row of volatilities"},
      {"a simulation date before the valuation date",
       [&] {
         model_extended_cir(*parameter, valuation(), days({-1, 30}), false);
       },
       "before the valuation date"},
      {"simulation dates out of order",
       [&] {
         model_extended_cir(*parameter, valuation(), days({0, 60, 30}), false);
       },
       "not after"},
  };
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.label);
    std::string message;
    try {
      r.action();
    } catch (const Error& e) {
      message = e.what();
    }
    EXPECT_NE(message.find(r.expected), std::string::npos) << message;
  }
  for (double price : short_prices) EXPECT_EQ(price, 0.0);
}

}  // namespace
}  // namespace qavrek
