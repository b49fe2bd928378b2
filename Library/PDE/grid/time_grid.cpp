#include "PDE/grid/time_grid.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "Core/check.h"
#include "Util/datetime_helper.h"

namespace qavrek {
namespace {

// Gaps and steps shorter than this count as zero.
constexpr double eps = std::numeric_limits<double>::epsilon();
constexpr size_t max_dates = time_grid_config::max_dates;

using type = time_grid_config::time_grid_type;

void sort_without_repeats(std::vector<double>& dates) {
  std::sort(dates.begin(), dates.end());
  dates.erase(std::unique(dates.begin(), dates.end()), dates.end());
}

void check_step(double step, const char* name) {
  QAVREK_CHECK(std::isfinite(step) && step >= 0.0, "the ", name,
               " of a time grid must be a finite number of days >= 0, not ", step);
}

// The number of whole steps in a gap (both positive), truncated, refused when the grid would then hold more than
// max_dates dates besides the `held` it has: before any of them is made.
size_t whole_steps(double gap, double step, size_t held) {
  const double steps = gap / step;
  QAVREK_CHECK(steps <= double(max_dates - std::min(held, max_dates)), "a time grid gap of ", gap,
               " days would take ", steps, " steps of ", step, " days: a time grid holds at most ", max_dates,
               " dates");
  return size_t(steps);
}

std::vector<double> stepped_dates(const time_grid_config& config, double from, const std::vector<double>& keys) {
  std::vector<double> dates = keys;
  const double fine = config.fine_step();
  const double coarse = config.coarse_step();
  if (keys.size() < 2 || (std::abs(fine) < eps && std::abs(coarse) < eps)) return dates;
  auto add = [&](double date) { dates.push_back(config.round_to_days() ? std::ceil(date) : date); };

  const double limit = std::min(keys.back(), std::fma(double(config.fine_steps()), fine, from));
  double t = keys.front();
  // The fine region; a fine step of zero has none.
  if (keys[1] >= limit && fine >= eps) {
    dates.reserve(dates.size() + (t < limit ? whole_steps(limit - t, fine, dates.size() + 1) + 1 : 0));
    while (t < limit) {
      const double next = t + fine;
      QAVREK_CHECK(next > t, "a fine step of ", fine, " days does not move past day ", t);
      add(t = next);
    }
  }
  // The gaps, the first one cut again from the earliest key date.
  for (double key : keys) {
    const double gap = key - t;
    if (std::abs(gap) < eps) continue;
    if (gap > 0.0) {
      const double step = key <= limit ? fine : coarse;
      if (step >= eps) {
        const size_t n = whole_steps(gap, step, dates.size());
        if (n >= 2) {
          const double h = gap / double(n);
          double date = t;
          for (size_t i = 1; i < n; ++i) add(date += h);
          add(key);
        }
      }
    }
    t = key;
  }
  sort_without_repeats(dates);
  return dates;
}

void rannacher_dates(const time_grid_config& config, bool forward, const std::vector<double>& keys,
                     std::vector<double> events, std::vector<double>& dates, std::vector<bool>& flags) {
  std::map<double, bool> grid;
  for (double e : events) grid.emplace(e, true);
  std::sort(events.begin(), events.end());
  auto is_event = [&events](double date) { return std::binary_search(events.begin(), events.end(), date); };

  const double coarse = config.coarse_step();
  // Without a coarse step every gap between key dates would be one step, however long.
  QAVREK_CHECK(coarse >= eps, "a Rannacher time grid needs a coarse step of more than 0 days, not ", coarse);
  const size_t fine_steps = config.fine_steps();
  // Dates the map will hold at most: the events, the key dates and, per gap, its steps and implicit dates.
  size_t held = events.size() + keys.size();
  double previous = keys.front();
  for (double key : keys) {
    const double gap = key - previous;
    if (std::abs(gap) < eps) continue;
    const double step = gap < coarse ? gap : coarse;
    const size_t n = whole_steps(gap, step, held + fine_steps);
    held += n + fine_steps;
    const double h = gap / double(n);
    const double spacing = std::min(config.fine_step(), step / double(fine_steps));
    for (size_t i = 1; i < n; ++i) grid.emplace(previous + h * double(i), false);
    const double end = forward ? previous : key;
    const double direction = forward ? 1.0 : -1.0;
    if (is_event(end)) {
      for (size_t j = 0; j < fine_steps; ++j) grid.emplace(end + direction * spacing * double(j), true);
    } else {
      grid.emplace(end, false);
    }
    previous = key;
  }
  // The first and last key dates are not always the end of a gap.
  for (double key : keys) grid.emplace(key, false);

  for (const auto& [date, flag] : grid) {
    dates.push_back(date);
    flags.push_back(flag);
  }
}

}  // namespace

time_grid::time_grid(const time_grid_config& config, const datetime& from, const datetime& to,
                     const std::vector<datetime>& event_dates, const std::vector<datetime>& extra_dates)
    : from_(from),
      event_dates_(event_dates),
      day_convention_(std::make_shared<const day_count_convention>()),
      forward_(config.direction() == time_grid_config::time_grid_direction_type::FORWARD) {
  std::vector<double> keys{from.serial(), to.serial()};
  for (const datetime& d : event_dates) keys.push_back(d.serial());
  for (const datetime& d : extra_dates) keys.push_back(d.serial());
  for (double key : keys) QAVREK_CHECK(std::isfinite(key), "a time grid date is not set (", key, ")");
  std::vector<double> events(keys.begin() + 2, keys.begin() + 2 + long(event_dates.size()));
  sort_without_repeats(keys);

  QAVREK_CHECK(keys.size() <= max_dates, keys.size(), " key dates are refused: a time grid holds at most ", max_dates,
               " dates");
  std::vector<double> grid;
  if (config.type() == type::STEPPED || config.type() == type::RANNACHER) {
    check_step(config.coarse_step(), "coarse step");
    check_step(config.fine_step(), "fine step");
  }
  // The fine steps follow the start date: a start after the end would put them at the wrong end and cut the whole
  // grid with the fine step. The direction of the walk does not enter: the dates always ascend. (Other types take
  // the two dates as key dates alone, in either order.)
  QAVREK_CHECK(config.type() != type::STEPPED || !(to < from), "a stepped time grid runs from its start date ", from,
               " to a later end date, not to ", to, "; the direction says which way the PDE walks it");
  if (config.type() == type::STEPPED) {
    grid = stepped_dates(config, from.serial(), keys);
  } else if (config.type() == type::RANNACHER) {
    rannacher_dates(config, forward_, keys, std::move(events), grid, rannacher_);
  } else {
    grid = keys;
  }

  dates_.reserve(grid.size());
  for (double d : grid) dates_.emplace_back(d);
  event_dates_indices_ = datetime_helper::index_subset_dates(event_dates_, dates_);
}

}  // namespace qavrek
