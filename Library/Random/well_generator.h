#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Random/pseudo_random_generator.h"

namespace qavrek {

// The WELL recurrence (Panneton, L'Ecuyer and Matsumoto, 2006) over a state of r words v(n,0..r-1), kept
// in a circular buffer whose start moves back one word per step. Recurrence supplies r, p, m1, m2, m3 and
// the transformations T0..T7 through three combinations:
//   z0 = (v(n,r-1) & upper w-p bits) | (v(n,r-2) & lower p bits)
//   z1 = T0 v(n,0) ^ T1 v(n,m1),  z2 = T2 v(n,m2) ^ T3 v(n,m3)
//   v(n+1,1) = z1 ^ z2,  v(n+1,0) = T4 z0 ^ T5 z1 ^ T6 z2 ^ T7 v(n+1,1)
// and the output is v(n+1,0), untempered (the "a" variants).
//
// The seed fills the whole state with the MT19937 initialisation recursion, used as v(0,.) unchanged.
template <class Recurrence>
class well_generator final : public pseudo_random_generator {
 public:
  // Only the low 32 bits of the seed count.
  explicit well_generator(size_t seed) : state_(Recurrence::r), start_(0) {
    state_[0] = static_cast<std::uint32_t>(seed);
    for (size_t i = 1; i < Recurrence::r; ++i)
      state_[i] = 1812433253u * (state_[i - 1] ^ (state_[i - 1] >> 30)) + static_cast<std::uint32_t>(i);
  }

 private:
  static constexpr std::uint32_t lower_p_bits = 0xffffffffu >> (32 - Recurrence::p);

  std::uint32_t word(size_t offset) const noexcept {
    size_t i = start_ + offset;
    if (i >= Recurrence::r) i -= Recurrence::r;
    return state_[i];
  }

  std::uint32_t step() noexcept {
    constexpr size_t r = Recurrence::r;
    const std::uint32_t z0 = (word(r - 1) & ~lower_p_bits) | (word(r - 2) & lower_p_bits);
    const std::uint32_t z1 = Recurrence::z1(state_[start_], word(Recurrence::m1));
    const std::uint32_t z2 = Recurrence::z2(word(Recurrence::m2), word(Recurrence::m3));
    const std::uint32_t new_v1 = z1 ^ z2;
    const std::uint32_t new_v0 = Recurrence::new_v0(z0, z1, z2, new_v1);
    // v(n+1,j) = v(n,j-1) for j >= 2: only the two new words are written, at the old v(n,0) and v(n,r-1).
    state_[start_] = new_v1;
    start_ = start_ == 0 ? r - 1 : start_ - 1;
    state_[start_] = new_v0;
    return new_v0;
  }

  void next_words(std::uint32_t* words, size_t count) override {
    for (size_t i = 0; i < count; ++i) words[i] = step();
  }

  void skip_words(size_t count) override {
    for (size_t i = 0; i < count; ++i) step();
  }

  std::vector<std::uint32_t> state_;
  size_t start_;  // position of v(n,0)
};

}  // namespace qavrek
