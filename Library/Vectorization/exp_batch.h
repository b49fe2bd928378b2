#pragma once

#include <cstddef>

namespace qavrek {

// y[i] = exp(x[i]) for i < n, within 2 units in the last place of the exact value over the whole range:
// 0 below -745.13, +inf above 709.78, NaN for NaN. One branch-free loop that the compiler vectorises, in
// clones for wider vector units chosen at load time (those with fused multiply-adds may differ from the
// others in the last place). `y` may be `x` itself but must not overlap it otherwise.
void exp_batch(const double* x, double* y, std::size_t n) noexcept;

// y[i] = exp(x[i]) with x[i] first held within [-708, 709], so that the result is a finite normal number
// (NaN stays NaN): for rates and intensities whose exponent may leave the range of doubles. The same
// accuracy, loop and clones as exp_batch, and the same rule on `y`.
void exp_batch_saturated(const double* x, double* y, std::size_t n) noexcept;

}  // namespace qavrek
