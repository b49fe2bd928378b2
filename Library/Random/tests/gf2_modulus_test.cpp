#include "Random/gf2_modulus.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "Core/error.h"
#include "Random/minimal_polynomial.h"
#include "instruction_sets.h"

namespace qavrek {
namespace {

// Bit-at-a-time references, independent of the carry-less kernels and of Barrett's reduction.

bool coefficient(const gf2_polynomial& p, size_t i) { return i / 64 < p.size() && ((p[i / 64] >> (i % 64)) & 1u); }

void flip(gf2_polynomial& p, size_t i) {
  if (p.size() <= i / 64) p.resize(i / 64 + 1, 0);
  p[i / 64] ^= std::uint64_t(1) << (i % 64);
}

gf2_polynomial schoolbook(const gf2_polynomial& a, const gf2_polynomial& b) {
  gf2_polynomial c(a.size() + b.size(), 0);
  for (size_t i = 0; i < 64 * a.size(); ++i)
    if (coefficient(a, i))
      for (size_t j = 0; j < 64 * b.size(); ++j)
        if (coefficient(b, j)) flip(c, i + j);
  return c;
}

// c mod p by long division, in `words` words.
gf2_polynomial long_division_remainder(gf2_polynomial c, const gf2_polynomial& p, size_t degree, size_t words) {
  for (size_t i = 64 * c.size(); i-- > degree;)
    if (coefficient(c, i))
      for (size_t j = 0; j <= degree; ++j)
        if (coefficient(p, j)) flip(c, i - degree + j);
  c.resize(words, 0);
  return c;
}

gf2_polynomial random_polynomial(std::mt19937_64& engine, size_t degree_bound) {
  gf2_polynomial p((degree_bound + 63) / 64);
  for (auto& w : p) w = engine();
  if (degree_bound % 64 != 0) p.back() &= (std::uint64_t(1) << (degree_bound % 64)) - 1;
  return p;
}

gf2_polynomial monomials(std::initializer_list<size_t> exponents) {
  gf2_polynomial p;
  for (size_t e : exponents) flip(p, e);
  return p;
}

TEST(Gf2Modulus, ProductsAreThoseOfTheSchoolbookOnEveryInstructionSet) {
  // Word counts below, at and past the kernel's block and Karatsuba sizes, odd and even.
  std::mt19937_64 engine(11);
  for (size_t words :
       {size_t(1), size_t(2), size_t(3), size_t(19), size_t(20), size_t(21), size_t(40), size_t(41), size_t(157)}) {
    const gf2_polynomial a = random_polynomial(engine, 64 * words), b = random_polynomial(engine, 64 * words);
    gf2_polynomial expected = schoolbook(a, b);
    expected.resize(2 * words);
    // The machine's choice (which may be an instruction set that this program was not built for), then each.
    gf2_polynomial c(2 * words, ~std::uint64_t(0));
    gf2_modulus::product(a.data(), b.data(), words, c.data());
    EXPECT_EQ(c, expected) << words << " words";
    on_every_instruction_set([&](const char* target) {
      gf2_polynomial c(2 * words, ~std::uint64_t(0));
      gf2_modulus::product(a.data(), b.data(), words, c.data());
      EXPECT_EQ(c, expected) << target << ", " << words << " words";
    });
  }
}

TEST(Gf2Modulus, ResiduesAreThoseOfLongDivision) {
  // Degrees on either side of word boundaries: the quotient mu then needs one word more or less than p.
  std::mt19937_64 engine(12);
  for (size_t degree : {size_t(1), size_t(5), size_t(63), size_t(64), size_t(65), size_t(128), size_t(1000)}) {
    gf2_polynomial p = random_polynomial(engine, degree);
    p[0] |= 1u;
    flip(p, degree);
    const gf2_modulus modulus(p);
    ASSERT_EQ(modulus.degree(), degree);
    ASSERT_EQ(modulus.words(), (degree + 63) / 64);
    for (int trial = 0; trial < 3; ++trial) {
      const gf2_polynomial a = random_polynomial(engine, degree), b = random_polynomial(engine, degree);
      EXPECT_EQ(modulus.multiply(a, b), long_division_remainder(schoolbook(a, b), p, degree, modulus.words()))
          << "degree " << degree;
    }
  }
}

TEST(Gf2Modulus, PowersOfXAreRepeatedShifts) {
  // x^(k+1) and on wrap round through p; powers far out are products of nearer ones.
  const gf2_polynomial p = monomials({89, 38, 0});
  const gf2_modulus modulus(p);
  gf2_polynomial shifted = monomials({0});
  shifted.resize(modulus.words());
  for (std::uint64_t n = 0; n <= 300; ++n) {
    ASSERT_EQ(modulus.power_of_x(n), shifted) << "x^" << n;
    shifted = long_division_remainder(schoolbook(shifted, monomials({1})), p, 89, modulus.words());
  }
  const std::uint64_t m = 0x123456789abull, n = 0xfedcba98ull;
  EXPECT_EQ(modulus.power_of_x(m + n), modulus.multiply(modulus.power_of_x(m), modulus.power_of_x(n)));
}

TEST(Gf2Modulus, RefusesTheZeroPolynomial) {
  EXPECT_THROW(gf2_modulus(gf2_polynomial(3, 0)), Error);
  EXPECT_THROW(gf2_modulus(monomials({0})), Error);
}

// A linear feedback shift register: s_(n+k) is the sum of s_(n+j) over the lower terms x^j of p.
std::vector<std::uint64_t> register_sequence(const gf2_polynomial& p, size_t degree, size_t count) {
  std::vector<bool> s(count);
  std::mt19937_64 engine(13);
  for (size_t n = 0; n < degree; ++n) s[n] = engine() & 1u;
  for (size_t n = degree; n < count; ++n) {
    bool next = false;
    for (size_t j = 0; j < degree; ++j) next ^= coefficient(p, j) && s[n - degree + j];
    s[n] = next;
  }
  std::vector<std::uint64_t> bits((count + 63) / 64, 0);
  for (size_t n = 0; n < count; ++n)
    if (s[n]) bits[n / 64] |= std::uint64_t(1) << (n % 64);
  return bits;
}

TEST(MinimalPolynomial, RecoversTheFeedbackOfIrreducibleRegisters) {
  // Irreducible feedback, so any nonzero start gives a sequence of full linear complexity; degrees on either
  // side of a word.
  struct register_case {
    gf2_polynomial p;
    size_t degree;
  };
  const register_case cases[] = {{monomials({5, 2, 0}), 5},
                                 {monomials({31, 3, 0}), 31},
                                 {monomials({64, 4, 3, 1, 0}), 64},
                                 {monomials({89, 38, 0}), 89},
                                 {monomials({521, 32, 0}), 521}};
  for (const auto& c : cases) {
    for (size_t count : {2 * c.degree, 3 * c.degree + 7}) {
      gf2_polynomial expected = c.p;
      expected.resize(c.degree / 64 + 1, 0);
      EXPECT_EQ(minimal_polynomial(register_sequence(c.p, c.degree, count), count), expected)
          << "degree " << c.degree << " from " << count << " bits";
    }
  }
}

TEST(MinimalPolynomial, OfShortRecurrences) {
  // All zeros: the empty recurrence, p = 1; 1, 0, 1, 0, ...: s_(n+2) = s_n, p = x^2 + 1.
  EXPECT_EQ(minimal_polynomial({0}, 64), monomials({0}));
  EXPECT_EQ(minimal_polynomial({0x5555555555555555ull}, 64), monomials({2, 0}));
  EXPECT_THROW(minimal_polynomial({0}, 65), Error);
}

}  // namespace
}  // namespace qavrek
