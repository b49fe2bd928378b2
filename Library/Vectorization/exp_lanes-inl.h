// The exponential of every lane of a vector, or of K vectors at once, for kernels written once on Highway and
// compiled per instruction set: include this file after <hwy/highway.h> inside the file that foreach_target.h
// re-includes, and call it from qavrek::HWY_NAMESPACE. Every instruction set gives the bits of the same formula
// evaluated lane by lane, provided the including file is compiled without contraction (-ffp-contract=off): a
// multiply-add fused into one rounding on the wider sets would change the last place.
//
// e^x = p 2^n with n = round(x / ln 2) and p = e^r, |r| <= ln2 / 2, by a Cody-Waite reduction and the Taylor
// series of e^r to degree 13 (the first term left out is below 4e-18 relative): within 2 units in the last place
// of the exact value over the whole range.

// Once per instruction set, as foreach_target.h toggles HWY_TARGET_TOGGLE.
#if defined(QAVREK_VECTORIZATION_EXP_LANES_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef QAVREK_VECTORIZATION_EXP_LANES_INL_H_
#undef QAVREK_VECTORIZATION_EXP_LANES_INL_H_
#else
#define QAVREK_VECTORIZATION_EXP_LANES_INL_H_
#endif

#include <hwy/highway.h>

#include <cstdint>
#include <limits>

