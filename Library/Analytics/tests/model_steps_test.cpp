// The simulation steps of the Markovian HJM, extended CIR and Cheyette models run on every instruction set of
// the machine. On each, a batch stepped over all its dates must give, bit for bit, what each of its paths gives
// stepped alone (a batch of one path takes no vector lane), over path counts that leave every remainder after
// the vectors and a count whose rows lie a multiple of 4 KB apart (which the Cheyette step takes in passes over
// blocks rather than in one pass); and `current` must receive the states on entry, rows past the integral
// included, but for the Cheyette local-volatility rows, where it receives theta.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "Analytics/change_of_measure/change_of_measure.h"
#include "Analytics/models/model_black_karasinski.h"
#include "Analytics/models/model_cheyette.h"
#include "Analytics/models/model_extended_cir.h"
#include "Analytics/models/model_lognormal.h"
#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/tests/black_karasinski_test_support.h"
#include "Analytics/tests/extended_cir_test_support.h"
#include "Analytics/tests/hjm_model_test_support.h"
#include "Random/tests/instruction_sets.h"

namespace qavrek {
namespace {

using hjm_test::days;
using hjm_test::valuation;
using hjm_type = parameter_markovian_hjm_type;

const std::vector<datetime> simulation_dates =
    days({0, 30, 91, 180, 365, 500, 730, 1095, 1460, 2000, 2555, 3650, 4000});

// One model's step, with the shapes of its states and draws.
struct step_case {
  std::string name;
  size_t factors;
  size_t model_rows;   // the rows of the states through the integral
  size_t extra_rows;   // rows of the states past the integral, and of the draws past the factors
  double state_scale;  // the spread of the states the steps start from
  std::function<void(size_t step, const matrix<double>& draws, matrix<double>& current, matrix<double>& next)> evolve;
  // Rows [first, last) of `current` that receive something other than the entry states.
  size_t first_other_row = 0, last_other_row = 0;
};

void PrintTo(const step_case& c, std::ostream* out) { *out << c.name; }

step_case hjm_case(std::string name, hjm_type type, size_t n, bool near_zero_decay, bool shifted,
                   size_t extra_rows) {
  auto parameter =
      std::make_shared<const parameter_markovian_hjm>(hjm_test::varying_parameter(type, n, near_zero_decay));
  auto model = std::make_shared<const model_markovian_hjm>(*parameter, valuation(), simulation_dates, false);
  auto measure = std::make_shared<change_of_measure>();
  if (shifted) {
    // Shifts that change from step to step and from factor to factor.
    matrix<double> volatility(simulation_dates.size(), 2), correlation(n, 2);
    for (size_t i = 0; i < volatility.size(); ++i) volatility.data()[i] = 0.1 * static_cast<double>(i % 5) - 0.2;
    for (size_t i = 0; i < correlation.size(); ++i) correlation.data()[i] = 0.3 * static_cast<double>(i % 3) + 0.1;
    measure = std::make_shared<change_of_measure>(std::move(correlation), std::move(volatility));
  }
  return {std::move(name), n, n + 1, extra_rows, 0.01,
          [parameter, model, measure](size_t step, const matrix<double>& draws, matrix<double>& current,
                                      matrix<double>& next) { model->evolve(*measure, step, draws, current, next); }};
}

step_case cir_case(std::string name, ptr_const<parameter_extended_cir> parameter, size_t extra_rows) {
  auto model = std::make_shared<const model_extended_cir>(*parameter, valuation(), simulation_dates, false);
  return {std::move(name), parameter->number_of_factors(), parameter->number_of_factors() + 1, extra_rows, 0.03,
          [parameter, model](size_t step, const matrix<double>& draws, matrix<double>& previous,
                             matrix<double>& states) {
            model->evolve(change_of_measure(), step, draws, previous, states);
          }};
}

// Three factors whose parameters change between the simulation dates; factor 1 has no volatility from day 400
// to day 1200, so that its steps there take the deterministic limit. States of spread 0.03 around shifts of
// 0.01 to 0.03 put some paths below zero in y, where the non-centrality is cut to zero.
ptr_const<parameter_extended_cir> piecewise_cir(size_t n) {
  matrix<double> kappa(2, n), sigma(3, n), theta(2, n);
  for (size_t k = 0; k < n; ++k) {
    const double f = static_cast<double>(k);
    kappa(0, k) = 0.1 + 0.4 * f;
    kappa(1, k) = 0.3 + 0.1 * f;
    sigma(0, k) = 0.05 + 0.05 * f;
    sigma(1, k) = k == 1 ? 0.0 : 0.08;
    sigma(2, k) = 0.06;
    theta(0, k) = 0.03 / (f + 1.0);
    theta(1, k) = 0.02;
  }
  return cir_test::make_parameter({kappa, days({700, 5000})}, {sigma, days({400, 1200, 5000})},
                                  {theta, days({1500, 5000})});
}

// A Cheyette model over skew rows that change at days 500, 2000 and 4000 (one row of n skews each), on the
// HJM parameters of hjm_test::varying_parameter for up to three factors and on four spread factors beyond.
// States of spread 0.5 put many paths past the clamp's bound and past the multiplier's cap (|x + L y| > 1).
step_case cheyette_case(std::string name, const std::vector<std::vector<double>>& skew_rows, double level,
                        bool decay_skew_level, size_t extra_rows) {
  const size_t n = skew_rows.front().size();
  ptr_const<parameter_markovian_hjm> hjm;
  if (n <= 3) {
    hjm = std::make_shared<const parameter_markovian_hjm>(hjm_test::varying_parameter(hjm_type::HULL_WHITE, n, false));
  } else {
    matrix<double> decays(1, n), volatilities(1, n), correlation(n, n);
    for (size_t k = 0; k < n; ++k) {
      decays(0, k) = 0.03 + 0.2 * static_cast<double>(k);
      volatilities(0, k) = 0.01 / static_cast<double>(k + 1);
      for (size_t j = 0; j < n; ++j) correlation(k, j) = k == j ? 1.0 : 0.2;
    }
    hjm = std::make_shared<const parameter_markovian_hjm>(hjm_test::make_parameter(
        hjm_type::HULL_WHITE, decays, days({5000}), volatilities, days({5000}), correlation));
  }
  matrix<double> skews(skew_rows.size(), n);
  for (size_t r = 0; r < skew_rows.size(); ++r)
    for (size_t k = 0; k < n; ++k) skews(r, k) = skew_rows[r][k];
  auto parameter = std::make_shared<const parameter_cheyette>(hjm, skews, days({500, 2000, 4000}), level);
  auto model = std::make_shared<const model_cheyette>(*parameter, valuation(), simulation_dates, false,
                                                      decay_skew_level);
  // Shifts of the draws that change from step to step and from factor to factor.
  matrix<double> volatility(simulation_dates.size(), 2), correlation(n, 2);
  for (size_t i = 0; i < volatility.size(); ++i) volatility.data()[i] = 0.1 * static_cast<double>(i % 5) - 0.2;
  for (size_t i = 0; i < correlation.size(); ++i) correlation.data()[i] = 0.3 * static_cast<double>(i % 3) + 0.1;
  auto measure = std::make_shared<change_of_measure>(std::move(correlation), std::move(volatility));
  return {std::move(name),
          n,
          model->discounting_state_index() + 1,
          extra_rows,
          0.5,
          [hjm, parameter, model, measure](size_t step, const matrix<double>& draws, matrix<double>& previous,
                                           matrix<double>& states) {
            model->evolve(*measure, step, draws, previous, states);
          },
          model->local_volatility_state_index(),
          model->discounting_state_index()};
}

std::vector<step_case> step_cases() {
  return {
      hjm_case("HjmHullWhiteThreeFactorsShiftedMeasure", hjm_type::HULL_WHITE, 3, false, true, 0),
      hjm_case("HjmPiecewiseConstantTwoFactorsRowsPastTheIntegral", hjm_type::PICEWISE_CONSTANT, 2, true, true, 1),
      hjm_case("HjmHullWhiteOneFactor", hjm_type::HULL_WHITE, 1, false, false, 0),
      cir_case("CirThreeFactorsStillInterval", piecewise_cir(3), 0),
      cir_case("CirTwoFactorsRowsPastTheIntegral", piecewise_cir(2), 2),
      cir_case("CirNoReversion", cir_test::constant_parameter({0.0, 0.0}, {0.05, 0.1}, {0.02, 0.01}), 0),
      cheyette_case("CheyetteOneFactorPositiveSkews", {{6.0}, {3.0}, {1.5}}, 0.5, false, 0),
      cheyette_case("CheyetteOneFactorNegativeSkewsDecayLevel", {{-4.0}, {-2.0}, {-0.7}}, 0.0, true, 0),
      cheyette_case("CheyetteTwoFactorsZeroSkews", {{0.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}}, 0.5, false, 0),
      // Skews of both signs and zero, each factor changing sign or vanishing from one row to the next; the
      // model's own unused row past the integral.
      cheyette_case("CheyetteTwoFactorsMixedSkewsRowsPastTheIntegral", {{2.0, -3.0}, {0.0, 5.0}, {-1.0, 0.0}}, -0.3,
                    false, 1),
      cheyette_case("CheyetteThreeFactorsMixedSkewsDecayLevel", {{6.0, -4.0, 0.0}, {-2.0, 0.0, 3.0}, {1.0, 1.0, -1.0}},
                    0.0, true, 2),
      cheyette_case("CheyetteFourFactorsMixedSkews",
                    {{3.0, -2.0, 0.0, 1.0}, {0.0, 4.0, -1.0, 2.0}, {-3.0, 1.0, 2.0, 0.0}}, 0.5, false, 3),
  };
}

matrix<double> normals(size_t rows, size_t columns, double scale, std::mt19937& generator) {
  std::normal_distribution<double> normal;
  matrix<double> values(rows, columns);
  for (double& value : values) value = scale * normal(generator);
  return values;
}

matrix<double> column(const matrix<double>& m, size_t p) {
  matrix<double> one(m.rows(), 1);
  for (size_t r = 0; r < m.rows(); ++r) one(r, 0) = m(r, p);
  return one;
}

bool same_bits(const matrix<double>& a, const matrix<double>& b) {
  return a.rows() == b.rows() && a.columns() == b.columns() &&
         std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

class StepsOnEveryInstructionSet : public ::testing::TestWithParam<std::tuple<step_case, size_t>> {};

TEST_P(StepsOnEveryInstructionSet, GiveEachPathTheBitsOfThatPathSteppedAlone) {
  const auto& [c, paths] = GetParam();
  const size_t rows = c.model_rows + c.extra_rows;
  const size_t steps = simulation_dates.size();
  std::mt19937 generator(static_cast<unsigned>(paths));
  const matrix<double> start = normals(rows, paths, c.state_scale, generator);
  std::vector<matrix<double>> draws;
  for (size_t step = 1; step < steps; ++step) draws.push_back(normals(c.factors + c.extra_rows, paths, 1.0, generator));

  // expected[step - 1] holds the states after `step` and expected_current[step - 1] `current`, each column from
  // its path stepped alone.
  std::vector<matrix<double>> expected(steps - 1, matrix<double>(rows, paths));
  std::vector<matrix<double>> expected_current(steps - 1, matrix<double>(rows, paths));
  for (size_t p = 0; p < paths; ++p) {
    matrix<double> next = column(start, p), current;
    for (size_t step = 1; step < steps; ++step) {
      c.evolve(step, column(draws[step - 1], p), current, next);
      for (size_t r = 0; r < rows; ++r) {
        expected[step - 1](r, p) = next(r, 0);
        expected_current[step - 1](r, p) = current(r, 0);
      }
    }
  }

  on_every_instruction_set([&](const char* target) {
    // A `current` of the states' shape already, unlike the paths stepped alone: no copy precedes the step.
    matrix<double> next = start, current(rows, paths, -1.0);
    for (size_t step = 1; step < steps; ++step) {
      matrix<double> before = next;
      c.evolve(step, draws[step - 1], current, next);
      ASSERT_TRUE(same_bits(next, expected[step - 1])) << target << ", step " << step;
      ASSERT_TRUE(same_bits(current, expected_current[step - 1])) << target << ", step " << step;
      for (size_t r = c.first_other_row; r < c.last_other_row; ++r)
        for (size_t p = 0; p < paths; ++p) before(r, p) = current(r, p);
      ASSERT_TRUE(same_bits(current, before)) << target << ", step " << step;
    }
  });
}

INSTANTIATE_TEST_SUITE_P(ModelSteps, StepsOnEveryInstructionSet,
                         ::testing::Combine(::testing::ValuesIn(step_cases()),
                                            ::testing::Values(1, 3, 7, 8, 9, 16, 17, 33, 512, 1000)),
                         [](const auto& info) {
                           return std::get<0>(info.param).name + "_" + std::to_string(std::get<1>(info.param)) +
                                  "Paths";
                         });

// The Black-Karasinski step takes two exponentials per path, held within the normal range: its cases join the
// table above, one with factors spread far enough that the rates saturate on some paths, so that some vectors
// take the held exponentials and others not.

// Shifts that change from step to step, for a model of n factors.
std::shared_ptr<const change_of_measure> shifting_measure(size_t n) {
  matrix<double> volatility(simulation_dates.size(), 2), correlation(n, 2);
  for (size_t i = 0; i < volatility.size(); ++i) volatility.data()[i] = 0.1 * static_cast<double>(i % 5) - 0.2;
  for (size_t i = 0; i < correlation.size(); ++i) correlation.data()[i] = 0.3 * static_cast<double>(i % 3) + 0.1;
  return std::make_shared<const change_of_measure>(std::move(correlation), std::move(volatility));
}

step_case black_karasinski_case(std::string name, const black_karasinski_test::set_up& set_up, double state_scale,
                                bool shifted, size_t extra_rows) {
  std::shared_ptr<const parameter_black_karasinski> parameter = set_up.parameter();
  auto model = std::make_shared<const model_black_karasinski>(*parameter, valuation(), simulation_dates, false);
  auto measure = shifted ? shifting_measure(1) : std::make_shared<const change_of_measure>();
  return {std::move(name), 1, 2, extra_rows, state_scale,
          [parameter, model, measure](size_t step, const matrix<double>& draws, matrix<double>& current,
                                      matrix<double>& next) { model->evolve(*measure, step, draws, current, next); }};
}

// Loadings of the factor that change at 3 and 5 years.
black_karasinski_test::set_up changing_loadings() {
  black_karasinski_test::set_up s{
      0.0, {0.3, 0.5, 0.25}, {1095, 1825, 3650}, {std::log(0.02), std::log(0.03)}, {0, 1460}};
  s.type = hjm_type::PICEWISE_CONSTANT;
  s.decays = {1.0, 0.5, 1.4};
  return s;
}

std::vector<step_case> black_karasinski_cases() {
  return {
      black_karasinski_case("BlackKarasinskiPiecewiseRate", black_karasinski_test::piecewise_rate(), 1.0, false, 0),
      black_karasinski_case("BlackKarasinskiLoadingsShiftedMeasureRowsPastTheIntegral", changing_loadings(), 1.0,
                            true, 1),
      // Factors of spread 300 put about one path in 60 beyond the exponent's bounds of -708 and 709 over the first
      // steps, where the decays are near 1, and fewer as the decays fall.
      black_karasinski_case("BlackKarasinskiRatesSaturateOnSomePaths", black_karasinski_test::credit_intensity(),
                            300.0, false, 0),
  };
}

template <class Case>
std::string case_and_paths(const ::testing::TestParamInfo<std::tuple<Case, size_t>>& info) {
  return std::get<0>(info.param).name + "_" + std::to_string(std::get<1>(info.param)) + "Paths";
}

INSTANTIATE_TEST_SUITE_P(BlackKarasinskiSteps, StepsOnEveryInstructionSet,
                         ::testing::Combine(::testing::ValuesIn(black_karasinski_cases()),
                                            ::testing::Values(1, 3, 7, 8, 9, 16, 17, 33, 1000)),
                         case_and_paths<step_case>);

// The lognormal step moves one log spot per path by the draws of all its factors in one pass: on every
// instruction set a batch gives each path the bits of that path stepped alone.
struct lognormal_case {
  std::string name;
  size_t factors;
  bool shifted;
};

void PrintTo(const lognormal_case& c, std::ostream* out) { *out << c.name; }

class LognormalStepsOnEveryInstructionSet : public ::testing::TestWithParam<std::tuple<lognormal_case, size_t>> {};

TEST_P(LognormalStepsOnEveryInstructionSet, GiveEachPathTheBitsOfThatPathSteppedAlone) {
  const auto& [c, paths] = GetParam();
  // Volatilities that change twice over the dates, different per factor, mildly correlated factors.
  matrix<double> volatilities(3, c.factors), correlation(c.factors, c.factors);
  for (size_t k = 0; k < c.factors; ++k) {
    const double f = static_cast<double>(k);
    for (size_t r = 0; r < 3; ++r) volatilities(r, k) = 0.15 + 0.05 * static_cast<double>(r) - 0.02 * f;
    for (size_t j = 0; j < c.factors; ++j) correlation(k, j) = k == j ? 1.0 : 0.25;
  }
  const parameter_lognormal parameter(volatilities, correlation, hjm_test::days({200, 1500, 3000}),
                                      std::make_shared<const day_count_convention>());
  const model_lognormal model(parameter, valuation(), simulation_dates);
  const auto measure = c.shifted ? shifting_measure(c.factors) : std::make_shared<const change_of_measure>();
  const double drift = 0.013;

  std::mt19937 generator(static_cast<unsigned>(paths + c.factors));
  const matrix<double> start = normals(1, paths, 0.1, generator);
  std::vector<matrix<double>> draws;
  for (size_t step = 1; step < simulation_dates.size(); ++step)
    draws.push_back(normals(c.factors, paths, 1.0, generator));

  std::vector<matrix<double>> expected(draws.size(), matrix<double>(1, paths));
  for (size_t p = 0; p < paths; ++p) {
    matrix<double> state = column(start, p);
    for (size_t step = 1; step < simulation_dates.size(); ++step) {
      model.evolve(*measure, step, column(draws[step - 1], p), state, drift);
      expected[step - 1](0, p) = state(0, 0);
    }
  }

  on_every_instruction_set([&](const char* target) {
    matrix<double> state = start;
    for (size_t step = 1; step < simulation_dates.size(); ++step) {
      model.evolve(*measure, step, draws[step - 1], state, drift);
      ASSERT_TRUE(same_bits(state, expected[step - 1])) << target << ", step " << step;
    }
  });
}

INSTANTIATE_TEST_SUITE_P(LognormalSteps, LognormalStepsOnEveryInstructionSet,
                         ::testing::Combine(::testing::Values(lognormal_case{"OneFactor", 1, false},
                                                              lognormal_case{"TwoFactorsShiftedMeasure", 2, true},
                                                              lognormal_case{"ThreeFactors", 3, false}),
                                            ::testing::Values(1, 3, 7, 8, 9, 16, 17, 33, 1000)),
                         case_and_paths<lognormal_case>);

}  // namespace
}  // namespace qavrek
