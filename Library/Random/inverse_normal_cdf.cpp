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
constexpr double central_numerator[] = {
    4.153731723407789996881e0, 5.12264889366657984298e+2,  2.456856110366467445935e+4, 5.848276443983613030121e+5,
    7.34940959787084872256e+6, 4.830612878288761652613e+7, 1.560753928249437422847e+8, 2.17603999689518916159e+8,
    9.963045282501060883993e+7, 6.627090088995159077649e+6};
constexpr double central_denominator[] = {
    1.0,                      1.305224024468307100889e+2, 6.70506890448167370823e+3,  1.73700418184298753656e+5,
    2.427573707378981675765e+6, 1.829307054198540997793e+7, 7.0909995355690973273e+7, 1.278832601590606076358e+8,
    8.816762032658448201764e+7, 1.456852643839469388334e+7};
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

// Numbers handled per pass over a batch: the tail values of a chunk are gathered in buffers of this size.
constexpr size_t chunk_size = 256;

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
V fused(D d, V a, V b, V c) {
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

// Horner's rule on fused multiply-adds, as the single-value function.
template <class D, size_t N, class V = hn::Vec<D>>
V polynomial(D d, const double (&c)[N], V x) {
  V sum = fused(d, hn::Set(d, c[N - 1]), x, hn::Set(d, c[N - 2]));
  for (int i = static_cast<int>(N) - 3; i >= 0; --i) sum = fused(d, sum, x, hn::Set(d, c[i]));
  return sum;
}

// log x for normal, finite x > 0.
template <class D, class V = hn::Vec<D>>
V log_of_normal(D d, V x) {
  const hn::RebindToUnsigned<D> du;
  const auto bits = hn::BitCast(du, x);
  // The biased exponent e as a double: the bits of 2^52 + e, less 2^52 + 1023.
  V k = hn::Sub(hn::BitCast(d, hn::Or(hn::ShiftRight<52>(bits), hn::Set(du, 0x4330000000000000ull))),
                hn::Set(d, 0x1p52 + 1023.0));
  V y = hn::BitCast(d, hn::Or(hn::And(bits, hn::Set(du, 0x000fffffffffffffull)), hn::Set(du, 0x3ff0000000000000ull)));
  const auto above = hn::Gt(y, hn::Set(d, sqrt2));
  y = hn::IfThenElse(above, hn::Mul(y, hn::Set(d, 0.5)), y);
  k = hn::IfThenElse(above, hn::Add(k, hn::Set(d, 1.0)), k);

  const V f = hn::Sub(y, hn::Set(d, 1.0));
  const V s = hn::Div(f, hn::Add(hn::Set(d, 2.0), f));
  const V z = hn::Mul(s, s);
  const V w = hn::Mul(z, z);
  const auto c = [&](int i) { return hn::Set(d, log_coefficients[i]); };
  const V odd = hn::Mul(w, fused(d, w, fused(d, w, c(5), c(3)), c(1)));
  const V even = hn::Mul(z, fused(d, w, fused(d, w, fused(d, w, c(6), c(4)), c(2)), c(0)));
  const V R = hn::Add(even, odd);
  const V half_square = hn::Mul(hn::Set(d, 0.5), hn::Mul(f, f));
  const V small = hn::Add(hn::Mul(s, hn::Add(half_square, R)), hn::Mul(k, hn::Set(d, ln2_low)));
  return hn::Sub(hn::Mul(k, hn::Set(d, ln2_high)), hn::Sub(hn::Sub(half_square, small), f));
}

template <class D, class V = hn::Vec<D>>
V central(D d, V q) {
  const V r = hn::Sub(hn::Set(d, central_offset), hn::Mul(q, q));
  return hn::Div(hn::Mul(q, polynomial(d, central_numerator, r)), polynomial(d, central_denominator, r));
}

// p outside the central region, p in (0, 1) with min(p, 1 - p) normal: the lower tail at p or, by symmetry,
// minus the lower tail at 1 - p, which is exact there.
template <class D, class V = hn::Vec<D>>
V tails(D d, V p) {
  const auto upper = hn::Gt(p, hn::Set(d, 0.5));
  const V lower_p = hn::IfThenElse(upper, hn::Sub(hn::Set(d, 1.0), p), p);
  const V r = hn::Sqrt(hn::Neg(log_of_normal(d, lower_p)));
  const V near_r = hn::Sub(r, hn::Set(d, near_tail_offset));
  V t = hn::Div(polynomial(d, near_tail_numerator, near_r), polynomial(d, near_tail_denominator, near_r));
  const auto far = hn::Gt(r, hn::Set(d, far_tail_start));
  if (!hn::AllFalse(d, far)) {
    const V far_r = hn::Sub(r, hn::Set(d, far_tail_start));
    t = hn::IfThenElse(far, hn::Div(polynomial(d, far_tail_numerator, far_r), polynomial(d, far_tail_denominator, far_r)),
                       t);
  }
  return hn::IfThenElse(upper, t, hn::Neg(t));
}

// Appends the lanes of p that the mask selects, and their indices from `first` on, to the two buffers, which
// have room for a whole vector more. Returns how many.
template <class D, class V = hn::Vec<D>, class M = hn::Mask<D>>
size_t gather(D d, V p, M selected, size_t first, double* HWY_RESTRICT values, int64_t* HWY_RESTRICT indices) {
#if HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
  // Compressing in registers: the compressing stores (and the generic tables) are slow.
  (void)d;
  const __m512i lanes = _mm512_set_epi64(7, 6, 5, 4, 3, 2, 1, 0);
  _mm512_storeu_pd(values, _mm512_maskz_compress_pd(selected.raw, p.raw));
  _mm512_storeu_si512(indices, _mm512_maskz_compress_epi64(
                                   selected.raw, _mm512_add_epi64(lanes, _mm512_set1_epi64(static_cast<int64_t>(first)))));
  return static_cast<size_t>(__builtin_popcount(selected.raw));
#else
  HWY_ALIGN double lanes[hn::MaxLanes(d)];
  hn::Store(p, d, lanes);
  std::uint8_t bits[8] = {};
  hn::StoreMaskBits(d, selected, bits);
  // Every lane is written and only the selected ones kept: no branch on which lanes those are.
  size_t count = 0;
  for (size_t lane = 0; lane < hn::Lanes(d); ++lane) {
    values[count] = lanes[lane];
    indices[count] = static_cast<int64_t>(first + lane);
    count += (bits[lane / 8] >> (lane % 8)) & 1;
  }
  return count;
#endif
}

// The quantiles of count <= chunk_size probabilities, which load(i) gives N at a time from index i (loading
// past count is allowed from a padded source). Central values first, the tail values gathered as they come
// and finished in one pass at full vector width.
template <class D, class Load>
void quantile_chunk(D d, const Load& load, size_t count, double* HWY_RESTRICT x) {
  using V = hn::Vec<D>;
  const size_t N = hn::Lanes(d);
  HWY_ALIGN double tail_p[chunk_size + hn::MaxLanes(d)];
  HWY_ALIGN int64_t tail_index[chunk_size + hn::MaxLanes(d)];
  HWY_ALIGN double padded[hn::MaxLanes(d)];
  size_t tail_count = 0;
  size_t i = 0;
  // The central values of the N probabilities at i; the tail ones join the buffers.
  const auto first_pass = [&](V p) {
    const V q = hn::Sub(p, hn::Set(d, 0.5));
    const auto in_tail = hn::Not(hn::Le(hn::Abs(q), hn::Set(d, central_half_width)));
    // Unconditionally: most vectors hold a tail value, but which ones is random.
    tail_count += gather(d, p, in_tail, i, tail_p + tail_count, tail_index + tail_count);
    return central(d, q);
  };
  for (; i + N <= count; i += N) hn::StoreU(first_pass(load(i)), d, x + i);
  if (i < count) {
    // The padding of the last vector lies in the central region and never reaches the tail buffers.
    hn::Store(first_pass(load(i)), d, padded);
    for (size_t j = 0; i + j < count; ++j) x[i + j] = padded[j];
  }
  if (tail_count == 0) return;

  // Padding with a tail value keeps the last vector inside the tails' domain.
  for (size_t j = tail_count; j < tail_count + N; ++j) tail_p[j] = 0.01;
  for (size_t j = 0; j < tail_count; j += N) {
    const V p = hn::Load(d, tail_p + j);
    const V lower = hn::Min(p, hn::Sub(hn::Set(d, 1.0), p));
    hn::Store(tails(d, p), d, padded);
    // Zero, subnormal, negative or above one: left to the scalar function, which knows its ends.
    const bool all_normal = hn::AllTrue(d, hn::Ge(lower, hn::Set(d, std::numeric_limits<double>::min())));
    for (size_t lane = 0; lane < N && j + lane < tail_count; ++lane) {
      const double value = all_normal ? padded[lane] : inverse_normal_cdf(tail_p[j + lane]);
      x[tail_index[j + lane]] = value;
    }
  }
}

void quantiles(const double* p, double* x, size_t n) {
  const hn::ScalableTag<double> d;
  const size_t N = hn::Lanes(d);
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
    quantile_chunk(d, load, count, x + first);
  }
}

