// The loop of a kernel written once on Highway over values [0, count): whole vectors, then the values after them
// one lane at a time through the same code, so that every value gets the bits of the formula evaluated alone.
// Include after <hwy/highway.h> inside the file that foreach_target.h re-includes, and call it from
// qavrek::HWY_NAMESPACE.

// Once per instruction set, as foreach_target.h toggles HWY_TARGET_TOGGLE.
#if defined(QAVREK_VECTORIZATION_OVER_LANES_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef QAVREK_VECTORIZATION_OVER_LANES_INL_H_
#undef QAVREK_VECTORIZATION_OVER_LANES_INL_H_
#else
#define QAVREK_VECTORIZATION_OVER_LANES_INL_H_
#endif

#include <hwy/highway.h>

#include <cstddef>

HWY_BEFORE_NAMESPACE();
namespace qavrek {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// pass(d, i) for i in [0, count): as many values from i on as d has lanes.
template <class Pass>
HWY_INLINE void over_lanes(size_t count, const Pass& pass) {
  const hn::ScalableTag<double> d;
  const size_t N = hn::Lanes(d);
  size_t i = 0;
  for (; i + N <= count; i += N) pass(d, i);
  const hn::CappedTag<double, 1> one;
  for (; i < count; ++i) pass(one, i);
}

}  // namespace HWY_NAMESPACE
}  // namespace qavrek
HWY_AFTER_NAMESPACE();

#endif  // include guard per instruction set