HWY_BEFORE_NAMESPACE();
namespace qavrek {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

namespace exp_lanes_detail {

constexpr double inverse_ln2 = 0x1.71547652b82fep0;
// ln 2 in two parts; the high part has enough trailing zeros that n ln2_hi is exact for |n| < 2^11.
constexpr double ln2_hi = 0x1.62e42fee00000p-1;
constexpr double ln2_lo = 0x1.a39ef35793c76p-33;
// Adding it rounds to an integer held in the low bits of the mantissa.
constexpr double shifter = 0x1.8p52;
constexpr std::uint64_t shifter_bits = 0x4338000000000000;
constexpr double overflow_above = 709.782712893383973096;
constexpr double zero_below = -745.133219101941108420;
// e^-708 and e^709 are normal numbers.
constexpr double saturated_below = -708.0;
constexpr double saturated_above = 709.0;

// For K vectors x at once, p = e^r with x = n ln2 + r, for x within [zero_below, overflow_above]; `n` receives
// n as a two's complement count. Taylor's e^r = 1 + r + r^2 q(r), q evaluated in pairs and powers of r
// (Estrin's scheme), a short dependency chain. Each operation is applied to the K vectors in turn, so that the
// processor overlaps K chains where one would leave its pipelines waiting.
template <size_t K, class D, class V, class VU>
HWY_INLINE void reduced(D d, const V (&x)[K], V (&p)[K], VU (&n)[K]) {
  const hn::RebindToUnsigned<D> du;
  const auto c = [d](double value) { return hn::Set(d, value); };
  V shifted[K], r[K], r2[K], r4[K], q[K];
  for (size_t k = 0; k < K; ++k) shifted[k] = hn::Add(hn::Mul(x[k], c(inverse_ln2)), c(shifter));
  for (size_t k = 0; k < K; ++k) {
    const V whole = hn::Sub(shifted[k], c(shifter));
    r[k] = hn::Sub(hn::Sub(x[k], hn::Mul(whole, c(ln2_hi))), hn::Mul(whole, c(ln2_lo)));
  }
  for (size_t k = 0; k < K; ++k) r2[k] = hn::Mul(r[k], r[k]);
  for (size_t k = 0; k < K; ++k) r4[k] = hn::Mul(r2[k], r2[k]);
  for (size_t k = 0; k < K; ++k) {
    const auto pair = [&](double low, double high) { return hn::Add(c(low), hn::Mul(r[k], c(high))); };
    const V q01 = pair(1.0 / 2.0, 1.0 / 6.0);
    const V q23 = pair(1.0 / 24.0, 1.0 / 120.0);
    const V q45 = pair(1.0 / 720.0, 1.0 / 5040.0);
    const V q67 = pair(1.0 / 40320.0, 1.0 / 362880.0);
    const V q89 = pair(1.0 / 3628800.0, 1.0 / 39916800.0);
    const V q1011 = pair(1.0 / 479001600.0, 1.0 / 6227020800.0);
    const V q4_11 = hn::Add(hn::Add(q45, hn::Mul(r2[k], q67)), hn::Mul(r4[k], hn::Add(q89, hn::Mul(r2[k], q1011))));
    q[k] = hn::Add(hn::Add(q01, hn::Mul(r2[k], q23)), hn::Mul(r4[k], q4_11));
  }
  for (size_t k = 0; k < K; ++k) {
    n[k] = hn::Sub(hn::BitCast(du, shifted[k]), hn::Set(du, shifter_bits));
    p[k] = hn::Add(c(1.0), hn::Add(r[k], hn::Mul(r2[k], q[k])));  // r r q, r r rounded as r2 is
  }
}

// 2^e as a double, e given biased (e + 1023 within [1, 2046]).
template <class D, class VU>
HWY_INLINE hn::Vec<D> power_of_two(D d, VU biased) {
  return hn::BitCast(d, hn::ShiftLeft<52>(biased));
}

}  // namespace exp_lanes_detail

// e^x in place for K vectors x within [-708, 709], where the results are normal numbers (the caller makes sure of
// it; other arguments give garbage). p 2^n is then exact, and n is added to p's exponent field instead of
// multiplying. The K exponentials are interleaved: four at once run about 15% faster than one after the other.
template <size_t K, class D, class V>
HWY_INLINE void exp_lanes_normal(D d, V (&x)[K]) {
  const hn::RebindToUnsigned<D> du;
  V p[K];
  hn::Vec<decltype(du)> n[K];
  exp_lanes_detail::reduced(d, x, p, n);
  for (size_t k = 0; k < K; ++k) x[k] = hn::BitCast(d, hn::Add(hn::BitCast(du, p[k]), hn::ShiftLeft<52>(n[k])));
}

template <class D>
HWY_INLINE hn::Vec<D> exp_lanes_normal(D d, hn::Vec<D> x) {
  hn::Vec<D> one[1] = {x};
  exp_lanes_normal(d, one);
  return one[0];
}

// The lanes of x that give normal results, where exp_lanes_normal serves (not NaN).
template <class D, class V = hn::Vec<D>>
HWY_INLINE hn::Mask<D> exp_lanes_normal_range(D d, V x) {
  namespace detail = exp_lanes_detail;
  return hn::And(hn::Ge(x, hn::Set(d, detail::saturated_below)), hn::Le(x, hn::Set(d, detail::saturated_above)));
}

// Whether every lane of the K vectors x gives a normal result.
template <size_t K, class D, class V>
HWY_INLINE bool exp_lanes_all_normal(D d, const V (&x)[K]) {
  auto all = exp_lanes_normal_range(d, x[0]);
  for (size_t k = 1; k < K; ++k) all = hn::And(all, exp_lanes_normal_range(d, x[k]));
  return hn::AllTrue(d, all);
}

// e^x over the whole range: 0 below -745.13, +inf above 709.78, NaN (x itself) for NaN, subnormal results
// rounded once.
template <class D, class V = hn::Vec<D>>
HWY_INLINE V exp_lanes(D d, hn::Vec<D> x) {
  namespace detail = exp_lanes_detail;
  const hn::RebindToUnsigned<D> du;
  // Clamped into range; the ends and NaN are set after.
  const V below = hn::Set(d, detail::zero_below), above = hn::Set(d, detail::overflow_above);
  V clamped = hn::IfThenElse(hn::Lt(x, below), below, x);
  clamped = hn::IfThenElse(hn::Gt(clamped, above), above, clamped);
  const V in[1] = {clamped};
  V p[1];
  hn::Vec<decltype(du)> n[1];
  detail::reduced(d, in, p, n);
  // 2^n as two factors, so that results near overflow and in the subnormal range round once. n + 2048 lies in
  // [971, 3073]: its halves give biased exponents in [484, 1536].
  const auto offset = hn::Add(n[0], hn::Set(du, 2048));
  const auto half = hn::ShiftRight<1>(offset);
  const auto low = hn::Sub(half, hn::Set(du, 1024 - 1023));
  const auto high = hn::Sub(hn::Sub(offset, half), hn::Set(du, 1024 - 1023));
  V y = hn::Mul(hn::Mul(p[0], detail::power_of_two(d, low)), detail::power_of_two(d, high));
  y = hn::IfThenElse(hn::Gt(x, above), hn::Set(d, std::numeric_limits<double>::infinity()), y);
  y = hn::IfThenElse(hn::Lt(x, below), hn::Zero(d), y);
  return hn::IfThenElse(hn::IsNaN(x), x, y);
}

// e^x with x first held within [-708, 709], so that the result is a finite normal number; NaN gives NaN.
template <class D, class V = hn::Vec<D>>
HWY_INLINE V exp_lanes_saturated(D d, hn::Vec<D> x) {
  namespace detail = exp_lanes_detail;
  if (hn::AllTrue(d, exp_lanes_normal_range(d, x))) return exp_lanes_normal(d, x);
  const hn::RebindToUnsigned<D> du;
  // NaN fails both comparisons and stays NaN.
  const V below = hn::Set(d, detail::saturated_below), above = hn::Set(d, detail::saturated_above);
  V held[1] = {hn::IfThenElse(hn::Lt(x, below), below, x)};
  held[0] = hn::IfThenElse(hn::Gt(held[0], above), above, held[0]);
  V p[1];
  hn::Vec<decltype(du)> n[1];
  detail::reduced(d, held, p, n);
  return hn::Mul(p[0], detail::power_of_two(d, hn::Add(n[0], hn::Set(du, 1023))));
}

// The same in place for K vectors, interleaved where all their arguments give normal results.
template <size_t K, class D, class V>
HWY_INLINE void exp_lanes_saturated(D d, V (&x)[K]) {
  if (exp_lanes_all_normal(d, x)) {
    exp_lanes_normal(d, x);
    return;
  }
  for (size_t k = 0; k < K; ++k) x[k] = exp_lanes_saturated(d, x[k]);
}

}  // namespace HWY_NAMESPACE
}  // namespace qavrek
HWY_AFTER_NAMESPACE();

#endif  // include guard per instruction set
