#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "Vectorization/matrix.h"
#include "Vectorization/vector_clones.h"

namespace qavrek {

class pde_model_coefficients;

// The checks the schemes make on what a model hands them. A model fills the coefficient tensors between steps and
// may replace them, so their sizes and values are checked at every step, where a scheme reads them; the checks of
// values cost one vectorised pass, or none where they ride on a pass the scheme makes anyway.
namespace pde_coefficient_checks {

// Whether diffusion and convection cover `nodes` nodes, and so does the reaction unless it is empty and may be.
bool covers(const pde_model_coefficients& coefficients, size_t nodes, bool empty_reaction) noexcept;

// "diffusion of 10, convection of 10 and reaction of 12 values", for the message of a set that does not cover.
std::string sizes_of(const pde_model_coefficients& coefficients);

// Whether every one of the n values is finite.
bool all_finite(const double* values, size_t n) noexcept;

// A word whose top bit is set when v is infinite or NaN (all exponent bits set): OR the words of the values a loop
// computes anyway and test the top bit of the result with any_non_finite. Masking and adding run on the vectors of
// every instruction set, where a comparison of 64-bit integers (or a branch) would keep the loop scalar.
QAVREK_VECTOR_INLINE std::uint64_t non_finite_word(double v) noexcept {
  constexpr std::uint64_t exponent_bits = 0x7ff0000000000000ULL, lowest_exponent_bit = 0x0010000000000000ULL;
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return (bits & exponent_bits) + lowest_exponent_bit;
}

inline bool any_non_finite(std::uint64_t words) noexcept { return (words >> 63) != 0; }

// The first non-finite value among the diffusion, convection (unless left out) and reaction of `coefficients` at
// the nodes [first, last) (reaction skipped when empty): a description naming the coefficient and the node, or
// empty when every value there is finite.
std::string first_non_finite(const pde_model_coefficients& coefficients, size_t first, size_t last,
                             bool with_convection = true);

// Refuses a correlation between d dimensions that is not one: its leading d x d block must be symmetric with a
// unit diagonal, off-diagonal values in [-1, 1] and no negative eigenvalue (to rounding). Larger matrices are
// read in their leading block; an empty one couples nothing.
void check_correlation(const matrix<double>& correlation, size_t d);

}  // namespace pde_coefficient_checks
}  // namespace qavrek
