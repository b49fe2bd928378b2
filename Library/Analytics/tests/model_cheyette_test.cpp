// The Cheyette model away from randomness: its shapes and dates, its per-date averages against sums of
// the defining integrals, and single steps from chosen states, where the local volatility, the clamp and
// the skew row in force can be read off by hand.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/models/model_cheyette.h"
#include "Math/gaussian_quadrature.h"
#include "Math/hartman_watson_distribution.h"
#include "hjm_model_test_support.h"
#include "simulation_test_support.h"

namespace qavrek {
namespace {

using namespace hjm_test;
using simulation_test::error_message;

ptr_const<parameter_markovian_hjm> shared(const parameter_markovian_hjm& parameter) {
  return std::make_shared<const parameter_markovian_hjm>(parameter);
}

// The skew rows given for factor 0; the other factors get alternating multiples of them.
parameter_cheyette cheyette(const ptr_const<parameter_markovian_hjm>& hjm, const std::vector<double>& factor_0,
                            const std::vector<datetime>& skew_dates, double level) {
  const size_t n = hjm->number_of_factors();
  matrix<double> skews(factor_0.size(), n);
  for (size_t r = 0; r < factor_0.size(); ++r)
    for (size_t k = 0; k < n; ++k) skews(r, k) = factor_0[r] * (k % 2 == 0 ? 1.0 : -0.5);
  return parameter_cheyette(hjm, skews, skew_dates, level);
}

TEST(CheyetteModel, StateRowsFollowTheFactors) {
  struct counts {
    size_t factors;
    bool reduced;
    size_t states, local_volatility_row, discounting_row, pde_dimensions;
  };
  // x, y, eta and the integral: 1 + 1 + 1 + 1 for one factor, 2 + 4 + 2 + 1 (+ 1 unused) for two.
  const std::vector<counts> cases = {
      {1, false, 4, 2, 3, 2}, {2, false, 10, 6, 8, 5}, {3, false, 18, 12, 15, 9},
      {1, true, 2, 2, 3, 2},  {2, true, 4, 6, 8, 5},
  };
  const std::vector<datetime> dates = days({0, 365});
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.factors) + (c.reduced ? " factors, reduced" : " factors"));
    const auto hjm = shared(varying_parameter(parameter_markovian_hjm_type::HULL_WHITE, c.factors, false));
    const parameter_cheyette parameter = cheyette(hjm, {2.0}, days({730}), 0.0);
    const model_cheyette model(parameter, valuation(), dates, c.reduced, false);
    EXPECT_EQ(model.number_of_factors(), c.factors);
    EXPECT_EQ(model.number_of_states(), c.states);
    EXPECT_EQ(model.local_volatility_state_index(), c.local_volatility_row);
    EXPECT_EQ(model.discounting_state_index(), c.discounting_row);
    EXPECT_EQ(model.number_of_pde_dimensions(), c.pde_dimensions);
    EXPECT_EQ(model.y_state_index(c.factors - 1, 0), c.factors * c.factors);
  }
}

TEST(CheyetteModel, ModelDatesAndStateParameters) {
  const auto hjm = shared(varying_parameter(parameter_markovian_hjm_type::HULL_WHITE, 2, false));
  const parameter_cheyette parameter = cheyette(hjm, {2.0, -1.0}, days({200, 900}), 0.0);
  const std::vector<datetime> dates = days({0, 100, 900, 1000});

  const model_cheyette full(parameter, valuation(), dates, false, false);
  EXPECT_EQ(full.model_dates(), days({0, 100, 200, 900, 1000}));
  EXPECT_EQ(full.simulation_dates(), dates);
  const model_cheyette reduced(parameter, valuation(), dates, true, false);
  EXPECT_EQ(reduced.model_dates(), days({0, 200, 900}));

  // The state is the HJM model's tables, through to the HJM model and back.
  const model_markovian_hjm& inner = *full.hjm_model();
  ASSERT_EQ(full.state_parameters_size(), inner.state_parameters_size());
  std::vector<double> state(full.state_parameters_size()), inner_state(inner.state_parameters_size());
  EXPECT_EQ(full.get_state_parameters(state.data()), state.size());
  inner.get_state_parameters(inner_state.data());
  EXPECT_EQ(state, inner_state);
  model_cheyette other(parameter, valuation(), dates, false, false);
  for (double& value : state) value *= 1.5;
  EXPECT_EQ(other.set_state_parameters(state.data()), state.size());
  EXPECT_EQ(other.hjm_model()->integral_decay()(3, 1), 1.5 * inner.integral_decay()(3, 1));
}

