#pragma once

#include "Math/optimization_algorithm_output.h"

namespace qavrek {

// A calibration returns the optimiser's best point even when the optimiser ran out of iterations or damping
// before converging; a warning then says so, with why it stopped and how far from the targets it is, so that
// such a set is never taken for a calibrated one in silence.
void warn_unless_converged(const optimization_algorithm_output& output, const char* calibration);

}  // namespace qavrek
