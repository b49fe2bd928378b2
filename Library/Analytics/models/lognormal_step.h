#pragma once

#include <cstddef>

namespace qavrek {

// What one lognormal step adds to every log spot: per factor k the incremental volatility s_k of its draws,
// and the constant that is the same on every path (drift, convexity and the change of measure's shifts).
struct lognormal_step_coefficients {
  size_t factors = 0;
  const double* volatilities = nullptr;
  double constant = 0.0;
};

// Moves the log spots `state` of `paths` paths; `draws` holds one row of `paths` values per factor, one after
// the other. Per path x <- x + (constant + s_0 z_0), then x <- x + s_k z_k for k = 1 .. n - 1 in order. One pass
// over the paths on the widest vector instructions of the machine, chosen at run time; every instruction set
// gives the same bits, those of the per-path formula evaluated in that order.
void lognormal_step(const lognormal_step_coefficients& step, const double* draws, double* state,
                    size_t paths) noexcept;

}  // namespace qavrek
