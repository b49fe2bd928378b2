#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "Random/pseudo_random_generator.h"

namespace qavrek {

// MT19937 (Matsumoto and Nishimura, 1998), seeded and tempered as std::mt19937: the same seed gives the
// same words. The state is regenerated and tempered 624 words at a time, in vector instructions; a skip moves
// through whole blocks.
class mersenne_twister final : public pseudo_random_generator {
 public:
  // Only the low 32 bits of the seed count, as for std::mt19937.
  explicit mersenne_twister(size_t seed);

 private:
  static constexpr size_t state_size = 624;

  void next_words(std::uint32_t* words, size_t count) override;
  void skip_words(size_t count) override;
  // The next state and its tempered words.
  void refill() noexcept;

  std::array<std::uint32_t, state_size> state_;
  std::array<std::uint32_t, state_size> words_;
  size_t index_;  // the next word of words_ to hand out
};

}  // namespace qavrek
