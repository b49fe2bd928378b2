#pragma once

#include <compare>
#include <iosfwd>
#include <limits>
#include <string>

namespace qavrek {

// A point in time: the serial day number counted from 1899-12-30 (so 2020-01-01 is 43831);
// a fractional part is a time of day. NaN means "no date".
class datetime {
 public:
  constexpr datetime() noexcept = default;
  constexpr explicit datetime(double serial) noexcept : serial_(serial) {}
  // A calendar date; an impossible date (2021-02-30) is an error.
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
  double serial_ = std::numeric_limits<double>::quiet_NaN();
};

// Writes to_string(), for messages and reports.
std::ostream& operator<<(std::ostream& out, const datetime& date);

}  // namespace qavrek
