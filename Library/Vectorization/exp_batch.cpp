#include "Vectorization/exp_batch.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>

#include "Vectorization/vector_clones.h"

namespace qavrek {

namespace {

constexpr double inverse_ln2 = 0x1.71547652b82fep0;
// ln 2 in two parts; the high part has enough trailing zeros that n ln2_hi is exact for |n| < 2^11.
constexpr double ln2_hi = 0x1.62e42fee00000p-1;
constexpr double ln2_lo = 0x1.a39ef35793c76p-33;
// Adding it rounds to an integer held in the low bits of the mantissa.
constexpr double shifter = 0x1.8p52;
constexpr double overflow_above = 709.782712893383973096;
constexpr double zero_below = -745.133219101941108420;
// e^-708 and e^709 are normal numbers.
constexpr double saturated_below = -708.0;
constexpr double saturated_above = 709.0;

// 2^e for -1022 <= e <= 1023, e held as a biased unsigned count (e + 1023) to keep the shifts logical.
inline double power_of_two(std::uint64_t biased) noexcept { return std::bit_cast<double>(biased << 52); }

// e^x = p 2^n with n = round(x / ln 2) and p = e^r, |r| <= ln2 / 2, for x within [zero_below,
// overflow_above], where n stays in range. Returns p; `offset` receives n + 2048.
inline double reduced_exponential(double x, std::uint64_t& offset) noexcept {
  // x = n ln2 + r.
  const double shifted = x * inverse_ln2 + shifter;
  const double n = shifted - shifter;
  const double r = (x - n * ln2_hi) - n * ln2_lo;

  // exp(r) = 1 + r + r^2 q(r) by its Taylor series to degree 13: the first term left out is below 4e-18
  // relative. q is evaluated in pairs and powers of r (Estrin's scheme), a short dependency chain.
  const double r2 = r * r;
  const double r4 = r2 * r2;
  const double q01 = 1.0 / 2.0 + r * (1.0 / 6.0);
  const double q23 = 1.0 / 24.0 + r * (1.0 / 120.0);
  const double q45 = 1.0 / 720.0 + r * (1.0 / 5040.0);
  const double q67 = 1.0 / 40320.0 + r * (1.0 / 362880.0);
  const double q89 = 1.0 / 3628800.0 + r * (1.0 / 39916800.0);
  const double q1011 = 1.0 / 479001600.0 + r * (1.0 / 6227020800.0);
  const double q = (q01 + r2 * q23) + r4 * ((q45 + r2 * q67) + r4 * (q89 + r2 * q1011));
  offset = std::bit_cast<std::uint64_t>(shifted) - std::bit_cast<std::uint64_t>(shifter) + 2048;
  return 1.0 + (r + r * r * q);
}

// e^x for x within [zero_below, overflow_above].
inline double exp_in_range(double x) noexcept {
  std::uint64_t offset;
  const double p = reduced_exponential(x, offset);
  // 2^n as two factors, so that results near overflow and in the subnormal range round once.
  // n + 2048 lies in [971, 3073]: its halves give biased exponents in [484, 1536].
  const std::uint64_t half = offset >> 1;
  return p * power_of_two(half - 1024 + 1023) * power_of_two(offset - half - 1024 + 1023);
}

// e^x for x within [saturated_below, saturated_above]: n lies in [-1021, 1023] and p 2^n is a normal
// number, so one factor 2^n scales exactly and gives the bits of the two above.
inline double exp_in_normal_range(double x) noexcept {
  std::uint64_t offset;
  const double p = reduced_exponential(x, offset);
  return p * power_of_two(offset - 2048 + 1023);
}

inline double exp_kernel(double x) noexcept {
  // Clamped into range; the ends and NaN are set after.
  double clamped = x < zero_below ? zero_below : x;
  clamped = clamped > overflow_above ? overflow_above : clamped;
  double y = exp_in_range(clamped);
  y = x > overflow_above ? std::numeric_limits<double>::infinity() : y;
  y = x < zero_below ? 0.0 : y;
  return x != x ? x : y;
}

// Blocks of arguments short enough to be read twice from the first-level cache.
constexpr std::size_t block = 256;

QAVREK_VECTOR_INLINE bool gives_normal_result(double x) noexcept {
  return x >= saturated_below && x <= saturated_above;  // NaN fails both
}

// A block whose arguments all give normal results skips the clamps, special values and split scaling.
QAVREK_VECTOR_INLINE void exp_block(const double* x, double* y, std::size_t n, bool normal_results) noexcept {
  if (normal_results) {
    for (std::size_t i = 0; i < n; ++i) y[i] = exp_in_normal_range(x[i]);
  } else {
    for (std::size_t i = 0; i < n; ++i) y[i] = exp_kernel(x[i]);
  }
}

}  // namespace

// The checks count arguments outside, a sum the compiler vectorises where it would not a flag.
QAVREK_VECTOR_CLONES
void exp_batch(const double* x, double* y, std::size_t n) noexcept {
  for (std::size_t first = 0; first < n; first += block) {
    const std::size_t count = std::min(block, n - first);
    const double* in = x + first;
    std::uint64_t outside = 0;
    for (std::size_t i = 0; i < count; ++i) outside += !gives_normal_result(in[i]);
    exp_block(in, y + first, count, outside == 0);
  }
}

QAVREK_VECTOR_CLONES
void exp_batch_sum(const double* a, const double* b, double* y, std::size_t n) noexcept {
  for (std::size_t first = 0; first < n; first += block) {
    const std::size_t count = std::min(block, n - first);
    double* out = y + first;
    std::uint64_t outside = 0;
    for (std::size_t i = 0; i < count; ++i) {
      out[i] = a[first + i] + b[first + i];
      outside += !gives_normal_result(out[i]);
    }
    exp_block(out, out, count, outside == 0);
  }
}

QAVREK_VECTOR_CLONES
void exp_batch_saturated(const double* x, double* y, std::size_t n) noexcept {
  for (std::size_t i = 0; i < n; ++i) {
    // NaN fails both comparisons and stays NaN.
    double held = x[i] < saturated_below ? saturated_below : x[i];
    held = held > saturated_above ? saturated_above : held;
    y[i] = exp_in_normal_range(held);
  }
}

}  // namespace qavrek
