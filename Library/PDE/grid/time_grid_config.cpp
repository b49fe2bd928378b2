#include "PDE/grid/time_grid_config.h"

#include "Core/check.h"

namespace qavrek {

time_grid_config::time_grid_config(time_grid_type type, time_grid_direction_type direction, bool round_to_days,
                                   double coarse_step, size_t fine_steps, double fine_step)
    : type_(type),
      direction_(direction),
      round_to_days_(round_to_days),
      coarse_step_(coarse_step),
      fine_steps_(fine_steps),
      fine_step_(fine_step) {
  QAVREK_CHECK(fine_steps <= max_dates, fine_steps, " fine steps are refused: a time grid holds at most ", max_dates,
               " dates");
}

}  // namespace qavrek
