#include "Instrument/instrument_bermudan_swaption.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "Core/error.h"
#include "Instrument/interest_rate_swap.h"
#include "Market/discount_curve.h"
#include "Market/survival_curve.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Util/tenor.h"
#include "Vectorization/tensor.h"
#include "Vectorization/vector.h"
#include "flat_path_curves.h"

namespace qavrek {
namespace {

using flat_paths::flat_rate_paths;

const datetime today(2024, 6, 28);
const std::vector<datetime> expiries{datetime(2025, 6, 30), datetime(2026, 6, 29), datetime(2027, 6, 28)};
const datetime maturity(2030, 6, 28);
const auto act365 = std::make_shared<const day_count_convention>();
const tenor annual("1Y");

ptr_const<discount_curve> flat(double rate, const datetime& date = today) {
  return std::make_shared<const discount_curve>(date, rate);
}

instrument_bermudan_swaption payer(double strike, const std::vector<datetime>& event_dates = {}) {
  return instrument_bermudan_swaption(true, strike, event_dates, flat(0.03), expiries, maturity, annual, act365);
}

TEST(InstrumentBermudanSwaption, IsOneEuropeanSwaptionPerExpiry) {
  const auto bermudan = payer(0.031);
  ASSERT_EQ(bermudan.swaptoins().size(), expiries.size());
  EXPECT_EQ(bermudan.event_dates(), expiries);
  for (size_t i = 0; i < expiries.size(); ++i) {
    const instrument_ir_swaption& swaption = *bermudan.swaptoins()[i];
    EXPECT_EQ(swaption.swap()->expiry(), expiries[i]);
    EXPECT_EQ(swaption.swap()->maturity(), maturity);
    EXPECT_EQ(swaption.strikes(), std::vector<double>{0.031});
    EXPECT_TRUE(swaption.is_call());
  }
  EXPECT_EQ(bermudan.size(), 1u);
  std::vector<datetime> dates{today, datetime(2026, 1, 1)};
  bermudan.update_event_dates(dates);
  EXPECT_EQ(dates, (std::vector<datetime>{today, expiries[0], datetime(2026, 1, 1), expiries[1], expiries[2]}));

  const auto life = std::dynamic_pointer_cast<bermudan_strikes_life_cycle>(bermudan.make_life_cycle_data());
  ASSERT_NE(life, nullptr);
  EXPECT_EQ(life->excution_boundary_strikes(), std::vector<double>(3, 0.031));

  const instrument_bermudan_swaption none(false, 0.02, {}, flat(0.03), {}, maturity, annual, act365);
  EXPECT_TRUE(none.swaptoins().empty());
  tensor<double> output({1, 2}, 5.0);
  none.value(expiries[0], {flat(0.03)}, output);
  EXPECT_EQ(output[0], 0.0);
}

TEST(InstrumentBermudanSwaption, ExercisesIntoTheSwapOfItsEventAtAnyNoticeDate) {
  // Notice two months before each expiry: the swap then starts later, so its value at the notice date is
  // its forward value, F - K A on the discount factors from the notice date.
  const std::vector<datetime> notices{datetime(2025, 4, 30), datetime(2026, 4, 29), datetime(2027, 4, 28)};
  const std::vector<double> rates{0.01, 0.03, 0.06};
  const auto paths = std::make_shared<const flat_rate_paths>(rates);
  for (const bool at_expiry : {true, false}) {
    const auto bermudan = payer(0.031, at_expiry ? std::vector<datetime>{} : notices);
    for (size_t i = 0; i < expiries.size(); ++i) {
      const datetime notice = at_expiry ? expiries[i] : notices[i];
      tensor<double> output({1, rates.size()});
      bermudan.value(notice, {paths}, output);
      for (size_t j = 0; j < rates.size(); ++j) {
        // The swap on path j's curve seen from the notice date.
        const interest_rate_swap swap(flat(rates[j], notice), expiries[i], maturity, annual, act365);
        EXPECT_NEAR(output[j], std::max(swap.value(0.031, swap.dfs()), 0.0), 1e-15) << i << " path " << j;
      }
    }
    tensor<double> elsewhere({1, rates.size()}, 5.0);
    bermudan.value(datetime(2026, 1, 1), {paths}, elsewhere);
    EXPECT_EQ(elsewhere[0], 0.0);
  }
}

TEST(InstrumentBermudanSwaption, EventsKeepTheBetterValueAndRecordTheBoundary) {
  const std::vector<double> rates{0.02, 0.035, 0.05, 0.04};
  const auto paths = std::make_shared<const flat_rate_paths>(rates);
  const auto bermudan = payer(0.03);
  const auto life = bermudan.make_life_cycle_data();
  auto& boundaries = dynamic_cast<bermudan_strikes_life_cycle&>(*life);

  tensor<double> exercise({1, rates.size()});
  bermudan.value(expiries[1], {paths}, exercise);
  // Holding on is worth more than exercising on path 2 only; path 0 is out of the money.
  tensor<double> held({1, rates.size()}, 0.0);
  held[2] = exercise[2] + 0.01;
  bermudan.value_american_events(expiries[1], {paths}, life.get(), held);
  EXPECT_EQ(held[0], 0.0);
  EXPECT_EQ(held[1], exercise[1]);
  EXPECT_EQ(held[2], exercise[2] + 0.01);
  EXPECT_EQ(held[3], exercise[3]);
  // The lowest swap rate among the exercising paths 1 and 3: path 1's, a flat 3.5% curve.
  const interest_rate_swap swap(flat(0.035, expiries[1]), expiries[1], maturity, annual, act365);
  EXPECT_NEAR(boundaries.excution_boundary_strikes(1), swap.swap_rate(), 1e-15);
  EXPECT_EQ(boundaries.excution_boundary_strikes(0), 0.03);
  EXPECT_EQ(boundaries.excution_boundary_strikes(2), 0.03);

  // A date without an event, or no path exercising, leaves values and boundaries alone.
  tensor<double> rich({1, rates.size()}, 1.0);
  bermudan.value_american_events(expiries[2], {paths}, life.get(), rich);
  bermudan.value_american_events(datetime(2026, 1, 1), {paths}, life.get(), rich);
  EXPECT_EQ(rich[3], 1.0);
  EXPECT_EQ(boundaries.excution_boundary_strikes(2), 0.03);
  bermudan.value_american_events(expiries[0], {paths}, nullptr, held);

  const auto receiver = instrument_bermudan_swaption(false, 0.045, {}, flat(0.03), expiries, maturity, annual, act365);
  const auto receiver_life = receiver.make_life_cycle_data();
  tensor<double> nothing({1, rates.size()}, 0.0);
  receiver.value_american_events(expiries[1], {paths}, receiver_life.get(), nothing);
  // The highest swap rate among the exercising paths 0, 1 and 3: path 3's, a flat 4% curve.
  const interest_rate_swap highest(flat(0.04, expiries[1]), expiries[1], maturity, annual, act365);
  EXPECT_NEAR(dynamic_cast<bermudan_strikes_life_cycle&>(*receiver_life).excution_boundary_strikes(1),
              highest.swap_rate(), 1e-15);
}

TEST(InstrumentBermudanSwaption, WithoutVolatilityIsWorthItsBestExercise) {
  // On one deterministic curve, backward induction discounts the held value from event to event: the
  // Bermudan is worth the best of its European exercise values, each discounted to today.
  const auto market = std::make_shared<const discount_curve>(
      today, std::vector{datetime(2025, 6, 30), datetime(2027, 6, 28), datetime(2031, 6, 30)},
      std::vector{0.975, 0.93, 0.8});
  for (const bool is_call : {true, false}) {
    for (const double strike : {0.02, 0.03, 0.045}) {
      const instrument_bermudan_swaption bermudan(is_call, strike, {}, market, expiries, maturity, annual, act365);
      tensor<double> values({1, 1});
      bermudan.value(expiries.back(), {market}, values);
      for (size_t i = expiries.size() - 1; i-- > 0;) {
        values[0] *= market->df(expiries[i], expiries[i + 1]);
        bermudan.value_american_events(expiries[i], {market}, nullptr, values);
      }
      double best = 0.0;
      for (const auto& swaption : bermudan.swaptoins()) {
        const interest_rate_swap& swap = *swaption->swap();
        best = std::max(best, std::max((is_call ? 1.0 : -1.0) * swap.value(strike, swap.dfs()), 0.0));
      }
      // Products of a few discount factors and sums of order-one terms.
      EXPECT_NEAR(values[0] * market->df(today, expiries[0]), best, 1e-15) << is_call << " " << strike;
    }
  }
}

TEST(InstrumentBermudanSwaption, RefusesInconsistentDates) {
  const auto curve = flat(0.03);
  const std::vector<datetime> late{datetime(2025, 7, 31), datetime(2026, 6, 29), datetime(2027, 6, 28)};
  EXPECT_THROW(payer(0.03, {expiries[0], expiries[1]}), Error);
  EXPECT_THROW(payer(0.03, late), Error);
  EXPECT_THROW(payer(NAN), Error);
  EXPECT_THROW(instrument_bermudan_swaption(true, 0.03, {}, curve, {expiries[1], expiries[0]}, maturity, annual, act365),
               Error);
  const auto bermudan = payer(0.03);
  tensor<double> output({1, 2});
  bermudan_strikes_life_cycle wrong_count(2, 0.03);
  EXPECT_THROW(bermudan.value_american_events(expiries[0], {curve}, &wrong_count, output), Error);
  EXPECT_THROW(bermudan.value(expiries[0], {std::make_shared<const survival_curve>(today, 0.01)}, output), Error);
}

TEST(BermudanStrikesLifeCycle, HoldsOneBoundaryPerEvent) {
  bermudan_strikes_life_cycle original(3, 0.05);
  EXPECT_EQ(original.excution_boundary_strikes(), std::vector<double>(3, 0.05));
  bermudan_strikes_life_cycle copy(original);
  copy.excution_boundary_strikes(1) = 0.07;
  EXPECT_EQ(copy.excution_boundary_strikes(), (std::vector<double>{0.05, 0.07, 0.05}));
  EXPECT_EQ(original.excution_boundary_strikes(), std::vector<double>(3, 0.05));
  EXPECT_THROW(original.excution_boundary_strikes(3), Error);
  EXPECT_TRUE(bermudan_strikes_life_cycle(0, 0.05).excution_boundary_strikes().empty());
}

}  // namespace
}  // namespace qavrek
