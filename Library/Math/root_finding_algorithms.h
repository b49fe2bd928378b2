#pragma once

#include <cstddef>
#include <functional>

namespace qavrek {

class root_finding_algorithms {
 public:
  // Brent's method (inverse quadratic interpolation, secant and bisection) for f(x) = target in
  // [lower, upper] (either order).
  // - `root` holds the starting point on entry. When it is finite and inside the bracket, f is evaluated there
  //   first and the search continues in whichever half of the bracket shows the sign change; when it is NaN or
  //   outside, the search starts from the bracket's ends.
  // - tol1 is the absolute tolerance on the residual: a point with |f(x) - target| <= tol1 is a root (so an exact
  //   hit is always one). tol2 is the relative tolerance on x: the search also succeeds once the bracket around
  //   the root is no wider than 4 tol2 |x| (tol2 is raised to the machine epsilon, below which the bracket cannot
  //   shrink).
  // - max_iterations bounds the evaluations of f after those of the start and the bracket ends.
  // Returns false when f(lower) and f(upper) (and f at the start) show no sign change, when f returns NaN, or
  // when the iterations run out. In every case `root` is left at the last iterate, the best point found, and
  // the last evaluation of f was made at it, so side effects of f match the value returned in `root`.
  // Non-finite bounds and negative or NaN tolerances are errors; exceptions of f pass through.
  static bool brent(const std::function<double(double)>& f, double lower, double upper, double& root, double target,
                    double tol1, double tol2, size_t max_iterations);
};

}  // namespace qavrek
