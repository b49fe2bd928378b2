#pragma once

#include <cstddef>
#include <cstdint>

namespace qavrek {

// The standard normal quantile to full double precision: -inf at 0, +inf at 1, NaN outside [0, 1].
// Exactly odd about 1/2: inverse_normal_cdf(1 - p) == -inverse_normal_cdf(p) whenever 1 - p is exact.
double inverse_normal_cdf(double p) noexcept;

// The same, element by element, for p in the open interval (0, 1); `x` must not overlap `p`. The central
// region, where most values fall, runs as one vectorisable loop and the tails are mended after.
void inverse_normal_cdf(const double* p, double* x, std::size_t n) noexcept;

// The generators' mapping of a 32-bit word w to the open interval: (w + 1/2) 2^-32, never 0 or 1.
inline double word_to_open_uniform(std::uint32_t word) noexcept { return (static_cast<double>(word) + 0.5) * 0x1p-32; }

}  // namespace qavrek
