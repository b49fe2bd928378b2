#pragma once

#include <cstddef>
#include <cstdint>

namespace qavrek {

// The standard normal quantile to full double precision: -inf at 0, +inf at 1, NaN outside [0, 1].
// Exactly odd about 1/2: inverse_normal_cdf(1 - p) == -inverse_normal_cdf(p) whenever 1 - p is exact.
double inverse_normal_cdf(double p) noexcept;

// The same, element by element, on the widest vector instructions of the machine: AVX-512 or AVX2 where
// present, else one value at a time. Every machine gives the same bits, and the central region those of the
// single-value function; the tails, through a logarithm of their own, differ from it by a few ulps at most
// and are as accurate. Both ends, NaN and values outside [0, 1] as there. `x` may be `p` itself but must not
// otherwise overlap it.
void inverse_normal_cdf(const double* p, double* x, std::size_t n) noexcept;

// The quantiles of the generators' open uniforms of n words, (w + 1/2) 2^-32, always finite.
void inverse_normal_cdf_of_words(const std::uint32_t* words, double* x, std::size_t n) noexcept;

// The quantiles of the binary fractions w 2^-32 of n words (an unshifted Sobol sequence's mapping): the same
// bits as the quantiles of those fractions as doubles, -inf for the word 0.
void inverse_normal_cdf_of_fractions(const std::uint32_t* words, double* x, std::size_t n) noexcept;

// The generators' mapping of a 32-bit word w to the open interval: (w + 1/2) 2^-32, never 0 or 1.
inline double word_to_open_uniform(std::uint32_t word) noexcept { return (static_cast<double>(word) + 0.5) * 0x1p-32; }

}  // namespace qavrek
