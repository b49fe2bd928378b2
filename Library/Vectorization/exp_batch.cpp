#include "Vectorization/exp_batch.h"

#include <bit>
#include <cstdint>
#include <limits>

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

// e^x for x within [zero_below, overflow_above], where the integer part below stays in range.
inline double exp_in_range(double x) noexcept {
  // x = n ln2 + r, |r| <= ln2 / 2.
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
  const double p = 1.0 + (r + r * r * q);

  // 2^n as two factors, so that results near overflow and in the subnormal range round once.
  // n + 2048 lies in [971, 3073]: its halves give biased exponents in [484, 1536].
  const std::uint64_t offset = std::bit_cast<std::uint64_t>(shifted) - std::bit_cast<std::uint64_t>(shifter) + 2048;
  const std::uint64_t half = offset >> 1;
  return p * power_of_two(half - 1024 + 1023) * power_of_two(offset - half - 1024 + 1023);
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

}  // namespace

// The loops are cloned for wider vector units, one chosen at load time. Not under ThreadSanitizer: it
// instruments the resolver that picks the clone, which runs while the library is loaded, before the
// sanitizer is set up.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define QAVREK_EXP_CLONES __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define QAVREK_EXP_CLONES
#endif

QAVREK_EXP_CLONES
void exp_batch(const double* x, double* y, std::size_t n) noexcept {
  for (std::size_t i = 0; i < n; ++i) y[i] = exp_kernel(x[i]);
}

QAVREK_EXP_CLONES
void exp_batch_saturated(const double* x, double* y, std::size_t n) noexcept {
  for (std::size_t i = 0; i < n; ++i) {
    // NaN fails both comparisons and stays NaN.
    double held = x[i] < saturated_below ? saturated_below : x[i];
    held = held > saturated_above ? saturated_above : held;
    y[i] = exp_in_range(held);
  }
}

}  // namespace qavrek
