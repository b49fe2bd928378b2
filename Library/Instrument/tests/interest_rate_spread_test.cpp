#include "Instrument/interest_rate_spread.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "Core/error.h"
#include "Instrument/interest_rate_swap.h"
#include "Market/discount_curve.h"
#include "Util/datetime_helper.h"
#include "Util/day_count_convention.h"
#include "Util/tenor.h"

namespace qavrek {
namespace {

const datetime today(2024, 5, 15);

datetime plus(const datetime& date, const char* period) { return datetime_helper::add_tenor(date, tenor(period)); }

TEST(InterestRateSpread, IsTheWeightedDifferenceOfItsSwapRates) {
  const auto curve = std::make_shared<const discount_curve>(
      today, std::vector<datetime>{datetime(2026, 5, 15), datetime(2034, 5, 15), datetime(2054, 5, 15)},
      std::vector<double>{0.95, 0.72, 0.31});
  const auto act360 = std::make_shared<const day_count_convention>(day_count_convention_type::ACT_360);
  const datetime expiry = plus(today, "1Y");
  // The short swap of 2Y3M ends on a stub date that is not one of the long swap's dates.
  const interest_rate_spread spread(curve, expiry, plus(expiry, "10Y"), plus(expiry, "27M"), tenor("6M"), act360, 1.5, 0.5);

  const interest_rate_swap& long_swap = *spread.long_swap();
  const interest_rate_swap& short_swap = *spread.short_swap();
  EXPECT_EQ(long_swap.maturity(), plus(expiry, "10Y"));
  EXPECT_EQ(short_swap.maturity(), plus(expiry, "27M"));
  EXPECT_EQ(spread.expiry(), expiry);
  EXPECT_EQ(spread.all_dates(), datetime_helper::merge_dates(long_swap.all_dates(), short_swap.all_dates()));
  ASSERT_EQ(spread.dfs().size(), spread.all_dates().size());
  for (size_t i = 0; i < spread.all_dates().size(); ++i) EXPECT_EQ(spread.dfs()[i], curve->df(today, spread.all_dates()[i]));

  // Rates of a few percent from sums of order-one terms.
  for (const double strike : {0.0, 0.012}) {
    EXPECT_NEAR(spread.value(strike, spread.dfs()), 1.5 * long_swap.swap_rate() - 0.5 * short_swap.swap_rate() - strike,
                1e-15);
  }
  const interest_rate_spread unit(curve, expiry, plus(expiry, "10Y"), plus(expiry, "2Y"), tenor("6M"), act360);
  EXPECT_EQ(unit.long_weight(), 1.0);
  EXPECT_EQ(unit.short_weight(), 1.0);
  EXPECT_THROW(unit.value(0.0, std::vector<double>(3, 1.0)), Error);
}

}  // namespace
}  // namespace qavrek
