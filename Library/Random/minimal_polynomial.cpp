#include "Random/minimal_polynomial.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "Core/check.h"

namespace qavrek {
namespace {

// 64 bits of `bits` from bit `first` on.
std::uint64_t bits_from(const std::vector<std::uint64_t>& bits, size_t first) {
  const size_t word = first / 64, offset = first % 64;
  const std::uint64_t low = bits[word] >> offset;
  return offset == 0 ? low : low | (bits[word + 1] << (64 - offset));
}

// c += b x^shift, b of degree at most `degree`.
void add_shifted(std::vector<std::uint64_t>& c, const std::vector<std::uint64_t>& b, size_t degree, size_t shift) {
  const size_t word = shift / 64, offset = shift % 64;
  for (size_t w = 0; w <= degree / 64; ++w) {
    c[w + word] ^= b[w] << offset;
    if (offset != 0) c[w + word + 1] ^= b[w] >> (64 - offset);
  }
}

}  // namespace

gf2_polynomial minimal_polynomial(const std::vector<std::uint64_t>& bits, size_t count) {
  QAVREK_CHECK(count > 0 && bits.size() * 64 >= count, "a sequence of ", count, " bits needs ", (count + 63) / 64,
               " words, got ", bits.size());
  // The discrepancy sum_(i <= L) c_i s_(n - i) is the parity of c AND the reversed sequence from count - 1 - n;
  // the reversed sequence is kept at each of the 64 bit offsets, so that this is a run of whole words.
  const size_t words = count / 64 + 2;
  std::vector<std::uint64_t> reversed(words, 0);
  for (size_t n = 0; n < count; ++n)
    if ((bits[n / 64] >> (n % 64)) & 1u) reversed[(count - 1 - n) / 64] |= std::uint64_t(1) << ((count - 1 - n) % 64);
  std::vector<std::uint64_t> shifted(64 * words, 0);
  for (size_t offset = 0; offset < 64; ++offset)
    for (size_t w = 0; w + 1 < words; ++w) shifted[offset * words + w] = bits_from(reversed, 64 * w + offset);

  // The connection polynomial c (c_0 = 1) of the shortest recurrence found so far, of length L, and b, the
  // one before the last change of length, of degree at most b_degree, which is m bits behind.
  const size_t capacity = 2 * words + 2;
  std::vector<std::uint64_t> c(capacity, 0), b(capacity, 0), previous(capacity, 0);
  c[0] = b[0] = 1;
  size_t length = 0, b_degree = 0, m = 1;
  for (size_t n = 0; n < count; ++n) {
    const size_t first = count - 1 - n;
    const std::uint64_t* window = shifted.data() + (first % 64) * words + first / 64;
    std::uint64_t sum = 0;
    for (size_t w = 0; w <= length / 64; ++w) sum ^= c[w] & window[w];
    if (std::popcount(sum) % 2 == 0) {
      ++m;
      continue;
    }
    if (2 * length <= n) {
      std::copy_n(c.begin(), length / 64 + 1, previous.begin());
      add_shifted(c, b, b_degree, m);
      b_degree = length;
      length = n + 1 - length;
      std::swap(b, previous);
      m = 1;
    } else {
      add_shifted(c, b, b_degree, m);
      ++m;
    }
  }

  // p(x) = x^L c(1/x).
  gf2_polynomial p(length / 64 + 1, 0);
  for (size_t j = 0; j <= length; ++j)
    if ((c[(length - j) / 64] >> ((length - j) % 64)) & 1u) p[j / 64] |= std::uint64_t(1) << (j % 64);
  return p;
}

}  // namespace qavrek
