// The standard normal quantile, one value at a time and in batches. The batches run on the widest vector
// instructions of the machine, chosen at run time; this file is compiled once per instruction set.

// Only instruction sets with fused multiply-add (AVX2, AVX-512) and the portable baseline, which fuses through
// std::fma: every machine then rounds alike and gives the same bits.
#ifndef HWY_DISABLED_TARGETS
#define HWY_DISABLED_TARGETS (HWY_SSSE3 | HWY_SSE4)
#endif
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "Random/inverse_normal_cdf.cpp"
#include <hwy/foreach_target.h>  // re-includes this file once per instruction set
#include <hwy/highway.h>

#ifndef QAVREK_RANDOM_INVERSE_NORMAL_CDF_SHARED
#define QAVREK_RANDOM_INVERSE_NORMAL_CDF_SHARED

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include "Random/inverse_normal_cdf.h"

namespace qavrek {
namespace inverse_normal {

// The central region |p - 1/2| <= 0.47 takes a minimax rational of degree 9 in r = 0.2265625 - (p - 1/2)^2,
// fitted to the quantile for a relative error under 4e-17: it covers 94% of the probabilities, so that the
// tails' logarithm and square root are rarely needed. The tails take Wichura's AS 241 (PPND16) rationals in
// r = sqrt(-log p), relative error about 1e-16. No refinement through erfc is needed.
constexpr double central_numerator[] = {4.153731723407789996881e0,   5.12264889366657984298e+2,
                                        2.456856110366467445935e+4,  5.848276443983613030121e+5,
                                        7.34940959787084872256e+6,   4.830612878288761652613e+7,
                                        1.560753928249437422847e+8,  2.17603999689518916159e+8,
                                        9.963045282501060883993e+7,  6.627090088995159077649e+6};
constexpr double central_denominator[] = {1.0,                         1.305224024468307100889e+2,
                                          6.70506890448167370823e+3,   1.73700418184298753656e+5,
                                          2.427573707378981675765e+6,  1.829307054198540997793e+7,
                                          7.0909995355690973273e+7,    1.278832601590606076358e+8,
                                          8.816762032658448201764e+7,  1.456852643839469388334e+7};
constexpr double near_tail_numerator[] = {1.42343711074968357734e0,  4.63033784615654529590e0,
                                          5.76949722146069140550e0,  3.64784832476320460504e0,
                                          1.27045825245236838258e0,  2.41780725177450611770e-1,
                                          2.27238449892691845833e-2, 7.74545014278341407640e-4};
constexpr double near_tail_denominator[] = {1.0,
                                            2.05319162663775882187e0,
                                            1.67638483018380384940e0,
                                            6.89767334985100004550e-1,
                                            1.48103976427480074590e-1,
                                            1.51986665636164571966e-2,
                                            5.47593808499534494600e-4,
                                            1.05075007164441684324e-9};
constexpr double far_tail_numerator[] = {6.65790464350110377720e0,  5.46378491116411436990e0,
                                         1.78482653991729133580e0,  2.96560571828504891230e-1,
                                         2.65321895265761230930e-2, 1.24266094738807843860e-3,
                                         2.71155556874348757815e-5, 2.01033439929228813265e-7};
constexpr double far_tail_denominator[] = {1.0,
                                           5.99832206555887937690e-1,
                                           1.36929880922735805310e-1,
                                           1.48753612908506148525e-2,
                                           7.86869131145613259100e-4,
                                           1.84631831751005468180e-5,
                                           1.42151175831644588870e-7,
                                           2.04426310338993978564e-15};

constexpr double central_half_width = 0.47;
constexpr double central_offset = 0.2265625;  // a little above 0.47^2, and exact
constexpr double near_tail_offset = 1.6;
constexpr double far_tail_start = 5.0;       // r beyond which the far tail applies

// The logarithm of the batches (fdlibm's reduction and Remez coefficients): x = 2^k y with y in
// [sqrt(1/2), sqrt(2)], f = y - 1, s = f / (2 + f) and log y = f - f^2/2 + s (f^2/2 + R(s^2)), within an ulp.
constexpr double log_coefficients[] = {6.666666666666735130e-01, 3.999999999940941908e-01, 2.857142874366239149e-01,
                                       2.222219843214978396e-01, 1.818357216161805012e-01, 1.531383769920937332e-01,
                                       1.479819860511658591e-01};
constexpr double ln2_high = 6.93147180369123816490e-01;  // its last 32 bits are zero: k ln2_high is exact
constexpr double ln2_low = 1.90821492927058770002e-10;
constexpr double sqrt2 = 1.4142135623730951;

// Horner's rule on fused multiply-adds, lowest coefficient first.
template <size_t N>
double polynomial(const double (&c)[N], double x) {
  double sum = std::fma(c[N - 1], x, c[N - 2]);
  for (int i = static_cast<int>(N) - 3; i >= 0; --i) sum = std::fma(sum, x, c[i]);
  return sum;
}

// |p - 1/2| <= 0.47. Odd in q = p - 1/2.
inline double central(double q) {
  const double r = central_offset - q * q;
  return q * polynomial(central_numerator, r) / polynomial(central_denominator, r);
}

// p in (0, 1/2) below the central region.
inline double lower_tail(double p) {
  double r = std::sqrt(-std::log(p));
  if (r <= far_tail_start) {
    r -= near_tail_offset;
    return -polynomial(near_tail_numerator, r) / polynomial(near_tail_denominator, r);
  }
  r -= far_tail_start;
  return -polynomial(far_tail_numerator, r) / polynomial(far_tail_denominator, r);
}

// Numbers handled per pass over a batch, the tail ones set aside in buffers of this size: about 120 of them
// fall in the tails, enough for their long chains of dependent operations to overlap one another.
constexpr size_t chunk_size = 2048;

// Vectors computed in step by the passes over a chunk.
constexpr size_t vectors_in_step = 4;

}  // namespace inverse_normal
}  // namespace qavrek

