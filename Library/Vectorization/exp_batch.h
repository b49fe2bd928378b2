#pragma once

#include <cstddef>

namespace qavrek {

// y[i] = exp(x[i]) for i < n, within 2 units in the last place of the exact value over the whole range:
// 0 below -745.13, +inf above 709.78, NaN for NaN. On the widest vector instructions of the machine, chosen at
// run time (the kernel of exp_lanes-inl.h); every instruction set gives the same bits, those of the formula
// evaluated value by value. `y` may be `x` itself but must not overlap it otherwise.
void exp_batch(const double* x, double* y, std::size_t n) noexcept;

// y[i] = exp(a[i] + b[i]), the sum rounded first: one pass where a sum and exp_batch would take two, with
// the same results (where both terms are NaN, either payload may pass, as in the sum itself). `y` may be `a` or
// `b` but must not overlap them otherwise.
void exp_batch_sum(const double* a, const double* b, double* y, std::size_t n) noexcept;

// y[i] = exp((a[i] - b[i]) + c[i]), rounded in that order: one pass for what a difference and exp_batch_sum would
// do in two, with the same results. `y` may be `a`, `b` or `c` but must not overlap them otherwise.
void exp_batch_difference_sum(const double* a, const double* b, const double* c, double* y, std::size_t n) noexcept;

// y[i] = exp(x[i]) with x[i] first held within [-708, 709], so that the result is a finite normal number
// (NaN stays NaN): for rates and intensities whose exponent may leave the range of doubles. The same
// accuracy, instruction sets and bits as exp_batch, and the same rule on `y`.
void exp_batch_saturated(const double* x, double* y, std::size_t n) noexcept;

}  // namespace qavrek