TEST(CheyetteModel, RefusesASkewWithoutDates) {
  const auto hjm = shared(varying_parameter(parameter_markovian_hjm_type::HULL_WHITE, 1, false));
  const parameter_cheyette parameter(hjm, matrix<double>(), {}, 0.0);
  EXPECT_NE(error_message([&] { model_cheyette(parameter, valuation(), days({0, 365}), false, false); })
                .find("the Cheyette model needs at least one skew date"),
            std::string::npos);
}

// Per-date averages of factor 0 from the HJM model's variance integrals, summed step by step with the
// skew row that applies on each step.
struct CheyetteAverages : ::testing::Test {
  const std::vector<datetime> skew_dates = days({200, 700, 1200});
  const std::vector<double> skews = {-3.0, 2.0, 6.0};
  const std::vector<datetime> dates = days({0, 91, 182, 365, 547, 730, 1095, 1461});
  const ptr_const<parameter_markovian_hjm> hjm =
      shared(varying_parameter(parameter_markovian_hjm_type::HULL_WHITE, 2, false));

  // The skew of factor 0 that applies on the step ending at `date`: the row of the first skew date not
  // before it.
  double applying_skew(const std::vector<double>& rows, const datetime& date) const {
    const auto row = std::lower_bound(skew_dates.begin(), skew_dates.end(), date) - skew_dates.begin();
    return rows[std::min<size_t>(row, rows.size() - 1)];
  }

  void expect_averages(const model_cheyette& model, const std::vector<double>& rows) const {
    const reference_hjm reference(*hjm);
    double variance = 0.0, skew_variance = 0.0;
    ASSERT_EQ(model.average_volatilities().size(), dates.size());
    EXPECT_EQ(model.average_volatilities()[0], 0.0);
    EXPECT_EQ(model.variance(dates[0]), 0.0);
    for (size_t i = 1; i < dates.size(); ++i) {
      SCOPED_TRACE(dates[i].to_string());
      const double step = reference.sv_variance(0, years(dates[i - 1]), years(dates[i]));
      variance += step;
      const double skew = applying_skew(rows, dates[i]);
      skew_variance += skew * skew * step;
      const double tau = years(dates[i]);
      // Closed forms against 61-point quadrature of smooth pieces: both exact to rounding.
      EXPECT_NEAR(model.average_volatilities()[i], std::sqrt(variance / tau), 1e-13 * std::sqrt(variance / tau));
      EXPECT_NEAR(model.average_skew_volatility(dates[i]), std::sqrt(skew_variance / tau),
                  1e-13 * std::sqrt(skew_variance / tau));
      EXPECT_NEAR(model.variance(dates[i]), skew_variance, 1e-13 * skew_variance);
      EXPECT_NEAR(model.average_skew(dates[i]), std::sqrt(skew_variance / variance),
                  1e-13 * std::sqrt(skew_variance / variance));
    }
  }
};

TEST_F(CheyetteAverages, AgreeWithSumsOfTheVarianceIntegrals) {
  const parameter_cheyette parameter(cheyette(hjm, skews, skew_dates, 0.5));
  const model_cheyette model(parameter, valuation(), dates, false, false);
  expect_averages(model, skews);
}

TEST_F(CheyetteAverages, FillFollowsValuesChangedInPlace) {
  const parameter_cheyette parameter(cheyette(hjm, skews, skew_dates, 0.5));
  model_cheyette model(parameter, valuation(), dates, false, false);
  matrix<double> volatilities = hjm->writable_volatilities();
  for (double& value : volatilities) value *= 1.7;
  matrix<double> written_skews = parameter.writable_skew_parameter();
  written_skews(1, 0) = -5.0;
  model.fill();
  expect_averages(model, {-3.0, -5.0, 6.0});
}

