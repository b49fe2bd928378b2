// The Black-Karasinski step over the paths runs on the widest vector instructions of the machine, chosen at run
// time; this file is compiled once per instruction set, without contraction, so that every set rounds alike.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "Analytics/models/black_karasinski_step.cpp"
#include <hwy/foreach_target.h>  // re-includes this file once per instruction set
#include <hwy/highway.h>

#include "Analytics/models/black_karasinski_step.h"
#include "Vectorization/exp_lanes-inl.h"

HWY_BEFORE_NAMESPACE();
namespace qavrek {
namespace HWY_NAMESPACE {

// The paths from p on, as many as d has lanes: the states are read once and copied to `previous` as they are
// read, and both rates of the trapezoid come from registers.
template <class D>
HWY_INLINE void step_lanes(D d, const black_karasinski_step_coefficients& step, const double* HWY_RESTRICT draws,
                           double* HWY_RESTRICT previous, double* HWY_RESTRICT states, size_t paths, size_t p) {
  const auto c = [d](double value) { return hn::Set(d, value); };
  double* HWY_RESTRICT factor = states + p;
  double* HWY_RESTRICT integral = states + paths + p;
  const auto before = hn::LoadU(d, factor);
  const auto sum = hn::LoadU(d, integral);
  hn::StoreU(before, d, previous + p);
  hn::StoreU(sum, d, previous + paths + p);
  const auto after =
      hn::Add(before, hn::Sub(hn::Mul(c(step.volatility), hn::LoadU(d, draws + p)), c(step.drift)));
  hn::StoreU(after, d, factor);
  const auto start_exponent = hn::Add(c(step.level), hn::Mul(c(step.start_decay), before));
  const auto end_exponent = hn::Add(c(step.level), hn::Mul(c(step.end_decay), after));
  // One test for both rates, which rarely leave the normal range.
  const bool normal = hn::AllTrue(d, hn::And(exp_lanes_normal_range(d, start_exponent),
                                             exp_lanes_normal_range(d, end_exponent)));
  const auto start_rate = normal ? exp_lanes_normal(d, start_exponent) : exp_lanes_saturated(d, start_exponent);
  const auto end_rate = normal ? exp_lanes_normal(d, end_exponent) : exp_lanes_saturated(d, end_exponent);
  hn::StoreU(hn::Add(sum, hn::Mul(c(step.half_step), hn::Add(start_rate, end_rate))), d, integral);
}

// The paths after the last whole vector go one lane at a time through the same code.
void step_black_karasinski_paths(const black_karasinski_step_coefficients step, const double* HWY_RESTRICT draws,
                                 double* HWY_RESTRICT previous, double* HWY_RESTRICT states, size_t paths) {
  const hn::ScalableTag<double> d;
  const size_t N = hn::Lanes(d);
  size_t p = 0;
  for (; p + N <= paths; p += N) step_lanes(d, step, draws, previous, states, paths, p);
  const hn::CappedTag<double, 1> one;
  for (; p < paths; ++p) step_lanes(one, step, draws, previous, states, paths, p);
}

}  // namespace HWY_NAMESPACE
}  // namespace qavrek
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace qavrek {

HWY_EXPORT(step_black_karasinski_paths);

void black_karasinski_step(const black_karasinski_step_coefficients& step, const double* draws, double* previous,
                           double* states, size_t paths) noexcept {
  HWY_DYNAMIC_DISPATCH(step_black_karasinski_paths)(step, draws, previous, states, paths);
}

}  // namespace qavrek
#endif  // HWY_ONCE
