#include "Instrument/instrument_ir_swaption.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "Core/error.h"
#include "Instrument/interest_rate_swap.h"
#include "Market/discount_curve.h"
#include "Market/survival_curve.h"
#include "Util/datetime_helper.h"
#include "Util/day_count_convention.h"
#include "Util/tenor.h"
#include "Vectorization/tensor.h"
#include "Vectorization/vector.h"
#include "flat_path_curves.h"

namespace qavrek {
namespace {

const datetime today(2024, 6, 28);
const datetime expiry(2026, 6, 29);
const datetime maturity(2031, 6, 30);
const auto act360 = std::make_shared<const day_count_convention>(day_count_convention_type::ACT_360);
const auto act365 = std::make_shared<const day_count_convention>();

ptr_const<discount_curve> flat(double rate, const datetime& date = today) {
  return std::make_shared<const discount_curve>(date, rate);
}

TEST(InstrumentIrSwaption, StrikesAreRatiosOfTheSwapRateOrAbsolute) {
  const instrument_ir_swaption ratios(true, flat(0.03), expiry, maturity, tenor("1Y"), act360, {0.5, 1.0, 2.0});
  const double atm = ratios.swap()->swap_rate();
  EXPECT_EQ(ratios.strikes(), (std::vector<double>{0.5 * atm, atm, 2.0 * atm}));
  EXPECT_TRUE(ratios.is_ratios());
  EXPECT_TRUE(ratios.is_call());
  EXPECT_EQ(ratios.size(), 3u);

  const instrument_ir_swaption absolute(false, flat(0.03), expiry, maturity, tenor("1Y"), act360, {0.01, 0.04}, false);
  EXPECT_EQ(absolute.strikes(), (std::vector<double>{0.01, 0.04}));
  EXPECT_FALSE(absolute.is_call());

  const instrument_ir_swaption none(true, flat(0.03), expiry, maturity, tenor("1Y"), act360);
  EXPECT_EQ(none.size(), 0u);
  EXPECT_THROW(instrument_ir_swaption(true, flat(0.03), expiry, maturity, tenor("1Y"), act360, {NAN}), Error);
}

TEST(InstrumentIrSwaption, PaysTheExerciseValueOnEveryPath) {
  const std::vector<double> rates{0.01, 0.035, 0.06};
  const std::vector<double> strikes{0.02, 0.035, 0.05};
  for (const bool is_call : {true, false}) {
    const instrument_ir_swaption swaption(is_call, flat(0.03), expiry, maturity, tenor("6M"), act360, strikes, false);
    tensor<double> output({strikes.size(), rates.size()});
    swaption.value(expiry, {std::make_shared<const flat_paths::flat_rate_paths>(rates)}, output);
    for (size_t j = 0; j < rates.size(); ++j) {
      // Path j seen from the expiry is a flat ACT/365F curve: the same swap on it gives S_j and A_j.
      const interest_rate_swap at_expiry(flat(rates[j], expiry), expiry, maturity, tenor("6M"), act360);
      for (size_t k = 0; k < strikes.size(); ++k) {
        const double exercise =
            std::max((is_call ? 1.0 : -1.0) * (at_expiry.swap_rate() - strikes[k]), 0.0) * at_expiry.annuity();
        // Values of order 0.1 built from sums of exponentials.
        EXPECT_NEAR(output[k * rates.size() + j], exercise, 1e-15) << is_call << " path " << j << " strike " << k;
      }
    }
  }
}

TEST(InstrumentIrSwaption, OnTheMarketCurveTheExerciseValueIsTheForwardIntrinsic) {
  const auto curve = flat(0.027);
  const instrument_ir_swaption swaption(true, curve, expiry, maturity, tenor("1Y"), act360, {0.8, 1.25});
  tensor<double> output({2, 1});
  swaption.value(expiry, {curve}, output);
  // From the expiry the annuity is A / P(expiry) and the swap rate unchanged.
  const interest_rate_swap& swap = *swaption.swap();
  const double forward_annuity = swap.annuity() / curve->df(today, expiry);
  EXPECT_NEAR(output[0], (swap.swap_rate() - swaption.strikes()[0]) * forward_annuity, 1e-15);
  EXPECT_EQ(output[1], 0.0);
}

TEST(InstrumentIrSwaption, RefusesWhatItCannotValue) {
  const instrument_ir_swaption swaption(true, flat(0.02), expiry, maturity, tenor("1Y"), act365, {1.0});
  tensor<double> output({1, 4});
  EXPECT_THROW(swaption.value(today, {flat(0.02)}, output), Error);
  EXPECT_THROW(swaption.value(expiry, {}, output), Error);
  EXPECT_THROW(swaption.value(expiry, {std::make_shared<const survival_curve>(today, 0.01)}, output), Error);
  tensor<double> wrong({2, 4});
  EXPECT_THROW(swaption.value(expiry, {flat(0.02)}, wrong), Error);
}

TEST(InstrumentIrSwaption, HasOneEventAndNoLifeCycle) {
  const instrument_ir_swaption swaption(true, flat(0.02), expiry, maturity, tenor("1Y"), act365, {1.0});
  std::vector<datetime> dates{today, datetime(2030, 1, 1), expiry};
  swaption.update_event_dates(dates);
  EXPECT_EQ(dates, (std::vector<datetime>{today, expiry, datetime(2030, 1, 1)}));
  EXPECT_EQ(swaption.make_life_cycle_data(), nullptr);
  tensor<double> output({1, 2}, 7.0);
  swaption.value_american_events(expiry, {flat(0.02)}, nullptr, output);
  EXPECT_EQ(output[0], 7.0);
}

}  // namespace
}  // namespace qavrek
