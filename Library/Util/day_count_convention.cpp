#include "Util/day_count_convention.h"

#include <cmath>
#include <limits>
#include <utility>

#include "Core/check.h"

namespace qavrek {
namespace {

// 30/360 bond basis: a start on the 31st counts as the 30th; an end on the 31st counts as the 30th
// when the start is on the 30th or 31st. The time of day counts as actual days.
double thirty_360(const datetime& from, const datetime& to) {
  int d1 = from.day();
  int d2 = to.day();
  if (d1 == 31) d1 = 30;
  if (d2 == 31 && d1 >= 30) d2 = 30;
  const double days = 360.0 * (to.year() - from.year()) + 30.0 * (to.month() - from.month()) + (d2 - d1);
  const double time_of_day = (to.serial() - std::floor(to.serial())) - (from.serial() - std::floor(from.serial()));
  return (days + time_of_day) / 360.0;
}

// Each calendar year's share of [from, to] over that year's length.
double act_act_isda(const datetime& from, const datetime& to) {
  const int first_year = from.year(), last_year = to.year();
  if (first_year == last_year) return (to.serial() - from.serial()) / (datetime::is_leap_year(first_year) ? 366 : 365);
  const double first_end = datetime(first_year + 1, 1, 1).serial();
  const double last_start = datetime(last_year, 1, 1).serial();
  return (first_end - from.serial()) / (datetime::is_leap_year(first_year) ? 366 : 365) + (last_year - first_year - 1) +
         (to.serial() - last_start) / (datetime::is_leap_year(last_year) ? 366 : 365);
}

}  // namespace

day_count_convention::day_count_convention(day_count_convention_type type, ptr_const<qavrek::calendar> calendar)
    : type_(type), calendar_(std::move(calendar)) {
  initialize();
}

void day_count_convention::set_calendar(ptr_const<qavrek::calendar> calendar) noexcept {
  calendar_ = std::move(calendar);
}

void day_count_convention::initialize() const {
  const auto type = static_cast<std::int32_t>(type_);
  QAVREK_CHECK(type >= 0 && type <= 4, "unknown day count convention type ", type);
  QAVREK_CHECK(type_ != day_count_convention_type::BUSINESS_252 || calendar_ != nullptr,
               "the business/252 day count convention needs a calendar");
}

double day_count_convention::fraction(const datetime& from, const datetime& to) const {
  if (!from.is_valid() || !to.is_valid()) return std::numeric_limits<double>::quiet_NaN();
  return to < from ? -forward_fraction(to, from) : forward_fraction(from, to);
}

double day_count_convention::forward_fraction(const datetime& from, const datetime& to) const {
  switch (type_) {
    case day_count_convention_type::ACT_365F:
      return (to.serial() - from.serial()) / 365.0;
    case day_count_convention_type::ACT_360:
      return (to.serial() - from.serial()) / 360.0;
    case day_count_convention_type::THIRTY_360:
      return thirty_360(from, to);
    case day_count_convention_type::ACT_ACT_ISDA:
      return act_act_isda(from, to);
    case day_count_convention_type::BUSINESS_252:
      QAVREK_CHECK(calendar_ != nullptr, "the business/252 day count convention needs a calendar");
      return static_cast<double>(calendar_->business_days_between(from, to)) / 252.0;
  }
  QAVREK_FAIL("unknown day count convention type ", static_cast<std::int32_t>(type_));
}

}  // namespace qavrek
