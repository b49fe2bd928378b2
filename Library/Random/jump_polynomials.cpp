#include "Random/jump_polynomials.h"

#include <utility>

#include "Core/check.h"
#include "Random/minimal_polynomial.h"

namespace qavrek {

gf2_polynomial jump_polynomials::characteristic_polynomial(random& generator, size_t degree) {
  const size_t count = 2 * degree;
  std::vector<double> uniforms(count);
  generator.uniforms(uniforms.data(), count, 0);
  std::vector<std::uint64_t> bits((count + 63) / 64, 0);
  for (size_t i = 0; i < count; ++i) {
    const auto word = static_cast<std::uint32_t>(uniforms[i] * 0x1p32);
    bits[i / 64] |= std::uint64_t(word & 1u) << (i % 64);
  }
  gf2_polynomial p = minimal_polynomial(bits, count);
  const bool found = p.size() == degree / 64 + 1 && p.back() >> (degree % 64) == 1u;
  QAVREK_CHECK(found, "the output of the generator should have linear complexity ", degree);
  return p;
}

jump_polynomials::jump_polynomials(const gf2_polynomial& characteristic, std::uint64_t unit)
    : modulus_(characteristic), unit_(unit) {
  QAVREK_CHECK(unit >= 1, "a jump unit has at least one step");
}

const std::vector<gf2_polynomial>& jump_polynomials::digit_powers(size_t position) const {
  std::call_once(made_[position], [&] {
    // Made apart and kept whole: a failure part-way leaves the position to be made again.
    std::vector<gf2_polynomial> powers;
    powers.reserve(digit_values);
    // x^(unit 16^i) is x^(unit 15 16^(i-1)) x^(unit 16^(i-1)), and every other digit a multiple of it.
    if (position == 0) {
      powers.push_back(modulus_.power_of_x(unit_));
    } else {
      const std::vector<gf2_polynomial>& below = digit_powers(position - 1);
      powers.push_back(modulus_.multiply(below.back(), below.front()));
    }
    while (powers.size() < digit_values) powers.push_back(modulus_.multiply(powers.back(), powers.front()));
    powers_[position] = std::move(powers);
  });
  return powers_[position];
}

gf2_polynomial jump_polynomials::power_of_x(std::uint64_t n) const {
  gf2_polynomial result;
  for (size_t position = 0; position < digits; ++position) {
    const size_t digit = (n >> (digit_bits * position)) & digit_values;
    if (digit == 0) continue;
    const gf2_polynomial& power = digit_powers(position)[digit - 1];
    result = result.empty() ? power : modulus_.multiply(result, power);
  }
  if (result.empty()) {
    result.assign(modulus_.words(), 0);
    result[0] = 1;
  }
  return result;
}

}  // namespace qavrek
