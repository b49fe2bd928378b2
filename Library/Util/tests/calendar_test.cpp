#include "Util/calendar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "Core/error.h"

namespace qavrek {
namespace {

TEST(Calendar, DefaultHasWeekendsAndNoHolidays) {
  const calendar c;
  EXPECT_TRUE(c.use_weekends());
  EXPECT_TRUE(c.dates().empty());
  EXPECT_FALSE(c.is_business_day(datetime(2020, 1, 4)));  // Saturday
  EXPECT_FALSE(c.is_business_day(datetime(2020, 1, 5)));  // Sunday
  EXPECT_TRUE(c.is_business_day(datetime(2020, 1, 6)));   // Monday
}

TEST(Calendar, InitializeKeepsWholeHolidaysSortedOnce) {
  calendar c;
  c.set_dates({datetime(2020, 12, 25), datetime(2020, 1, 1), datetime(datetime(2020, 12, 25).serial() + 0.5),
               datetime(2020, 1, 1)});
  const std::vector<datetime> expected{datetime(2020, 1, 1), datetime(2020, 12, 25)};
  EXPECT_EQ(c.dates(), expected);
  c.initialize();
  EXPECT_EQ(c.dates(), expected);
  EXPECT_THROW(c.set_dates({datetime()}), Error);
}

TEST(Calendar, BusinessDays) {
  const calendar with_weekends(true, {datetime(2020, 1, 1), datetime(2020, 1, 4)});
  const calendar without_weekends(false, {datetime(2020, 1, 1)});
  struct case_ {
    datetime date;
    bool with_weekends, without_weekends;
  };
  const case_ cases[] = {
      {datetime(2020, 1, 1), false, false},                           // holiday on a Wednesday
      {datetime(datetime(2020, 1, 1).serial() + 0.9), false, false},  // later that day
      {datetime(2020, 1, 2), true, true},                             // Thursday
      {datetime(2020, 1, 4), false, true},                            // Saturday, also listed as a holiday
      {datetime(2020, 1, 5), false, true},                            // Sunday
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.date.to_string());
    EXPECT_EQ(with_weekends.is_business_day(c.date), c.with_weekends);
    EXPECT_EQ(without_weekends.is_business_day(c.date), c.without_weekends);
  }
  EXPECT_THROW(with_weekends.is_business_day(datetime()), Error);
}

// The counting by weeks and holiday look-up must agree with going day by day.
TEST(Calendar, BusinessDaysBetweenCountsDayByDay) {
  const std::vector<datetime> holidays{datetime(1899, 12, 25), datetime(1900, 1, 1), datetime(1999, 12, 31),
                                       datetime(2000, 1, 1) /* Saturday */, datetime(2000, 1, 3)};
  for (const bool use_weekends : {true, false}) {
    const calendar c(use_weekends, holidays);
    const std::vector<double> ends{-20, -7, -1, 0, 1, 2, 5, 6, 36520, 36523, 36525, 36529, 36540};
    for (const double from : ends) {
      for (const double to : ends) {
        std::int64_t count = 0;
        for (double day = std::min(from, to); day < std::max(from, to); ++day)
          count += c.is_business_day(datetime(day)) ? 1 : 0;
        if (to < from) count = -count;
        SCOPED_TRACE(::testing::Message() << use_weekends << " " << from << " " << to);
        EXPECT_EQ(c.business_days_between(datetime(from), datetime(to)), count);
        // A time of day does not move the count.
        EXPECT_EQ(c.business_days_between(datetime(from + 0.3), datetime(to + 0.6)), count);
      }
    }
  }
}

}  // namespace
}  // namespace qavrek
