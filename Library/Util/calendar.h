#pragma once

#include <cstdint>
#include <vector>

#include "Util/datetime.h"

namespace qavrek {

// Business days: every day that is not a holiday and, when use_weekends is set, not a Saturday or
// Sunday. Persisted as "use_weekends" and "dates". The default calendar has weekends and no holidays.
class calendar {
 public:
  calendar() = default;
  calendar(bool use_weekends, std::vector<datetime> holidays);

  bool use_weekends() const noexcept { return use_weekends_; }
  // The holidays as whole days, ascending, without repeats.
  const std::vector<datetime>& dates() const noexcept { return dates_; }

  // Setters for loaders; set_dates initializes at once so that the holidays are always sorted.
  void set_use_weekends(bool use_weekends) noexcept { use_weekends_ = use_weekends; }
  void set_dates(std::vector<datetime> holidays);

  // Truncates the holidays to whole days, sorts them and removes repeats; a date that is not set is
  // an error.
  void initialize();

  // Judged on the date's day, whatever its time of day; a date that is not set is an error.
  bool is_business_day(const datetime& date) const;

  // Business days d with from <= d < to, counted on whole days; minus the count from `to` to `from`
  // when to < from.
  std::int64_t business_days_between(const datetime& from, const datetime& to) const;

 private:
  // Business days in the whole-day range [first, last) with first <= last.
  std::int64_t business_days_in(std::int64_t first, std::int64_t last) const;

  bool use_weekends_ = true;
  std::vector<datetime> dates_;
};

}  // namespace qavrek
