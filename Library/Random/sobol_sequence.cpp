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

void sobol_sequence::coordinates(size_t d, std::uint64_t first, size_t count, std::uint32_t* out) const {
  if (count == 0) return;
  QAVREK_CHECK(d < dimension_, "a Sobol sequence of ", dimension_, " dimensions has no dimension ", d);
  const bool exists = first <= last_index && count - 1 <= last_index - first;
  QAVREK_CHECK(exists, "the Sobol sequence has ", last_index, " points after the zero point, points ", first, " to ",
               first + (count - 1), " do not all exist");
  std::uint32_t v[bits];
  for (unsigned j = 0; j < bits; ++j) v[j] = directions_[j * dimension_ + d];

  std::uint32_t x = 0;
  const std::uint64_t gray = first ^ (first >> 1);
  for (unsigned j = 0; j < bits; ++j)
    if ((gray >> j) & 1u) x ^= v[j];
  std::uint64_t n = first;
  size_t i = 0;
  out[i++] = x;
  // Point n + 1 of the recurrence: the Gray codes of n and n + 1 differ in the lowest set bit of n + 1.
  const auto step = [&] { x ^= v[std::countr_zero(++n)]; };
  constexpr size_t block = 16;
  while (i < count && (n + 1) % block != 0) {
    step();
    out[i++] = x;
  }
  // A point whose index is a multiple of 16 and the next fifteen: their Gray codes differ from its own in
  // the four lowest bits only, by the Gray code of the offset.
  std::uint32_t offset[block];
  for (size_t j = 0; j < block; ++j) {
    const size_t g = j ^ (j >> 1);
    offset[j] = 0;
    for (unsigned b = 0; b < 4; ++b)
      if ((g >> b) & 1u) offset[j] ^= v[b];
  }
  for (; count - i >= block; i += block) {
    step();
    for (size_t j = 0; j < block; ++j) out[i + j] = x ^ offset[j];
    x ^= offset[block - 1];
    n += block - 1;
  }
  while (i < count) {
    step();
    out[i++] = x;
  }
}

}  // namespace qavrek
