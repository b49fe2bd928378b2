// Negative volatilities are kept by the parameter sets where the models are even in their sign: every
// table of an HJM model is the same, to the bit, when a whole volatility row changes sign, and a one-factor
// lognormal spot moves the same with -sigma as with sigma once its draws change sign wherever its step
// volatility does.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/change_of_measure/change_of_measure.h"
#include "Analytics/models/model_lognormal.h"
#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/parameters/parameter_lognormal.h"
#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "parameters_test_support.h"

namespace qavrek::parameters_test {
namespace {

using hjm_type = parameter_markovian_hjm_type;

const datetime valuation(2024, 1, 15);
const std::vector<datetime> simulation_dates{datetime(2024, 9, 15), datetime(2025, 6, 15), datetime(2027, 1, 15)};
// Off the simulation dates, inside the second and last volatility periods.
const std::vector<datetime> query_dates{datetime(2025, 3, 1), datetime(2028, 5, 20)};

::testing::AssertionResult same_bits(const matrix<double>& a, const matrix<double>& b) {
  if (a.rows() != b.rows() || a.columns() != b.columns()) return ::testing::AssertionFailure() << "shapes differ";
  for (size_t i = 0; i < a.rows(); ++i)
    for (size_t j = 0; j < a.columns(); ++j)
      if (a(i, j) != b(i, j)) return ::testing::AssertionFailure() << "(" << i << ", " << j << "): " << a(i, j)
                                                                  << " against " << b(i, j);
  return ::testing::AssertionSuccess();
}

// What the HJM models compute from the volatilities: step volatilities, covariances (simulation and full),
// drifts and the decomposition that the analytic prices use, at simulation dates and between them.
std::vector<matrix<double>> hjm_tables(const parameter_markovian_hjm& set) {
  const size_t n = set.number_of_factors();
  const model_markovian_hjm simulation(set, valuation, simulation_dates, false);
  const model_markovian_hjm full(set, valuation, {}, true);
  std::vector<matrix<double>> tables{simulation.incremental_volatility_sv(), simulation.incremental_volatility_mm()};
  std::vector<datetime> moments = simulation_dates;
  moments.insert(moments.end(), query_dates.begin(), query_dates.end());
  for (const datetime& t : moments) {
    for (const model_markovian_hjm* model : {&simulation, &full}) {
      matrix<double> covariance(n, n);
      model->states_variable_covariance(t, covariance);
      vector<double> drift(n);
      model->state_drift(t, drift);
      matrix<double> loadings(2, n);
      model->decompose(loadings, t, {datetime(2029, 1, 15), datetime(2031, 1, 15)}, true);
      tables.push_back(covariance);
      tables.push_back(matrix<double>(1, n, 0.0));
      for (size_t k = 0; k < n; ++k) tables.back()(0, k) = drift[k];
      tables.push_back(loadings);
    }
  }
  return tables;
}

TEST(NegativeVolatilities, AnHjmRowWhoseEveryVolatilityChangesSignPricesTheSame) {
  struct sign_case {
    const char* label;
    size_t factors;
    std::vector<size_t> flipped_rows;
  };
  const std::vector<sign_case> cases = {
      {"one factor, one row", 1, {1}},
      {"one factor, every row", 1, {0, 1, 2}},
      {"two correlated factors, one row", 2, {0}},
      {"two correlated factors, two rows", 2, {0, 2}},
  };
  const std::vector<datetime> volatility_dates{datetime(2024, 12, 15), datetime(2026, 6, 15), datetime(2030, 1, 15)};
  for (const hjm_type type : {hjm_type::HULL_WHITE, hjm_type::PICEWISE_CONSTANT}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.label) + (type == hjm_type::HULL_WHITE ? ", Hull-White" : ", piecewise constant"));
      const size_t n = c.factors;
      matrix<double> decays(1, n);
      matrix<double> volatilities(3, n);
      matrix<double> correlation(n, n, 0.6);
      for (size_t k = 0; k < n; ++k) {
        decays(0, k) = type == hjm_type::HULL_WHITE ? 0.03 + 0.4 * double(k) : 1.0 - 0.3 * double(k);
        for (size_t r = 0; r < 3; ++r) volatilities(r, k) = 0.01 + 0.002 * double(r) - 0.003 * double(k);
        correlation(k, k) = 1.0;
      }
      matrix<double> flipped = volatilities;
      for (size_t r : c.flipped_rows)
        for (size_t k = 0; k < n; ++k) flipped(r, k) = -flipped(r, k);
      const auto build = [&](const matrix<double>& sigma) {
        return parameter_markovian_hjm(decays, sigma, correlation, {datetime(2030, 1, 15)}, volatility_dates,
                                       act_365(), type);
      };
      const std::vector<matrix<double>> expected = hjm_tables(build(volatilities));
      const std::vector<matrix<double>> actual = hjm_tables(build(flipped));
      ASSERT_EQ(actual.size(), expected.size());
      for (size_t i = 0; i < expected.size(); ++i) EXPECT_TRUE(same_bits(actual[i], expected[i])) << "table " << i;
    }
  }
}

// A one-factor spot: a step within a volatility period carries the volatility's sign, a step across
// periods the root of the summed variances, so the step volatility has the same size either way and each
// step of -sigma with draws z equals the step of sigma with draws sign * z, to the bit.
TEST(NegativeVolatilities, AOneFactorSpotWithTheOppositeVolatilityMovesAsWithOppositeDraws) {
  const std::vector<datetime> volatility_dates{datetime(2024, 12, 15), datetime(2030, 1, 15)};
  struct spot_case {
    const char* label;
    std::vector<double> volatilities;  // one per period
    std::vector<double> flipped;
  };
  const std::vector<spot_case> cases = {
      {"every period", {0.2, 0.3}, {-0.2, -0.3}},
      {"the first period", {0.2, 0.3}, {-0.2, 0.3}},
      {"the second period", {0.2, 0.3}, {0.2, -0.3}},
  };
  const matrix<double> draws{{-1.5, -0.25, 0.0, 0.7, 2.25}};
  const change_of_measure none;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const auto set = [&](const std::vector<double>& sigma) {
      return parameter_lognormal(matrix<double>{{sigma[0]}, {sigma[1]}}, matrix<double>{{1.0}}, volatility_dates,
                                 act_365());
    };
    const parameter_lognormal base = set(c.volatilities);
    const parameter_lognormal flipped = set(c.flipped);
    const model_lognormal base_model(base, valuation, simulation_dates);
    const model_lognormal flipped_model(flipped, valuation, simulation_dates);
    for (size_t step = 0; step < simulation_dates.size(); ++step) {
      const double s = base_model.incremental_volatility()(step, 0);
      const double t = flipped_model.incremental_volatility()(step, 0);
      ASSERT_EQ(std::abs(t), std::abs(s)) << "step " << step;
      matrix<double> signed_draws = draws;
      if (t != s)
        for (double& z : signed_draws) z = -z;
      vector<double> expected(draws.columns(), 4.6);
      vector<double> actual(draws.columns(), 4.6);
      base_model.evolve(none, step, signed_draws, expected);
      flipped_model.evolve(none, step, draws, actual);
      for (size_t p = 0; p < draws.columns(); ++p) EXPECT_EQ(actual[p], expected[p]) << "step " << step << " path " << p;
    }
  }
}

}  // namespace
}  // namespace qavrek::parameters_test
