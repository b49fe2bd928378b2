// Polynomials over GF(2) modulo a fixed one. The small products run on the carry-less multiplication of the
// machine's vector unit, chosen at run time; this file is compiled once per instruction set, AVX-512 with
// 512-bit carry-less multiplication (four products an instruction) included.

#ifndef HWY_WANT_AVX3_DL
#define HWY_WANT_AVX3_DL
#endif
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "Random/gf2_modulus.cpp"
#include <hwy/foreach_target.h>  // re-includes this file once per instruction set
#include <hwy/highway.h>

#ifndef QAVREK_RANDOM_GF2_MODULUS_SHARED
#define QAVREK_RANDOM_GF2_MODULUS_SHARED

#include <algorithm>
#include <bit>
#include <cstring>

#include "Core/check.h"
#include "Random/gf2_modulus.h"

namespace qavrek {
namespace gf2 {

// Karatsuba halves products down to at most this many words (an even count); below it the schoolbook kernel
// is faster.
constexpr size_t base_words = 20;

}  // namespace gf2
}  // namespace qavrek

#endif  // QAVREK_RANDOM_GF2_MODULUS_SHARED

HWY_BEFORE_NAMESPACE();
namespace qavrek {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// c[0 .. 2n) = a b for an even n <= base_words, schoolbook. On 128-bit vectors it runs over two-word blocks,
// column by column so that the sums stay in registers; a block product takes three carry-less
// multiplications: the low words', the high words', and that of each block's two words added, from which the
// cross terms follow.
void schoolbook_product(const std::uint64_t* HWY_RESTRICT a, const std::uint64_t* HWY_RESTRICT b, size_t n,
                        std::uint64_t* HWY_RESTRICT c) {
#if HWY_TARGET == HWY_SCALAR
  // No 128-bit vectors: one bit of b at a time.
  std::memset(c, 0, 2 * n * sizeof(std::uint64_t));
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j < n; ++j)
      for (unsigned s = 0; s < 64; ++s) {
        if (((b[j] >> s) & 1u) == 0) continue;
        c[i + j] ^= a[i] << s;
        if (s != 0) c[i + j + 1] ^= a[i] >> (64 - s);
      }
#elif HWY_TARGET == HWY_AVX3_DL
  // Eight words a vector: each word of a times the words of b under an output window of eight words, the
  // products of even lanes landing on the window, those of odd lanes one word further (the last of them on
  // the next window).
  const hn::Full512<std::uint64_t> d;
  constexpr size_t lanes = 8;
  std::uint64_t padded_b[gf2::base_words + 2 * lanes];
  std::uint64_t out[2 * gf2::base_words + lanes];
  std::fill_n(padded_b, lanes, 0);
  std::memcpy(padded_b + lanes, b, n * sizeof(std::uint64_t));
  std::fill_n(padded_b + lanes + n, lanes, 0);
  auto odd_before = hn::Zero(d);
  for (size_t o = 0; o + 1 < 2 * n; o += lanes) {
    auto even = hn::Zero(d), odd = hn::Zero(d);
    const size_t first = o + 1 > n ? o + 1 - n : 0, last = std::min(n - 1, o + lanes - 1);
    for (size_t i = first; i <= last; ++i) {
      const auto x = hn::Set(d, a[i]), y = hn::LoadU(d, padded_b + lanes + o - i);
      even = hn::Xor(even, hn::CLMulLower(x, y));
      odd = hn::Xor(odd, hn::CLMulUpper(x, y));
    }
    // Lanes 0 .. 6 of odd one word up, lane 7 of the window before at word o.
    const hn::Vec512<std::uint64_t> odd_here{_mm512_alignr_epi64(odd.raw, odd_before.raw, 7)};
    hn::StoreU(hn::Xor(even, odd_here), d, out + o);
    odd_before = odd;
  }
  std::memcpy(c, out, 2 * n * sizeof(std::uint64_t));
#else
  const hn::Full128<std::uint64_t> d;
  const size_t blocks = n / 2;
  HWY_ALIGN std::uint64_t folded_a[gf2::base_words], folded_b[gf2::base_words];
  for (size_t i = 0; i < blocks; ++i) {
    folded_a[2 * i] = a[2 * i] ^ a[2 * i + 1];
    folded_b[2 * i] = b[2 * i] ^ b[2 * i + 1];
  }
  // Column k sums the block products of blocks i and k - i: low at word 2k, middle at 2k + 1, high at 2k + 2.
  auto middle_before = hn::Zero(d), high_before = hn::Zero(d);
  for (size_t k = 0; k + 1 < 2 * blocks; ++k) {
    auto low = hn::Zero(d), high = hn::Zero(d), folded = hn::Zero(d);
    const size_t first = k + 1 > blocks ? k + 1 - blocks : 0, last = std::min(k, blocks - 1);
    for (size_t i = first; i <= last; ++i) {
      const auto x = hn::LoadU(d, a + 2 * i), y = hn::LoadU(d, b + 2 * (k - i));
      low = hn::Xor(low, hn::CLMulLower(x, y));
      high = hn::Xor(high, hn::CLMulUpper(x, y));
      folded = hn::Xor(folded, hn::CLMulLower(hn::Load(d, folded_a + 2 * i), hn::Load(d, folded_b + 2 * (k - i))));
    }
    const auto middle = hn::Xor(folded, hn::Xor(low, high));
    const auto words = hn::Xor(hn::Xor(low, hn::ShiftLeftLanes<1>(d, middle)),
                               hn::Xor(hn::ShiftRightLanes<1>(d, middle_before), high_before));
    hn::StoreU(words, d, c + 2 * k);
    middle_before = middle;
    high_before = high;
  }
  hn::StoreU(hn::Xor(hn::ShiftRightLanes<1>(d, middle_before), high_before), d, c + 2 * n - 2);
#endif
}

}  // namespace HWY_NAMESPACE
}  // namespace qavrek
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace qavrek {

HWY_EXPORT(schoolbook_product);

namespace {

// c[0 .. 2n) = a b for n = base 2^levels words; scratch holds 4n words.
void karatsuba(const std::uint64_t* a, const std::uint64_t* b, size_t n, unsigned levels, std::uint64_t* c,
               std::uint64_t* scratch) {
  if (levels == 0) {
    HWY_DYNAMIC_DISPATCH(schoolbook_product)(a, b, n, c);
    return;
  }
  // a = a0 + x^64h a1: the cross term a0 b1 + a1 b0 is (a0 + a1)(b0 + b1) - a0 b0 - a1 b1.
  const size_t h = n / 2;
  karatsuba(a, b, h, levels - 1, c, scratch);
  karatsuba(a + h, b + h, h, levels - 1, c + n, scratch);
  std::uint64_t* sum_a = scratch;
  std::uint64_t* sum_b = scratch + h;
  std::uint64_t* cross = scratch + n;
  for (size_t i = 0; i < h; ++i) {
    sum_a[i] = a[i] ^ a[h + i];
    sum_b[i] = b[i] ^ b[h + i];
  }
  karatsuba(sum_a, sum_b, h, levels - 1, cross, scratch + 2 * n);
  for (size_t i = 0; i < n; ++i) cross[i] ^= c[i] ^ c[n + i];
  for (size_t i = 0; i < n; ++i) c[h + i] ^= cross[i];
}

size_t degree_of(const gf2_polynomial& p) {
  for (size_t w = p.size(); w-- > 0;)
    if (p[w] != 0) return 64 * w + 63 - static_cast<size_t>(std::countl_zero(p[w]));
  QAVREK_FAIL("the zero polynomial has no degree");
}

bool bit(const std::uint64_t* p, size_t i) { return (p[i / 64] >> (i % 64)) & 1u; }

// out[0 .. count) = the words of in from bit `shift` on; in has in_words words.
void shift_right(const std::uint64_t* in, size_t in_words, size_t shift, std::uint64_t* out, size_t count) {
  const size_t word = shift / 64, offset = shift % 64;
  for (size_t i = 0; i < count; ++i) {
    const std::uint64_t low = i + word < in_words ? in[i + word] : 0;
    const std::uint64_t high = offset != 0 && i + word + 1 < in_words ? in[i + word + 1] << (64 - offset) : 0;
    out[i] = (low >> offset) | high;
  }
}

}  // namespace

gf2_modulus::product_shape gf2_modulus::shape_of(size_t n) {
  product_shape shape{0, 0};
  size_t base = n + (n % 2);
  while (base > gf2::base_words) {
    ++shape.levels;
    base = (n + (size_t(1) << shape.levels) - 1) >> shape.levels;
    base += base % 2;
  }
  shape.words = base << shape.levels;
  return shape;
}

void gf2_modulus::product(const std::uint64_t* a, const std::uint64_t* b, size_t n, std::uint64_t* c) {
  const product_shape shape = shape_of(n);
  const size_t m = shape.words;
  std::vector<std::uint64_t> work(8 * m, 0);
  std::uint64_t* x = work.data();
  std::uint64_t* y = x + m;
  std::uint64_t* z = y + m;
  std::copy_n(a, n, x);
  std::copy_n(b, n, y);
  karatsuba(x, y, m, shape.levels, z, z + 2 * m);
  std::copy_n(z, 2 * n, c);
}

gf2_modulus::gf2_modulus(const gf2_polynomial& p) : degree_(degree_of(p)) {
  QAVREK_CHECK(degree_ >= 1, "a modulus needs degree at least 1");
  words_ = (degree_ + 63) / 64;
  shape_ = shape_of(degree_ / 64 + 1);
  const size_t m = shape_.words;
  modulus_.assign(m, 0);
  std::copy_n(p.begin(), degree_ / 64 + 1, modulus_.begin());

  // mu = x^2k div p by long division, subtracting p shifted to each leading bit; the 64 bit offsets of p
  // are made once so that every subtraction is a run of whole words.
  const size_t k = degree_;
  std::vector<gf2_polynomial> shifted(64, gf2_polynomial(m + 1, 0));
  for (size_t s = 0; s < 64; ++s)
    for (size_t w = 0; w < m; ++w) {
      shifted[s][w] ^= modulus_[w] << s;
      if (s != 0) shifted[s][w + 1] ^= modulus_[w] >> (64 - s);
    }
  std::vector<std::uint64_t> remainder(2 * m + 2, 0);
  remainder[2 * k / 64] = std::uint64_t(1) << (2 * k % 64);
  quotient_.assign(m, 0);
  for (size_t i = 2 * k + 1; i-- > k;) {
    if (!bit(remainder.data(), i)) continue;
    const size_t shift = i - k;
    quotient_[shift / 64] |= std::uint64_t(1) << (shift % 64);
    const gf2_polynomial& s = shifted[shift % 64];
    for (size_t w = 0; w < s.size(); ++w) remainder[shift / 64 + w] ^= s[w];
  }
}

gf2_polynomial gf2_modulus::multiply(const gf2_polynomial& a, const gf2_polynomial& b) const {
  // Operands padded to the product's shape, one product and its reduction, in one piece of memory.
  const size_t m = shape_.words, k = degree_;
  std::vector<std::uint64_t> work(14 * m, 0);
  std::uint64_t* x = work.data();
  std::uint64_t* y = x + m;
  std::uint64_t* c = y + m;
  std::uint64_t* high = c + 2 * m;
  std::uint64_t* estimate = high + m;
  std::uint64_t* multiple = estimate + 2 * m;
  std::uint64_t* scratch = multiple + 2 * m;
  std::copy_n(a.begin(), std::min(a.size(), words_), x);
  std::copy_n(b.begin(), std::min(b.size(), words_), y);
  karatsuba(x, y, m, shape_.levels, c, scratch);
  // The quotient ((c div x^k) mu) div x^k lands in high, over the words it no longer needs.
  shift_right(c, 2 * m, k, high, m);
  karatsuba(high, quotient_.data(), m, shape_.levels, estimate, scratch);
  shift_right(estimate, 2 * m, k, high, m);
  karatsuba(high, modulus_.data(), m, shape_.levels, multiple, scratch);
  gf2_polynomial residue(words_);
  for (size_t w = 0; w < words_; ++w) residue[w] = c[w] ^ multiple[w];
  if (k % 64 != 0) residue[words_ - 1] &= (std::uint64_t(1) << (k % 64)) - 1;
  return residue;
}

void gf2_modulus::multiply_by_x(gf2_polynomial& c) const {
  std::uint64_t carry = 0;
  for (std::uint64_t& w : c) {
    const std::uint64_t next = w >> 63;
    w = (w << 1) | carry;
    carry = next;
  }
  // c had degree below k, so bit k is the only one past a residue; p cancels it and adds its lower terms.
  const bool overflow = degree_ % 64 == 0 ? carry != 0 : ((c[words_ - 1] >> (degree_ % 64)) & 1u) != 0;
  if (!overflow) return;
  for (size_t w = 0; w < words_; ++w) c[w] ^= modulus_[w];
}

gf2_polynomial gf2_modulus::power_of_x(std::uint64_t n) const {
  gf2_polynomial result(words_, 0);
  result[0] = 1;
  for (int b = 63 - std::countl_zero(n | 1); b >= 0; --b) {
    result = multiply(result, result);
    if ((n >> b) & 1u) multiply_by_x(result);
  }
  return result;
}

}  // namespace qavrek
#endif  // HWY_ONCE
