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

// Vectors of paths stepped together, whose four exponentials are interleaved.
constexpr size_t group = 2;

// The paths from p on, K vectors of d: the states are read once and copied to `previous` as they are read, and
// both rates of the trapezoid come from registers.
template <size_t K, class D>
HWY_INLINE void step_lanes(D d, const black_karasinski_step_coefficients& step, const double* HWY_RESTRICT draws,
                           double* HWY_RESTRICT previous, double* HWY_RESTRICT states, size_t paths, size_t p) {
  const auto c = [d](double value) { return hn::Set(d, value); };
  const size_t N = hn::Lanes(d);
  double* HWY_RESTRICT factor = states;
  double* HWY_RESTRICT integral = states + paths;
  hn::Vec<D> sums[K], rates[2 * K];  // the exponents of the rates at the step's start, then at its end
  for (size_t k = 0; k < K; ++k) {
    const size_t at = p + k * N;
    const auto before = hn::LoadU(d, factor + at);
    sums[k] = hn::LoadU(d, integral + at);
    hn::StoreU(before, d, previous + at);
    hn::StoreU(sums[k], d, previous + paths + at);
    const auto after =
        hn::Add(before, hn::Sub(hn::Mul(c(step.volatility), hn::LoadU(d, draws + at)), c(step.drift)));
    hn::StoreU(after, d, factor + at);
    rates[k] = hn::Add(c(step.level), hn::Mul(c(step.start_decay), before));
    rates[K + k] = hn::Add(c(step.level), hn::Mul(c(step.end_decay), after));
  }
  exp_lanes_saturated(d, rates);
  for (size_t k = 0; k < K; ++k) {
    const auto trapezoid = hn::Mul(c(step.half_step), hn::Add(rates[k], rates[K + k]));
    hn::StoreU(hn::Add(sums[k], trapezoid), d, integral + p + k * N);
  }
}

// Groups of vectors, then single vectors, then the paths after them one lane at a time through the same code. The
// coefficients come by value: no store to the states can change them, so they stay in registers.
void step_black_karasinski_paths(const black_karasinski_step_coefficients step, const double* HWY_RESTRICT draws,
                                 double* HWY_RESTRICT previous, double* HWY_RESTRICT states, size_t paths) {
  const hn::ScalableTag<double> d;
  const size_t N = hn::Lanes(d);
  size_t p = 0;
  for (; p + group * N <= paths; p += group * N) step_lanes<group>(d, step, draws, previous, states, paths, p);
  for (; p + N <= paths; p += N) step_lanes<1>(d, step, draws, previous, states, paths, p);
  const hn::CappedTag<double, 1> one;
  for (; p < paths; ++p) step_lanes<1>(one, step, draws, previous, states, paths, p);
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
