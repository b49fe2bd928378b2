#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace qavrek {

// The settings of one Levenberg-Marquardt run (see levenberg_marquardt.h for the algorithm they steer).
// A plain record: the three sizes come from the constructor, every other field starts at the value below and
// may be overwritten before the optimiser is built, which checks them.
//
// Damping. Each trial step solves the damped least-squares problem in Marquardt-scaled unknowns; lambda is its
// damping, relative to a Jacobian whose columns have unit norm. The gain ratio rho compares the actual decrease
// of the cost 0.5 |r|^2 with the decrease the linear model predicted: near 1 the model is trusted, near 0 or
// below it is not.
struct lm_parameters {
  lm_parameters(size_t number_of_residuals, size_t number_of_unknowns, size_t max_iterations)
      : number_of_residuals(number_of_residuals),
        number_of_unknowns(number_of_unknowns),
        max_iterations(max_iterations) {}

  // m: the length of the residual vector (it may be smaller than n).
  size_t number_of_residuals;
  // n: the length of the unknowns vector.
  size_t number_of_unknowns;
  // The number of trial steps (each one evaluation of the residuals) after which the run stops.
  size_t max_iterations;

  // Finite-difference Jacobian, when no Jacobian callback is given: central differences (2n evaluations, error
  // of order h^2) when true, forward differences (n evaluations, error of order h) when false.
  bool central_differences = false;

  // Gain ratio above which the model is trusted more: lambda is multiplied by damping_decrease_factor.
  double damping_decrease_ratio = 0.75;
  // Gain ratio a trial step must exceed to be accepted. At 0 every step that lowers the cost is taken; a step
  // that does not lower the cost is never taken, whatever this value, so the current point is always the best.
  double acceptance_ratio = 0.0;
  // Absolute: the run stops once |r| <= residual_tolerance; 0 stops on an exact fit only.
  double residual_tolerance = 0.0;
  // Relative: a trial step with |dx| <= step_tolerance (|x| + step_tolerance) is the last one. It is still
  // evaluated and taken when it lowers the cost, which near a zero-residual solution squares the error.
  double step_tolerance = 1e-10;
  // lambda of the first trial step: 0.01 damps the Gauss-Newton step by about one percent.
  double initial_damping = 0.01;
  // Scale-free: the run stops once the residual vector is orthogonal to every column of the Jacobian within this
  // cosine, max_j |J_j . r| / (|J_j| |r|) <= gradient_tolerance, the first-order condition of a minimum.
  double gradient_tolerance = 1e-10;
  // Relative increment h_j = finite_difference_step max(|x_j|, 1) of the finite-difference Jacobian; 0 takes
  // the one that balances truncation and rounding errors: sqrt(eps) forward, cbrt(eps) central. Residuals
  // computed to a tolerance (an inner root search) need an increment well above that tolerance.
  double finite_difference_step = 0.0;
  // The increment h_j of unknown x_j = x in a finite-difference Jacobian.
  double finite_difference_increment(double x) const {
    constexpr double epsilon = std::numeric_limits<double>::epsilon();
    const double relative_step = finite_difference_step > 0.0 ? finite_difference_step
                                 : central_differences         ? std::cbrt(epsilon)
                                                               : std::sqrt(epsilon);
    return relative_step * std::max(std::abs(x), 1.0);
  }
  // Gain ratio below which the model is trusted less: lambda is multiplied by a growth factor that starts at
  // damping_factor and doubles on each further such step in a row (a rejected step always counts as one), so a
  // model that keeps failing is abandoned quickly.
  double damping_increase_ratio = 0.25;
  // What lambda is multiplied by after a good step: 0.1, Marquardt's choice, reaches the fast Gauss-Newton
  // regime within a few steps, and a rejection costs one residual evaluation only.
  double damping_decrease_factor = 0.1;
  // Once a rejection lifts lambda past this, the steps are rounding-level fractions of the Gauss-Newton step,
  // none of which lowered the cost, and the run stops.
  double maximum_damping = 1e16;

  // The factor by which lambda first grows after a poor step; a run of poor steps multiplies it by 2, 4, 8, ...
  // times this in turn.
  std::int32_t damping_factor = 2;
};

}  // namespace qavrek
