// The single-curve swap and its Black swaption volatility against QuantLib on flat curves.
#include <gtest/gtest.h>

#include <ql/currencies/europe.hpp>
#include <ql/exercise.hpp>
#include <ql/indexes/iborindex.hpp>
#include <ql/instruments/swaption.hpp>
#include <ql/instruments/vanillaswap.hpp>
#include <ql/pricingengines/swap/discountingswapengine.hpp>
#include <ql/pricingengines/swaption/blackswaptionengine.hpp>
#include <ql/settings.hpp>
#include <ql/termstructures/yield/flatforward.hpp>
#include <ql/time/calendars/nullcalendar.hpp>
#include <ql/time/daycounters/actual360.hpp>
#include <ql/time/daycounters/actual365fixed.hpp>
#include <ql/time/daycounters/thirty360.hpp>
#include <ql/time/schedule.hpp>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Instrument/interest_rate_swap.h"
#include "Market/discount_curve.h"
#include "Util/datetime_helper.h"
#include "Util/day_count_convention.h"
#include "Util/tenor.h"

namespace qavrek {
namespace {

namespace ql = QuantLib;

// Both count days from 1899-12-30.
ql::Date to_ql(const datetime& date) { return ql::Date(static_cast<ql::Date::serial_type>(date.serial())); }

ql::Period to_ql(const tenor& period) {
  const ql::TimeUnit units[] = {ql::Days, ql::Weeks, ql::Months, ql::Years};
  return ql::Period(period.count(), units[static_cast<int>(period.units())]);
}

struct swap_case {
  std::string name;
  datetime today;
  const char *start, *length, *frequency;
  day_count_convention_type type;
  double rate;
};

// Forward-starting swaps with month-end dates, a short last period, and each fixed-leg day count.
const std::vector<swap_case> cases{
    {"1Y x 5Y annual 30/360", datetime(2024, 1, 31), "1Y", "5Y", "1Y", day_count_convention_type::THIRTY_360, 0.03},
    {"2Y x 10Y semi-annual ACT/360", datetime(2024, 3, 15), "2Y", "10Y", "6M", day_count_convention_type::ACT_360, 0.045},
    {"6M x 7Y3M annual ACT/365F", datetime(2023, 8, 31), "6M", "87M", "1Y", day_count_convention_type::ACT_365F, 0.012},
    {"10Y x 20Y quarterly ACT/360", datetime(2024, 2, 29), "10Y", "20Y", "3M", day_count_convention_type::ACT_360, 0.021},
    {"caplet 3M x 6M", datetime(2024, 5, 2), "3M", "6M", "6M", day_count_convention_type::ACT_360, 0.05},
};

ql::DayCounter ql_day_counter(day_count_convention_type type) {
  switch (type) {
    case day_count_convention_type::ACT_360:
      return ql::Actual360();
    case day_count_convention_type::THIRTY_360:
      return ql::Thirty360(ql::Thirty360::BondBasis);
    default:
      return ql::Actual365Fixed();
  }
}

// The QuantLib side of one case: a flat continuously-compounded ACT/365F curve, the same unadjusted
// schedule for both legs, and a floating index on that curve with no fixing lag and the ACT/365F day
// count on both the index and the floating leg, so that a period pays P(start) / P(end) - 1.
struct quantlib_market {
  explicit quantlib_market(const swap_case& c, const interest_rate_swap& swap) {
    ql::Settings::instance().evaluationDate() = to_ql(c.today);
    curve.linkTo(ql::ext::make_shared<ql::FlatForward>(to_ql(c.today), c.rate, ql::Actual365Fixed()));
    const ql::Period frequency = to_ql(tenor(c.frequency));
    schedule = ql::Schedule(to_ql(swap.expiry()), to_ql(swap.maturity()), frequency, ql::NullCalendar(), ql::Unadjusted,
                            ql::Unadjusted, ql::DateGeneration::Forward, false);
    index = ql::ext::make_shared<ql::IborIndex>("single curve", frequency, 0, ql::EURCurrency(), ql::NullCalendar(),
                                                ql::Unadjusted, false, ql::Actual365Fixed(), curve);
  }