TEST_F(CheyetteAverages, OffTheSimulationDatesAndAtTheValuationDate) {
  const parameter_cheyette parameter(cheyette(hjm, skews, skew_dates, 0.5));
  const model_cheyette model(parameter, valuation(), dates, false, false);
  for (const datetime& off : {day(-10), day(100), day(200), day(2000)}) EXPECT_EQ(model.variance(off), -1.0);
  // No volatility has accumulated at the valuation date: the average skew is the size of the skew in
  // force after it, that of the first skew row.
  EXPECT_EQ(model.average_skew_volatility(dates[0]), 0.0);
  EXPECT_EQ(model.average_skew(dates[0]), 3.0);
  EXPECT_NE(error_message([&] { model.average_skew(day(100)); }).find("not a simulation date"), std::string::npos);
  // skew(t): the row that applies at t.
  EXPECT_EQ(model.skew(dates[0]), -3.0);
  EXPECT_EQ(model.skew(day(200)), -3.0);
  EXPECT_EQ(model.skew(dates[4]), 2.0);
  EXPECT_EQ(model.skew(dates[7]), 6.0);
}

// The density is the law's quadrature on the 31-point Gauss-Kronrod rule with values on the 49-point
// one, both mirrored from their non-negative halves: the same numbers as from rules built here.
TEST_F(CheyetteAverages, DensityIsTheLawOnTheModelsGaussKronrodRules) {
  const parameter_cheyette parameter(cheyette(hjm, skews, skew_dates, 0.5));
  const model_cheyette model(parameter, valuation(), dates, true, false);
  EXPECT_EQ(model.root_size(), 16u);
  auto rule = [](size_t n) {
    vector<double> nodes(n + 1), weights(2 * n + 1), gauss(n + 1);
    gaussian_quadrature::gauss_kronrod(n, nodes, weights, gauss, 1e-14, 20);
    for (size_t k = 0; k < n; ++k) weights[2 * n - k] = weights[k];
    return std::pair{nodes, weights};
  };
  const auto [nodes, weights] = rule(15);
  const auto [fine_nodes, fine_weights] = rule(24);
  const double variance = model.variance(dates[5]);
  vector<double> w, z, expected_w, expected_z;
  model.density(w, z, variance);
  hartman_watson_distribution::cheyette_density(expected_w, expected_z, variance, nodes, weights, fine_nodes,
                                                fine_weights);
  ASSERT_EQ(w.size(), 2 * model.root_size() - 1);
  double mass = 0.0;
  for (size_t k = 0; k < w.size(); ++k) {
    EXPECT_EQ(w[k], expected_w[k]);
    EXPECT_EQ(z[k], expected_z[k]);
    mass += w[k];
  }
  EXPECT_NEAR(mass, 1.0, 1e-9);  // the quadrature's own accuracy, about 1e-11
}

// One-factor steps from chosen states. Skew rows dated on the simulation dates: row 0 (zero skew) applies
// up to day 91, row 1 (b = 4) on (91, 182], row 2 (b = -3) on (182, 365].
struct CheyetteStep : ::testing::Test {
  static constexpr double level = 0.5;
  const std::vector<datetime> dates = days({0, 91, 182, 365});
  const ptr_const<parameter_markovian_hjm> hjm =
      shared(varying_parameter(parameter_markovian_hjm_type::HULL_WHITE, 1, false));
  const parameter_cheyette parameter = cheyette(hjm, {0.0, 4.0, -3.0}, days({91, 182, 365}), level);
  const model_cheyette model{parameter, valuation(), dates, false, false};

  double sigma(size_t step) const { return model.hjm_model()->incremental_volatility_sv()(step, 0); }
  double nu(size_t step) const { return model.hjm_model()->incremental_volatility_mm()(step, 0); }
  double cap(size_t step, double skew) const {
    return 1.0 + std::abs(skew) * std::sqrt(1.0 + 5.0 * std::expm1(model.variance(dates[step])));
  }

