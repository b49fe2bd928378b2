#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "Random/gf2_modulus.h"
#include "Random/random.h"

namespace qavrek {

// The jumps of a linear generator over GF(2): with p the characteristic polynomial of its transition A
// (A^n = g(A) for g = x^n mod p, since p(A) = 0), moving a state n steps on is applying g.
//
// Jumps are counted in units of a fixed number of steps (a generator that makes its words a block at a time
// jumps whole blocks). x^(unit n) mod p is composed from powers x^(unit d 16^i), d = 1 .. 15, one per nonzero
// hexadecimal digit of n: at most 15 products for any count, about 6 for the counts of a Monte Carlo run. The
// powers of a digit position are made on its first use and kept; a table is safe to share between threads.
class jump_polynomials {
 public:
  jump_polynomials(const gf2_polynomial& characteristic, std::uint64_t unit);

  jump_polynomials(const jump_polynomials&) = delete;
  jump_polynomials& operator=(const jump_polynomials&) = delete;

  // The characteristic polynomial of a linear generator of 32-bit words, one word per step, whose state has
  // `degree` bits: the minimal polynomial of bit 0 of its output (read through uniforms, w 2^-32), which is
  // the characteristic one when that is irreducible (a generator of full period). Fails unless it has that
  // degree. Draws 2 degree numbers from the generator.
  static gf2_polynomial characteristic_polynomial(random& generator, size_t degree);

  size_t degree() const noexcept { return modulus_.degree(); }
  const gf2_modulus& modulus() const noexcept { return modulus_; }

  std::uint64_t unit() const noexcept { return unit_; }

  // x^(unit n) mod p.
  gf2_polynomial power_of_x(std::uint64_t n) const;

 private:
  static constexpr unsigned digit_bits = 4;
  static constexpr size_t digits = 64 / digit_bits;
  static constexpr size_t digit_values = (size_t(1) << digit_bits) - 1;

  // x^(unit d 16^position) mod p at d - 1.
  const std::vector<gf2_polynomial>& digit_powers(size_t position) const;

  gf2_modulus modulus_;
  std::uint64_t unit_;
  mutable std::array<std::once_flag, digits> made_;
  mutable std::array<std::vector<gf2_polynomial>, digits> powers_;
};

}  // namespace qavrek
