#pragma once

#include <algorithm>
#include <cstddef>

#include "Math/lm_parameters.h"

namespace qavrek {

// The optimiser's settings shared by the swaption calibrations: a step below `step_tolerance` ends the
// search, residuals never do (their scale differs between targets), every trial is judged on its own.
inline lm_parameters calibration_lm_parameters(size_t residuals, size_t unknowns, int max_iterations,
                                               double step_tolerance) {
  lm_parameters parameters(residuals, unknowns, static_cast<size_t>(std::max(max_iterations, 0)));
  parameters.central_differences = false;
  parameters.damping_decrease_ratio = 0.75;
  parameters.acceptance_ratio = 0.0;
  parameters.residual_tolerance = 0.0;
  parameters.step_tolerance = step_tolerance;
  parameters.initial_damping = 0.01;
  parameters.damping_decrease_factor = 0.1;
  parameters.damping_factor = 2;
  return parameters;
}

}  // namespace qavrek
