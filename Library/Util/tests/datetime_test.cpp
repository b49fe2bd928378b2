#include "Util/datetime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

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

// The supported years are 1 to 9999; their first and last days (-693593 and 2958465, as Python's own
// date arithmetic counts them from 1899-12-30) are dates, anything past them an error; NaN is "no date".
TEST(Datetime, SerialNumbersOutsideTheSupportedYearsAreRefused) {
  struct serial_case {
    const char* label;
    double serial;
    const char* text;  // nullptr: refused
  };
  const double inf = std::numeric_limits<double>::infinity();
  const serial_case cases[] = {
      {"first day", -693593.0, "0001-01-01"},
      {"last day, late evening", 2958465.999, "9999-12-31"},
      {"just before the first day", std::nextafter(-693593.0, -inf), nullptr},
      {"first day past the last", 2958466.0, nullptr},
      {"far future", 1e12, nullptr},
      {"far past", -1e12, nullptr},
      {"plus infinity", inf, nullptr},
      {"minus infinity", -inf, nullptr},
  };
  for (const serial_case& c : cases) {
    SCOPED_TRACE(c.label);
    if (c.text) {
      EXPECT_EQ(datetime(c.serial).to_string(), c.text);
    } else {
      try {
        (void)datetime(c.serial);
        ADD_FAILURE() << "accepted " << c.serial;
      } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("is not a date of the years 1 to 9999"), std::string::npos) << e.what();
      }
    }
  }
  EXPECT_FALSE(datetime(std::numeric_limits<double>::quiet_NaN()).is_valid());
  EXPECT_EQ(datetime(std::numeric_limits<double>::quiet_NaN()).to_string(), "no date");

  EXPECT_EQ(datetime(1, 1, 1).serial(), -693593.0);
  EXPECT_EQ(datetime(9999, 12, 31).serial(), 2958465.0);
  EXPECT_THROW(datetime(0, 12, 31), Error);
  EXPECT_THROW(datetime(10000, 1, 1), Error);
}

TEST(Datetime, TextForm) {
  EXPECT_EQ(datetime(2020, 1, 31).to_string(), "2020-01-31");
  EXPECT_EQ(datetime(43861.5).to_string(), "2020-01-31");
  EXPECT_EQ(datetime(1800, 1, 1).to_string(), "1800-01-01");
}

}  // namespace
}  // namespace qavrek
