// The batched exponentials run on the widest vector instructions of the machine, chosen at run time; this file
// is compiled once per instruction set, without contraction, so that every set gives the same bits.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "Vectorization/exp_batch.cpp"
#include <hwy/foreach_target.h>  // re-includes this file once per instruction set
#include <hwy/highway.h>

#include "Vectorization/exp_batch.h"
#include "Vectorization/exp_lanes-inl.h"

HWY_BEFORE_NAMESPACE();
namespace qavrek {
namespace HWY_NAMESPACE {

// Vectors whose exponentials are interleaved.
constexpr size_t group = 4;

// Groups whose arguments all give normal results skip the clamps, special values and split scaling.
struct exponentials {
  template <size_t K, class D, class V>
  HWY_INLINE void operator()(D d, V (&x)[K]) const {
    if (exp_lanes_all_normal(d, x)) {
      exp_lanes_normal(d, x);
      return;
    }
    for (size_t k = 0; k < K; ++k) {
      x[k] = hn::AllTrue(d, exp_lanes_normal_range(d, x[k])) ? exp_lanes_normal(d, x[k]) : exp_lanes(d, x[k]);
    }
  }
};

struct saturated_exponentials {
  template <size_t K, class D, class V>
  HWY_INLINE void operator()(D d, V (&x)[K]) const {
    exp_lanes_saturated(d, x);
  }
};

// y = Exponential()(arguments) for K vectors of d from value i on, every argument loaded before a result is
// stored, so that y may be an input.
template <size_t K, class Exponential, class D, class Arguments>
HWY_INLINE void exp_group(D d, double* y, size_t i, const Arguments& arguments) {
  const size_t N = hn::Lanes(d);
  hn::Vec<D> x[K];
  for (size_t k = 0; k < K; ++k) x[k] = arguments(d, i + k * N);
  Exponential()(d, x);
  for (size_t k = 0; k < K; ++k) hn::StoreU(x[k], d, y + i + k * N);
}

// Over groups of vectors, then single vectors, then the values after them one lane at a time through the same
// code.
template <class Exponential, class Arguments>
HWY_INLINE void exp_over(double* y, size_t n, const Arguments& arguments) {
  const hn::ScalableTag<double> d;
  const size_t N = hn::Lanes(d);
  size_t i = 0;
  for (; i + group * N <= n; i += group * N) exp_group<group, Exponential>(d, y, i, arguments);
  for (; i + N <= n; i += N) exp_group<1, Exponential>(d, y, i, arguments);
  const hn::CappedTag<double, 1> one;
  for (; i < n; ++i) exp_group<1, Exponential>(one, y, i, arguments);
}

void exp_values(const double* x, double* y, size_t n) {
  exp_over<exponentials>(y, n, [x](auto d, size_t i) { return hn::LoadU(d, x + i); });
}

void exp_sums(const double* a, const double* b, double* y, size_t n) {
  exp_over<exponentials>(y, n, [a, b](auto d, size_t i) { return hn::Add(hn::LoadU(d, a + i), hn::LoadU(d, b + i)); });
}

void exp_difference_sums(const double* a, const double* b, const double* c, double* y, size_t n) {
  exp_over<exponentials>(y, n, [a, b, c](auto d, size_t i) {
    return hn::Add(hn::Sub(hn::LoadU(d, a + i), hn::LoadU(d, b + i)), hn::LoadU(d, c + i));
  });
}

void exp_saturated_values(const double* x, double* y, size_t n) {
  exp_over<saturated_exponentials>(y, n, [x](auto d, size_t i) { return hn::LoadU(d, x + i); });
}

}  // namespace HWY_NAMESPACE
}  // namespace qavrek
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace qavrek {

HWY_EXPORT(exp_values);
HWY_EXPORT(exp_sums);
HWY_EXPORT(exp_difference_sums);
HWY_EXPORT(exp_saturated_values);

void exp_batch(const double* x, double* y, std::size_t n) noexcept { HWY_DYNAMIC_DISPATCH(exp_values)(x, y, n); }

void exp_batch_sum(const double* a, const double* b, double* y, std::size_t n) noexcept {
  HWY_DYNAMIC_DISPATCH(exp_sums)(a, b, y, n);
}

void exp_batch_difference_sum(const double* a, const double* b, const double* c, double* y, std::size_t n) noexcept {
  HWY_DYNAMIC_DISPATCH(exp_difference_sums)(a, b, c, y, n);
}

void exp_batch_saturated(const double* x, double* y, std::size_t n) noexcept {
  HWY_DYNAMIC_DISPATCH(exp_saturated_values)(x, y, n);
}

}  // namespace qavrek
#endif  // HWY_ONCE