#endif  // QAVREK_RANDOM_INVERSE_NORMAL_CDF_SHARED

HWY_BEFORE_NAMESPACE();
namespace qavrek {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;
using namespace inverse_normal;

// a b + c rounded once, as the single-value function's std::fma. The file is compiled without contraction,
// so that only these fused operations round differently from separate ones.
template <class D, class V = hn::Vec<D>>
HWY_INLINE V fused(D d, V a, V b, V c) {
#if HWY_NATIVE_FMA
  (void)d;
  return hn::MulAdd(a, b, c);
#elif HWY_TARGET == HWY_SCALAR
  (void)d;
  return hn::Set(d, std::fma(hn::GetLane(a), hn::GetLane(b), hn::GetLane(c)));
#else
  HWY_ALIGN double lanes[3][hn::MaxLanes(d)];
  hn::Store(a, d, lanes[0]);
  hn::Store(b, d, lanes[1]);
  hn::Store(c, d, lanes[2]);
  for (size_t i = 0; i < hn::Lanes(d); ++i) lanes[0][i] = std::fma(lanes[0][i], lanes[1][i], lanes[2][i]);
  return hn::Load(d, lanes[0]);
#endif
}

// K independent vectors computed in step: each operation is applied to all K before the next, so that the
// long chains of dependent operations (Horner's rule, division, square root) of different vectors overlap
// within the processor's window. Every lane still sees the operations of the single-value function.
template <class V, size_t K>
using pack = std::array<V, K>;

template <class F, class V, size_t K, class... Packs>
HWY_INLINE auto each(const F& f, const pack<V, K>& first, const Packs&... rest) {
  pack<decltype(f(first[0], rest[0]...)), K> result;
  for (size_t k = 0; k < K; ++k) result[k] = f(first[k], rest[k]...);
  return result;
}

// Horner's rule on fused multiply-adds, as the single-value function.
template <class D, size_t N, class V, size_t K>
HWY_INLINE pack<V, K> polynomial(D d, const double (&c)[N], const pack<V, K>& x) {
  pack<V, K> sum = each([&](V xk) { return fused(d, hn::Set(d, c[N - 1]), xk, hn::Set(d, c[N - 2])); }, x);
  for (int i = static_cast<int>(N) - 3; i >= 0; --i)
    sum = each([&](V s, V xk) { return fused(d, s, xk, hn::Set(d, c[i])); }, sum, x);
  return sum;
}

// log x for normal, finite x > 0.
template <class D, class V, size_t K>
HWY_INLINE pack<V, K> log_of_normal(D d, const pack<V, K>& x) {
  const hn::RebindToUnsigned<D> du;
  const auto bits = each([&](V xk) { return hn::BitCast(du, xk); }, x);
  // The biased exponent e as a double: the bits of 2^52 + e, less 2^52 + 1023.
  pack<V, K> k = each(
      [&](auto b) {
        return hn::Sub(hn::BitCast(d, hn::Or(hn::ShiftRight<52>(b), hn::Set(du, 0x4330000000000000ull))),
                       hn::Set(d, 0x1p52 + 1023.0));
      },
      bits);
  pack<V, K> y = each(
      [&](auto b) {
        return hn::BitCast(d, hn::Or(hn::And(b, hn::Set(du, 0x000fffffffffffffull)), hn::Set(du, 0x3ff0000000000000ull)));
      },
      bits);
  const auto above = each([&](V yk) { return hn::Gt(yk, hn::Set(d, sqrt2)); }, y);
  y = each([&](V yk, auto a) { return hn::IfThenElse(a, hn::Mul(yk, hn::Set(d, 0.5)), yk); }, y, above);
  k = each([&](V kk, auto a) { return hn::IfThenElse(a, hn::Add(kk, hn::Set(d, 1.0)), kk); }, k, above);

  const auto f = each([&](V yk) { return hn::Sub(yk, hn::Set(d, 1.0)); }, y);
  const auto s = each([&](V fk) { return hn::Div(fk, hn::Add(hn::Set(d, 2.0), fk)); }, f);
  const auto c = [&](int i) { return hn::Set(d, log_coefficients[i]); };
  const auto R = each(
      [&](V sk) {
        const V z = hn::Mul(sk, sk);
        const V w = hn::Mul(z, z);
        const V odd = hn::Mul(w, fused(d, w, fused(d, w, c(5), c(3)), c(1)));
        const V even = hn::Mul(z, fused(d, w, fused(d, w, fused(d, w, c(6), c(4)), c(2)), c(0)));
        return hn::Add(even, odd);
      },
      s);
  return each(
      [&](V fk, V sk, V Rk, V kk) {
        const V half_square = hn::Mul(hn::Set(d, 0.5), hn::Mul(fk, fk));
        const V small = hn::Add(hn::Mul(sk, hn::Add(half_square, Rk)), hn::Mul(kk, hn::Set(d, ln2_low)));
        return hn::Sub(hn::Mul(kk, hn::Set(d, ln2_high)), hn::Sub(hn::Sub(half_square, small), fk));
      },
      f, s, R, k);
}

template <class D, class V, size_t K>
HWY_INLINE pack<V, K> central(D d, const pack<V, K>& q) {
  const auto r = each([&](V qk) { return hn::Sub(hn::Set(d, central_offset), hn::Mul(qk, qk)); }, q);
  const auto numerator = polynomial(d, central_numerator, r);
  const auto denominator = polynomial(d, central_denominator, r);
  return each([&](V qk, V n, V m) { return hn::Div(hn::Mul(qk, n), m); }, q, numerator, denominator);
}

// p outside the central region, p in (0, 1) with min(p, 1 - p) normal: the lower tail at p or, by symmetry,
// minus the lower tail at 1 - p, which is exact there.
template <class D, class V, size_t K>
HWY_INLINE pack<V, K> tails(D d, const pack<V, K>& p) {
  const auto upper = each([&](V pk) { return hn::Gt(pk, hn::Set(d, 0.5)); }, p);
  const auto lower_p = each([&](V pk, auto u) { return hn::IfThenElse(u, hn::Sub(hn::Set(d, 1.0), pk), pk); }, p, upper);
  const auto r = each([&](V l) { return hn::Sqrt(hn::Neg(l)); }, log_of_normal(d, lower_p));
  const auto near_r = each([&](V rk) { return hn::Sub(rk, hn::Set(d, near_tail_offset)); }, r);
  auto t = each([&](V n, V m) { return hn::Div(n, m); }, polynomial(d, near_tail_numerator, near_r),
                polynomial(d, near_tail_denominator, near_r));
  const auto far = each([&](V rk) { return hn::Gt(rk, hn::Set(d, far_tail_start)); }, r);
  bool any_far = false;
  for (size_t k = 0; k < K; ++k) any_far = any_far || !hn::AllFalse(d, far[k]);
  if (any_far) {
    const auto far_r = each([&](V rk) { return hn::Sub(rk, hn::Set(d, far_tail_start)); }, r);
    const auto far_t = each([&](V n, V m) { return hn::Div(n, m); }, polynomial(d, far_tail_numerator, far_r),
                            polynomial(d, far_tail_denominator, far_r));
    t = each([&](auto fk, V ft, V tk) { return hn::IfThenElse(fk, ft, tk); }, far, far_t, t);
  }
  return each([&](auto u, V tk) { return hn::IfThenElse(u, tk, hn::Neg(tk)); }, upper, t);
}

// The same for a single vector.
template <class D, class V>
HWY_INLINE V central(D d, V q) {
  return central(d, pack<V, 1>{q})[0];
}
template <class D, class V>
HWY_INLINE V tails(D d, V p) {
  return tails(d, pack<V, 1>{p})[0];
}

// Appends the lanes of v that the mask selects, and their indices from `first` on, to the two buffers, which
// have room for a whole vector more. Returns how many.
template <class D, class V = hn::Vec<D>, class M = hn::Mask<D>, typename T = hn::TFromD<D>, typename Index>
size_t gather(D d, V v, M selected, size_t first, T* HWY_RESTRICT values, Index* HWY_RESTRICT indices) {
  static_assert(sizeof(Index) == sizeof(T), "indices are compressed at the values' width");
#if HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
  // Compressing in registers: the compressing stores (and the generic tables) are slow.
  (void)d;
  // The lanes are counted from the mask's value in a general register: GCC 12 under ThreadSanitizer otherwise
  // reads a 16-bit spill of the mask register as 32 bits.
  unsigned bits;
  if constexpr (sizeof(T) == 8) {
    const __m512i lanes = _mm512_set_epi64(7, 6, 5, 4, 3, 2, 1, 0);
    const __m512i index = _mm512_add_epi64(lanes, _mm512_set1_epi64(static_cast<int64_t>(first)));
    _mm512_storeu_si512(values, _mm512_maskz_compress_epi64(selected.raw, hn::BitCast(hn::RebindToUnsigned<D>(), v).raw));
    _mm512_storeu_si512(indices, _mm512_maskz_compress_epi64(selected.raw, index));
    bits = _cvtmask8_u32(selected.raw);
  } else {
    const __m512i lanes = _mm512_set_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    const __m512i index = _mm512_add_epi32(lanes, _mm512_set1_epi32(static_cast<int32_t>(first)));
    _mm512_storeu_si512(values, _mm512_maskz_compress_epi32(selected.raw, v.raw));
    _mm512_storeu_si512(indices, _mm512_maskz_compress_epi32(selected.raw, index));
    bits = _cvtmask16_u32(selected.raw);
  }
  return static_cast<size_t>(__builtin_popcount(bits));
#else
  HWY_ALIGN T lanes[hn::MaxLanes(d)];
  hn::Store(v, d, lanes);
  std::uint8_t bits[(hn::MaxLanes(d) + 7) / 8] = {};
  hn::StoreMaskBits(d, selected, bits);
  // Every lane is written and only the selected ones kept: no branch on which lanes those are.
  size_t count = 0;
  for (size_t lane = 0; lane < hn::Lanes(d); ++lane) {
    values[count] = lanes[lane];
    indices[count] = static_cast<Index>(first + lane);
    count += (bits[lane / 8] >> (lane % 8)) & 1;
  }
  return count;
#endif
}

// Sets aside the values that in_tail selects among the count of the chunk, which load(i) gives a vector at a
// time from index i (padded past count with a central value), with their indices. Returns how many.
template <class D, class Load, class InTail, typename Index>
size_t set_aside(D d, const Load& load, const InTail& in_tail, size_t count, hn::TFromD<D>* HWY_RESTRICT values,
                 Index* HWY_RESTRICT indices) {
  size_t tail_count = 0;
  for (size_t i = 0; i < count; i += hn::Lanes(d)) {
    const auto v = load(i);
    // Unconditionally: many vectors hold a tail value, but which ones is random.
    tail_count += gather(d, v, in_tail(v), i, values + tail_count, indices + tail_count);
  }
  return tail_count;
}

// The central values of the count probabilities of the chunk, whose offsets q = p - 1/2 load_q(i) gives a
// vector at a time from index i (padded past count), tail ones included: their places are overwritten
// afterwards. x may be the source itself: each step loads before it stores.
template <class D, class LoadQ>
void central_pass(D d, const LoadQ& load_q, size_t count, double* x) {
  using V = hn::Vec<D>;
  constexpr size_t K = vectors_in_step;
  const size_t N = hn::Lanes(d);
  size_t i = 0;
  for (; i + K * N <= count; i += K * N) {
    pack<V, K> q;
    for (size_t k = 0; k < K; ++k) q[k] = load_q(i + k * N);
    const auto values = central(d, q);
    for (size_t k = 0; k < K; ++k) hn::StoreU(values[k], d, x + i + k * N);
  }
  HWY_ALIGN double padded[hn::MaxLanes(d)];
  for (; i < count; i += N) {
    hn::Store(central(d, load_q(i)), d, padded);
    for (size_t j = 0; j < N && i + j < count; ++j) x[i + j] = padded[j];
  }
}

// The tail values of a chunk, from the count probabilities set aside with their indices: the buffer has room
// for a vector more, padded here with a tail value. Probabilities that are zero, subnormal, negative, above
// one or NaN are left to the single-value function, which knows its ends.
template <class D, typename Index>
void tails_pass(D d, double* HWY_RESTRICT tail_p, const Index* HWY_RESTRICT tail_index, size_t count,
                double* HWY_RESTRICT x) {
  using V = hn::Vec<D>;
  constexpr size_t K = vectors_in_step;
  const size_t N = hn::Lanes(d);
  for (size_t j = count; j < count + N; ++j) tail_p[j] = 0.01;
  HWY_ALIGN double padded[hn::MaxLanes(d)];
  const auto store = [&](V p, V value, size_t at) {
    const V lower = hn::Min(p, hn::Sub(hn::Set(d, 1.0), p));
    const bool all_normal = hn::AllTrue(d, hn::Ge(lower, hn::Set(d, std::numeric_limits<double>::min())));
    hn::Store(value, d, padded);
    for (size_t lane = 0; lane < N && at < count; ++lane, ++at)
      x[tail_index[at]] = all_normal ? padded[lane] : inverse_normal_cdf(tail_p[at]);
  };
  size_t j = 0;
  for (; j + K * N <= count; j += K * N) {
    pack<V, K> p;
    for (size_t k = 0; k < K; ++k) p[k] = hn::Load(d, tail_p + j + k * N);
    const auto values = tails(d, p);
    for (size_t k = 0; k < K; ++k) store(p[k], values[k], j + k * N);
  }
  for (; j < count; j += N) {
    const V p = hn::Load(d, tail_p + j);
    store(p, tails(d, p), j);
  }
}

// Each chunk in three passes: the tail values are set aside, so that the central pass over every value
// carries no masks, and then overwrite their places, computed at full vector width.
void quantiles(const double* p, double* x, size_t n) {
  using D = hn::ScalableTag<double>;
  const D d;
  const size_t N = hn::Lanes(d);
  HWY_ALIGN double tail_p[chunk_size + hn::MaxLanes(d)];
  HWY_ALIGN int64_t tail_index[chunk_size + hn::MaxLanes(d)];
  HWY_ALIGN double last[hn::MaxLanes(d)];
  for (size_t first = 0; first < n; first += chunk_size) {
    const size_t count = std::min(chunk_size, n - first);
    const double* source = p + first;
    const size_t whole = count / N * N;
    const auto load = [&](size_t i) {
      if (i < whole) return hn::LoadU(d, source + i);
      // The last partial vector, padded with the median.
      for (size_t j = 0; j < N; ++j) last[j] = i + j < count ? source[i + j] : 0.5;
      return hn::Load(d, last);
    };
    // NaN is not central either.
    const auto in_tail = [&](hn::Vec<D> v) {
      return hn::Not(hn::Le(hn::Abs(hn::Sub(v, hn::Set(d, 0.5))), hn::Set(d, central_half_width)));
    };
    // Before any value of x is written: x may be p itself.
    const size_t tail_count = set_aside(d, load, in_tail, count, tail_p, tail_index);
    central_pass(d, [&](size_t i) { return hn::Sub(load(i), hn::Set(d, 0.5)); }, count, x + first);
    tails_pass(d, tail_p, tail_index, tail_count, x + first);
  }
}

// The words' two mappings to (0, 1): the generators' open uniforms (w + 1/2) 2^-32, and the binary fractions
// w 2^-32 (0 for the word 0) of an unshifted Sobol sequence.
enum class word_mapping { open, fraction };

// The mapping of each word, exactly: the bits of 2^52 + w, less 2^52, then scaled.
template <word_mapping mapping, class D, class VW>
HWY_INLINE hn::Vec<D> uniforms_of(D d, VW w) {
  const hn::RebindToUnsigned<D> du;
  const auto integer =
      hn::Sub(hn::BitCast(d, hn::Or(hn::PromoteTo(du, w), hn::Set(du, 0x4330000000000000ull))), hn::Set(d, 0x1p52));
  if constexpr (mapping == word_mapping::open) return hn::Mul(hn::Add(integer, hn::Set(d, 0.5)), hn::Set(d, 0x1p-32));
  return hn::Mul(integer, hn::Set(d, 0x1p-32));
}

// The offsets q = p - 1/2 of the open uniforms of the words, exactly: (s + 1/2) 2^-32 with s = w - 2^31, the
// scaling by an exact power of two done on the exponent. s + 1/2 is never zero and p - 1/2 is exact, so
// these are the bits of the uniform less 1/2, with no multiplication.
template <class D, class VW>
HWY_INLINE hn::Vec<D> open_offsets_of(D d, VW w) {
  const hn::RebindToUnsigned<D> du;
  const auto integer = hn::BitCast(d, hn::Or(hn::PromoteTo(du, w), hn::Set(du, 0x4330000000000000ull)));
  const auto centred = hn::Sub(integer, hn::Set(d, 0x1p52 + 0x1p31));
  const auto half_steps = hn::Add(centred, hn::Set(d, 0.5));
  return hn::BitCast(d, hn::Sub(hn::BitCast(du, half_steps), hn::Set(du, std::uint64_t{32} << 52)));
}

// With s = w - 2^31 and H the central half-width in words, a word is central when its uniform less 1/2,
// (s + 1/2) 2^-32 or s 2^-32, is within H 2^-32: for -a <= s <= b, that is w + a - 2^31 (mod 2^32) at
// most a + b. H is not a whole number nor half of one.
constexpr double central_half_width_in_words = central_half_width * 0x1p32;  // exact
template <word_mapping mapping>
constexpr double half_step = mapping == word_mapping::open ? 0.5 : 0.0;
template <word_mapping mapping>
constexpr auto lowest_central = static_cast<std::uint32_t>(central_half_width_in_words + half_step<mapping>);  // a
template <word_mapping mapping>
constexpr auto highest_central = static_cast<std::uint32_t>(central_half_width_in_words - half_step<mapping>);  // b

// As quantiles, with the tail words found on the integers, twice as many per vector.
template <word_mapping mapping>
void quantiles_of_mapped_words(const std::uint32_t* HWY_RESTRICT words, double* HWY_RESTRICT x, size_t n) {
  using D = hn::ScalableTag<double>;
  const D d;
  const hn::Rebind<std::uint32_t, D> d32;
  const hn::ScalableTag<std::uint32_t> dw;
  const size_t N = hn::Lanes(d);
  HWY_ALIGN std::uint32_t tail_word[chunk_size + hn::MaxLanes(dw)];
  HWY_ALIGN std::uint32_t tail_index[chunk_size + hn::MaxLanes(dw)];
  HWY_ALIGN double tail_p[chunk_size + hn::MaxLanes(d)];
  HWY_ALIGN std::uint32_t last[hn::MaxLanes(dw)];
  const auto shift = hn::Set(dw, lowest_central<mapping> - 0x80000000u);
  const auto span = hn::Set(dw, lowest_central<mapping> + highest_central<mapping>);
  const auto in_tail = [&](hn::Vec<decltype(dw)> w) { return hn::Gt(hn::Add(w, shift), span); };
  const auto uniforms = [&](const std::uint32_t* w) { return uniforms_of<mapping>(d, hn::LoadU(d32, w)); };
  const auto offsets = [&](const std::uint32_t* w) {
    if constexpr (mapping == word_mapping::open) return open_offsets_of(d, hn::LoadU(d32, w));
    return hn::Sub(uniforms(w), hn::Set(d, 0.5));
  };
  for (size_t first = 0; first < n; first += chunk_size) {
    const size_t count = std::min(chunk_size, n - first);
    const std::uint32_t* source = words + first;
    // Vectors of L words or N uniforms from index i, padded past count with the median's word.
    const auto padded_words = [&](size_t i, size_t lanes) {
      if (i + lanes <= count) return source + i;
      for (size_t j = 0; j < lanes; ++j) last[j] = i + j < count ? source[i + j] : 0x80000000u;
      return static_cast<const std::uint32_t*>(last);
    };
    const auto load_words = [&](size_t i) { return hn::LoadU(dw, padded_words(i, hn::Lanes(dw))); };
    const size_t tail_count = set_aside(dw, load_words, in_tail, count, tail_word, tail_index);
    central_pass(d, [&](size_t i) { return offsets(padded_words(i, N)); }, count, x + first);
    for (size_t j = 0; j < tail_count; j += N) hn::Store(uniforms(tail_word + j), d, tail_p + j);
    tails_pass(d, tail_p, tail_index, tail_count, x + first);
  }
}

void quantiles_of_words(const std::uint32_t* HWY_RESTRICT words, double* HWY_RESTRICT x, size_t n) {
  quantiles_of_mapped_words<word_mapping::open>(words, x, n);
}

void quantiles_of_fractions(const std::uint32_t* HWY_RESTRICT words, double* HWY_RESTRICT x, size_t n) {
  quantiles_of_mapped_words<word_mapping::fraction>(words, x, n);
}

}  // namespace HWY_NAMESPACE
}  // namespace qavrek
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace qavrek {

HWY_EXPORT(quantiles);
HWY_EXPORT(quantiles_of_words);
HWY_EXPORT(quantiles_of_fractions);

double inverse_normal_cdf(double p) noexcept {
  using namespace inverse_normal;
  if (!(p > 0.0)) return p == 0.0 ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::quiet_NaN();
  if (!(p < 1.0)) return p == 1.0 ? std::numeric_limits<double>::infinity() : std::numeric_limits<double>::quiet_NaN();
  const double q = p - 0.5;
  if (std::fabs(q) <= central_half_width) return central(q);
  // The upper tail by symmetry, so that opposite probabilities give opposite values.
  return q > 0.0 ? -lower_tail(1.0 - p) : lower_tail(p);
}

void inverse_normal_cdf(const double* p, double* x, std::size_t n) noexcept {
  HWY_DYNAMIC_DISPATCH(quantiles)(p, x, n);
}

void inverse_normal_cdf_of_words(const std::uint32_t* words, double* x, std::size_t n) noexcept {
  HWY_DYNAMIC_DISPATCH(quantiles_of_words)(words, x, n);
}

void inverse_normal_cdf_of_fractions(const std::uint32_t* words, double* x, std::size_t n) noexcept {
  HWY_DYNAMIC_DISPATCH(quantiles_of_fractions)(words, x, n);
}

}  // namespace qavrek
#endif  // HWY_ONCE
