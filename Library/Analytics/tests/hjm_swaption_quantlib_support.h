#pragma once

// QuantLib counterparts of the swaption test fixtures: the same curve nodes and our swaps' own schedules.

#include <ql/currencies/europe.hpp>
#include <ql/exercise.hpp>
#include <ql/indexes/iborindex.hpp>
#include <ql/instruments/swaption.hpp>
#include <ql/instruments/vanillaswap.hpp>
#include <ql/math/interpolations/loginterpolation.hpp>
#include <ql/settings.hpp>
#include <ql/termstructures/yield/discountcurve.hpp>
#include <ql/time/calendars/nullcalendar.hpp>
#include <ql/time/daycounters/actual365fixed.hpp>
#include <ql/time/schedule.hpp>

#include <vector>

#include "Analytics/tests/hjm_swaption_test_support.h"

namespace qavrek::hjm_swaption_test {

namespace ql = QuantLib;

inline ql::Date to_ql(const datetime& date) { return ql::Date(static_cast<ql::Date::serial_type>(date.serial())); }

// The market curve as QuantLib's log-linear discount curve on the same nodes.
inline ql::Handle<ql::YieldTermStructure> ql_curve() {
  ql::Settings::instance().evaluationDate() = to_ql(valuation());
  std::vector<ql::Date> nodes{to_ql(valuation())};
  std::vector<ql::DiscountFactor> factors{1.0};
  for (size_t i = 0; i < curve_dates().size(); ++i) {
    nodes.push_back(to_ql(curve_dates()[i]));
    factors.push_back(curve_dfs()[i]);
  }
  return ql::Handle<ql::YieldTermStructure>(
      ql::ext::make_shared<ql::InterpolatedDiscountCurve<ql::LogLinear>>(nodes, factors, ql::Actual365Fixed()));
}

// The payer swaption on our swap's schedule at the given strike. The index forecasts each floating coupon
// as P(start) / P(end) - 1 on the same curve, so the floating leg is worth P(start) - P(end) as ours.
inline ql::ext::shared_ptr<ql::Swaption> ql_swaption(const interest_rate_swap& swap, double strike,
                                              const ql::Handle<ql::YieldTermStructure>& curve) {
  const ql::TimeUnit units[] = {ql::Days, ql::Weeks, ql::Months, ql::Years};
  const ql::Period period(swap.frequency().count(), units[static_cast<int>(swap.frequency().units())]);
  std::vector<ql::Date> dates;
  for (const datetime& date : swap.all_dates()) dates.push_back(to_ql(date));
  const ql::Schedule schedule(dates);
  const auto index = ql::ext::make_shared<ql::IborIndex>("single curve", period, 0, ql::EURCurrency(),
                                                         ql::NullCalendar(), ql::Unadjusted, false,
                                                         ql::Actual365Fixed(), curve);
  const auto underlying = ql::ext::make_shared<ql::VanillaSwap>(ql::Swap::Payer, 1.0, schedule, strike,
                                                                ql::Actual365Fixed(), schedule, index, 0.0,
                                                                ql::Actual365Fixed());
  return ql::ext::make_shared<ql::Swaption>(underlying,
                                            ql::ext::make_shared<ql::EuropeanExercise>(to_ql(swap.expiry())));
}

}  // namespace qavrek::hjm_swaption_test
