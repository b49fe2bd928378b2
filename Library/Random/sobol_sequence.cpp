#include "Random/sobol_sequence.h"

#include <algorithm>
#include <bit>
#include <iterator>

#include "Core/check.h"
#include "Random/sobol_direction_numbers.h"

namespace qavrek {
namespace {

constexpr unsigned bits = 32;

// v_1..v_32 of one dimension from its initial numbers and the recurrence of its polynomial:
// v_k = a_1 v_(k-1) ^ ... ^ a_(s-1) v_(k-s+1) ^ v_(k-s) ^ (v_(k-s) >> s).
void fill_directions(const sobol_initial_directions& initial, std::uint32_t* v, size_t stride) {
  // The table holds degrees up to 15.
  const unsigned s = std::min<unsigned>(initial.degree, std::size(initial.m));
  auto at = [&](unsigned k) -> std::uint32_t& { return v[(k - 1) * stride]; };
  for (unsigned k = 0; k < s; ++k) at(k + 1) = static_cast<std::uint32_t>(std::data(initial.m)[k]) << (bits - 1 - k);
  for (unsigned k = s + 1; k <= bits; ++k) {
    std::uint32_t value = at(k - s) ^ (at(k - s) >> s);
    for (unsigned i = 1; i < s; ++i)
      if ((initial.coefficients >> (s - 1 - i)) & 1u) value ^= at(k - i);
    at(k) = value;
  }
}

}  // namespace

size_t sobol_sequence::maximum_dimension() noexcept { return sobol_direction_numbers_size + 1; }

sobol_sequence::sobol_sequence(size_t dimension) : dimension_(dimension), directions_(), point_(), index_(0) {
  const bool supported = dimension >= 1 && dimension <= maximum_dimension();
  QAVREK_CHECK(supported, "a Sobol sequence has 1 to ", maximum_dimension(), " dimensions, not ", dimension);
  directions_.resize(bits * dimension);
  point_.assign(dimension, 0u);
  for (unsigned k = 1; k <= bits; ++k) directions_[(k - 1) * dimension] = 1u << (bits - k);  // van der Corput
  for (size_t d = 1; d < dimension; ++d) fill_directions(sobol_direction_numbers[d - 1], &directions_[d], dimension);
}

void sobol_sequence::move_to(std::uint64_t index) {
  QAVREK_CHECK(index <= last_index, "the Sobol sequence has ", last_index, " points after the zero point, point ",
               index, " does not exist");
  point_.assign(dimension_, 0u);
  const std::uint64_t gray = index ^ (index >> 1);
  for (unsigned j = 0; j < bits; ++j) {
    if (((gray >> j) & 1u) == 0) continue;
    const std::uint32_t* v = &directions_[j * dimension_];
    for (size_t d = 0; d < dimension_; ++d) point_[d] ^= v[d];
  }
  index_ = index;
}

void sobol_sequence::advance() {
  QAVREK_CHECK(index_ < last_index, "the Sobol sequence has ", last_index, " points after the zero point");
  ++index_;
  // The Gray codes of index - 1 and index differ in the lowest set bit of index.
  const std::uint32_t* v = &directions_[static_cast<size_t>(std::countr_zero(index_)) * dimension_];
  for (size_t d = 0; d < dimension_; ++d) point_[d] ^= v[d];
}

}  // namespace qavrek
