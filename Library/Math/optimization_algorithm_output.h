#pragma once

#include <cstddef>
#include <string>

#include "Vectorization/vector.h"

namespace qavrek {

// Why an optimisation run stopped.
enum class optimization_status {
  not_run,             // the record as constructed
  residual_tolerance,  // |r| fell to the residual tolerance
  step_tolerance,      // the last step was below the step tolerance
  gradient_tolerance,  // the residuals are orthogonal to the Jacobian's columns: a stationary point
  max_iterations,      // the trial steps ran out
  damping_limit,       // the damping grew past its limit without finding a lower cost
};

// The result of an optimisation run.
struct optimization_algorithm_output {
  // n unknowns, all zero, nothing run yet.
  explicit optimization_algorithm_output(size_t number_of_unknowns);

  // True when a tolerance stopped the run, false when it ran out of iterations or damping.
  bool converged() const noexcept;

  // A short text saying why the run stopped.
  std::string reason() const;

  // A summary on Core's log at verbosity 0, written only when the verbosity cutoff is not negative.
  void print() const;

  // The final point, which is the best one found (the lowest |r| of every point evaluated).
  vector<double> unknowns;
  // |r| at the starting point and at the final point.
  double initial_residual_norm;
  double residual_norm;
  // Trial steps made, and how many of them were taken.
  size_t iterations = 0;
  size_t accepted_steps = 0;
  // Calls of the residual callback (finite-difference Jacobians included) and Jacobians formed.
  size_t residual_evaluations = 0;
  size_t jacobian_evaluations = 0;
  // The damping at the end.
  double damping;
  optimization_status status = optimization_status::not_run;
};

}  // namespace qavrek
