// MT19937. The state is regenerated a block at a time, and tempered as its words are handed out, on the
// widest vector instructions of the machine, chosen at run time; this file is compiled once per instruction
// set.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "Random/mersenne_twister.cpp"
#include <hwy/foreach_target.h>  // re-includes this file once per instruction set
#include <hwy/highway.h>

#ifndef QAVREK_RANDOM_MERSENNE_TWISTER_SHARED
#define QAVREK_RANDOM_MERSENNE_TWISTER_SHARED

#include <algorithm>
#include <cstddef>

#include "Random/mersenne_twister.h"
#include "Random/state_jump.h"

namespace qavrek {
namespace mersenne {

constexpr std::uint32_t matrix_a = 0x9908b0dfu;
constexpr std::uint32_t upper_bit = 0x80000000u;
constexpr std::uint32_t lower_bits = 0x7fffffffu;
constexpr size_t state_size = 624;
constexpr size_t shift_size = 397;

inline std::uint32_t twisted(std::uint32_t current, std::uint32_t next, std::uint32_t shifted) noexcept {
  const std::uint32_t y = (current & upper_bit) | (next & lower_bits);
  return shifted ^ (y >> 1) ^ ((y & 1u) ? matrix_a : 0u);
}

inline std::uint32_t tempered(std::uint32_t y) noexcept {
  y ^= y >> 11;
  y ^= (y << 7) & 0x9d2c5680u;
  y ^= (y << 15) & 0xefc60000u;
  y ^= y >> 18;
  return y;
}

}  // namespace mersenne
}  // namespace qavrek

#endif  // QAVREK_RANDOM_MERSENNE_TWISTER_SHARED

HWY_BEFORE_NAMESPACE();
namespace qavrek {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;
using namespace mersenne;

// The next state from the current one, in place. Element i reads elements i + 1 and i + 397 of the old
// state, the latter wrapping round to element i - 227 of the new one, so vectors of up to 227 elements move
// in order.
void twist(std::uint32_t* HWY_RESTRICT state) {
  const hn::ScalableTag<std::uint32_t> d;
  const size_t N = hn::Lanes(d);
  const auto twist = [&](auto current, auto next, auto shifted) {
    const auto y = hn::Or(hn::And(current, hn::Set(d, upper_bit)), hn::And(next, hn::Set(d, lower_bits)));
    const auto odd = hn::Sub(hn::Zero(d), hn::And(y, hn::Set(d, 1u)));  // all ones where y is odd
    return hn::Xor(hn::Xor(shifted, hn::ShiftRight<1>(y)), hn::And(odd, hn::Set(d, matrix_a)));
  };
  constexpr size_t wrap = state_size - shift_size;
  size_t i = 0;
  for (; i + N <= wrap; i += N)
    hn::StoreU(twist(hn::LoadU(d, state + i), hn::LoadU(d, state + i + 1), hn::LoadU(d, state + i + shift_size)), d,
               state + i);
  for (; i < wrap; ++i) state[i] = twisted(state[i], state[i + 1], state[i + shift_size]);
  for (; i + N <= state_size - 1; i += N)
    hn::StoreU(twist(hn::LoadU(d, state + i), hn::LoadU(d, state + i + 1), hn::LoadU(d, state + i - wrap)), d,
               state + i);
  for (; i < state_size - 1; ++i) state[i] = twisted(state[i], state[i + 1], state[i - wrap]);
  state[state_size - 1] = twisted(state[state_size - 1], state[0], state[shift_size - 1]);
}

// The tempered words of count elements of the state.
void temper(const std::uint32_t* HWY_RESTRICT state, std::uint32_t* HWY_RESTRICT words, size_t count) {
  const hn::ScalableTag<std::uint32_t> d;
  const size_t N = hn::Lanes(d);
  size_t j = 0;
  for (; j + N <= count; j += N) {
    auto y = hn::LoadU(d, state + j);
    y = hn::Xor(y, hn::ShiftRight<11>(y));
    y = hn::Xor(y, hn::And(hn::ShiftLeft<7>(y), hn::Set(d, 0x9d2c5680u)));
    y = hn::Xor(y, hn::And(hn::ShiftLeft<15>(y), hn::Set(d, 0xefc60000u)));
    y = hn::Xor(y, hn::ShiftRight<18>(y));
    hn::StoreU(y, d, words + j);
  }
  for (; j < count; ++j) words[j] = tempered(state[j]);
}

}  // namespace HWY_NAMESPACE
}  // namespace qavrek
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace qavrek {

HWY_EXPORT(twist);
HWY_EXPORT(temper);

mersenne_twister::mersenne_twister(size_t seed) : index_(state_size) {
  state_[0] = static_cast<std::uint32_t>(seed);
  for (size_t i = 1; i < state_size; ++i)
    state_[i] = 1812433253u * (state_[i - 1] ^ (state_[i - 1] >> 30)) + static_cast<std::uint32_t>(i);
}

void mersenne_twister::refill() noexcept {
  HWY_DYNAMIC_DISPATCH(twist)(state_.data());
  index_ = 0;
}

void mersenne_twister::next_words(std::uint32_t* words, size_t count) {
  while (count > 0) {
    if (index_ == state_size) refill();
    const size_t step = std::min(count, state_size - index_);
    HWY_DYNAMIC_DISPATCH(temper)(state_.data() + index_, words, step);
    index_ += step;
    words += step;
    count -= step;
  }
}

void mersenne_twister::skip_words(size_t count) {
  if (count >= jump_threshold) {
    jump(count);
    return;
  }
  while (count > 0) {
    if (index_ == state_size) refill();
    const size_t step = std::min(count, state_size - index_);
    index_ += step;
    count -= step;
  }
}

namespace {

// The words x_i of the recurrence in a sliding window: x_(i+624) from x_i, x_(i+1) and x_(i+397). Only the
// top bit of x_i is read, so the low 31 bits of the oldest word are not part of the state.
struct mersenne_register {
  static constexpr size_t size = mersenne::state_size;
  static constexpr std::ptrdiff_t direction = 1;
  static void advance(std::uint32_t* x) noexcept { x[size] = mersenne::twisted(x[0], x[1], x[mersenne::shift_size]); }
};

}  // namespace

void mersenne_twister::jump(size_t count) {
  const size_t in_block = std::min(count, state_size - index_);
  index_ += in_block;
  count -= in_block;
  if (count == 0) return;
  // state_ holds the block whose words are all handed out: whole blocks are passed by moving it on 624 steps
  // per block, then the rest is taken from the next block.
  const size_t blocks = count / state_size;
  if (blocks > 0) jump_state<mersenne_register>(jump_table().power_of_x(blocks), degree, state_.data());
  if (count % state_size == 0) return;
  refill();
  index_ = count % state_size;
}

const jump_polynomials& mersenne_twister::jump_table() {
  // A constant of the recurrence, made on first use and shared by every generator and thread.
  static const jump_polynomials table(
      [] {
        mersenne_twister generator(random_settings::default_seed);
        return jump_polynomials::characteristic_polynomial(generator, degree);
      }(),
      state_size);
  return table;
}

}  // namespace qavrek
#endif  // HWY_ONCE
