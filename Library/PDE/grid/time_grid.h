#pragma once

#include <cstddef>
#include <vector>

#include "Core/pointers.h"
#include "PDE/grid/time_grid_config.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"

namespace qavrek {

// The ascending dates, without repeats, over which a PDE is rolled, built once from a configuration, a start and an
// end date, the event dates (where the caller applies payoffs) and extra dates. The key dates (start, end, events,
// extras) are always in the grid.
//
// - STEPPED: fine_steps steps of fine_step from the earliest key date when the second key date lies at or beyond
//   the end of that fine region; then every gap between key dates is cut into whole steps (fine_step up to the end
//   of the fine region, coarse_step after it), a gap shorter than two steps is left whole. Generated dates are
//   rounded up to whole days on request. With both steps 0, or a single key date, the grid is the key dates.
// - RANNACHER: every gap is cut into equal steps of at most coarse_step; around each event date (before it walking
//   backward, after it walking forward) fine_steps dates at most fine_step apart are flagged for fully implicit
//   steps. A date met twice keeps its first flag, and event dates come first.
// - Any other type: the key dates alone.
//
// Dates that are not set are an error, and so is a grid of more than time_grid_config::max_dates dates (refused
// before they are made); so are, for the first two types, steps that are negative or not finite, a fine step too
// short to move past a date, for STEPPED an end date before the start date, and for RANNACHER a coarse step of 0.
// The dates ascend whichever way the PDE walks them.
class time_grid {
 public:
  time_grid(const time_grid_config& config, const datetime& from, const datetime& to,
            const std::vector<datetime>& event_dates, const std::vector<datetime>& extra_dates);

  const std::vector<datetime>& dates() const noexcept { return dates_; }
  const datetime& date(size_t i) const noexcept { return dates_[i]; }
  size_t size() const noexcept { return dates_.size(); }

  // The event dates in the caller's order (repeats kept) and the grid index of each.
  const std::vector<datetime>& event_dates() const noexcept { return event_dates_; }
  size_t event_dates_size() const noexcept { return event_dates_.size(); }
  size_t event_dates_indexs(size_t i) const noexcept { return event_dates_indices_[i]; }

  bool is_direction_forward() const noexcept { return forward_; }
  // Whether the step from date i is taken fully implicitly; false for grids other than RANNACHER.
  bool is_rannacher(size_t i) const noexcept { return !rannacher_.empty() && rannacher_[i]; }

  // ACT/365F without calendar, for the grid's users.
  const ptr_const<day_count_convention>& day_convention() const noexcept { return day_convention_; }

 private:
  datetime from_;
  std::vector<datetime> event_dates_;
  std::vector<datetime> dates_;
  std::vector<size_t> event_dates_indices_;
  std::vector<bool> rannacher_;
  ptr_const<day_count_convention> day_convention_;
  bool forward_;
};

}  // namespace qavrek
