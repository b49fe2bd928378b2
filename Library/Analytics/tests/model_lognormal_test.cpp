#include "Analytics/models/model_lognormal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "simulation_test_support.h"

namespace qavrek::simulation_test {
namespace {

const datetime valuation(2024, 1, 1);
const std::vector<datetime> volatility_dates{datetime(2024, 7, 1), datetime(2025, 1, 1), datetime(2026, 1, 1)};

// Two factors whose volatilities change at every date, so that reading a neighbouring row shows.
parameter_lognormal two_factors() {
  return parameter_lognormal({{0.20, 0.10}, {0.30, 0.15}, {0.25, 0.05}}, {{1.0, 0.4}, {0.4, 1.0}}, volatility_dates,
                             std::make_shared<const day_count_convention>());
}

// The schedule read day by day, independently of the model's date arithmetic: row r applies on
// (d_{r-1}, d_r], the last row also after d_last; ACT/365F.
double daily_variance(const parameter_lognormal& p, size_t factor, const datetime& from, const datetime& to) {
  double variance = 0.0;
  for (double day = from.serial() + 1.0; day <= to.serial(); day += 1.0) {
    size_t row = 0;
    while (row + 1 < p.volatilities_dates().size() && p.volatilities_dates()[row].serial() < day) ++row;
    variance += p.volatilities()(row, factor) * p.volatilities()(row, factor) / 365.0;
  }
  return variance;
}

TEST(ModelLognormal, IncrementalVolatilitiesIntegrateThePiecewiseSchedule) {
  struct case_ {
    const char* label;
    std::vector<datetime> dates;
  };
  const std::vector<case_> cases = {
      {"on the volatility dates",
       {valuation, datetime(2024, 7, 1), datetime(2025, 1, 1), datetime(2026, 1, 1), datetime(2027, 1, 1)}},
      {"between them", {valuation, datetime(2024, 3, 1), datetime(2024, 5, 1), datetime(2025, 6, 1), datetime(2025, 9, 1)}},
      {"across several at once", {valuation, datetime(2026, 6, 1)}},
      {"across one, ending on the next", {datetime(2024, 3, 1), datetime(2025, 1, 1)}},
      {"a day on each side of a date", {valuation, datetime(2024, 6, 30), datetime(2024, 7, 2)}},
      {"after the last date", {datetime(2026, 3, 1), datetime(2027, 3, 1), datetime(2029, 3, 1)}},
  };
  const parameter_lognormal p = two_factors();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const model_lognormal model(p, valuation, c.dates);
    const matrix<double>& table = model.incremental_volatility();
    ASSERT_EQ(table.rows(), c.dates.size());
    ASSERT_EQ(table.columns(), 2u);
    datetime previous = valuation;
    for (size_t i = 0; i < c.dates.size(); ++i) {
      for (size_t k = 0; k < 2; ++k) {
        const double expected = std::sqrt(daily_variance(p, k, previous, c.dates[i]));
        // Sums of up to about a thousand daily terms against a few pieces: rounding of order 1e-13.
        EXPECT_NEAR(table(i, k), expected, 1e-12 * expected) << "date " << c.dates[i] << ", factor " << k;
      }
      previous = c.dates[i];
    }
  }
}

TEST(ModelLognormal, AStepInsideOnePeriodKeepsItsRowAndItsSign) {
  // A negative volatility stays negative inside its period: its correlation with the other factors holds.
  const parameter_lognormal p({{-0.2, 0.1}, {0.3, 0.15}}, {{1.0, 0.4}, {0.4, 1.0}},
                              {datetime(2025, 1, 1), datetime(2026, 1, 1)},
                              std::make_shared<const day_count_convention>());
  const model_lognormal model(p, valuation, {valuation, datetime(2024, 3, 1), datetime(2025, 1, 1)});
  const matrix<double>& table = model.incremental_volatility();
  EXPECT_EQ(table(0, 0), 0.0);
  EXPECT_EQ(table(0, 1), 0.0);
  EXPECT_DOUBLE_EQ(table(1, 0), -0.2 * std::sqrt(60.0 / 365.0));
  EXPECT_DOUBLE_EQ(table(2, 1), 0.1 * std::sqrt(306.0 / 365.0));
  EXPECT_DOUBLE_EQ(table(2, 0), -0.2 * std::sqrt(306.0 / 365.0));

  const model_lognormal none(p, valuation, {});
  EXPECT_EQ(none.incremental_volatility().rows(), 0u);
  EXPECT_EQ(none.incremental_volatility().columns(), 2u);
}

// One step by hand: x += sum_k s_k (Z_k - m_k) - s'Cs / 2 + drift, m_k = sum_l vol(step, l) corr(k, l).
TEST(ModelLognormal, EvolveAddsTheShiftedDrawsAndTheConvexity) {
  const parameter_lognormal p = two_factors();
  const std::vector<datetime> dates{valuation, datetime(2024, 4, 1), datetime(2024, 10, 1)};
  const model_lognormal model(p, valuation, dates);
  const matrix<double> draws{{0.3, -1.2, 2.0}, {-0.7, 0.4, 1.1}};
  const change_of_measure none;
  const change_of_measure shifted(matrix<double>{{0.5, -0.2}, {0.1, 0.3}},
                                  matrix<double>{{0.0, 0.0}, {0.02, 0.01}, {0.03, 0.04}});
  for (const size_t step : {size_t{1}, size_t{2}}) {
    for (const change_of_measure* measure : {&none, &shifted}) {
      const double* s = model.incremental_volatility()[step];
      const double variance = s[0] * s[0] + s[1] * s[1] + 2.0 * 0.4 * s[0] * s[1];
      vector<double> state{0.1, -0.2, 0.0};
      const vector<double> start = state;
      model.evolve(*measure, step, draws, state, 0.007);
      for (size_t j = 0; j < 3; ++j) {
        double expected = start[j] + 0.007 - 0.5 * variance;
        for (size_t k = 0; k < 2; ++k) expected += s[k] * (draws(k, j) - measure->row_dot(step, k));
        // A handful of roundings of numbers below one.
        EXPECT_NEAR(state[j], expected, 1e-15) << "step " << step << ", path " << j;
      }
    }
  }
}

TEST(ModelLognormal, RefusesWhatItCannotSimulate) {
  const parameter_lognormal p = two_factors();
  const parameter_lognormal no_dates(matrix<double>(0, 2), {{1.0, 0.0}, {0.0, 1.0}}, {},
                                     std::make_shared<const day_count_convention>());
  const model_lognormal model(p, valuation, {valuation, datetime(2024, 6, 1)});
  matrix<double> wrong_shape(2, 3);
  vector<double> state(3);
  const std::vector<std::pair<std::string, std::function<void()>>> cases = {
      {"is before the valuation date", [&] { model_lognormal(p, valuation, {datetime(2023, 12, 1)}); }},
      {"is not after the one before it",
       [&] { model_lognormal(p, valuation, {datetime(2024, 6, 1), datetime(2024, 6, 1)}); }},
      {"no volatility date", [&] { model_lognormal(no_dates, valuation, {valuation}); }},
      {"do not fit in 2 x 3", [&] { model.incremental_volatility_sv({valuation}, wrong_shape); }},
      {"is not one of the 2 simulation dates", [&] { model.evolve(change_of_measure(), 2, matrix<double>(2, 3), state); }},
      {"the draws have 1 rows for 2 factors", [&] { model.evolve(change_of_measure(), 1, matrix<double>(1, 3), state); }},
      {"expression has diferrent size 4 than destination 3",
       [&] { model.evolve(change_of_measure(), 1, matrix<double>(2, 4), state); }},
  };
  for (const auto& [expected, action] : cases) {
    const std::string message = error_message(action);
    EXPECT_NE(message.find(expected), std::string::npos) << "got: " << message;
  }
}

}  // namespace
}  // namespace qavrek::simulation_test
