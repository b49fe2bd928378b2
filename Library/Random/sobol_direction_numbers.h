#pragma once

#include <cstddef>
#include <cstdint>

namespace qavrek {

// Initial direction numbers of one Sobol dimension: its primitive polynomial
// x^s + a_1 x^(s-1) + ... + a_(s-1) x + 1 (degree s, the a_i as bits of coefficients, a_1 highest) and the
// odd integers m_1..m_s, m_k < 2^k. Later m_k follow from the polynomial's recurrence.
struct sobol_initial_directions {
  std::uint8_t degree;
  std::uint16_t coefficients;
  std::uint16_t m[15];
};

// Dimensions 2, 3, ...: dimension 1 is the van der Corput sequence and has no entry.
inline constexpr size_t sobol_direction_numbers_size = 3666;
extern const sobol_initial_directions sobol_direction_numbers[sobol_direction_numbers_size];

}  // namespace qavrek
