#include "Analytics/calibration/common/calibration_convergence.h"

#include "Core/Warning.h"
#include "Core/check.h"

namespace qavrek {

namespace {

constexpr const char* source_file = "Library/Analytics/calibration/common/calibration_convergence";

}  // namespace

void warn_unless_converged(const optimization_algorithm_output& output, const char* calibration) {
  if (output.converged()) return;
  Warning::warn(SourceLocation{"calibrate", source_file, __LINE__},
                details::concat(calibration, " did not converge (", output.reason(), " after ", output.iterations,
                                " iterations): the parameters returned are the best point found, with residual norm ",
                                output.residual_norm, " (", output.initial_residual_norm, " at the start)"));
}

}  // namespace qavrek
