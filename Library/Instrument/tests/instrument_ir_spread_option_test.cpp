#include "Instrument/instrument_ir_spread_option.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "Core/error.h"
#include "Market/discount_curve.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Util/tenor.h"
#include "Vectorization/tensor.h"
#include "Vectorization/vector.h"

namespace qavrek {
namespace {

const datetime today(2024, 6, 28);
const datetime expiry(2026, 6, 29);
const datetime two_years(2028, 6, 29);
const datetime ten_years(2036, 6, 30);
const auto act365 = std::make_shared<const day_count_convention>();

ptr_const<discount_curve> flat(double rate, const datetime& date = today) {
  return std::make_shared<const discount_curve>(date, rate);
}

// A simulated curve at the expiry whose path j has its own short-end and long-end rates: ln P(from, to) =
// -(short_rates[j] t + slopes[j] t^2) in ACT/365F time t, so the spread differs from path to path.
class sloped_paths : public discount_curve {
 public:
  sloped_paths(std::vector<double> short_rates, std::vector<double> slopes)
      : short_rates_(std::move(short_rates)), slopes_(std::move(slopes)) {}
  void log_df(vector<double>& output, const datetime& from, const datetime& to) const override {
    for (size_t j = 0; j < output.size(); ++j) output[j] = log_df_on(j, from, to);
  }
  double log_df_on(size_t j, const datetime& from, const datetime& to) const {
    const double t = (to.serial() - from.serial()) / 365.0;
    return -(short_rates_[j] * t + slopes_[j] * t * t);
  }
  using discount_curve::log_df;

 private:
  std::vector<double> short_rates_;
  std::vector<double> slopes_;
};

TEST(InstrumentIrSpreadOption, TakesTheShortMaturityFirstAndUnitWeights) {
  const instrument_ir_spread_option option(true, flat(0.03), expiry, two_years, ten_years, tenor("1Y"), act365,
                                           {0.0, 0.002});
  EXPECT_EQ(option.spread()->long_swap()->maturity(), ten_years);
  EXPECT_EQ(option.spread()->short_swap()->maturity(), two_years);
  EXPECT_EQ(option.spread()->long_weight(), 1.0);
  EXPECT_EQ(option.spread()->short_weight(), 1.0);
  EXPECT_EQ(option.strikes(), (std::vector<double>{0.0, 0.002}));
  EXPECT_EQ(option.size(), 2u);
  EXPECT_TRUE(option.is_call());
  std::vector<datetime> dates{today};
  option.update_event_dates(dates);
  EXPECT_EQ(dates, (std::vector<datetime>{today, expiry}));
}

TEST(InstrumentIrSpreadOption, PaysTheSpreadOverTheStrikeOnEveryPath) {
  const std::vector<double> short_rates{0.01, 0.03, 0.05}, slopes{0.001, -0.0005, 0.0};
  const auto paths = std::make_shared<const sloped_paths>(short_rates, slopes);
  const std::vector<double> strikes{-0.002, 0.0, 0.004};
  for (const bool is_call : {true, false}) {
    const instrument_ir_spread_option option(is_call, flat(0.03), expiry, two_years, ten_years, tenor("6M"), act365,
                                             strikes);
    tensor<double> output({strikes.size(), short_rates.size()});
    option.value(expiry, {paths}, output);
    const interest_rate_spread& spread = *option.spread();
    for (size_t j = 0; j < short_rates.size(); ++j) {
      std::vector<double> dfs;
      for (const datetime& date : spread.all_dates()) dfs.push_back(std::exp(paths->log_df_on(j, expiry, date)));
      for (size_t k = 0; k < strikes.size(); ++k) {
        const double expected = std::max((is_call ? 1.0 : -1.0) * spread.value(strikes[k], dfs), 0.0);
        // Rates of a few percent as ratios of sums of order-one terms.
        EXPECT_NEAR(output[k * short_rates.size() + j], expected, 1e-15) << is_call << " path " << j;
      }
    }
  }
}

TEST(InstrumentIrSpreadOption, RefusesWhatItCannotValue) {
  const instrument_ir_spread_option option(true, flat(0.03), expiry, two_years, ten_years, tenor("6M"), act365, {0.0});
  tensor<double> output({1, 2});
  EXPECT_THROW(option.value(today, {flat(0.03)}, output), Error);
  EXPECT_THROW(option.value(expiry, {}, output), Error);
  tensor<double> wrong({2, 2});
  EXPECT_THROW(option.value(expiry, {flat(0.03)}, wrong), Error);
  EXPECT_THROW(instrument_ir_spread_option(true, flat(0.03), expiry, two_years, ten_years, tenor("6M"), act365, {NAN}),
               Error);
}

}  // namespace
}  // namespace qavrek
