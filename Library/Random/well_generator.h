#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "Random/jump_polynomials.h"
#include "Random/pseudo_random_generator.h"
#include "Random/random_settings.h"
#include "Random/state_jump.h"

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
//
// A short skip steps through the words; a long one jumps, at a cost that does not grow with the count.
template <class Recurrence>
class well_generator final : public pseudo_random_generator {
 public:
  // The degree of the characteristic polynomial: the state has r w - p bits that count (the low p bits of
  // v(n,r-1) are never read).
  static constexpr size_t degree = 32 * Recurrence::r - Recurrence::p;

  // Only the low 32 bits of the seed count.
  explicit well_generator(size_t seed) : state_(Recurrence::r), start_(0) {
    state_[0] = static_cast<std::uint32_t>(seed);
    for (size_t i = 1; i < Recurrence::r; ++i)
      state_[i] = 1812433253u * (state_[i - 1] ^ (state_[i - 1] >> 30)) + static_cast<std::uint32_t>(i);
  }

  // Skips count numbers by a jump of the state, whatever the count: the same numbers follow as after drawing
  // count of them.
  void jump(size_t count) {
    if (count == 0) return;
    std::vector<std::uint32_t> window(Recurrence::r);
    for (size_t j = 0; j < Recurrence::r; ++j) window[j] = word(j);
    jump_state<shift_register>(jump_table().power_of_x(count), degree, window.data());
    state_ = std::move(window);
    start_ = 0;
  }

  // The jumps of the recurrence, its characteristic polynomial found once from its output.
  static const jump_polynomials& jump_table() {
    // A constant of the recurrence, made on first use and shared by every generator and thread.
    static const jump_polynomials table(
        [] {
          well_generator generator(random_settings::default_seed);
          return jump_polynomials::characteristic_polynomial(generator, degree);
        }(),
        1);
    return table;
  }

 private:
  static constexpr std::uint32_t lower_p_bits = 0xffffffffu >> (32 - Recurrence::p);
  // Skips of this many numbers or more jump.
  static constexpr size_t jump_threshold = Recurrence::jump_threshold;

  // The state v(n,0..r-1) as a window sliding back along the words: the step writes v(n+1,0) before the
  // window and v(n+1,1) over v(n,0), as step() does in the circular buffer.
  struct shift_register {
    static constexpr size_t size = Recurrence::r;
    static constexpr std::ptrdiff_t direction = -1;
    static void advance(std::uint32_t* v) noexcept {
      constexpr size_t r = Recurrence::r;
      const std::uint32_t z0 = (v[r - 1] & ~lower_p_bits) | (v[r - 2] & lower_p_bits);
      const std::uint32_t z1 = Recurrence::z1(v[0], v[Recurrence::m1]);
      const std::uint32_t z2 = Recurrence::z2(v[Recurrence::m2], v[Recurrence::m3]);
      const std::uint32_t new_v1 = z1 ^ z2;
      v[0] = new_v1;
      v[-1] = Recurrence::new_v0(z0, z1, z2, new_v1);
    }
  };

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
    if (count >= jump_threshold) {
      jump(count);
      return;
    }
    for (size_t i = 0; i < count; ++i) step();
  }

  std::vector<std::uint32_t> state_;
  size_t start_;  // position of v(n,0)
};

}  // namespace qavrek
