#include "Market/survival_curve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Core/error.h"
#include "Market/currency.h"
#include "Market/default_id.h"
#include "Util/day_count_convention.h"
#include "Vectorization/vector.h"

namespace qavrek {
namespace {

const datetime today(2024, 3, 15);
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// ACT/365F written out, so that the expectations do not lean on the curve's own day count.
double years(const datetime& from, const datetime& to) { return (to.serial() - from.serial()) / 365.0; }

// Hazard rates that rise and fall, and a flat stretch (zero hazard) in the middle.
const std::vector<datetime> node_dates{datetime(2025, 3, 17), datetime(2026, 3, 16), datetime(2027, 3, 15),
                                       datetime(2031, 3, 17)};
const std::vector<double> node_probabilities{0.985, 0.952, 0.952, 0.871};

survival_curve nodes_curve() { return survival_curve(today, node_dates, node_probabilities); }

double expected_log_probability(const datetime& t) {
  std::vector<double> times{0.0};
  std::vector<double> logs{0.0};
  for (size_t i = 0; i < node_dates.size(); ++i) {
    times.push_back(years(today, node_dates[i]));
    logs.push_back(std::log(node_probabilities[i]));
  }
  const double x = years(today, t);
  size_t k = 0;
  while (k + 2 < times.size() && x > times[k + 1]) ++k;
  return logs[k] + (x - times[k]) * (logs[k + 1] - logs[k]) / (times[k + 1] - times[k]);
}

TEST(SurvivalCurve, ReproducesItsNodes) {
  const survival_curve curve = nodes_curve();
  for (size_t i = 0; i < node_dates.size(); ++i) {
    // exp(log(q)) rounds twice.
    EXPECT_NEAR(curve.survival_probability(today, node_dates[i]), node_probabilities[i], 4e-16) << node_dates[i];
  }
  EXPECT_EQ(curve.survival_probability(today, today), 1.0);
}

TEST(SurvivalCurve, InterpolatesLogLinearlyAndExtrapolatesFlatHazardRates) {
  const survival_curve curve = nodes_curve();
  for (const datetime& t : {datetime(2024, 8, 1), datetime(2025, 9, 30), datetime(2026, 11, 11), datetime(2029, 1, 2),
                            datetime(2045, 6, 30)}) {
    // A few roundings of ln Q, each of the size of the log.
    EXPECT_NEAR(curve.log_survival_probability(today, t), expected_log_probability(t), 1e-14) << t;
  }
  // Over the flat stretch nobody defaults.
  EXPECT_EQ(curve.log_survival_probability(node_dates[1], datetime(2026, 9, 1)), 0.0);
  // Past the last date the hazard rate is the last segment's.
  const double hazard = -std::log(node_probabilities[3] / node_probabilities[2]) / years(node_dates[2], node_dates[3]);
  EXPECT_NEAR(curve.survival_probability(node_dates[3], datetime(2041, 3, 15)),
              std::exp(-hazard * years(node_dates[3], datetime(2041, 3, 15))), 1e-14);
}

TEST(SurvivalCurve, FlatHazardRateClosedForm) {
  for (const double hazard : {0.0, 0.013, 0.4}) {
    const survival_curve curve(today, hazard);
    for (const datetime& t : {datetime(2024, 6, 1), datetime(2034, 3, 15)}) {
      // Times exact to a rounding, exponents at most ~4.
      EXPECT_NEAR(curve.log_survival_probability(today, t), -hazard * years(today, t), 1e-15) << hazard;
      EXPECT_NEAR(curve.survival_probability(t, datetime(2040, 1, 1)) * curve.survival_probability(today, t),
                  curve.survival_probability(today, datetime(2040, 1, 1)), 1e-15);
    }
  }
}

TEST(SurvivalCurve, VectorisedQueriesRepeatTheScalarOnEveryPath) {
  for (const survival_curve& curve : {nodes_curve(), survival_curve(today, 0.02)}) {
    vector<double> paths(5, nan);
    const datetime from(2025, 5, 5), to(2029, 12, 12);
    curve.log_survival_probability(paths, from, to);
    for (const double value : paths) EXPECT_EQ(value, curve.log_survival_probability(from, to));
    curve.survival_probability(paths, to);
    for (const double value : paths) EXPECT_EQ(value, curve.survival_probability(today, to));
  }
}

TEST(SurvivalCurve, CarriesItsIdAndKeepsItsDate) {
  const auto id = std::make_shared<const default_id>(key("ACME"), std::make_shared<const currency>(key("USD")),
                                                     key("SNRFOR"), key("XR14"), key("2014"));
  const survival_curve curve(today, 0.01, id);
  EXPECT_EQ(curve.id(), id);
  curve.finalize(datetime(2027, 1, 1));
  EXPECT_EQ(curve.valuation_date(), today);
}

TEST(SurvivalCurve, RefusesBadData) {
  struct case_ {
    std::string name;
    std::vector<datetime> dates;
    std::vector<double> probabilities;
  };
  const datetime a(2025, 1, 1), b(2026, 1, 1);
  for (const auto& c : {case_{"no dates", {}, {}}, case_{"sizes", {a}, {0.9, 0.8}}, case_{"order", {b, a}, {0.9, 0.8}},
                        case_{"rising", {a, b}, {0.8, 0.9}}, case_{"above one", {a}, {1.01}},
                        case_{"zero", {a}, {0.0}}, case_{"nan", {a}, {nan}}}) {
    EXPECT_THROW(survival_curve(today, c.dates, c.probabilities), Error) << c.name;
  }
  EXPECT_THROW(survival_curve(today, -0.01), Error);
  EXPECT_THROW(survival_curve(today, nan), Error);
  EXPECT_THROW(nodes_curve().survival_probability(datetime(), today), Error);
}

// A simulated view answers through the base; what it leaves to the base fails for want of data.
class view : public survival_curve {
 public:
  void survival_probability(vector<double>& output, const datetime&) const override { output.fill(0.25); }
  using survival_curve::survival_probability;
};

TEST(SurvivalCurve, ViewsOverrideTheQueries) {
  const std::shared_ptr<const survival_curve> curve = std::make_shared<view>();
  vector<double> paths(2);
  curve->survival_probability(paths, today);
  EXPECT_EQ(paths[1], 0.25);
  EXPECT_THROW(curve->survival_probability(today, datetime(2026, 1, 1)), Error);
}

}  // namespace
}  // namespace qavrek
