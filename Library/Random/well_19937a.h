#pragma once

#include <cstddef>
#include <cstdint>

#include "Random/well_generator.h"

namespace qavrek {

// WELL19937a: w = 32, r = 624, p = 31, m1 = 70, m2 = 179, m3 = 449.
struct well_19937a_recurrence {
  static constexpr size_t r = 624;
  static constexpr unsigned p = 31;
  static constexpr size_t m1 = 70;
  static constexpr size_t m2 = 179;
  static constexpr size_t m3 = 449;
  // Skips of this many numbers or more jump: a step costs about 3 ns, a jump about 0.45 ms.
  static constexpr size_t jump_threshold = size_t(1) << 17;

  // T0 = M3(-25), T1 = M3(27)
  static std::uint32_t z1(std::uint32_t v0, std::uint32_t vm1) noexcept {
    return (v0 ^ (v0 << 25)) ^ (vm1 ^ (vm1 >> 27));
  }
  // T2 = M2(9), T3 = M3(1)
  static std::uint32_t z2(std::uint32_t vm2, std::uint32_t vm3) noexcept { return (vm2 >> 9) ^ (vm3 ^ (vm3 >> 1)); }
  // T4 = M1, T5 = M3(-9), T6 = M3(-21), T7 = M3(21)
  static std::uint32_t new_v0(std::uint32_t z0, std::uint32_t z1, std::uint32_t z2, std::uint32_t v1) noexcept {
    return z0 ^ (z1 ^ (z1 << 9)) ^ (z2 ^ (z2 << 21)) ^ (v1 ^ (v1 >> 21));
  }
};

extern template class well_generator<well_19937a_recurrence>;
using well_19937a = well_generator<well_19937a_recurrence>;

}  // namespace qavrek