// (w + 1/2) 2^-32 of each word w, exactly: the bits of 2^52 + w, less 2^52.
void quantiles_of_words(const std::uint32_t* HWY_RESTRICT words, double* HWY_RESTRICT x, size_t n) {
  const hn::ScalableTag<double> d;
  const hn::RebindToUnsigned<decltype(d)> du;
  const hn::Rebind<std::uint32_t, decltype(d)> d32;
  const size_t N = hn::Lanes(d);
  HWY_ALIGN std::uint32_t last[hn::MaxLanes(d)];
  for (size_t first = 0; first < n; first += chunk_size) {
    const size_t count = std::min(chunk_size, n - first);
    const std::uint32_t* source = words + first;
    const size_t whole = count / N * N;
    const auto load = [&](size_t i) {
      hn::Vec<decltype(d32)> w;
      if (i < whole) {
        w = hn::LoadU(d32, source + i);
      } else {
        for (size_t j = 0; j < N; ++j) last[j] = i + j < count ? source[i + j] : 0x80000000u;
        w = hn::Load(d32, last);
      }
      const auto integer =
          hn::Sub(hn::BitCast(d, hn::Or(hn::PromoteTo(du, w), hn::Set(du, 0x4330000000000000ull))), hn::Set(d, 0x1p52));
      return hn::Mul(hn::Add(integer, hn::Set(d, 0.5)), hn::Set(d, 0x1p-32));
    };
    quantile_chunk(d, load, count, x + first);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace qavrek
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace qavrek {

HWY_EXPORT(quantiles);
HWY_EXPORT(quantiles_of_words);

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

}  // namespace qavrek
#endif  // HWY_ONCE
