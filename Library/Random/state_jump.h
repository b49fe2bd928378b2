#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Random/gf2_modulus.h"

namespace qavrek {

// target[i] ^= source[i], i < count, on the widest vector unit of the machine.
void xor_words(std::uint32_t* target, const std::uint32_t* source, size_t count) noexcept;

// Moves the state of a linear generator to g(A) applied to it, A being one step of the generator: with
// g = x^n mod p (p the characteristic polynomial of A, of degree k) this is the state n steps on.
//
// The generator is seen as a window of Register::size words sliding along a sequence of words, forward
// (Register::direction +1: each step writes the next word past the window's end) or backward (-1: each step
// writes the word before the window, and may rewrite the window's first word, which the step has read).
// advance(window) makes one step; the window then starts one word further in the direction. The state is
// given and returned in the window's order.
//
// g(A) s is evaluated by Horner's scheme along the sequence, q coefficients of g at a time (the sliding
// window of Haramoto et al.): the 2^q sums h(A) s, deg h < q, are tabulated, then k steps and k / q additions
// of a tabulated state give the sum. Bits that the generator never reads again (the low bits of the oldest
// word that some generators keep) may differ from those of n plain steps; every word it reads or hands out
// is the same.
template <class Register>
void jump_state(const gf2_polynomial& g, size_t degree, std::uint32_t* state) {
  constexpr size_t r = Register::size;
  // The table of 2^q states then stays within a core's second-level cache (about 0.7 MB).
  constexpr unsigned q = r <= 1024 ? 8 : 7;
  constexpr size_t combinations = size_t(1) << q;
  const auto coefficients = [&](size_t window) {
    size_t h = 0;
    for (unsigned j = 0; j < q; ++j) {
      const size_t i = q * window + j;
      if (i < degree && ((g[i / 64] >> (i % 64)) & 1u)) h |= size_t(1) << j;
    }
    return h;
  };
  // A sequence of `steps` steps past the r words of a window; window(first) is its first window.
  const auto sequence = [](size_t steps) { return std::vector<std::uint32_t>(Register::size + steps + 1, 0); };
  const auto first_window = [](std::vector<std::uint32_t>& words, size_t steps) {
    return Register::direction > 0 ? words.data() : words.data() + steps;
  };

  // table[h] = h(A) s: A^j s for j < q along one sequence, then every sum of them.
  std::vector<std::uint32_t> table(combinations * r, 0);
  std::vector<std::uint32_t> basis = sequence(q);
  std::uint32_t* window = first_window(basis, q);
  std::memcpy(window, state, r * sizeof(std::uint32_t));
  for (unsigned j = 0; j < q; ++j) {
    std::memcpy(table.data() + (size_t(1) << j) * r, window, r * sizeof(std::uint32_t));
    Register::advance(window);
    window += Register::direction;
  }
  for (size_t h = 3; h < combinations; ++h) {
    const size_t low = h & (~h + 1);
    if (low == h) continue;
    std::uint32_t* entry = table.data() + h * r;
    std::memcpy(entry, table.data() + (h - low) * r, r * sizeof(std::uint32_t));
    xor_words(entry, table.data() + low * r, r);
  }

  const size_t windows = (degree + q - 1) / q;
  std::vector<std::uint32_t> horner = sequence(q * windows);
  window = first_window(horner, q * windows);
  std::memcpy(window, table.data() + coefficients(windows - 1) * r, r * sizeof(std::uint32_t));
  for (size_t w = windows - 1; w-- > 0;) {
    for (unsigned j = 0; j < q; ++j) {
      Register::advance(window);
      window += Register::direction;
    }
    xor_words(window, table.data() + coefficients(w) * r, r);
  }
  std::memcpy(state, window, r * sizeof(std::uint32_t));
}

}  // namespace qavrek
