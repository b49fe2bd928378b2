#include "Util/datetime_helper.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>

#include "Core/check.h"

namespace qavrek {
namespace {

// Keeps adding a tenor within exact integer arithmetic.
constexpr std::int64_t largest_year = 1000000;

bool by_serial(const datetime& a, const datetime& b) { return a < b; }

void check_all_set(const std::vector<datetime>& dates, const char* name) {
  for (const datetime& date : dates) QAVREK_CHECK(date.is_valid(), "a date of ", name, " is not set");
}

void check_strictly_increasing(const std::vector<datetime>& dates, const char* name) {
  for (std::size_t i = 1; i < dates.size(); ++i)
    QAVREK_CHECK(dates[i - 1] < dates[i], name, " are not strictly increasing: date ", i, " (", dates[i].to_string(),
                 ") is not after date ", i - 1, " (", dates[i - 1].to_string(), ")");
  if (dates.size() == 1) QAVREK_CHECK(dates[0].is_valid(), "the only date of ", name, " is not set");
}

datetime add_months(const datetime& date, std::int64_t months) {
  const std::int64_t month_index = std::int64_t{date.year()} * 12 + (date.month() - 1) + months;
  const std::int64_t year = month_index >= 0 ? month_index / 12 : -((-month_index + 11) / 12);
  QAVREK_CHECK(year >= datetime::first_year && year <= datetime::last_year, "adding ", months, " months to ",
               date.to_string(), " leaves the calendar");
  const int month = static_cast<int>(month_index - 12 * year) + 1;
  const int day = std::min(date.day(), datetime::days_in_month(static_cast<int>(year), month));
  const double time_of_day = date.serial() - std::floor(date.serial());
  return datetime(datetime(static_cast<int>(year), month, day).serial() + time_of_day);
}

}  // namespace

datetime datetime_helper::add_tenor(const datetime& date, const tenor& period, int count) {
  QAVREK_CHECK(date.is_valid(), "adding the tenor ", period.to_string(), " needs a date");
  const std::int64_t periods = std::int64_t{period.count()} * count;
  const bool calendar_months = period.units() == tenor::unit::MONTHS || period.units() == tenor::unit::YEARS;
  QAVREK_CHECK(!calendar_months || (periods >= -12 * largest_year && periods <= 12 * largest_year), "adding ", count,
               " x ", period.to_string(), " to ", date.to_string(), " leaves the calendar");
  switch (period.units()) {
    case tenor::unit::DAYS:
      return datetime(date.serial() + static_cast<double>(periods));
    case tenor::unit::WEEKS:
      return datetime(date.serial() + 7.0 * static_cast<double>(periods));
    case tenor::unit::MONTHS:
      return add_months(date, periods);
    case tenor::unit::YEARS:
      return add_months(date, 12 * periods);
  }
  QAVREK_FAIL("unknown tenor unit ", static_cast<std::int32_t>(period.units()));
}

void datetime_helper::merge_dates(const std::vector<datetime>& a, const std::vector<datetime>& b,
                                  std::vector<datetime>& out) {
  check_all_set(a, "the first merged dates");
  check_all_set(b, "the second merged dates");
  check_all_set(out, "the dates merged into");
  // Built aside, since out may be a or b.
  std::vector<datetime> merged;
  merged.reserve(out.size() + a.size() + b.size());
  merged.insert(merged.end(), out.begin(), out.end());
  merged.insert(merged.end(), a.begin(), a.end());
  merged.insert(merged.end(), b.begin(), b.end());
  std::sort(merged.begin(), merged.end(), by_serial);
  merged.erase(std::unique(merged.begin(), merged.end()), merged.end());
  out = std::move(merged);
}

std::vector<datetime> datetime_helper::merge_dates(const std::vector<datetime>& a, const std::vector<datetime>& b) {
  std::vector<datetime> out;
  merge_dates(a, b, out);
  return out;
}

void datetime_helper::interpolate_from_subset_dates(const std::vector<datetime>& dates,
                                                    const std::vector<datetime>& reference,
                                                    std::vector<std::size_t>& out) {
  QAVREK_CHECK(!reference.empty(), "there are no reference dates to interpolate from");
  check_strictly_increasing(reference, "the reference dates");
  check_all_set(dates, "the interpolated dates");
  out.resize(dates.size());
  const std::size_t last = reference.size() - 1;
  for (std::size_t i = 0; i < dates.size(); ++i) {
    const auto first_not_before = std::lower_bound(reference.begin(), reference.end(), dates[i], by_serial);
    out[i] = std::min(static_cast<std::size_t>(std::distance(reference.begin(), first_not_before)), last);
  }
}

std::vector<std::size_t> datetime_helper::interpolate_from_subset_dates(const std::vector<datetime>& dates,
                                                                        const std::vector<datetime>& reference) {
  std::vector<std::size_t> out;
  interpolate_from_subset_dates(dates, reference, out);
  return out;
}

std::size_t datetime_helper::date_offset(const datetime& t, const std::vector<datetime>& dates, bool last_not_after) {
  QAVREK_CHECK(!dates.empty(), "there are no dates to find ", t.to_string(), " among");
  if (!t.is_valid()) return 0;
  if (last_not_after) {
    const auto first_after = std::upper_bound(dates.begin(), dates.end(), t, by_serial);
    return first_after == dates.begin() ? 0 : static_cast<std::size_t>(std::distance(dates.begin(), first_after)) - 1;
  }
  const auto first_not_before = std::lower_bound(dates.begin(), dates.end(), t, by_serial);
  return std::min(static_cast<std::size_t>(std::distance(dates.begin(), first_not_before)), dates.size() - 1);
}

void datetime_helper::index_subset_dates(const std::vector<datetime>& subset, const std::vector<datetime>& dates,
                                         std::vector<std::size_t>& out) {
  check_strictly_increasing(dates, "the dates indexed into");
  std::vector<std::size_t> positions(subset.size());
  for (std::size_t i = 0; i < subset.size(); ++i) {
    const auto found = std::lower_bound(dates.begin(), dates.end(), subset[i], by_serial);
    QAVREK_CHECK(found != dates.end() && *found == subset[i], "date ", i, " of the subset (", subset[i].to_string(),
                 ") is not one of the dates");
    positions[i] = static_cast<std::size_t>(std::distance(dates.begin(), found));
  }
  out = std::move(positions);
}

std::vector<std::size_t> datetime_helper::index_subset_dates(const std::vector<datetime>& subset,
                                                             const std::vector<datetime>& dates) {
  std::vector<std::size_t> out;
  index_subset_dates(subset, dates, out);
  return out;
}

}  // namespace qavrek
