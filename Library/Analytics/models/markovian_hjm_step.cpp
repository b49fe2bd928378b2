// The Markovian HJM step over the paths runs on the widest vector instructions of the machine, chosen at run
// time; this file is compiled once per instruction set, without contraction, so that every set rounds alike.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "Analytics/models/markovian_hjm_step.cpp"
#include <hwy/foreach_target.h>  // re-includes this file once per instruction set
#include <hwy/highway.h>

#include "Analytics/models/markovian_hjm_step.h"

HWY_BEFORE_NAMESPACE();
namespace qavrek {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// One pass over the paths moves every factor and the integral: the states are read once, copied to
// `current` as they are read, and the integral stays in a register across the factors.
void step_markovian_hjm_paths(const markovian_hjm_step_coefficients& step, const double* HWY_RESTRICT draws,
                               double* HWY_RESTRICT current, double* HWY_RESTRICT next, size_t paths) {
  const size_t n = step.factors;
  const double* HWY_RESTRICT shifts = step.shifts;
  const double* HWY_RESTRICT drifts = step.drifts;
  const double* HWY_RESTRICT volatilities = step.volatilities;
  const double* HWY_RESTRICT increments = step.increments;
  const double* HWY_RESTRICT loadings = step.loadings;
  double* HWY_RESTRICT integral = next + n * paths;
  double* HWY_RESTRICT integral_before = current + n * paths;
  const auto constant = [&](size_t k) { return k == 0 ? step.half_q : 0.0; };

  const hn::ScalableTag<double> d;
  const size_t N = hn::Lanes(d);
  size_t p = 0;
  for (; p + N <= paths; p += N) {
    auto sum = hn::LoadU(d, integral + p);
    hn::StoreU(sum, d, integral_before + p);
    for (size_t k = 0; k < n; ++k) {
      const size_t at = k * paths + p;
      const auto state = hn::LoadU(d, next + at);
      hn::StoreU(state, d, current + at);
      const auto draw = hn::Sub(hn::LoadU(d, draws + at), hn::Set(d, shifts[k]));
      const auto move = hn::Add(hn::Set(d, drifts[k]), hn::Mul(hn::Set(d, volatilities[k]), draw));
      hn::StoreU(hn::Sub(state, move), d, next + at);
      const auto carried = hn::Add(hn::Set(d, constant(k)), hn::Mul(hn::Set(d, increments[k]), state));
      sum = hn::Add(sum, hn::Add(carried, hn::Mul(hn::Set(d, loadings[k]), draw)));
    }
    hn::StoreU(sum, d, integral + p);
  }
  for (; p < paths; ++p) {
    double sum = integral[p];
    integral_before[p] = sum;
    for (size_t k = 0; k < n; ++k) {
      const size_t at = k * paths + p;
      const double state = next[at];
      current[at] = state;
      const double draw = draws[at] - shifts[k];
      next[at] = state - (drifts[k] + volatilities[k] * draw);
      sum = sum + ((constant(k) + increments[k] * state) + loadings[k] * draw);
    }
    integral[p] = sum;
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace qavrek
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace qavrek {

HWY_EXPORT(step_markovian_hjm_paths);

void markovian_hjm_step(const markovian_hjm_step_coefficients& step, const double* draws, double* current,
                        double* next, size_t paths) noexcept {
  HWY_DYNAMIC_DISPATCH(step_markovian_hjm_paths)(step, draws, current, next, paths);
}

}  // namespace qavrek
#endif  // HWY_ONCE
