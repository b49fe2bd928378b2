#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "Random/jump_polynomials.h"
#include "Random/pseudo_random_generator.h"

namespace qavrek {

// MT19937 (Matsumoto and Nishimura, 1998), seeded and tempered as std::mt19937: the same seed gives the
// same words. The state is regenerated 624 words at a time and tempered straight into the caller's buffer,
// both in vector instructions. A short skip moves through whole blocks; a long one jumps, at a cost that does
// not grow with the count.
class mersenne_twister final : public pseudo_random_generator {
 public:
  // The degree of the characteristic polynomial of the recurrence: the state has 19937 bits that count.
  static constexpr size_t degree = 19937;

  // Only the low 32 bits of the seed count, as for std::mt19937.
  explicit mersenne_twister(size_t seed);

  // Skips count numbers by a jump of the state, whatever the count: the same numbers follow as after drawing
  // count of them.
  void jump(size_t count);

  // The jumps of the recurrence in blocks of 624 steps, its characteristic polynomial found once from its
  // output.
  static const jump_polynomials& jump_table();

 private:
  static constexpr size_t state_size = 624;
  // Skips of this many numbers or more jump: drawing them through whole blocks costs about 0.3 ms, as much
  // as a jump.
  static constexpr size_t jump_threshold = size_t(1) << 22;

  void next_words(std::uint32_t* words, size_t count) override;
  void skip_words(size_t count) override;
  // The next state, whose words are then handed out tempered.
  void refill() noexcept;

  std::array<std::uint32_t, state_size> state_;
  size_t index_;  // the element of state_ whose tempered word is handed out next
};

}  // namespace qavrek
