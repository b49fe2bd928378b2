#include "Random/sobol_sequence.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <vector>

#include "Core/error.h"
#include "Random/sobol_direction_numbers.h"

namespace qavrek {
namespace {

// Arithmetic of polynomials over GF(2) held as bit masks, modulo a polynomial of degree s.
std::uint64_t multiply_modulo(std::uint64_t x, std::uint64_t y, std::uint64_t modulus, unsigned s) {
  std::uint64_t product = 0;
  for (; y != 0; y >>= 1) {
    if (y & 1u) product ^= x;
    x <<= 1;
    if ((x >> s) & 1u) x ^= modulus;
  }
  return product;
}

std::uint64_t power_modulo(std::uint64_t base, std::uint64_t exponent, std::uint64_t modulus, unsigned s) {
  std::uint64_t result = 1;
  for (; exponent != 0; exponent >>= 1) {
    if (exponent & 1u) result = multiply_modulo(result, base, modulus, s);
    base = multiply_modulo(base, base, modulus, s);
  }
  return result;
}

std::vector<std::uint64_t> prime_factors(std::uint64_t n) {
  std::vector<std::uint64_t> factors;
  for (std::uint64_t q = 2; q * q <= n; ++q) {
    if (n % q != 0) continue;
    factors.push_back(q);
    while (n % q == 0) n /= q;
  }
  if (n > 1) factors.push_back(n);
  return factors;
}

// x generates the multiplicative group of GF(2^s): its order is 2^s - 1 and no proper divisor of it.
bool is_primitive(std::uint64_t polynomial, unsigned s) {
  if (s == 1) return polynomial == 0b11;
  const std::uint64_t order = (std::uint64_t(1) << s) - 1;
  if (power_modulo(0b10, order, polynomial, s) != 1) return false;
  for (std::uint64_t q : prime_factors(order))
    if (power_modulo(0b10, order / q, polynomial, s) == 1) return false;
  return true;
}

TEST(SobolDirectionNumbers, EveryPrimitivePolynomialInOrderWithValidInitialNumbers) {
  // The number of primitive polynomials of degree s is phi(2^s - 1) / s.
  const std::map<unsigned, size_t> primitive_count = {{1, 1},    {2, 1},    {3, 2},    {4, 2},    {5, 6},
                                                      {6, 6},    {7, 18},   {8, 16},   {9, 48},   {10, 60},
                                                      {11, 176}, {12, 144}, {13, 630}, {14, 756}, {15, 1800}};
  std::map<unsigned, size_t> count;
  std::uint64_t previous = 0;
  for (size_t d = 0; d < sobol_direction_numbers_size; ++d) {
    const auto& entry = sobol_direction_numbers[d];
    const unsigned s = entry.degree;
    const std::uint64_t polynomial = (std::uint64_t(1) << s) | (std::uint64_t(entry.coefficients) << 1) | 1u;
    ASSERT_LT(previous, polynomial) << "dimension " << d + 2 << " breaks the order of the polynomials";
    ASSERT_TRUE(is_primitive(polynomial, s)) << "dimension " << d + 2;
    for (unsigned k = 1; k <= s; ++k) {
      ASSERT_EQ(entry.m[k - 1] % 2, 1) << "dimension " << d + 2 << ", m_" << k;
      ASSERT_LT(entry.m[k - 1], 1u << k) << "dimension " << d + 2 << ", m_" << k;
    }
    ++count[s];
    previous = polynomial;
  }
  EXPECT_EQ(count, primitive_count);
  EXPECT_EQ(sobol_sequence::maximum_dimension(), 3667u);
}

TEST(SobolSequence, FirstPointsOfTheFirstThreeDimensions) {
  // The classical start of the Sobol sequence in Gray-code order, in units of 1/16.
  const int expected[][3] = {{8, 8, 8},   {12, 4, 4},  {4, 12, 12}, {6, 6, 10},
                             {14, 14, 2}, {10, 2, 14}, {2, 10, 6},  {3, 5, 15}};
  sobol_sequence sobol(3);
  for (const auto& point : expected) {
    sobol.advance();
    for (size_t d = 0; d < 3; ++d)
      EXPECT_EQ(sobol.point()[d], std::uint32_t(point[d]) << 28) << "point " << sobol.index();
  }
}

TEST(SobolSequence, EachDimensionIsANetInBase2) {
  // Points 0 .. 2^m - 1 put exactly one point in each interval of length 2^-m, in every dimension.
  constexpr unsigned m = 12;
  const size_t dimension = sobol_sequence::maximum_dimension();
  sobol_sequence sobol(dimension);
  std::vector<std::vector<bool>> seen(dimension, std::vector<bool>(1u << m, false));
  for (std::uint64_t n = 0; n < (1u << m); ++n) {
    if (n > 0) sobol.advance();
    for (size_t d = 0; d < dimension; ++d) {
      const std::uint32_t cell = sobol.point()[d] >> (32 - m);
      ASSERT_FALSE(seen[d][cell]) << "dimension " << d + 1 << ", point " << n;
      seen[d][cell] = true;
    }
  }
}

TEST(SobolSequence, DirectAccessEqualsStepping) {
  const size_t dimension = 40;
  for (std::uint64_t start :
       {std::uint64_t(0), std::uint64_t(1000), std::uint64_t(1) << 31, sobol_sequence::last_index - 20}) {
    sobol_sequence stepping(dimension), jumping(dimension);
    stepping.move_to(start);
    for (std::uint64_t n = start + 1; n <= start + 20; ++n) {
      stepping.advance();
      jumping.move_to(n);
      for (size_t d = 0; d < dimension; ++d) ASSERT_EQ(stepping.point()[d], jumping.point()[d]) << "point " << n;
    }
  }
}

TEST(SobolSequence, CoordinatesOfADimensionAreThoseOfThePointsInOrder) {
  // Runs that start and end inside and on the blocks of sixteen points, and one that ends on the last point.
  struct run_case {
    std::uint64_t first;
    size_t count;
  };
  const run_case runs[] = {{0, 1},    {1, 15},   {5, 100},  {15, 33},  {16, 16},
                           {(std::uint64_t(1) << 31) - 7, 50}, {sobol_sequence::last_index - 40, 41}};
  const size_t dimension = sobol_sequence::maximum_dimension();
  sobol_sequence reference(dimension);
  const sobol_sequence sequence(dimension);
  for (const auto& run : runs) {
    for (size_t d : {size_t(0), size_t(1), size_t(7), dimension - 1}) {
      std::vector<std::uint32_t> x(run.count);
      sequence.coordinates(d, run.first, run.count, x.data());
      reference.move_to(run.first);
      for (size_t i = 0; i < run.count; ++i) {
        if (i > 0) reference.advance();
        ASSERT_EQ(x[i], reference.point()[d]) << "dimension " << d << ", point " << run.first + i;
      }
    }
  }
  EXPECT_EQ(sequence.index(), 0u);  // the current point stays where it was
}

TEST(SobolSequence, RefusesMissingDimensionsAndPointsBeyondTheLast) {
  EXPECT_THROW(sobol_sequence(0), Error);
  EXPECT_THROW(sobol_sequence(sobol_sequence::maximum_dimension() + 1), Error);
  sobol_sequence sobol(2);
  sobol.move_to(sobol_sequence::last_index);
  EXPECT_THROW(sobol.advance(), Error);
  EXPECT_THROW(sobol.move_to(sobol_sequence::last_index + 1), Error);
  std::uint32_t x[2];
  EXPECT_THROW(sobol.coordinates(2, 1, 1, x), Error);
  EXPECT_THROW(sobol.coordinates(0, sobol_sequence::last_index, 2, x), Error);
  EXPECT_THROW(sobol.coordinates(0, sobol_sequence::last_index + 1, 1, x), Error);
  EXPECT_NO_THROW(sobol.coordinates(1, sobol_sequence::last_index, 1, x));
}

}  // namespace
}  // namespace qavrek
