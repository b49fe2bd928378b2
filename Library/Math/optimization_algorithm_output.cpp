#include "Math/optimization_algorithm_output.h"

#include <limits>

#include "Core/logger.h"

namespace qavrek {

optimization_algorithm_output::optimization_algorithm_output(size_t number_of_unknowns)
    : unknowns(number_of_unknowns),
      initial_residual_norm(std::numeric_limits<double>::quiet_NaN()),
      residual_norm(std::numeric_limits<double>::quiet_NaN()),
      damping(std::numeric_limits<double>::quiet_NaN()) {}

bool optimization_algorithm_output::converged() const noexcept {
  return status == optimization_status::residual_tolerance || status == optimization_status::step_tolerance ||
         status == optimization_status::gradient_tolerance;
}

std::string optimization_algorithm_output::reason() const {
  switch (status) {
    case optimization_status::not_run:
      return "not run";
    case optimization_status::residual_tolerance:
      return "converged: residual norm within tolerance";
    case optimization_status::step_tolerance:
      return "converged: step below tolerance";
    case optimization_status::gradient_tolerance:
      return "converged: residuals orthogonal to the Jacobian (stationary point)";
    case optimization_status::max_iterations:
      return "stopped: maximum number of iterations reached";
    case optimization_status::damping_limit:
      return "stopped: damping limit reached, no step lowers the cost";
  }
  return "unknown status";
}

void optimization_algorithm_output::print() const {
  if (logger::GetCurrentVerbosityCutoff() < 0) return;
  logger::LogF(0, __FILE__, __LINE__, "Levenberg-Marquardt %s after %zu iterations (%zu steps taken)", reason().c_str(),
               iterations, accepted_steps);
  logger::LogF(0, __FILE__, __LINE__, "  residual norm %.6e (%.6e at the start), damping %.3e", residual_norm,
               initial_residual_norm, damping);
  logger::LogF(0, __FILE__, __LINE__, "  %zu unknowns, %zu residual evaluations, %zu Jacobians", unknowns.size(),
               residual_evaluations, jacobian_evaluations);
}

}  // namespace qavrek
