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

// Calls lanes(d, i) for the whole vectors of d from value i on, then the values after them one lane at a
// time through the same code.
template <class Lanes>
HWY_INLINE void over_lanes(size_t n, const Lanes& lanes) {
  const hn::ScalableTag<double> d;
  const size_t N = hn::Lanes(d);
  size_t i = 0;
  for (; i + N <= n; i += N) lanes(d, i);
  const hn::CappedTag<double, 1> one;
  for (; i < n; ++i) lanes(one, i);
}

// A vector whose arguments all give normal results skips the clamps, special values and split scaling.
template <class D, class V>
HWY_INLINE V exponential(D d, V x) {
  return hn::AllTrue(d, exp_lanes_normal_range(d, x)) ? exp_lanes_normal(d, x) : exp_lanes(d, x);
}

void exp_values(const double* x, double* y, size_t n) {
  over_lanes(n, [x, y](auto d, size_t i) { hn::StoreU(exponential(d, hn::LoadU(d, x + i)), d, y + i); });
}

void exp_sums(const double* a, const double* b, double* y, size_t n) {
  over_lanes(n, [a, b, y](auto d, size_t i) {
    hn::StoreU(exponential(d, hn::Add(hn::LoadU(d, a + i), hn::LoadU(d, b + i))), d, y + i);
  });
}

void exp_difference_sums(const double* a, const double* b, const double* c, double* y, size_t n) {
  over_lanes(n, [a, b, c, y](auto d, size_t i) {
    const auto difference = hn::Sub(hn::LoadU(d, a + i), hn::LoadU(d, b + i));
    hn::StoreU(exponential(d, hn::Add(difference, hn::LoadU(d, c + i))), d, y + i);
  });
}

void exp_saturated_values(const double* x, double* y, size_t n) {
  over_lanes(n, [x, y](auto d, size_t i) { hn::StoreU(exp_lanes_saturated(d, hn::LoadU(d, x + i)), d, y + i); });
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
