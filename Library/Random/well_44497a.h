#pragma once

#include <cstddef>
#include <cstdint>

#include "Random/well_generator.h"

namespace qavrek {

// WELL44497a: w = 32, r = 1391, p = 15, m1 = 23, m2 = 481, m3 = 229.
struct well_44497a_recurrence {
  static constexpr size_t r = 1391;
  static constexpr unsigned p = 15;
  static constexpr size_t m1 = 23;
  static constexpr size_t m2 = 481;
  static constexpr size_t m3 = 229;
  // Skips of this many numbers or more jump: a step costs about 3.5 ns, a jump about 2 ms.
  static constexpr size_t jump_threshold = size_t(1) << 19;

  // T0 = M3(-24), T1 = M3(30)
  static std::uint32_t z1(std::uint32_t v0, std::uint32_t vm1) noexcept {
    return (v0 ^ (v0 << 24)) ^ (vm1 ^ (vm1 >> 30));
  }
  // T2 = M3(-10), T3 = M2(-26)
  static std::uint32_t z2(std::uint32_t vm2, std::uint32_t vm3) noexcept { return (vm2 ^ (vm2 << 10)) ^ (vm3 << 26); }
  // T4 = M1, T5 = M3(20), T6 = M5(9, 0xb729fcec, 0xfbffffff, 0x00020000), T7 = M1
  static std::uint32_t new_v0(std::uint32_t z0, std::uint32_t z1, std::uint32_t z2, std::uint32_t v1) noexcept {
    return z0 ^ (z1 ^ (z1 >> 20)) ^ m5(z2) ^ v1;
  }

  // Rotation left by 9 under the mask ds, with a added when bit dt of the argument is set.
  static std::uint32_t m5(std::uint32_t v) noexcept {
    const std::uint32_t rotated = ((v << 9) | (v >> 23)) & 0xfbffffffu;
    return (v & 0x00020000u) ? rotated ^ 0xb729fcecu : rotated;
  }
};

extern template class well_generator<well_44497a_recurrence>;
using well_44497a = well_generator<well_44497a_recurrence>;

}  // namespace qavrek
