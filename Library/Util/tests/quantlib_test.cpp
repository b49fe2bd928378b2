// The dates, day counts and option formulas checked against QuantLib, which computes each of them
// independently.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <ql/pricingengines/blackformula.hpp>
#include <ql/time/calendars/bespokecalendar.hpp>
#include <ql/time/date.hpp>
#include <ql/time/daycounters/actual360.hpp>
#include <ql/time/daycounters/actual365fixed.hpp>
#include <ql/time/daycounters/actualactual.hpp>
#include <ql/time/daycounters/business252.hpp>
#include <ql/time/daycounters/thirty360.hpp>
#include <ql/time/period.hpp>
#include <vector>

#include "Util/bachelier.h"
#include "Util/black_scholes.h"
#include "Util/datetime_helper.h"
#include "Util/day_count_convention.h"

namespace qavrek {
namespace {

namespace ql = QuantLib;

constexpr double eps = std::numeric_limits<double>::epsilon();

datetime from_ql(const ql::Date& date) {
  return datetime(static_cast<int>(date.year()), static_cast<int>(date.month()), static_cast<int>(date.dayOfMonth()));
}

ql::Date to_ql(const datetime& date) {
  return ql::Date(static_cast<ql::Day>(date.day()), static_cast<ql::Month>(date.month()),
                  static_cast<ql::Year>(date.year()));
}

TEST(QuantLibDates, SerialNumbersAndFieldsOfEveryDay) {
  // QuantLib's whole date range, 1901 to 2199, day by day.
  for (ql::Date date(1, ql::January, 1901); date <= ql::Date(31, ql::December, 2199); ++date) {
    const datetime ours = from_ql(date);
    ASSERT_EQ(ours.serial(), static_cast<double>(date.serialNumber())) << date;
    ASSERT_EQ(ours.weekday() + 1, static_cast<int>(date.weekday())) << date;  // QuantLib counts Sunday as 1
  }
}

// Days that exercise the month-end and leap-year rules, over the turns of 2000 and 2100.
std::vector<datetime> awkward_days() {
  std::vector<datetime> days;
  for (const int year : {1999, 2000, 2019, 2020, 2099, 2100}) {
    for (const int month : {1, 2, 3, 8, 11, 12}) {
      for (const int day : {1, 15, 28, 29, 30, 31}) {
        if (day <= datetime::days_in_month(year, month)) days.push_back(datetime(year, month, day));
      }
    }
  }
  return days;
}

TEST(QuantLibDates, AddTenorMatchesDatePlusPeriod) {
  struct period {
    int count;
    ql::TimeUnit units;
    const char* text;
  };
  const period periods[] = {{1, ql::Days, "1D"},   {3, ql::Weeks, "3W"},   {1, ql::Months, "1M"},
                            {2, ql::Months, "2M"}, {6, ql::Months, "6M"},  {18, ql::Months, "18M"},
                            {1, ql::Years, "1Y"},  {10, ql::Years, "10Y"}, {30, ql::Years, "30Y"}};
  for (const datetime& day : awkward_days()) {
    for (const auto& p : periods) {
      for (const int sign : {1, -1}) {
        const ql::Date date = to_ql(day);
        const ql::Date expected = date + ql::Period(sign * p.count, p.units);
        if (expected.year() > 2199) continue;  // beyond QuantLib's dates
        EXPECT_EQ(datetime_helper::add_tenor(day, tenor(p.text), sign), from_ql(expected))
            << day << " " << sign << " x " << p.text;
      }
    }
  }
}

TEST(QuantLibDayCounts, YearFractionsOfEveryPairOfAwkwardDays) {
  const std::vector<datetime> days = awkward_days();
  std::vector<datetime> holidays{datetime(2000, 1, 3), datetime(2019, 12, 25), datetime(2020, 1, 1),
                                 datetime(2099, 12, 31)};
  ql::BespokeCalendar bespoke("weekends and four holidays");
  bespoke.addWeekend(ql::Saturday);
  bespoke.addWeekend(ql::Sunday);
  for (const datetime& holiday : holidays) bespoke.addHoliday(to_ql(holiday));

  struct convention {
    day_count_convention ours;
    ql::DayCounter theirs;
  };
  const convention conventions[] = {
      {day_count_convention(day_count_convention_type::ACT_365F), ql::Actual365Fixed()},
      {day_count_convention(day_count_convention_type::ACT_360), ql::Actual360()},
      {day_count_convention(day_count_convention_type::THIRTY_360), ql::Thirty360(ql::Thirty360::BondBasis)},
      {day_count_convention(day_count_convention_type::ACT_ACT_ISDA), ql::ActualActual(ql::ActualActual::ISDA)},
      {day_count_convention(day_count_convention_type::BUSINESS_252, std::make_shared<const calendar>(true, holidays)),
       ql::Business252(bespoke)},
  };
  for (const auto& c : conventions) {
    for (const datetime& from : days) {
      for (const datetime& to : days) {
        if (to < from) continue;  // QuantLib's conventions differ on reversed dates; ours are antisymmetric
        const double expected = c.theirs.yearFraction(to_ql(from), to_ql(to));
        // The same whole-day counts; ACT/ACT sums its year pieces in its own order.
        EXPECT_NEAR(c.ours.fraction(from, to), expected, 4 * eps * std::max(1.0, expected))
            << c.theirs.name() << " " << from << " " << to;
      }
    }
  }
}

struct market {
  double forward, strike, expiry, volatility;
};

std::vector<market> black_grid() {
  std::vector<market> cases;
  for (const double forward : {0.03, 1.0, 100.0})
    for (const double moneyness : {0.25, 0.5, 0.8, 0.95, 1.0, 1.05, 1.25, 2.0, 4.0})
      for (const double expiry : {0.01, 0.5, 1.0, 10.0, 30.0})
        for (const double volatility : {0.01, 0.05, 0.2, 0.5, 1.0, 3.0})
          cases.push_back({forward, forward * moneyness, expiry, volatility});
  return cases;
}

ql::Option::Type option_type(double call_put) { return call_put > 0 ? ql::Option::Call : ql::Option::Put; }

TEST(QuantLibBlack, PriceAndVega) {
  const double discount = 0.93;
  for (const auto& m : black_grid()) {
    const double std_dev = m.volatility * std::sqrt(m.expiry);
    // Prices to 1e-12 of the larger of forward and strike, the scale of the formula's terms.
    const double scale = 1e-12 * discount * std::max(m.forward, m.strike);
    for (const double call_put : {1.0, -1.0}) {
      EXPECT_NEAR(black_scholes::price(m.forward, m.strike, m.expiry, m.volatility, discount, call_put),
                  ql::blackFormula(option_type(call_put), m.strike, m.forward, std_dev, discount), scale)
          << m.forward << " " << m.strike << " " << m.expiry << " " << m.volatility << " " << call_put;
    }
    EXPECT_NEAR(black_scholes::vega(m.forward, m.strike, m.expiry, m.volatility, discount),
                ql::blackFormulaVolDerivative(m.strike, m.forward, std_dev, m.expiry, discount),
                scale * std::sqrt(m.expiry));
  }
}

// How far an implied volatility may stray: the price formula rounds terms no larger than the forward
// and the strike, which over vega becomes a volatility error.
double black_implied_tolerance(const market& m) {
  const double vega = black_scholes::vega(m.forward, m.strike, m.expiry, m.volatility, 1.0);
  return 8 * eps * (m.forward + m.strike) / vega + 4 * eps * m.volatility;
}

TEST(QuantLibBlack, ImpliedVolatility) {
  const double discount = 0.93;
  int compared = 0;
  for (const auto& m : black_grid()) {
    const double std_dev = m.volatility * std::sqrt(m.expiry);
    for (const double call_put : {1.0, -1.0}) {
      const double price = ql::blackFormula(option_type(call_put), m.strike, m.forward, std_dev, discount);
      const double time_value = price / discount - std::max(call_put * (m.forward - m.strike), 0.0);
      // Too little time value to carry a volatility, or so much that no finite volatility reaches it
      // (the price sits on the forward or the strike to rounding).
      if (time_value <= 1e-10 * std::max(m.forward, m.strike)) continue;
      if (time_value >= (1 - 16 * eps) * std::min(m.forward, m.strike)) continue;
      SCOPED_TRACE(::testing::Message() << m.forward << " " << m.strike << " " << m.expiry << " " << m.volatility << " "
                                        << call_put);
      const double ours = black_scholes::implied_volatility(m.forward, m.strike, m.expiry, price, discount, call_put);
      const double tolerance = black_implied_tolerance(m);
      EXPECT_NEAR(ours, m.volatility, tolerance);
      const double theirs = ql::blackFormulaImpliedStdDev(option_type(call_put), m.strike, m.forward, price, discount,
                                                          0.0, ql::Null<ql::Real>(), 1e-14, 1000) /
                            std::sqrt(m.expiry);
      EXPECT_NEAR(ours, theirs, tolerance + 1e-14 / std::sqrt(m.expiry));
      ++compared;
    }
  }
  EXPECT_GT(compared, 1000);
}

double normal_density(double x) { return std::exp(-0.5 * x * x) / std::sqrt(2 * std::numbers::pi); }
double normal_cdf(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }

// The rounding of a Bachelier price: relative eps on the intrinsic value and on the two terms
// s phi(z) and |F - K| N(-z) of the time value.
double bachelier_price_rounding(const market& m) {
  const double s = m.volatility * std::sqrt(m.expiry);
  const double distance = std::abs(m.forward - m.strike);
  const double z = distance / s;
  return 8 * eps * (s * normal_density(z) + distance * normal_cdf(-z) + distance);
}

TEST(QuantLibBachelier, PriceAndImpliedVolatility) {
  const double discount = 0.93;
  for (const double forward : {-0.01, 0.0, 0.02, 0.05}) {
    for (const double offset : {-0.04, -0.01, -0.002, 0.0, 0.002, 0.01, 0.04}) {
      for (const double expiry : {0.1, 1.0, 10.0}) {
        for (const double volatility : {0.0005, 0.003, 0.01, 0.03}) {
          const market m{forward, forward + offset, expiry, volatility};
          const double std_dev = volatility * std::sqrt(expiry);
          for (const double call_put : {1.0, -1.0}) {
            SCOPED_TRACE(::testing::Message()
                         << forward << " " << m.strike << " " << expiry << " " << volatility << " " << call_put);
            const auto type = option_type(call_put);
            const double price = ql::bachelierBlackFormula(type, m.strike, forward, std_dev, discount);
            // Rates-sized prices to 1e-12.
            EXPECT_NEAR(bachelier::price(forward, m.strike, expiry, volatility, discount, call_put), price,
                        1e-12 * discount);

            const double time_value = price / discount - std::max(call_put * (forward - m.strike), 0.0);
            if (time_value <= 1e-10 * std::max(std::abs(forward), std::abs(m.strike))) continue;
            const double ours = bachelier::implied_volatility(forward, m.strike, expiry, price, discount, call_put);
            // Back to the volatility within the price's rounding over the volatility derivative
            // sqrt(T) phi(z) (Bachelier round trip) ...
            const double slope = std::sqrt(expiry) * normal_density(offset / std_dev);
            EXPECT_NEAR(ours, volatility, bachelier_price_rounding(m) / slope + 4 * eps * volatility);
            // ... and QuantLib prices it back to the given price within that rounding.
            EXPECT_NEAR(ql::bachelierBlackFormula(type, m.strike, forward, ours * std::sqrt(expiry), discount), price,
                        2 * discount * bachelier_price_rounding(m));
            // QuantLib's implied volatility is the closed-form approximation of Choi, Kim and Kwak, which
            // stays within 7e-10 relative of the exact inverse on this grid.
            const double approximation =
                ql::bachelierBlackFormulaImpliedVol(type, m.strike, forward, expiry, price, discount);
            EXPECT_NEAR(ours, approximation, 2e-9 * volatility);
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace qavrek
