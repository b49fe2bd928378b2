// The Markovian HJM model: its dates and tables against their defining integrals, the simulation step
// and the conditional bond price against the martingale property of discounted bond prices, the
// decomposition against the covariances it factors, and the contract of each operation.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "Analytics/change_of_measure/change_of_measure.h"
#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/tests/hjm_model_test_support.h"
#include "Core/error.h"

namespace qavrek {
namespace {

using namespace hjm_test;
using hjm_type = parameter_markovian_hjm_type;

// Relative closeness with an absolute floor for values that are zero.
void expect_close(double value, double expected, double relative, const std::string& what) {
  EXPECT_NEAR(value, expected, relative * std::abs(expected) + 1e-300) << what;
}

struct parameter_case {
  std::string name;
  hjm_type type;
  matrix<double> decays;
  std::vector<datetime> decays_dates;
  matrix<double> volatilities;
  std::vector<datetime> volatilities_dates;
  matrix<double> correlation;

  parameter_markovian_hjm parameter() const {
    return make_parameter(type, decays, decays_dates, volatilities, volatilities_dates, correlation);
  }
};

void PrintTo(const parameter_case& c, std::ostream* out) { *out << c.name; }

// Piecewise parameters whose dates fall between and beyond the simulation dates below, so that model
// intervals mix rows and the last dates lie after every parameter date.
std::vector<parameter_case> parameter_cases() {
  return {
      {"HullWhitePiecewise", hjm_type::HULL_WHITE, {{0.05}, {0.02}, {0.08}}, days({365, 1095, 2555}),
       {{0.010}, {0.013}, {0.008}, {0.011}}, days({180, 730, 1460, 3650}), {{1.0}}},
      // A mean reversion so small that the closed forms of the G-weighted variance cancel to nothing.
      {"HullWhiteTinyReversion", hjm_type::HULL_WHITE, {{1e-7}}, days({365}), {{0.010}, {0.012}}, days({180, 1460}),
       {{1.0}}},
      {"HullWhiteNegativeReversion", hjm_type::HULL_WHITE, {{-0.03}, {0.01}}, days({700, 3000}), {{0.009}},
       days({3650}), {{1.0}}},
      {"PiecewiseConstant", hjm_type::PICEWISE_CONSTANT, {{1.0}, {0.8}, {1.3}}, days({365, 1095, 2555}),
       {{0.010}, {0.013}, {0.008}, {0.011}}, days({180, 730, 1460, 3650}), {{1.0}}},
      {"HullWhiteThreeFactors", hjm_type::HULL_WHITE, {{0.03, 0.3, 1.0}, {0.02, 0.25, 0.8}}, days({730, 3650}),
       {{0.008, 0.006, 0.004}, {0.009, 0.005, 0.003}}, days({1095, 3650}),
       {{1.0, -0.4, 0.2}, {-0.4, 1.0, 0.3}, {0.2, 0.3, 1.0}}},
      {"PiecewiseConstantTwoFactors", hjm_type::PICEWISE_CONSTANT, {{1.0, 0.5}, {0.9, 0.6}}, days({900, 3000}),
       {{0.010, 0.007}, {0.012, 0.006}}, days({500, 3650}), {{1.0, 0.6}, {0.6, 1.0}}},
  };
}

const std::vector<datetime> simulation_dates = days({0, 30, 91, 180, 365, 500, 730, 1095, 1460, 2000, 2555, 3650, 4000});

class TablesMatchTheirDefinitions : public ::testing::TestWithParam<parameter_case> {};

// Quadrature to ~1e-15 against tables built by products of exponentials over a dozen intervals.
constexpr double table_tolerance = 1e-12;

TEST_P(TablesMatchTheirDefinitions, DecaysIntegratedDecaysAndCovariances) {
  const parameter_markovian_hjm parameter = GetParam().parameter();
  const reference_hjm reference(parameter);
  const model_markovian_hjm model(parameter, valuation(), {}, true, simulation_dates);
  const size_t n = model.number_of_factors();
  matrix<double> covariance;
  for (size_t i = 0; i < model.model_dates().size(); ++i) {
    const double u = years(model.model_dates()[i]);
    model.states_variable_covariance(model.model_dates()[i], covariance);
    for (size_t a = 0; a < n; ++a) {
      const std::string where = "date " + std::to_string(i) + " factor " + std::to_string(a);
      expect_close(model.decay()(i, a), reference.decay(a, u), table_tolerance, "decay " + where);
      expect_close(model.integral_decay()(i, a), reference.integral_decay(a, u), table_tolerance, "G " + where);
      for (size_t b = 0; b < n; ++b)
        expect_close(model.states_covariance()(i, a, b), reference.covariance(a, b, u), table_tolerance,
                     "covariance " + where + " x " + std::to_string(b));
      EXPECT_EQ(covariance(a, 0), model.states_covariance()(i, a, 0)) << "a model date reads its slice, " << where;
    }
  }
  // Between model dates and after the last one (where the parameters' last rows apply).
  for (const datetime& t : days({45, 1200, 4100, 6000})) {
    const size_t i = model.date_offset(t);
    vector<double> decay;
    vector<double> integral;
    model.decay(t, i, decay);
    model.integral_decay(t, integral);
    model.states_variable_covariance(t, covariance);
    for (size_t a = 0; a < n; ++a) {
      const std::string where = t.to_string() + " factor " + std::to_string(a);
      expect_close(decay[a], reference.decay(a, years(t)), table_tolerance, "decay " + where);
      expect_close(integral[a], reference.integral_decay(a, years(t)), table_tolerance, "G " + where);
      for (size_t b = 0; b < n; ++b)
        expect_close(covariance(a, b), reference.covariance(a, b, years(t)), table_tolerance, "covariance " + where);
    }
  }
}

TEST_P(TablesMatchTheirDefinitions, IncrementalVolatilitiesOfTheSimulationSteps) {
  const parameter_markovian_hjm parameter = GetParam().parameter();
  const reference_hjm reference(parameter);
  const model_markovian_hjm model(parameter, valuation(), simulation_dates, false);
  const size_t n = model.number_of_factors();
  ASSERT_EQ(model.incremental_volatility_sv().rows(), simulation_dates.size());
  for (size_t a = 0; a < n; ++a) {
    // The first simulation date is the valuation date: no step leads to it.
    EXPECT_EQ(model.incremental_volatility_sv()(0, a), 0.0);
    EXPECT_EQ(model.incremental_volatility_mm()(0, a), 0.0);
  }
  for (size_t r = 1; r < simulation_dates.size(); ++r) {
    const double from = years(simulation_dates[r - 1]);
    const double to = years(simulation_dates[r]);
    for (size_t a = 0; a < n; ++a) {
      const std::string where = "step " + std::to_string(r) + " factor " + std::to_string(a);
      expect_close(model.incremental_volatility_sv()(r, a), std::sqrt(reference.sv_variance(a, from, to)),
                   table_tolerance, "sv " + where);
      expect_close(model.incremental_volatility_mm()(r, a), std::sqrt(reference.mm_variance(a, from, to)),
                   table_tolerance, "mm " + where);
    }
  }
}

// mu_k(t) = -sum_j rho_kj integral over [0, t] of l_k l_j G_j, l the states' loadings: the drift of the states
// under the bank account's measure, at model dates (tabulated) and between them and after the last.
TEST_P(TablesMatchTheirDefinitions, StateDriftIsTheIntegralOfTheStatesDrift) {
  const parameter_markovian_hjm parameter = GetParam().parameter();
  const reference_hjm reference(parameter);
  const model_markovian_hjm model(parameter, valuation(), {}, true, simulation_dates);
  const size_t n = model.number_of_factors();
  const matrix<double>& rho = parameter.correlation();
  for (const datetime& t : days({91, 730, 1200, 3650, 4100})) {
    vector<double> drift(n);
    model.state_drift(t, drift);
    for (size_t k = 0; k < n; ++k) {
      const auto integrand = [&](double u) {
        double sum = 0.0;
        for (size_t j = 0; j < n; ++j)
          sum += rho(k, j) * reference.state_loading(j, u) * reference.integral_decay(j, u);
        return reference.state_loading(k, u) * sum;
      };
      expect_close(drift[k], -integrate(integrand, 0.0, years(t), reference.breakpoints()), table_tolerance,
                   "drift at " + t.to_string() + " factor " + std::to_string(k));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ModelMarkovianHjm, TablesMatchTheirDefinitions, ::testing::ValuesIn(parameter_cases()),
                         [](const auto& info) { return info.param.name; });

TEST(ModelMarkovianHjm, HullWhiteConstantParametersGiveTheClosedForms) {
  const double kappa = 0.04;
  const double sigma = 0.012;
  const parameter_markovian_hjm parameter =
      make_parameter(hjm_type::HULL_WHITE, {{kappa}}, days({3650}), {{sigma}}, days({3650}), {{1.0}});
  const model_markovian_hjm simulation(parameter, valuation(), simulation_dates, false);
  const model_markovian_hjm full(parameter, valuation(), {}, true, simulation_dates);
  // The two models share their dates: the simulation dates hold the parameter date.
  ASSERT_EQ(simulation.model_dates(), full.model_dates());
  const auto variance = [&](double t) { return sigma * sigma * std::expm1(2.0 * kappa * t) / (2.0 * kappa); };
  for (const model_markovian_hjm* model : {&simulation, &full}) {
    for (size_t i = 0; i < model->model_dates().size(); ++i) {
      const double t = years(model->model_dates()[i]);
      // A dozen products and sums of exponentials: a few roundings each.
      expect_close(model->decay()(i, 0), std::exp(-kappa * t), 1e-14, "decay");
      expect_close(model->integral_decay()(i, 0), -std::expm1(-kappa * t) / kappa, 1e-14, "G");
      expect_close(model->states_covariance()(i, 0, 0), variance(t), 1e-14, "variance");
    }
  }
  for (size_t r = 1; r < simulation_dates.size(); ++r)
    expect_close(simulation.incremental_volatility_sv()(r, 0),
                 std::sqrt(variance(years(simulation_dates[r])) - variance(years(simulation_dates[r - 1]))), 1e-13,
                 "sv step " + std::to_string(r));
}

TEST(ModelMarkovianHjm, ModelDatesAndTableLayout) {
  const parameter_markovian_hjm parameter =
      make_parameter(hjm_type::HULL_WHITE, {{0.05, 0.1}, {0.04, 0.2}}, days({-100, 700}), {{0.01, 0.02}},
                     days({400}), {{1.0, 0.5}, {0.5, 1.0}});
  struct layout_case {
    std::string name;
    std::vector<datetime> simulation;
    bool full_covariance;
    std::vector<datetime> extra;
    std::vector<datetime> model_dates;
  };
  // Parameter dates before the valuation date are no model dates: every table starts at the valuation date.
  const std::vector<layout_case> cases{
      {"FullCovariance", days({10, 20}), true, days({50, 400}), days({0, 50, 400, 700})},
      {"NoSimulationDates", {}, false, {}, days({0, 400, 700})},
      {"SimulationFromTheValuationDate", days({0, 400, 800}), false, {}, days({0, 400, 700, 800})},
      {"SimulationAfterTheValuationDate", days({30, 800}), false, days({-5, 60}), days({0, 30, 60, 400, 700, 800})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const model_markovian_hjm model(parameter, valuation(), c.simulation, c.full_covariance, c.extra);
    EXPECT_EQ(model.model_dates(), c.model_dates);
    const size_t m = c.model_dates.size();
    const size_t s = c.full_covariance ? 0 : c.simulation.size();
    EXPECT_EQ(model.number_of_states(), 3u);
    EXPECT_EQ(model.discounting_state_index(), 2u);
    EXPECT_EQ(model.incremental_volatility_sv().rows(), s);
    EXPECT_EQ(model.incremental_volatility_mm().rows(), s);
    EXPECT_EQ(model.simulation_index().size(), s);
    for (size_t j = 0; j < s; ++j) EXPECT_EQ(model.model_dates()[model.simulation_index()[j]], c.simulation[j]);
    // The tables lie end to end: decay, integrated decay, [sv, mm,] covariance.
    EXPECT_EQ(model.decay_offset(), 0u);
    EXPECT_EQ(model.integral_decay_offset(), 2 * m);
    if (!c.full_covariance) {
      EXPECT_EQ(model.incremental_volatility_sv_offset(), 4 * m);
      EXPECT_EQ(model.incremental_volatility_mm_offset(), 4 * m + 2 * s);
    }
    EXPECT_EQ(model.states_covariance_offset(), 4 * m + 4 * s);
    EXPECT_EQ(model.state_parameters_size(), 4 * m + 4 * s + 4 * m);
    EXPECT_TRUE(model.is_initialized());
    // Covariances: every slice from 1 on with the full-covariance flag, else only the simulation dates.
    for (size_t i = 1; i < m; ++i) {
      const bool simulated = !c.full_covariance && std::count(c.simulation.begin(), c.simulation.end(),
                                                              c.model_dates[i]) == 1;
      EXPECT_EQ(model.states_covariance()(i, 0, 0) > 0.0, c.full_covariance || simulated) << "slice " << i;
    }
    EXPECT_EQ(model.states_covariance()(0, 1, 1), 0.0);
  }
}

TEST(ModelMarkovianHjm, ConstructionRefusesUnusableDates) {
  const parameter_markovian_hjm parameter =
      make_parameter(hjm_type::HULL_WHITE, {{0.05}}, days({365}), {{0.01}}, days({365}), {{1.0}});
  EXPECT_THROW(model_markovian_hjm(parameter, datetime(), {}, true), Error);
  EXPECT_THROW(model_markovian_hjm(parameter, valuation(), days({-1, 30}), false), Error);
  EXPECT_THROW(model_markovian_hjm(parameter, valuation(), days({0, 60, 30}), false), Error);
  EXPECT_THROW(model_markovian_hjm(parameter, valuation(), days({0, 30, 30}), false), Error);
  // The full-covariance model ignores simulation dates.
  EXPECT_NO_THROW(model_markovian_hjm(parameter, valuation(), days({60, 30}), true));
}

TEST(ModelMarkovianHjm, OneModelDateKeepsRowZero) {
  for (const hjm_type type : {hjm_type::HULL_WHITE, hjm_type::PICEWISE_CONSTANT}) {
    const parameter_markovian_hjm parameter =
        make_parameter(type, {{0.7, 0.3}}, days({0}), {{0.01, 0.02}}, days({0}), {{1.0, 0.0}, {0.0, 1.0}});
    const model_markovian_hjm model(parameter, valuation(), {}, true);
    ASSERT_EQ(model.model_dates().size(), 1u);
    const double expected = type == hjm_type::HULL_WHITE ? 1.0 : 0.7;
    EXPECT_EQ(model.decay()(0, 0), expected);
    EXPECT_EQ(model.integral_decay()(0, 1), 0.0);
    // After the only model date the last parameter rows carry the model on.
    vector<double> integral;
    model.integral_decay(day(365), integral);
    EXPECT_GT(integral[0], 0.0);
  }
}

// E[exp(-(I_s - I_{s-1})) P(t_s, T | x_s) | x_{s-1}] = P(t_{s-1}, T | x_{s-1}): a bond discounted with the
// simulated integral is a martingale. The step and the price are affine in the draws, so the left side is
// exp(alpha + 1/2 beta' rho beta) with alpha the exponent at zero draws and beta_k its change for a unit
// draw of factor k.
class OneStepConsistency : public ::testing::TestWithParam<parameter_case> {};

TEST_P(OneStepConsistency, DiscountedBondPricesAreMartingales) {
  const parameter_markovian_hjm parameter = GetParam().parameter();
  const model_markovian_hjm model(parameter, valuation(), simulation_dates, false);
  const size_t n = model.number_of_factors();
  const matrix<double>& rho = parameter.correlation();
  const size_t starts = 3;              // states at the step's start
  const size_t paths = starts * (n + 1);  // per start: zero draws, then a unit draw per factor
  std::mt19937 generator(7);
  std::normal_distribution<double> normal(0.0, 0.02);
  const change_of_measure no_change;

  for (size_t step = 1; step < simulation_dates.size(); ++step) {
    matrix<double> next(n + 1, paths);
    matrix<double> draws(n, paths);
    for (size_t start = 0; start < starts; ++start) {
      std::vector<double> x(n);
      for (auto& value : x) value = normal(generator);
      for (size_t column = start * (n + 1); column < (start + 1) * (n + 1); ++column) {
        for (size_t k = 0; k < n; ++k) next(k, column) = x[k];
        next(n, column) = 0.4;  // any accumulated integral
      }
      for (size_t k = 0; k < n; ++k) draws(k, start * (n + 1) + 1 + k) = 1.0;
    }
    const matrix<double> before = next;
    matrix<double> current;
    model.evolve(no_change, step, draws, current, next);

    const datetime t0 = simulation_dates[step - 1];
    const datetime t1 = simulation_dates[step];
    for (const datetime& maturity : {t1, datetime(t1.serial() + 17), datetime(t1.serial() + 1000), day(5000)}) {
      vector<double> price_before(paths);
      vector<double> price_after(paths);
      model.conditional_price(before, t0, maturity, price_before);
      model.conditional_price(next, t1, maturity, price_after);
      for (size_t start = 0; start < starts; ++start) {
        const size_t base = start * (n + 1);
        const auto exponent = [&](size_t column) {
          return -(next(n, column) - before(n, column)) + price_after[column];
        };
        const double alpha = exponent(base);
        std::vector<double> beta(n);
        for (size_t k = 0; k < n; ++k) beta[k] = exponent(base + 1 + k) - alpha;
        double variance = 0.0;
        for (size_t a = 0; a < n; ++a)
          for (size_t b = 0; b < n; ++b) variance += beta[a] * rho(a, b) * beta[b];
        // Exponents of order 0.1 recovered by differences: a few 1e-16 each.
        EXPECT_NEAR(alpha + 0.5 * variance, price_before[base], 1e-13)
            << "step " << step << " maturity " << maturity << " start " << start;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ModelMarkovianHjm, OneStepConsistency, ::testing::ValuesIn(parameter_cases()),
                         [](const auto& info) { return info.param.name; });

class SimulationStep : public ::testing::Test {
 protected:
  parameter_markovian_hjm parameter_ = parameter_cases()[4].parameter();  // three factors
  model_markovian_hjm model_{parameter_, valuation(), simulation_dates, false};
  static constexpr size_t paths = 5;

  matrix<double> random_matrix(size_t rows, unsigned seed) const {
    std::mt19937 generator(seed);
    std::normal_distribution<double> normal;
    matrix<double> values(rows, paths);
    for (double& value : values) value = normal(generator);
    return values;
  }
};

TEST_F(SimulationStep, CurrentBecomesTheIncomingStatesWhateverItWas) {
  const matrix<double> draws = random_matrix(3, 1);
  const matrix<double> states = random_matrix(4, 2);
  for (matrix<double> current : {matrix<double>(), matrix<double>(2, 7), matrix<double>(4, paths)}) {
    matrix<double> next = states;
    model_.evolve(change_of_measure(), 3, draws, current, next);
    ASSERT_EQ(current.rows(), 4u);
    ASSERT_EQ(current.columns(), paths);
    for (size_t i = 0; i < current.size(); ++i) EXPECT_EQ(current.data()[i], states.data()[i]);
  }
}

TEST_F(SimulationStep, TheChangeOfMeasureShiftsTheDraws) {
  const matrix<double> draws = random_matrix(3, 3);
  const matrix<double> states = random_matrix(4, 4);
  // row_dot(step, k) = 0.1 k + 0.2 at step 2.
  const change_of_measure shift(matrix<double>{{0.1, 0.2}, {0.2, 0.2}, {0.3, 0.2}},
                                matrix<double>{{0.0, 0.0}, {0.0, 0.0}, {1.0, 1.0}});
  matrix<double> shifted_draws = draws;
  for (size_t k = 0; k < 3; ++k)
    for (size_t p = 0; p < paths; ++p) shifted_draws(k, p) -= 0.1 * static_cast<double>(k + 1) + 0.2;
  matrix<double> current;
  matrix<double> with_measure = states;
  matrix<double> with_shifted_draws = states;
  model_.evolve(shift, 2, draws, current, with_measure);
  model_.evolve(change_of_measure(), 2, shifted_draws, current, with_shifted_draws);
  for (size_t i = 0; i < states.size(); ++i)
    EXPECT_NEAR(with_measure.data()[i], with_shifted_draws.data()[i], 1e-15 * (1.0 + std::abs(states.data()[i])));
}

TEST_F(SimulationStep, TheIntegralNeverFeedsBackIntoTheFactors) {
  const matrix<double> draws = random_matrix(3, 5);
  matrix<double> a = random_matrix(4, 6);
  matrix<double> b = a;
  for (size_t p = 0; p < paths; ++p) b(3, p) += 10.0;
  matrix<double> current;
  model_.evolve(change_of_measure(), 5, draws, current, a);
  model_.evolve(change_of_measure(), 5, draws, current, b);
  for (size_t k = 0; k < 3; ++k)
    for (size_t p = 0; p < paths; ++p) EXPECT_EQ(a(k, p), b(k, p));
  for (size_t p = 0; p < paths; ++p) EXPECT_NEAR(b(3, p) - a(3, p), 10.0, 1e-13);
}

TEST_F(SimulationStep, StepsOutsideTheSimulationAndBadShapesAreRefused) {
  const matrix<double> draws = random_matrix(3, 7);
  matrix<double> states = random_matrix(4, 8);
  matrix<double> current;
  for (size_t step : {size_t{0}, simulation_dates.size(), simulation_dates.size() + 5})
    EXPECT_THROW(model_.evolve(change_of_measure(), step, draws, current, states), Error) << step;
  matrix<double> narrow_draws(3, paths - 1);
  EXPECT_THROW(model_.evolve(change_of_measure(), 1, narrow_draws, current, states), Error);
  matrix<double> too_few_states(3, paths);
  EXPECT_THROW(model_.evolve(change_of_measure(), 1, draws, current, too_few_states), Error);
  const model_markovian_hjm full(parameter_, valuation(), simulation_dates, true);
  EXPECT_THROW(full.evolve(change_of_measure(), 1, draws, current, states), Error);
  const model_markovian_hjm no_dates(parameter_, valuation(), {}, false);
  EXPECT_THROW(no_dates.evolve(change_of_measure(), 1, draws, current, states), Error);
}

TEST(ModelMarkovianHjm, ConditionalPriceOnStates) {
  const parameter_markovian_hjm parameter = parameter_cases()[4].parameter();
  const model_markovian_hjm model(parameter, valuation(), {}, true, simulation_dates);
  matrix<double> states{{0.0, 0.01, -0.02}, {0.0, 0.03, 0.005}, {0.0, -0.01, 0.0}, {9.0, 9.0, 9.0}};
  vector<double> out(3);
  const datetime t = day(365);
  model.conditional_price(states, t, t, out);
  for (double value : out) EXPECT_EQ(value, 0.0);

  // Zero states give the convexity term alone, -1/2 (G_T - G_t)' S (G_T + G_t).
  const datetime maturity = day(2000);
  vector<double> g_t;
  vector<double> g_maturity;
  model.integral_decay(t, g_t);
  model.integral_decay(maturity, g_maturity);
  matrix<double> covariance;
  model.states_variable_covariance(t, covariance);
  double convexity = 0.0;
  for (size_t a = 0; a < 3; ++a)
    for (size_t b = 0; b < 3; ++b)
      convexity += 0.5 * (g_maturity[a] * covariance(a, b) * g_maturity[b] - g_t[a] * covariance(a, b) * g_t[b]);
  model.conditional_price(states, t, maturity, out);
  EXPECT_NEAR(out[0], -convexity, 1e-15);
  // A larger state gives a smaller bond price; the discounting row is not read.
  for (size_t p = 1; p < 3; ++p) {
    double linear = 0.0;
    for (size_t a = 0; a < 3; ++a) linear += (g_maturity[a] - g_t[a]) * states(a, p);
    EXPECT_NEAR(out[p], -convexity - linear, 1e-15);
  }
  vector<double> wrong_size(2);
  EXPECT_THROW(model.conditional_price(states, t, maturity, wrong_size), Error);
}

TEST(ModelMarkovianHjm, ConditionalPriceBetweenModelDatesUsesTheEarlierDate) {
  const parameter_markovian_hjm parameter = parameter_cases()[0].parameter();
  const model_markovian_hjm model(parameter, valuation(), {}, true, simulation_dates);
  const matrix<double> states{{0.01, -0.02}, {0.0, 0.0}};
  vector<double> at_date(2);
  vector<double> between(2);
  vector<double> g_between;
  model.integral_decay(day(1200), g_between);
  // From the model date 1095 to a maturity: the same as from 1200 with G(1200) moved to G(1095).
  model.conditional_price(states, day(1095), day(3000), at_date);
  model.conditional_price(states, day(1200), day(3000), between);
  for (size_t p = 0; p < 2; ++p) EXPECT_EQ(at_date[p], between[p]);
  EXPECT_GT(g_between[0], model.integral_decay()(model.date_offset(day(1095)), 0));
}

class Decomposition : public ::testing::TestWithParam<parameter_case> {};

// The rows' products are the covariances of (G(d_r) - G(t)).x under S(t).
TEST_P(Decomposition, RowsReproduceTheCovarianceOfTheLoadingDifferences) {
  const parameter_markovian_hjm parameter = GetParam().parameter();
  const model_markovian_hjm model(parameter, valuation(), {}, true, simulation_dates);
  const size_t n = model.number_of_factors();
  const std::vector<datetime> maturities = days({730, 800, 1500, 3650, 5000});
  for (const datetime& t : days({730, 750})) {
    matrix<double> relative(maturities.size(), n);
    matrix<double> absolute(maturities.size(), n);
    model.decompose(relative, t, maturities, true);
    model.decompose(absolute, t, maturities, false);
    matrix<double> covariance;
    model.states_variable_covariance(t, covariance);
    vector<double> g_t;
    model.integral_decay(t, g_t);
    std::vector<vector<double>> differences;
    for (const datetime& d : maturities) {
      vector<double> g;
      model.integral_decay(d, g);
      differences.push_back(g - g_t);
    }
    matrix<double> factor;
    model.states_variable_covariance_cholesky(t, factor);
    for (size_t r = 0; r < maturities.size(); ++r) {
      for (size_t s = 0; s < maturities.size(); ++s) {
        double product = 0.0;
        double expected = 0.0;
        for (size_t b = 0; b < n; ++b) product += relative(r, b) * relative(s, b);
        for (size_t a = 0; a < n; ++a)
          for (size_t b = 0; b < n; ++b) expected += differences[r][a] * covariance(a, b) * differences[s][b];
        EXPECT_NEAR(product, expected, 1e-14 * (1.0 + std::abs(expected))) << t << " rows " << r << ", " << s;
      }
      // Without `relative` the rows are L' G(d): less L' G(t) they are the relative rows.
      for (size_t b = 0; b < n; ++b) {
        double origin = 0.0;
        for (size_t a = 0; a < n; ++a) origin += g_t[a] * factor(a, b);
        EXPECT_NEAR(absolute(r, b) - origin, relative(r, b), 1e-15);
      }
    }
    if (t == maturities[0]) {
      for (size_t b = 0; b < n; ++b) EXPECT_EQ(relative(0, b), 0.0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ModelMarkovianHjm, Decomposition, ::testing::ValuesIn(parameter_cases()),
                         [](const auto& info) { return info.param.name; });

TEST(ModelMarkovianHjm, DecompositionOfSemiDefiniteAndIndefiniteCovariances) {
  // Perfectly correlated factors: S is singular, its factor still reproduces it.
  const parameter_markovian_hjm singular = make_parameter(hjm_type::HULL_WHITE, {{0.1, 0.1}}, days({3650}),
                                                          {{0.01, 0.02}}, days({3650}), {{1.0, 1.0}, {1.0, 1.0}});
  const model_markovian_hjm model(singular, valuation(), {}, true, days({365}));
  matrix<double> loadings(2, 2);
  model.decompose(loadings, day(365), days({730, 1000}), true);
  matrix<double> covariance;
  model.states_variable_covariance(day(365), covariance);
  vector<double> g_t;
  vector<double> g_d;
  model.integral_decay(day(365), g_t);
  model.integral_decay(day(730), g_d);
  const vector<double> difference = g_d - g_t;
  double expected = 0.0;
  for (size_t a = 0; a < 2; ++a)
    for (size_t b = 0; b < 2; ++b) expected += difference[a] * covariance(a, b) * difference[b];
  EXPECT_NEAR(loadings(0, 0) * loadings(0, 0) + loadings(0, 1) * loadings(0, 1), expected, 1e-14 * expected);

  // At the valuation date nothing is random yet: every loading is zero.
  model.decompose(loadings, valuation(), days({730, 1000}), true);
  for (double value : loadings) EXPECT_EQ(value, 0.0);

  // A correlation that is no correlation cannot be factored. A set refuses one when it is built, so it
  // is written in place, as a calibration writes its trial values.
  const parameter_markovian_hjm indefinite =
      make_parameter(hjm_type::HULL_WHITE, {{0.1, 0.1, 0.1}}, days({3650}), {{0.01, 0.01, 0.01}}, days({3650}),
                     {{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}});
  const matrix<double> no_correlation{{1.0, 0.9, -0.9}, {0.9, 1.0, 0.9}, {-0.9, 0.9, 1.0}};
  std::copy(no_correlation.begin(), no_correlation.end(), indefinite.writable_correlation().begin());
  const model_markovian_hjm bad(indefinite, valuation(), {}, true, days({365}));
  matrix<double> three(1, 3);
  EXPECT_THROW(bad.decompose(three, day(365), days({730}), true), Error);
  matrix<double> wrong_columns(2, 3);
  EXPECT_THROW(model.decompose(wrong_columns, day(365), days({730, 1000}), true), Error);
}

// A calibration writes trial values into its parameter set and refills: the model must be the one built
// afresh on the new values.
TEST(ModelMarkovianHjm, FillAfterAnInPlaceChangeEqualsAFreshModel) {
  for (const bool full_covariance : {false, true}) {
    for (const auto& c : parameter_cases()) {
      SCOPED_TRACE(c.name + (full_covariance ? " full covariance" : " simulation"));
      const parameter_markovian_hjm parameter = c.parameter();
      model_markovian_hjm model(parameter, valuation(), simulation_dates, full_covariance);
      matrix<double> decays = parameter.writable_decays();
      matrix<double> volatilities = parameter.writable_volatilities();
      matrix<double> correlation = parameter.writable_correlation();
      decays *= 1.3;
      volatilities *= 0.7;
      for (size_t a = 0; a < correlation.rows(); ++a)
        for (size_t b = 0; b < correlation.columns(); ++b)
          if (a != b) correlation(a, b) *= 0.5;
      model.fill();
      const model_markovian_hjm fresh(parameter, valuation(), simulation_dates, full_covariance);
      std::vector<double> refilled(model.state_parameters_size());
      std::vector<double> built(fresh.state_parameters_size());
      ASSERT_EQ(model.get_state_parameters(refilled.data()), refilled.size());
      ASSERT_EQ(fresh.get_state_parameters(built.data()), built.size());
      EXPECT_EQ(refilled, built);
    }
  }
}

TEST(ModelMarkovianHjm, StateParametersRoundTrip) {
  const parameter_markovian_hjm first = parameter_cases()[4].parameter();
  parameter_case changed = parameter_cases()[4];
  changed.volatilities *= 2.0;
  const parameter_markovian_hjm second = changed.parameter();
  model_markovian_hjm a(first, valuation(), simulation_dates, false);
  const model_markovian_hjm b(second, valuation(), simulation_dates, false);
  std::vector<double> values(b.state_parameters_size());
  ASSERT_EQ(b.get_state_parameters(values.data()), values.size());
  EXPECT_EQ(a.set_state_parameters(values.data()), values.size());
  std::vector<double> copied(a.state_parameters_size());
  a.get_state_parameters(copied.data());
  EXPECT_EQ(copied, values);
  // The written tables drive the model until the next fill.
  EXPECT_EQ(a.incremental_volatility_sv()(3, 1), b.incremental_volatility_sv()(3, 1));
  a.fill();
  EXPECT_NE(a.incremental_volatility_sv()(3, 1), b.incremental_volatility_sv()(3, 1));
}

TEST(ModelMarkovianHjm, StateDrift) {
  const double sigma = 0.01;
  struct drift_case {
    std::string name;
    hjm_type type;
    double kappa;
    double expected_per_sigma2;  // at one year, from the valuation date
  };
  // One model date only, so the drift is a single piece from the valuation date to t = 1:
  // HULL_WHITE: -integral of e^{2ku} (1 - e^{-ku}) / k = -(phi(2k) - phi(k)) / k, phi(x) = (e^x - 1) / x, which is
  // -(1/2 + k/2 + 7k^2/24 + ...) near k = 0; PICEWISE_CONSTANT with G = 0: -1/2 kappa.
  const auto phi = [](double x) { return std::expm1(x) / x; };
  const std::vector<drift_case> cases{
      {"HullWhite", hjm_type::HULL_WHITE, 0.3, -(phi(0.6) - phi(0.3)) / 0.3},
      {"HullWhiteStrongReversion", hjm_type::HULL_WHITE, 1.0, -(phi(2.0) - phi(1.0))},
      {"HullWhiteNoReversion", hjm_type::HULL_WHITE, 0.0, -0.5},
      {"HullWhiteTinyReversion", hjm_type::HULL_WHITE, 1e-9, -0.5 - 0.5e-9},
      {"PiecewiseConstant", hjm_type::PICEWISE_CONSTANT, 0.8, -0.4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const parameter_markovian_hjm parameter =
        make_parameter(c.type, {{c.kappa}}, days({0}), {{sigma}}, days({0}), {{1.0}});
    const model_markovian_hjm model(parameter, valuation(), {}, true);
    vector<double> drift(1);
    model.state_drift(valuation(), drift);
    EXPECT_EQ(drift[0], 0.0);
    model.state_drift(day(365), drift);
    // The expected HULL_WHITE closed form cancels about one digit.
    EXPECT_NEAR(drift[0], sigma * sigma * c.expected_per_sigma2, 4e-15 * sigma * sigma);
  }
  // With a model date inside, the drift at that date is the whole first piece, and beyond it the second
  // piece starts from the cached values: here kappa = 0 and D = 1, so mu(t) = -sigma^2 t^2 / 2 exactly.
  const parameter_markovian_hjm flat =
      make_parameter(hjm_type::HULL_WHITE, {{0.0}}, days({200}), {{sigma}}, days({200}), {{1.0}});
  const model_markovian_hjm model(flat, valuation(), {}, true, days({100}));
  for (const datetime& t : days({100, 200, 300})) {
    vector<double> drift(1);
    model.state_drift(t, drift);
    EXPECT_NEAR(drift[0], -0.5 * sigma * sigma * years(t) * years(t), 1e-18) << t;
  }
  vector<double> wrong(2);
  EXPECT_THROW(model.state_drift(day(100), wrong), Error);
}

// The simulation moves the states without draws by -sv (rho mm) per step, which is their drift over the step
// up to the spread of the integrated decays within it (sv mm is the Cauchy-Schwarz bound of the drift's
// integral): on uneven steps the states reach the drift within a second-order gap, which quarters as the
// steps halve.
TEST(ModelMarkovianHjm, ZeroDrawStepsReachTheStateDrift) {
  for (const parameter_case& c : {parameter_cases()[0], parameter_cases()[4], parameter_cases()[5]}) {
    SCOPED_TRACE(c.name);
    const parameter_markovian_hjm parameter = c.parameter();
    const size_t n = parameter.number_of_factors();
    // Uneven steps with the parameter dates among them: a step across a jump of one factor's volatility against
    // another's would leave a first-order gap in the correlated terms sv_k mm_j.
    std::vector<datetime> dates = days({0, 7, 30, 45, 120, 180, 365, 400, 500, 730, 900, 1095, 1460, 1826, 2555, 3000});
    double previous_gap = 0.0;
    for (int refinement = 0; refinement < 4; ++refinement) {
      const model_markovian_hjm model(parameter, valuation(), dates, false);
      matrix<double> states(n + 1, 1);
      matrix<double> current;
      const matrix<double> no_draws(n, 1);
      // Per factor, the largest gap relative to the drift at the last date.
      vector<double> final_drift(n);
      model.state_drift(dates.back(), final_drift);
      double gap = 0.0;
      for (size_t step = 1; step < dates.size(); ++step) {
        model.evolve(change_of_measure(), step, no_draws, current, states);
        vector<double> drift(n);
        model.state_drift(dates[step], drift);
        for (size_t k = 0; k < n; ++k) gap = std::max(gap, std::abs(states(k, 0) - drift[k]) / std::abs(final_drift[k]));
      }
      // Second order: each halving divides the gap by 4 (3.80 at the first halving of the three-factor case,
      // whose reversion of 1 meets steps of up to two years); a drift other than the states' would leave a gap
      // that stops shrinking.
      if (refinement > 0) {
        EXPECT_NEAR(previous_gap / gap, 4.0, 0.3);
      }
      previous_gap = gap;
      std::vector<datetime> halved{dates.front()};
      for (size_t i = 1; i < dates.size(); ++i) {
        halved.emplace_back(0.5 * (dates[i - 1].serial() + dates[i].serial()));
        halved.push_back(dates[i]);
      }
      dates = halved;
    }
  }
}

class PdeOperations : public ::testing::Test {
 protected:
  parameter_markovian_hjm parameter_ = parameter_cases()[5].parameter();  // two factors
  model_markovian_hjm model_{parameter_, valuation(), simulation_dates, false};
  std::vector<std::vector<double>> axes_{{-0.02, -0.01, 0.0, 0.01, 0.02}, {-0.03, 0.0, 0.01, 0.02, 0.05}};
};

TEST_F(PdeOperations, CoefficientsOfAStepCarryItsOwnVariance) {
  std::vector<tensor<double>> diffusions(2, tensor<double>({5}, 7.0));
  std::vector<tensor<double>> convections(2, tensor<double>({5}, 7.0));
  std::vector<tensor<double>> reactions(2, tensor<double>({5}, 7.0));
  // Steps of 185 and 135 days: each reads the variance of its own step, the sv row of its end.
  for (size_t end_index : {size_t{4}, size_t{5}}) {
    const datetime t = simulation_dates[end_index - 1];
    const datetime end = simulation_dates[end_index];
    model_.coefficients(diffusions, convections, reactions, axes_, t, end);
    const double dt = years(end) - years(t);
    for (size_t i = 0; i < 2; ++i) {
      const double sv = model_.incremental_volatility_sv()(end_index, i);
      const double slope = -0.5 * dt * (model_.decay()(model_.date_offset(t), i) + model_.decay()(model_.date_offset(end), i));
      for (size_t p = 0; p < 5; ++p) {
        // The variance as a difference of accumulated covariances: a few units in the last place of their sum.
        EXPECT_NEAR(diffusions[i][p], 0.5 * sv * sv, 1e-13 * sv * sv) << end_index << " " << i;
        EXPECT_EQ(convections[i][p], 0.0);
        EXPECT_NEAR(reactions[i][p] - reactions[i][0], slope * (axes_[i][p] - axes_[i][0]), 1e-16);
      }
    }
  }
  // No time, no variance and no discounting.
  const datetime t = simulation_dates[4];
  model_.coefficients(diffusions, convections, reactions, axes_, t, t);
  for (size_t i = 0; i < 2; ++i)
    for (size_t p = 0; p < 5; ++p) {
      EXPECT_EQ(reactions[i][p], 0.0);
      EXPECT_EQ(diffusions[i][p], 0.0);
    }
}

// The reactions of the factors add up, at every node of the product of the grids, to -dt times the mean of
// the model's short rate (less the market's forward) at the step's two ends, the short rate being read off the
// model's own bond prices on the states drift + node: r(t) = -d/dT ln P(t, T) at T = t.
TEST_F(PdeOperations, ReactionsAddUpToTheTrapezoidOfTheShortRate) {
  for (const parameter_case& c : {parameter_cases()[4], parameter_cases()[5]}) {
    SCOPED_TRACE(c.name);
    const parameter_markovian_hjm parameter = c.parameter();
    const model_markovian_hjm model(parameter, valuation(), simulation_dates, false);
    const size_t n = model.number_of_factors();
    std::vector<std::vector<double>> axes(n);
    size_t nodes = 1;
    for (size_t i = 0; i < n; ++i) {
      axes[i] = {-0.02 - 0.01 * double(i), 0.0, 0.015, 0.04 + 0.01 * double(i)};
      nodes *= axes[i].size();
    }
    std::vector<tensor<double>> diffusions(n, tensor<double>({nodes}));
    std::vector<tensor<double>> convections(n, tensor<double>({nodes}));
    std::vector<tensor<double>> reactions(n, tensor<double>({nodes}));
    const datetime t = simulation_dates[6];
    const datetime end = simulation_dates[7];
    model.coefficients(diffusions, convections, reactions, axes, t, end);

    // The short rate at every node from a second-order one-sided difference over 1/100 and 2/100 of a day.
    const auto short_rates = [&](const datetime& at) {
      vector<double> drift(n);
      model.state_drift(at, drift);
      matrix<double> states(n + 1, nodes);
      for (size_t node = 0; node < nodes; ++node) {
        size_t rest = node;
        for (size_t i = n; i-- > 0;) {
          states(i, node) = drift[i] + axes[i][rest % axes[i].size()];
          rest /= axes[i].size();
        }
      }
      const double h = 0.01;
      vector<double> one(nodes);
      vector<double> two(nodes);
      model.conditional_price(states, at, datetime(at.serial() + h), one);
      model.conditional_price(states, at, datetime(at.serial() + 2.0 * h), two);
      std::vector<double> rates(nodes);
      for (size_t node = 0; node < nodes; ++node) rates[node] = -(4.0 * one[node] - two[node]) / (2.0 * h / 365.0);
      return rates;
    };
    const std::vector<double> rates_t = short_rates(t);
    const std::vector<double> rates_end = short_rates(end);
    const double dt = years(end) - years(t);
    for (size_t node = 0; node < nodes; ++node) {
      double reaction = 0.0;
      for (size_t i = 0; i < n; ++i) reaction += reactions[i][node];
      // The difference's error, rates of 1e-2 times (h in years)^2 and the curvature of ln P, is below 1e-12;
      // its rounding, 1e-16 of prices of order 1e-6 over h, below 1e-10 of the rate.
      EXPECT_NEAR(reaction, -0.5 * dt * (rates_t[node] + rates_end[node]), 1e-10 * dt) << node;
      for (size_t i = 0; i < n; ++i) EXPECT_EQ(diffusions[i][node], diffusions[i][0]);
    }
  }
}

TEST_F(PdeOperations, CoefficientsRefuseDatesWithoutTheirCovarianceAndMisshapedTensors) {
  std::vector<tensor<double>> coefficients(2, tensor<double>({5}));
  // Day 900 is a parameter date, a model date but no simulation date: the simulation model has no covariance
  // there. The full-covariance model has it at every date.
  EXPECT_THROW(model_.coefficients(coefficients, coefficients, coefficients, axes_, day(730), day(900)), Error);
  EXPECT_THROW(model_.coefficients(coefficients, coefficients, coefficients, axes_, day(900), day(1095)), Error);
  const model_markovian_hjm full(parameter_, valuation(), {}, true, simulation_dates);
  EXPECT_NO_THROW(full.coefficients(coefficients, coefficients, coefficients, axes_, day(730), day(900)));
  // Dates out of order.
  EXPECT_THROW(model_.coefficients(coefficients, coefficients, coefficients, axes_, day(91), day(30)), Error);
  // Neither the points of a grid nor the nodes of the product of the grids.
  std::vector<tensor<double>> short_reactions(2, tensor<double>({4}));
  EXPECT_THROW(model_.coefficients(coefficients, coefficients, short_reactions, axes_, day(30), day(91)), Error);
  std::vector<tensor<double>> nodes(2, tensor<double>({5, 5}));
  EXPECT_NO_THROW(model_.coefficients(nodes, nodes, nodes, axes_, day(30), day(91)));
  std::vector<double> prices(5);
  EXPECT_THROW(model_.conditional_price(prices.data(), axes_, day(900), day(1095)), Error);
}

// A grid point x of factor i stands for the state drift_i(t) + x: at a model date, the grid price is the
// price on those states.
TEST_F(PdeOperations, GridPriceIsThePriceOnTheShiftedStates) {
  const model_markovian_hjm full(parameter_, valuation(), {}, true, simulation_dates);
  const datetime t = simulation_dates[6];
  const datetime maturity = day(2222);
  vector<double> drift(2);
  full.state_drift(t, drift);
  matrix<double> states(3, 5);
  for (size_t i = 0; i < 2; ++i)
    for (size_t p = 0; p < 5; ++p) states(i, p) = drift[i] + axes_[i][p];
  vector<double> on_states(5);
  full.conditional_price(states, t, maturity, on_states);
  std::vector<double> on_grid(5);
  full.conditional_price(on_grid.data(), axes_, t, maturity);
  for (size_t p = 0; p < 5; ++p) EXPECT_NEAR(on_grid[p], on_states[p], 1e-16);

  std::vector<std::vector<double>> uneven{axes_[0], {0.0, 0.1}};
  EXPECT_THROW(full.conditional_price(on_grid.data(), uneven, t, maturity), Error);
}

}  // namespace
}  // namespace qavrek
