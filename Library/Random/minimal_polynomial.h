#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Random/gf2_modulus.h"

namespace qavrek {

// The minimal polynomial of a sequence of bits s_0, s_1, ... (bit n is bit n % 64 of word n / 64), found by
// Berlekamp-Massey from its first `count` bits: the polynomial p = sum p_j x^j of least degree L, with
// p_L = 1, such that sum_j p_j s_(n + j) = 0 for every n. It is the sequence's own when count >= 2L.
//
// For a bit of the output of a linear generator whose characteristic polynomial is irreducible (a generator
// of full period), it is that characteristic polynomial.
gf2_polynomial minimal_polynomial(const std::vector<std::uint64_t>& bits, size_t count);

}  // namespace qavrek
