#include "Util/datetime.h"

#include <gtest/gtest.h>

#include <cmath>

#include "Core/error.h"

namespace qavrek {
namespace {

struct calendar_date {
  int year, month, day;
  double serial;
  int weekday;  // 0 Sunday ... 6 Saturday
};

// Serial numbers counted from 1899-12-30 (the spreadsheet convention) of dates around the leap-year
// rules: 1900 and 2100 are not leap years, 1600, 2000 and 2400 are.
constexpr calendar_date known_dates[] = {
    {1899, 12, 30, 0, 6},      {1900, 1, 1, 2, 1},       {1900, 2, 28, 60, 3},    {1900, 3, 1, 61, 4},
    {1901, 1, 1, 367, 2},      {2000, 2, 28, 36584, 1},  {2000, 2, 29, 36585, 2}, {2000, 3, 1, 36586, 3},
    {2020, 1, 1, 43831, 3},    {2100, 2, 28, 73109, 0},  {2100, 3, 1, 73110, 1},  {1800, 1, 1, -36522, 3},
    {1600, 2, 29, -109512, 2}, {2400, 2, 29, 182682, 2},
};

TEST(Datetime, SerialNumbersAndFieldsOfKnownDates) {
  for (const auto& expected : known_dates) {
    SCOPED_TRACE(::testing::Message() << expected.year << "-" << expected.month << "-" << expected.day);
    const datetime date(expected.year, expected.month, expected.day);
    EXPECT_EQ(date.serial(), expected.serial);
    EXPECT_EQ(date.weekday(), expected.weekday);
    // Back from the serial number, also with a time of day.
    const datetime evening(expected.serial + 0.75);
    EXPECT_EQ(evening.year(), expected.year);
    EXPECT_EQ(evening.month(), expected.month);
    EXPECT_EQ(evening.day(), expected.day);
    EXPECT_EQ(evening.weekday(), expected.weekday);
  }
}

TEST(Datetime, LeapYearRules) {
  EXPECT_TRUE(datetime::is_leap_year(2020));
  EXPECT_TRUE(datetime::is_leap_year(2000));
  EXPECT_TRUE(datetime::is_leap_year(1600));
  EXPECT_FALSE(datetime::is_leap_year(1900));
  EXPECT_FALSE(datetime::is_leap_year(2100));
  EXPECT_FALSE(datetime::is_leap_year(2019));
  EXPECT_EQ(datetime::days_in_month(2000, 2), 29);
  EXPECT_EQ(datetime::days_in_month(2100, 2), 28);
  EXPECT_THROW(datetime(2100, 2, 29), Error);
  EXPECT_THROW(datetime(2021, 4, 31), Error);
  EXPECT_THROW(datetime(2021, 13, 1), Error);
  EXPECT_THROW(datetime(2021, 1, 0), Error);
}

TEST(Datetime, NoDate) {
  const datetime none;
  EXPECT_FALSE(none.is_valid());
  EXPECT_FALSE(none == none);
  EXPECT_EQ(none.to_string(), "no date");
  EXPECT_THROW(none.year(), Error);
  EXPECT_THROW(none.weekday(), Error);
}

TEST(Datetime, TextForm) {
  EXPECT_EQ(datetime(2020, 1, 31).to_string(), "2020-01-31");
  EXPECT_EQ(datetime(43861.5).to_string(), "2020-01-31");
  EXPECT_EQ(datetime(1800, 1, 1).to_string(), "1800-01-01");
}

}  // namespace
}  // namespace qavrek
