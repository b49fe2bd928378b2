// The lognormal step over the paths runs on the widest vector instructions of the machine, chosen at run time;
// this file is compiled once per instruction set, without contraction, so that every set rounds alike.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "Analytics/models/lognormal_step.cpp"
#include <hwy/foreach_target.h>  // re-includes this file once per instruction set
#include <hwy/highway.h>

#include "Analytics/models/lognormal_step.h"
#include "Vectorization/over_lanes-inl.h"

HWY_BEFORE_NAMESPACE();
namespace qavrek {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// The paths from p on, as many as d has lanes: the log spots stay in a register across the factors.
template <class D>
HWY_INLINE void step_lanes(D d, const lognormal_step_coefficients& step, const double* HWY_RESTRICT draws,
                           double* HWY_RESTRICT state, size_t paths, size_t p) {
  const double* HWY_RESTRICT volatilities = step.volatilities;
  auto x = hn::LoadU(d, state + p);
  x = hn::Add(x, hn::Add(hn::Set(d, step.constant), hn::Mul(hn::Set(d, volatilities[0]), hn::LoadU(d, draws + p))));
  for (size_t k = 1; k < step.factors; ++k)
    x = hn::Add(x, hn::Mul(hn::Set(d, volatilities[k]), hn::LoadU(d, draws + k * paths + p)));
  hn::StoreU(x, d, state + p);
}

void step_lognormal_paths(const lognormal_step_coefficients& step, const double* HWY_RESTRICT draws,
                          double* HWY_RESTRICT state, size_t paths) {
  over_lanes(paths, [&](auto d, size_t p) { step_lanes(d, step, draws, state, paths, p); });
}

}  // namespace HWY_NAMESPACE
}  // namespace qavrek
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace qavrek {

HWY_EXPORT(step_lognormal_paths);

void lognormal_step(const lognormal_step_coefficients& step, const double* draws, double* state,
                    size_t paths) noexcept {
  HWY_DYNAMIC_DISPATCH(step_lognormal_paths)(step, draws, state, paths);
}

}  // namespace qavrek
#endif  // HWY_ONCE
