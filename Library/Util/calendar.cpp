#include "Util/calendar.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "Core/check.h"

namespace qavrek {
namespace {

std::int64_t whole_day(const datetime& date) { return static_cast<std::int64_t>(std::floor(date.serial())); }

bool is_weekend(std::int64_t day) {
  const int weekday = datetime(static_cast<double>(day)).weekday();
  return weekday == 0 || weekday == 6;
}

// Weekdays (Monday to Friday) among the serial days [0, day), for any day, negative too.
std::int64_t weekdays_before(std::int64_t day) {
  // Serial day 0 (1899-12-30) is a Saturday, so every block of seven days from it holds five weekdays
  // and its first two days are the weekend.
  const std::int64_t weeks = day >= 0 ? day / 7 : -((-day + 6) / 7);
  const std::int64_t rest = day - 7 * weeks;
  return 5 * weeks + std::max<std::int64_t>(rest - 2, 0);
}

}  // namespace

calendar::calendar(bool use_weekends, std::vector<datetime> holidays)
    : use_weekends_(use_weekends), dates_(std::move(holidays)) {
  initialize();
}

void calendar::set_dates(std::vector<datetime> holidays) {
  dates_ = std::move(holidays);
  initialize();
}

void calendar::initialize() {
  for (datetime& date : dates_) {
    QAVREK_CHECK(date.is_valid(), "a holiday of the calendar is not set");
    date = datetime(std::floor(date.serial()));
  }
  std::sort(dates_.begin(), dates_.end(), [](const datetime& a, const datetime& b) { return a < b; });
  dates_.erase(std::unique(dates_.begin(), dates_.end()), dates_.end());
}

bool calendar::is_business_day(const datetime& date) const {
  QAVREK_CHECK(date.is_valid(), "a business day needs a date");
  const std::int64_t day = whole_day(date);
  if (use_weekends_ && is_weekend(day)) return false;
  return !std::binary_search(dates_.begin(), dates_.end(), datetime(static_cast<double>(day)),
                             [](const datetime& a, const datetime& b) { return a < b; });
}

std::int64_t calendar::business_days_between(const datetime& from, const datetime& to) const {
  QAVREK_CHECK(from.is_valid() && to.is_valid(), "counting business days needs two dates");
  const std::int64_t first = whole_day(from), last = whole_day(to);
  return first <= last ? business_days_in(first, last) : -business_days_in(last, first);
}

std::int64_t calendar::business_days_in(std::int64_t first, std::int64_t last) const {
  std::int64_t count = use_weekends_ ? weekdays_before(last) - weekdays_before(first) : last - first;
  const auto by_date = [](const datetime& a, const datetime& b) { return a < b; };
  const auto begin = std::lower_bound(dates_.begin(), dates_.end(), datetime(static_cast<double>(first)), by_date);
  const auto end = std::lower_bound(begin, dates_.end(), datetime(static_cast<double>(last)), by_date);
  // A holiday on a weekend was not counted in the first place.
  count -= std::count_if(begin, end,
                         [&](const datetime& holiday) { return !(use_weekends_ && is_weekend(whole_day(holiday))); });
  return count;
}

}  // namespace qavrek
