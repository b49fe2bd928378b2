#include "Market/discount_curve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Core/error.h"
#include "Market/currency.h"
#include "Market/discount_definition.h"
#include "Market/discount_id.h"
#include "Util/day_count_convention.h"
#include "Vectorization/vector.h"

namespace qavrek {
namespace {

const datetime today(2024, 3, 15);
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// ACT/365F written out, so that the expectations do not lean on the curve's own day count.
double years(const datetime& from, const datetime& to) { return (to.serial() - from.serial()) / 365.0; }

// Rates that fall, rise and turn negative, so that every segment has its own forward.
const std::vector<datetime> node_dates{datetime(2024, 9, 16), datetime(2025, 3, 17), datetime(2027, 3, 15),
                                       datetime(2034, 3, 15)};
const std::vector<double> node_dfs{0.9821, 0.9655, 0.9702, 0.8130};

discount_curve nodes_curve() { return discount_curve(today, node_dates, node_dfs); }

// ln P at t by hand: linear in ACT/365F time between (today, 0) and the nodes.
double expected_log_df(const datetime& t) {
  std::vector<double> times{0.0};
  std::vector<double> logs{0.0};
  for (size_t i = 0; i < node_dates.size(); ++i) {
    times.push_back(years(today, node_dates[i]));
    logs.push_back(std::log(node_dfs[i]));
  }
  const double x = years(today, t);
  size_t k = 0;
  while (k + 2 < times.size() && x > times[k + 1]) ++k;
  return logs[k] + (x - times[k]) * (logs[k + 1] - logs[k]) / (times[k + 1] - times[k]);
}

TEST(DiscountCurve, ReproducesItsNodes) {
  const discount_curve curve = nodes_curve();
  for (size_t i = 0; i < node_dates.size(); ++i) {
    // exp(log(df)) rounds twice.
    EXPECT_NEAR(curve.df(today, node_dates[i]), node_dfs[i], 4e-16) << node_dates[i];
  }
  EXPECT_EQ(curve.df(today, today), 1.0);
  EXPECT_EQ(curve.dates(), node_dates);
}

TEST(DiscountCurve, InterpolatesLogLinearlyAndExtrapolatesFlatForwards) {
  const discount_curve curve = nodes_curve();
  // Inside the first segment, inside later ones, and past the last date (the last segment's forward).
  for (const datetime& t : {datetime(2024, 4, 1), datetime(2024, 12, 24), datetime(2026, 2, 1), datetime(2030, 7, 4),
                            datetime(2034, 3, 16), datetime(2054, 1, 1)}) {
    // A few roundings of ln P, each of the size of the log, before the exponential.
    EXPECT_NEAR(curve.log_df(today, t), expected_log_df(t), 1e-14) << t;
  }
  // Past the last date the forward rate is the last segment's.
  const double forward = -std::log(node_dfs[3] / node_dfs[2]) / years(node_dates[2], node_dates[3]);
  EXPECT_NEAR(curve.df(node_dates[3], datetime(2064, 3, 15)),
              std::exp(-forward * years(node_dates[3], datetime(2064, 3, 15))), 1e-14);
  // Before the valuation date the first segment's forward carries on.
  const double first = -std::log(node_dfs[0]) / years(today, node_dates[0]);
  EXPECT_NEAR(curve.df(datetime(2024, 1, 1), today), std::exp(-first * years(datetime(2024, 1, 1), today)), 1e-15);
}

TEST(DiscountCurve, FlatRateClosedForm) {
  struct case_ {
    double rate;
    datetime from, to;
  };
  for (const auto& c : {case_{0.03, today, datetime(2034, 3, 15)}, case_{-0.005, datetime(2025, 1, 31), datetime(2025, 7, 31)},
                        case_{0.12, datetime(2030, 6, 1), datetime(2026, 6, 1)}, case_{0.0, today, datetime(2044, 1, 1)}}) {
    const discount_curve curve(today, c.rate);
    // The times are exact to a rounding; the rate times them at most ~2 in size.
    EXPECT_NEAR(curve.log_df(c.from, c.to), -c.rate * years(c.from, c.to), 1e-15) << c.rate;
    EXPECT_NEAR(curve.df(c.from, c.to) * curve.df(c.to, c.from), 1.0, 4e-16);
  }
}

TEST(DiscountCurve, VectorisedQueriesRepeatTheScalarOnEveryPath) {
  for (const discount_curve& curve : {nodes_curve(), discount_curve(today, 0.025)}) {
    vector<double> paths(7, nan);
    const datetime from(2025, 6, 2), to(2031, 11, 28);
    curve.log_df(paths, from, to);
    for (const double value : paths) EXPECT_EQ(value, curve.log_df(from, to));
    curve.discounting(paths, to);
    for (const double value : paths) EXPECT_EQ(value, curve.df(today, to));
    EXPECT_TRUE(curve.log_normalized_discounting().empty());
  }
}

TEST(DiscountCurve, FinalizeKeepsTheValuationDate) {
  const discount_curve curve = nodes_curve();
  const double before = curve.df(today, datetime(2030, 1, 1));
  curve.finalize(datetime(2026, 1, 1));
  EXPECT_EQ(curve.valuation_date(), today);
  EXPECT_EQ(curve.df(today, datetime(2030, 1, 1)), before);
  EXPECT_THROW(curve.finalize(datetime()), Error);
}

TEST(DiscountCurve, CarriesItsIdAndDayCount) {
  const auto id = std::make_shared<const discount_id>(std::make_shared<const discount_definition>(key("OIS")),
                                                      std::make_shared<const currency>(key("EUR")));
  const auto act360 = std::make_shared<const day_count_convention>(day_count_convention_type::ACT_360);
  const discount_curve curve(today, 0.02, id, act360);
  EXPECT_EQ(curve.id(), id);
  EXPECT_EQ(curve.convention(), act360);
  EXPECT_NEAR(curve.log_df(today, datetime(2025, 3, 15)), -0.02 * 365.0 / 360.0, 1e-16);
  EXPECT_EQ(discount_curve(today, 0.02).id(), nullptr);
  EXPECT_EQ(discount_curve(today, 0.02).convention()->type(), day_count_convention_type::ACT_365F);
}

TEST(DiscountCurve, RefusesBadData) {
  struct case_ {
    std::string name;
    std::vector<datetime> dates;
    std::vector<double> dfs;
  };
  const datetime a(2025, 1, 1), b(2026, 1, 1);
  for (const auto& c : {case_{"no dates", {}, {}}, case_{"sizes", {a, b}, {0.99}}, case_{"order", {b, a}, {0.99, 0.98}},
                        case_{"repeat", {a, a}, {0.99, 0.98}}, case_{"at today", {today, a}, {1.0, 0.98}},
                        case_{"zero", {a}, {0.0}}, case_{"negative", {a}, {-0.5}}, case_{"nan", {a}, {nan}},
                        case_{"infinite", {a}, {std::numeric_limits<double>::infinity()}}}) {
    EXPECT_THROW(discount_curve(today, c.dates, c.dfs), Error) << c.name;
  }
  EXPECT_THROW(discount_curve(today, nan), Error);
  EXPECT_THROW(discount_curve(datetime(), 0.01), Error);
  const discount_curve curve = nodes_curve();
  EXPECT_THROW(curve.df(today, datetime()), Error);
  EXPECT_THROW(curve.log_df(datetime(), today), Error);
}

// A simulated view: its answers reach callers that hold the base, and it has no deterministic data.
class view : public discount_curve {
 public:
  void discounting(vector<double>& output, const datetime&) const override { output.fill(0.5); }
  void finalize(const datetime& date) const override { market_data::finalize(date); }
};

TEST(DiscountCurve, ViewsOverrideTheQueries) {
  const std::shared_ptr<const discount_curve> curve = std::make_shared<view>();
  EXPECT_FALSE(curve->valuation_date().is_valid());
  vector<double> paths(3);
  curve->discounting(paths, today);
  EXPECT_EQ(paths[2], 0.5);
  curve->finalize(datetime(2025, 1, 1));
  EXPECT_EQ(curve->valuation_date(), datetime(2025, 1, 1));
  // A query that the view leaves to the base fails rather than answering from no data.
  EXPECT_THROW(curve->df(today, datetime(2026, 1, 1)), Error);
  EXPECT_THROW(curve->log_df(paths, today, datetime(2026, 1, 1)), Error);
}

}  // namespace
}  // namespace qavrek
