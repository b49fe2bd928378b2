#pragma once

#include <cstddef>
#include <vector>

#include "Util/datetime.h"
#include "Util/tenor.h"

namespace qavrek {

// Date arithmetic and the date-vector operations behind piecewise-constant parameters: row k of a
// parameter dated d_0 < d_1 < ... applies on (d_{k-1}, d_k] (row 0 up to d_0), and after the last date
// the last row applies.
class datetime_helper {
 public:
  // date + count x tenor in calendar days, weeks, months or years, keeping the time of day. Months and
  // years move the calendar month and clamp the day to the month's end (2020-01-31 + 1M = 2020-02-29);
  // the count scales the tenor before that (2020-01-31 + 2 x 1M = 2020-03-31). No business-day
  // adjustment. A date that is not set is an error.
  static datetime add_tenor(const datetime& date, const tenor& period, int count = 1);

  // Adds a and b to `out`: afterwards `out` holds the dates it held, those of a and those of b,
  // ascending and without repeats, so that a seeded date vector collects its parameters' dates. `out`
  // may be a or b. A date that is not set is an error and leaves `out` as it was.
  static void merge_dates(const std::vector<datetime>& a, const std::vector<datetime>& b, std::vector<datetime>& out);
  // The sorted union of a and b without repeats.
  static std::vector<datetime> merge_dates(const std::vector<datetime>& a, const std::vector<datetime>& b);

  // For each date, the index of the first reference date at or after it, and the last index for a date
  // after every reference date: the parameter row that applies to the date. The reference dates must
  // be strictly increasing and not empty; the dates must be set.
  static void interpolate_from_subset_dates(const std::vector<datetime>& dates, const std::vector<datetime>& reference,
                                            std::vector<std::size_t>& out);
  static std::vector<std::size_t> interpolate_from_subset_dates(const std::vector<datetime>& dates,
                                                                const std::vector<datetime>& reference);

  // Position of t among ascending dates. With last_not_after: the last date <= t, 0 when t is before
  // the first date or not set. Otherwise: the first date >= t, the last position when t is after every
  // date, 0 when t is not set. Empty dates are an error.
  static std::size_t date_offset(const datetime& t, const std::vector<datetime>& dates, bool last_not_after);

  // For each date of `subset`, its position in the strictly increasing `dates`. A subset date that is
  // not one of the dates is an error.
  static void index_subset_dates(const std::vector<datetime>& subset, const std::vector<datetime>& dates,
                                 std::vector<std::size_t>& out);
  static std::vector<std::size_t> index_subset_dates(const std::vector<datetime>& subset,
                                                     const std::vector<datetime>& dates);
};

}  // namespace qavrek
