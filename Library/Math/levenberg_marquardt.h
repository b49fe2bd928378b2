#pragma once

#include <functional>

#include "Math/lm_parameters.h"
#include "Math/optimization_algorithm_output.h"
#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

// Nonlinear least squares: minimises 0.5 |r(x)|^2 over x in R^n, with r: R^n -> R^m. Any m works, m < n
// included (a calibration with fewer targets than unknowns).
//
// Each trial step solves  min_dx |r + J dx|^2 + lambda |S dx|^2  with the Marquardt scaling S = diag(|J_j|)
// (the largest column norms seen so far, floored), through the eigendecomposition of the scaled normal matrix
// (J S^-1)^T (J S^-1) = V diag(mu) V^T, the squared singular values and right vectors of J S^-1:
//   dx = -S^-1 V diag(1 / (mu + lambda)) V^T (J S^-1)^T r.
// The damping thus filters each singular direction, and directions the residuals do not see or cannot resolve
// (mu within rounding of the normal matrix, the null space when m < n) get no step, so the problem stays well
// posed at any rank. One decomposition serves every damping tried at a point; it costs a fraction of an SVD of
// the tall Jacobian, which is what keeps the optimiser from being the serial part of a parallel calibration.
//
// A step is taken when it lowers the cost and its gain ratio exceeds the acceptance ratio; the damping follows
// the gain ratio (lm_parameters.h). The run stops on the first of: |r| <= residual tolerance; a stationary point
// (gradient tolerance); a last step below the step tolerance; max_iterations trial steps; the damping past its
// limit.
//
// Callbacks. residual(x, r) receives r of length m, and jacobian(x, J) an m x n row-major J; both are zero on
// entry, so a callback may write its non-zero entries only, and must leave the sizes alone. They may be called any
// number of times, always from the calling thread, and their exceptions pass through unchanged.
// - The Jacobian is only ever asked for at the point of the latest residual call, so a Jacobian callback may use
//   what the residual callback left behind there.
// - When the run returns, the latest residual call was made at the returned point (one more call is made at the
//   end when needed), so state a callback keeps describes the result. The returned point is the best one found.
// - Without a Jacobian callback, J is formed by finite differences of the residual callback (lm_parameters.h).
// - A trial point whose residuals are not finite is rejected like any step that does not lower the cost; non-finite
//   residuals at the start, or a non-finite entry in a Jacobian, are errors.
class levenberg_marquardt {
 public:
  using residual_function = std::function<void(const vector<double>& x, vector<double>& residuals)>;
  using jacobian_function = std::function<void(const vector<double>& x, matrix<double>& jacobian)>;

  // The settings are checked here; an empty callback is an error.
  levenberg_marquardt(const lm_parameters& parameters, residual_function residual);
  levenberg_marquardt(const lm_parameters& parameters, residual_function residual, jacobian_function jacobian);

  // Minimises from x, which must hold n values, and writes the final point back into x. When a callback
  // throws, x is left as it was.
  optimization_algorithm_output operator()(vector<double>& x) const;

  const lm_parameters& parameters() const noexcept { return parameters_; }

 private:
  lm_parameters parameters_;
  residual_function residual_;
  jacobian_function jacobian_;  // empty: finite differences
};

}  // namespace qavrek
