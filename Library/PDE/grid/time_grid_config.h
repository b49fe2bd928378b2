#pragma once

#include <cstddef>
#include <cstdint>

namespace qavrek {

// How a time grid is laid between its key dates. Steps are in days.
class time_grid_config {
 public:
  // Stored as numbers; any type other than STEPPED and RANNACHER keeps the key dates alone.
  enum class time_grid_type : std::int32_t {
    STEPPED = 0,    // fine steps after the start date, coarse steps further on
    RANNACHER = 1,  // steps of at most coarse_step, with fully implicit dates around every event date
    KEY_DATES = 2,
  };
  // Any direction other than FORWARD walks backward.
  enum class time_grid_direction_type : std::int32_t {
    BACKWARD = 0,
    FORWARD = 1,
  };

  // The most dates a time grid holds: a million steps is daily stepping over more than two thousand years, or
  // hourly over a century, far beyond any use; refusing more keeps a careless step from taking gigabytes.
  static constexpr size_t max_dates = size_t(1) << 20;

  // Refuses more than max_dates fine steps; the grid checks the rest of what it uses.
  time_grid_config(time_grid_type type, time_grid_direction_type direction, bool round_to_days, double coarse_step,
                   size_t fine_steps, double fine_step);

  time_grid_type type() const noexcept { return type_; }
  time_grid_direction_type direction() const noexcept { return direction_; }
  // STEPPED: every generated date is rounded up to a whole day.
  bool round_to_days() const noexcept { return round_to_days_; }
  // STEPPED: the step outside the fine region; RANNACHER: the longest step between two key dates.
  double coarse_step() const noexcept { return coarse_step_; }
  // STEPPED: the number of fine steps after the start date; RANNACHER: the implicit dates at each event date.
  size_t fine_steps() const noexcept { return fine_steps_; }
  // STEPPED: the fine step; RANNACHER: the longest spacing of the implicit dates.
  double fine_step() const noexcept { return fine_step_; }

 private:
  time_grid_type type_;
  time_grid_direction_type direction_;
  bool round_to_days_;
  double coarse_step_;
  size_t fine_steps_;
  double fine_step_;
};

}  // namespace qavrek
