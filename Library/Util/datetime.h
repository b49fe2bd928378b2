#pragma once

#include <compare>
#include <iosfwd>
#include <limits>
#include <string>

namespace qavrek {

// A point in time: the serial day number counted from 1899-12-30 (so 2020-01-01 is 43831);
// a fractional part is a time of day. NaN means "no date". Dates lie in the years 1 to 9999 of the
// proleptic Gregorian calendar.
class datetime {
 public:
  static constexpr int first_year = 1;
  static constexpr int last_year = 9999;

  constexpr datetime() noexcept = default;
  // NaN gives "no date"; a serial that is infinite or outside the supported years is an error.
  constexpr explicit datetime(double serial) : serial_(serial) {
    if (serial == serial && !(serial >= first_serial && serial < end_serial)) refuse_serial(serial);
  }
  // A calendar date; an impossible date (2021-02-30) or a year outside the supported ones is an error.
  datetime(int year, int month, int day);

  constexpr double serial() const noexcept { return serial_; }
  constexpr bool is_valid() const noexcept { return serial_ == serial_; }

  // Calendar fields of the date's day; a date that is not valid is an error.
  int year() const;
  int month() const;
  int day() const;
  // 0 Sunday ... 6 Saturday.
  int weekday() const;

  static bool is_leap_year(int year) noexcept;
  static int days_in_month(int year, int month);

  // "YYYY-MM-DD", or "no date".
  std::string to_string() const;

  // Exact comparison of the serial numbers; a NaN date is unordered and equal to nothing.
  friend constexpr bool operator==(const datetime& a, const datetime& b) noexcept { return a.serial_ == b.serial_; }
  friend constexpr std::partial_ordering operator<=>(const datetime& a, const datetime& b) noexcept {
    return a.serial_ <=> b.serial_;
  }

 private:
  // The serials of 0001-01-01 and of 10000-01-01, the first day past the supported years.
  static constexpr double first_serial = -693593.0;
  static constexpr double end_serial = 2958466.0;

  [[noreturn]] static void refuse_serial(double serial);

  double serial_ = std::numeric_limits<double>::quiet_NaN();
};

// Writes to_string(), for messages and reports.
std::ostream& operator<<(std::ostream& out, const datetime& date);

}  // namespace qavrek