  // The states after one step from (x, y), with the draw z; `previous` receives the states before.
  matrix<double> step(size_t i, double x, double y, double z, matrix<double>& previous) const {
    matrix<double> states{{x}, {y}, {0.0}, {0.0}};
    model.evolve(change_of_measure(), i, matrix<double>{{z}}, previous, states);
    return states;
  }
};

TEST_F(CheyetteStep, LocalVolatilityIsTheSkewedMultiplierOfTheGaussianOne) {
  struct multiplier_case {
    const char* label;
    size_t step;
    double x, y;
    double multiplier;  // -1: the cap of the step's skew
  };
  const std::vector<multiplier_case> cases = {
      {"zero skew: Gaussian wherever the state is", 1, 0.3, 0.02, 1.0},
      {"b = 4", 2, 0.05, 0.02, 1.24},  // 1 + 4 (0.05 + 0.5 * 0.02)
      {"b = 4 past the kink", 2, -0.3, 0.02, 0.16},  // |1 + 4 (-0.3 + 0.01)|
      {"b = 4 capped", 2, 3.0, 0.0, -1.0},
      {"b = -3", 3, 0.05, 0.02, 0.82},  // 1 - 3 (0.05 + 0.01)
      {"b = -3 below", 3, -0.1, 0.0, 1.3},
      {"b = -3 capped", 3, -3.0, 0.0, -1.0},
  };
  const std::vector<double> step_skews = {0.0, 0.0, 4.0, -3.0};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const double multiplier = c.multiplier < 0.0 ? cap(c.step, step_skews[c.step]) : c.multiplier;
    matrix<double> previous;
    const matrix<double> states = step(c.step, c.x, c.y, 0.0, previous);
    // A few roundings, magnified up to sevenfold where 1 + b (x + L y) cancels (1 - 1.16 past the kink).
    EXPECT_NEAR(states(2, 0), sigma(c.step) * multiplier, 2e-15 * sigma(c.step) * multiplier);
    EXPECT_NEAR(previous(2, 0), nu(c.step) * multiplier, 2e-15 * nu(c.step) * multiplier);
    EXPECT_EQ(previous(0, 0), c.x);
    EXPECT_EQ(previous(1, 0), c.y);
    EXPECT_EQ(previous(3, 0), 0.0);
  }
}

// Skews below one in size, on models whose one skew row applies throughout: the multiplier keeps its value
// |1 + b (x + L y)| around the centre (the cap lies a move of 100% of rate or more away), is 1 at the centre for
// every skew, and tends to the Gaussian step's 1 as the skew vanishes, as does the whole step (no clamp binds).
TEST_F(CheyetteStep, SmallSkewsKeepTheirMultiplierAndVanishIntoTheGaussianStep) {
  struct small_skew_case {
    const char* label;
    double skew, x, y;
  };
  const std::vector<small_skew_case> cases = {
      {"b = 0.5 above the centre", 0.5, 0.02, 1e-4},  {"b = 0.5 below the centre", 0.5, -0.03, 2e-4},
      {"b = -0.3 above the centre", -0.3, 0.04, 1e-4}, {"b = -0.3 below the centre", -0.3, -0.02, 0.0},
      {"b = 1 just above the centre", 1.0, 0.01, 0.0}, {"b = 0.9 at the centre", 0.9, -level * 3e-4, 3e-4},
      {"b = 1e-6 at x = 0", 1e-6, 0.0, 0.0},            {"b = -1e-6 at x = 0", -1e-6, 0.0, 0.0},
      {"b = 1e-6 off the centre", 1e-6, 0.05, 4e-4},    {"b = -1e-6 off the centre", -1e-6, -0.05, 4e-4},
  };
  const parameter_cheyette gaussian_parameter = cheyette(hjm, {0.0}, days({365}), level);
  const model_cheyette gaussian(gaussian_parameter, valuation(), dates, false, false);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const parameter_cheyette constant = cheyette(hjm, {c.skew}, days({365}), level);
    const model_cheyette skewed(constant, valuation(), dates, false, false);
    const matrix<double> start{{c.x}, {c.y}, {0.0}, {0.01}};
    const matrix<double> draws{{0.8}};
    matrix<double> states = start, expected = start, previous, gaussian_previous;
    skewed.evolve(change_of_measure(), 2, draws, previous, states);
    gaussian.evolve(change_of_measure(), 2, draws, gaussian_previous, expected);
    // The multiplier from the state: a few roundings.
    const double multiplier = std::abs(1.0 + c.skew * (c.x + level * c.y));
    EXPECT_NEAR(states(2, 0), sigma(2) * multiplier, 4e-16 * sigma(2));
    EXPECT_NEAR(previous(2, 0), nu(2) * multiplier, 4e-16 * nu(2));
    if (std::abs(c.skew) < 1e-3) {
      // |M - 1| = |b (x + L y)| <= 1e-6 |x + L y|, within 1e-6 relative of the Gaussian step; so is the whole
      // step, whose states move by the multiplier's first powers and its square.
      for (size_t r = 0; r < states.rows(); ++r)
        EXPECT_NEAR(states(r, 0), expected(r, 0), 1e-6 * std::abs(expected(r, 0))) << "row " << r;
    }
  }
}

