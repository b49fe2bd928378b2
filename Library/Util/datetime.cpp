#include "Util/datetime.h"

#include <cmath>
#include <cstdio>
#include <ostream>

#include "Core/check.h"

namespace qavrek {
namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's civil-date algorithms).
constexpr long days_from_civil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

struct civil {
  long year;
  unsigned month;
  unsigned day;
};

civil civil_from_days(long z) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long y = static_cast<long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {y + (m <= 2), m, d};
}

// 1899-12-30 is day -25569 counted from 1970-01-01.
constexpr long serial_epoch = -25569;

civil civil_of(const datetime& date) {
  QAVREK_CHECK(date.is_valid(), "the date is not set");
  return civil_from_days(static_cast<long>(std::floor(date.serial())) + serial_epoch);
}

}  // namespace

void datetime::refuse_serial(double serial) {
  static_assert(days_from_civil(first_year, 1, 1) - serial_epoch == first_serial &&
                days_from_civil(last_year + 1, 1, 1) - serial_epoch == end_serial);
  QAVREK_FAIL("the serial number ", serial, " is not a date of the years ", first_year, " to ", last_year);
}

datetime::datetime(int year, int month, int day) {
  QAVREK_CHECK(year >= first_year && year <= last_year, "year ", year, " is not between ", first_year, " and ",
               last_year);
  QAVREK_CHECK(month >= 1 && month <= 12, "month ", month, " is not between 1 and 12");
  QAVREK_CHECK(day >= 1 && day <= days_in_month(year, month), "day ", day, " is not a day of ", year, "-", month);
  serial_ = static_cast<double>(days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
                                serial_epoch);
}

int datetime::year() const { return static_cast<int>(civil_of(*this).year); }
int datetime::month() const { return static_cast<int>(civil_of(*this).month); }
int datetime::day() const { return static_cast<int>(civil_of(*this).day); }

int datetime::weekday() const {
  QAVREK_CHECK(is_valid(), "the date is not set");
  const long days = static_cast<long>(std::floor(serial_)) + serial_epoch;  // 1970-01-01 was a Thursday
  return static_cast<int>(((days % 7) + 11) % 7);
}

bool datetime::is_leap_year(int year) noexcept { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int datetime::days_in_month(int year, int month) {
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  QAVREK_CHECK(month >= 1 && month <= 12, "month ", month, " is not between 1 and 12");
  return month == 2 && is_leap_year(year) ? 29 : days[month - 1];
}

std::string datetime::to_string() const {
  if (!is_valid()) return "no date";
  const civil c = civil_of(*this);
  char text[32];
  std::snprintf(text, sizeof text, "%04ld-%02u-%02u", c.year, c.month, c.day);
  return text;
}

std::ostream& operator<<(std::ostream& out, const datetime& date) { return out << date.to_string(); }

}  // namespace qavrek
