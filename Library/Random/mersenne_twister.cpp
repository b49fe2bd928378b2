#include "Random/mersenne_twister.h"

#include <algorithm>

namespace qavrek {
namespace {

constexpr std::uint32_t matrix_a = 0x9908b0dfu;
constexpr std::uint32_t upper_bit = 0x80000000u;
constexpr std::uint32_t lower_bits = 0x7fffffffu;

std::uint32_t twisted(std::uint32_t current, std::uint32_t next, std::uint32_t shifted) noexcept {
  const std::uint32_t y = (current & upper_bit) | (next & lower_bits);
  return shifted ^ (y >> 1) ^ ((y & 1u) ? matrix_a : 0u);
}

std::uint32_t tempered(std::uint32_t y) noexcept {
  y ^= y >> 11;
  y ^= (y << 7) & 0x9d2c5680u;
  y ^= (y << 15) & 0xefc60000u;
  y ^= y >> 18;
  return y;
}

}  // namespace

mersenne_twister::mersenne_twister(size_t seed) : index_(state_size) {
  state_[0] = static_cast<std::uint32_t>(seed);
  for (size_t i = 1; i < state_size; ++i)
    state_[i] = 1812433253u * (state_[i - 1] ^ (state_[i - 1] >> 30)) + static_cast<std::uint32_t>(i);
}

void mersenne_twister::twist() noexcept {
  size_t i = 0;
  for (; i < state_size - shift_size; ++i) state_[i] = twisted(state_[i], state_[i + 1], state_[i + shift_size]);
  for (; i < state_size - 1; ++i) state_[i] = twisted(state_[i], state_[i + 1], state_[i + shift_size - state_size]);
  state_[state_size - 1] = twisted(state_[state_size - 1], state_[0], state_[shift_size - 1]);
  index_ = 0;
}

void mersenne_twister::next_words(std::uint32_t* words, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (index_ == state_size) twist();
    words[i] = tempered(state_[index_++]);
  }
}

void mersenne_twister::skip_words(size_t count) {
  while (count > 0) {
    if (index_ == state_size) twist();
    const size_t step = std::min(count, state_size - index_);
    index_ += step;
    count -= step;
  }
}

}  // namespace qavrek