TEST_F(CheyetteStep, ClampKeepsTheMultiplierArgumentNonNegative) {
  struct clamp_case {
    size_t step;
    double skew, z;
    bool binds;
  };
  // A draw of 100 moves x by 100 sv, far past the kink at -1/b; a draw of 1 stays clear of it.
  const std::vector<clamp_case> cases = {
      {2, 4.0, 100.0, true}, {2, 4.0, 1.0, false}, {3, -3.0, -100.0, true}, {3, -3.0, -1.0, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE("b = " + std::to_string(c.skew) + ", z = " + std::to_string(c.z));
    matrix<double> previous;
    const matrix<double> states = step(c.step, 0.0, 0.0, c.z, previous);
    // From x = y = 0 the multiplier is 1, so y gains sv^2.
    const double y = sigma(c.step) * sigma(c.step);
    EXPECT_NEAR(states(1, 0), y, 1e-16 * y);
    const double bound = -level * y - 1.0 / c.skew;
    if (c.binds) {
      EXPECT_EQ(states(0, 0), bound);
      EXPECT_NEAR(1.0 + c.skew * (states(0, 0) + level * states(1, 0)), 0.0, 1e-15);
    } else {
      // Below the bound for a negative skew, above it for a positive one.
      EXPECT_GT(c.skew * (states(0, 0) - bound), 0.0);
    }
  }
}

TEST_F(CheyetteStep, SkewRowInForceOverTheStep) {
  // From the same states, step 2 (91 to 182 days) of this model is that of a model whose skew is 4
  // throughout, and step 1 that of a Gaussian model: each step reads the row in force after its start,
  // not the row that ended there.
  for (const auto& [i, skew] : std::vector<std::pair<size_t, double>>{{1, 0.0}, {2, 4.0}, {3, -3.0}}) {
    SCOPED_TRACE(i);
    const parameter_cheyette constant = cheyette(hjm, {skew}, days({365}), level);
    const model_cheyette reference(constant, valuation(), dates, false, false);
    // Inside the caps of both models: the multiplier is |1 + b (x + L y)| in both.
    const matrix<double> start{{0.02, -0.03}, {1e-4, 2e-4}, {0.0, 0.0}, {0.01, -0.01}};
    const matrix<double> draws{{0.7, -1.2}};
    matrix<double> states = start, expected = start, previous, reference_previous;
    model.evolve(change_of_measure(), i, draws, previous, states);
    reference.evolve(change_of_measure(), i, draws, reference_previous, expected);
    for (size_t r = 0; r < states.rows(); ++r)
      for (size_t p = 0; p < states.columns(); ++p) EXPECT_EQ(states(r, p), expected(r, p)) << r << ", " << p;
  }
}

TEST_F(CheyetteStep, DecaySkewLevelIsTheIntegratedDecayAtTheStepStart) {
  const model_cheyette decay_level(parameter, valuation(), dates, false, true);
  const double level_at_start = reference_hjm(*hjm).integral_decay(0, years(dates[1]));
  matrix<double> states{{0.05}, {0.02}, {0.0}, {0.0}}, previous;
  decay_level.evolve(change_of_measure(), 2, matrix<double>{{0.0}}, previous, states);
  // Quadrature against the closed form of G: rounding only.
  EXPECT_NEAR(states(2, 0), sigma(2) * (1.0 + 4.0 * (0.05 + level_at_start * 0.02)), 1e-15 * sigma(2));
}

TEST(CheyetteMeasure, TheChangeOfMeasureShiftsEveryDraw) {
  // Two factors with skews of both signs: a step under a change of measure is the step without it on
  // draws less the measure's shifts row_dot(i, f).
  const auto hjm = shared(varying_parameter(parameter_markovian_hjm_type::HULL_WHITE, 2, false));
  const parameter_cheyette parameter = cheyette(hjm, {5.0}, days({365}), 0.5);
  const std::vector<datetime> dates = days({0, 91, 182});
  const model_cheyette model(parameter, valuation(), dates, false, false);
  const change_of_measure measure(matrix<double>{{0.3, 0.1}, {-0.2, 0.4}},
                                  matrix<double>{{0.0, 0.0}, {0.01, 0.02}, {0.015, -0.01}});
  const matrix<double> start{{0.01, -0.02}, {0.03, 0.0}, {1e-4, 2e-4}, {-5e-5, 1e-5},
                             {-5e-5, 1e-5}, {3e-4, 1e-4}, {0.0, 0.0},  {0.0, 0.0},
                             {0.02, 0.01},  {0.0, 0.0}};
  const matrix<double> draws{{0.4, -1.1}, {2.0, 0.3}};
  matrix<double> shifted = draws;
  for (size_t f = 0; f < 2; ++f)
    for (size_t p = 0; p < 2; ++p) shifted(f, p) -= measure.row_dot(2, f);
  matrix<double> states = start, expected = start, previous, expected_previous;
  model.evolve(measure, 2, draws, previous, states);
  model.evolve(change_of_measure(), 2, shifted, expected_previous, expected);
  for (size_t r = 0; r < states.rows(); ++r)
    for (size_t p = 0; p < states.columns(); ++p)
      EXPECT_NEAR(states(r, p), expected(r, p), 1e-15 * (1.0 + std::abs(expected(r, p)))) << r << ", " << p;
}

TEST_F(CheyetteStep, ConditionalPriceOverNoTimeIsZero) {
  const matrix<double> states{{0.02, -0.03, 0.1}, {1e-4, 2e-4, 3e-4}, {0.01, 0.01, 0.01}, {0.1, 0.2, 0.3}};
  vector<double> out(3, 5.0);
  model.conditional_price(states, dates[2], dates[2], out);
  for (double value : out) EXPECT_EQ(value, 0.0);
}

TEST_F(CheyetteStep, RefusesStepsItCannotTake) {
  matrix<double> previous;
  matrix<double> states(4, 2);
  const matrix<double> draws(1, 2);
  EXPECT_NE(error_message([&] { model.evolve(change_of_measure(), 0, draws, previous, states); })
                .find("does not move between two of the 4 simulation dates"),
            std::string::npos);
  EXPECT_NE(error_message([&] { model.evolve(change_of_measure(), 4, draws, previous, states); })
                .find("does not move between two of the 4 simulation dates"),
            std::string::npos);
  matrix<double> short_states(3, 2);
  EXPECT_NE(error_message([&] { model.evolve(change_of_measure(), 1, draws, previous, short_states); })
                .find("the states have 3 rows, a step writes 4"),
            std::string::npos);
  EXPECT_NE(error_message([&] { model.evolve(change_of_measure(), 1, matrix<double>(1, 3), previous, states); })
                .find("the draws have 3 paths, the states 2"),
            std::string::npos);
}

}  // namespace
}  // namespace qavrek
