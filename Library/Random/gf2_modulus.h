#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qavrek {

// A polynomial over GF(2): bit i of word j is the coefficient of x^(64 j + i).
using gf2_polynomial = std::vector<std::uint64_t>;

// Arithmetic modulo a fixed polynomial p over GF(2) of degree k >= 1. A residue is a polynomial of degree
// below k, held in words() words.
//
// Products are carry-less (Karatsuba over 64-bit carry-less multiplications on the vector unit) and reduced
// by Barrett's method, which is exact over GF(2): with mu = x^2k div p, the quotient of c by p, for c of
// degree below 2k, is ((c div x^k) mu) div x^k, so a reduction costs two more products and no division.
class gf2_modulus {
 public:
  // p must have degree at least 1; words past its degree may be present (zero).
  explicit gf2_modulus(const gf2_polynomial& p);

  size_t degree() const noexcept { return degree_; }
  size_t words() const noexcept { return words_; }
  const gf2_polynomial& polynomial() const noexcept { return modulus_; }

  // a b mod p, for residues a and b (words() words each).
  gf2_polynomial multiply(const gf2_polynomial& a, const gf2_polynomial& b) const;
  // x^n mod p, by squaring and multiplying by x along the bits of n.
  gf2_polynomial power_of_x(std::uint64_t n) const;

  // c = a b for two polynomials of n words each; c receives 2n words.
  static void product(const std::uint64_t* a, const std::uint64_t* b, size_t n, std::uint64_t* c);

 private:
  // Karatsuba splits a product of n words `levels` times, over operands padded to `words`.
  struct product_shape {
    unsigned levels;
    size_t words;
  };
  static product_shape shape_of(size_t n);

  // c x mod p, in place.
  void multiply_by_x(gf2_polynomial& c) const;

  size_t degree_;
  size_t words_;  // of a residue
  product_shape shape_;  // of the products of residues, p and mu, which have degree k
  gf2_polynomial modulus_;   // p, padded to shape_.words
  gf2_polynomial quotient_;  // mu, padded likewise
};

}  // namespace qavrek