  ql::ext::shared_ptr<ql::VanillaSwap> make_swap(ql::Swap::Type type, double fixed_rate, const swap_case& c) const {
    auto swap = ql::ext::make_shared<ql::VanillaSwap>(type, 1.0, schedule, fixed_rate, ql_day_counter(c.type), schedule,
                                                      index, 0.0, ql::Actual365Fixed());
    swap->setPricingEngine(ql::ext::make_shared<ql::DiscountingSwapEngine>(curve));
    return swap;
  }

  ql::RelinkableHandle<ql::YieldTermStructure> curve;
  ql::Schedule schedule;
  ql::ext::shared_ptr<ql::IborIndex> index;
};

interest_rate_swap our_swap(const swap_case& c) {
  const datetime expiry = datetime_helper::add_tenor(c.today, tenor(c.start));
  return interest_rate_swap(std::make_shared<const discount_curve>(c.today, c.rate), expiry,
                            datetime_helper::add_tenor(expiry, tenor(c.length)), tenor(c.frequency),
                            std::make_shared<const day_count_convention>(c.type));
}

TEST(SwapAgainstQuantLib, FairRateAnnuityAndSchedule) {
  for (const auto& c : cases) {
    const interest_rate_swap swap = our_swap(c);
    const quantlib_market market(c, swap);
    const auto reference = market.make_swap(ql::Swap::Payer, 0.02, c);

    ASSERT_EQ(market.schedule.size(), swap.all_dates().size()) << c.name;
    for (size_t i = 0; i < swap.all_dates().size(); ++i) EXPECT_EQ(to_ql(swap.all_dates()[i]), market.schedule[i]) << c.name;
    // Both sides sum the same few dozen discounted cash flows of order one, in their own order: a few
    // ulps of annuities up to ~15 (fixedLegBPS is per basis point), of rates and values below 1.
    EXPECT_NEAR(swap.swap_rate(), reference->fairRate(), 1e-15) << c.name;
    EXPECT_NEAR(swap.annuity(), std::abs(reference->fixedLegBPS()) / 1e-4, 1e-14) << c.name;
    EXPECT_NEAR(swap.value(0.02, swap.dfs()), reference->NPV(), 1e-14) << c.name;
    EXPECT_EQ(swap.is_caplet(), market.schedule.size() == 2) << c.name;
  }
}

// Prices from QuantLib's Black engine (its volatility time on the swap's day count) give back their
// volatility, for payers and receivers.
TEST(SwapAgainstQuantLib, BlackSwaptionPricesImplyTheirVolatility) {
  for (const auto& c : cases) {
    const interest_rate_swap swap = our_swap(c);
    const quantlib_market market(c, swap);
    // Strikes and volatilities that leave every option some time value (at most three standard deviations
    // out of or in the money), so that the volatility is well determined by the price.
    for (const double moneyness : {0.8, 1.0, 1.25}) {
      for (const double volatility : {0.15, 0.4}) {
        for (const auto type : {ql::Swap::Payer, ql::Swap::Receiver}) {
          const double strike = moneyness * swap.swap_rate();
          ql::Swaption swaption(market.make_swap(type, strike, c),
                                ql::ext::make_shared<ql::EuropeanExercise>(to_ql(swap.expiry())));
          swaption.setPricingEngine(
              ql::ext::make_shared<ql::BlackSwaptionEngine>(market.curve, volatility, ql_day_counter(c.type)));
          const double is_call = type == ql::Swap::Payer ? 1.0 : -1.0;
          // QuantLib's forward and annuity agree with ours to a few ulps (above), which moves a price by
          // ~1e-16; over a vega of at least ~1e-5 that is ~1e-11 in volatility.
          EXPECT_NEAR(swap.implied_volatility(swaption.NPV(), strike, is_call), volatility, 1e-10)
              << c.name << " moneyness " << moneyness << " volatility " << volatility << " call " << is_call;
        }
      }
    }
  }
}

}  // namespace
}  // namespace qavrek
