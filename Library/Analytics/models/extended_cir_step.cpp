// The extended CIR step over the paths runs on the widest vector instructions of the machine, chosen at run
// time; this file is compiled once per instruction set, without contraction, so that every set rounds alike
// (the square roots are exact on all of them).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "Analytics/models/extended_cir_step.cpp"
#include <hwy/foreach_target.h>  // re-includes this file once per instruction set
#include <hwy/highway.h>

#include <algorithm>
#include <cmath>

#include "Analytics/models/extended_cir_step.h"

HWY_BEFORE_NAMESPACE();
namespace qavrek {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// y1 = c ((sqrt(lambda) + a Z)^2 + d - a^2) has the mean d + lambda and the variance 2 (d + 2 lambda) of the
// scaled non-central chi-square, for a^2 = sqrt(lambda (lambda + 2) + d) - lambda. Expanded, the square needs
// one root less.
//
// One pass over the paths moves every factor and the integral: the states are read once, copied to
// `previous` as they are read, and the integral stays in a register across the factors.
void step_extended_cir_paths(const extended_cir_step_coefficients& step, const double* HWY_RESTRICT draws,
                             double* HWY_RESTRICT previous, double* HWY_RESTRICT states, size_t paths) {
  const size_t n = step.factors;
  const double* HWY_RESTRICT ratios = step.ratios;
  const double* HWY_RESTRICT noncentralities = step.noncentralities;
  const double* HWY_RESTRICT shifts = step.shifts;
  const double* HWY_RESTRICT dofs = step.degrees_of_freedom;
  const double* HWY_RESTRICT scales = step.scales;
  double* HWY_RESTRICT integral = states + n * paths;
  double* HWY_RESTRICT integral_before = previous + n * paths;

  const hn::ScalableTag<double> d;
  using V = hn::Vec<decltype(d)>;
  const size_t N = hn::Lanes(d);
  const V zero = hn::Zero(d);
  const V one = hn::Set(d, 1.0);
  const V two = hn::Set(d, 2.0);
  const V half = hn::Set(d, 0.5);
  const V half_tau = hn::Set(d, step.half_tau);
  size_t p = 0;
  for (; p + N <= paths; p += N) {
    V sum = hn::LoadU(d, integral + p);
    hn::StoreU(sum, d, integral_before + p);
    for (size_t f = 0; f < n; ++f) {
      const size_t at = f * paths + p;
      const V x0 = hn::LoadU(d, states + at);
      hn::StoreU(x0, d, previous + at);
      const V shift = hn::Set(d, shifts[f]);
      V x1;
      if (scales[f] == 0.0) {
        const V y0 = hn::Add(x0, shift);
        const V positive = hn::IfThenElse(hn::Lt(y0, zero), zero, y0);  // as std::max(y0, 0.0)
        x1 = hn::Mul(hn::Set(d, ratios[f]), hn::Sub(positive, shift));
      } else {
        const V dof = hn::Set(d, dofs[f]);
        const V centre = hn::Mul(hn::Set(d, noncentralities[f]), hn::Add(x0, shift));
        const V lambda = hn::Mul(half, hn::Add(centre, hn::Abs(centre)));  // max(centre, 0) without a branch
        const V a2 = hn::Sub(hn::Sqrt(hn::Add(hn::Mul(lambda, hn::Add(lambda, two)), dof)), lambda);
        const V z = hn::LoadU(d, draws + at);
        const V mean_part = hn::Add(hn::Add(lambda, dof), hn::Mul(a2, hn::Sub(hn::Mul(z, z), one)));
        const V cross = hn::Mul(hn::Mul(two, z), hn::Sqrt(hn::Mul(lambda, a2)));
        x1 = hn::Sub(hn::Mul(hn::Set(d, scales[f]), hn::Add(mean_part, cross)), shift);
      }
      hn::StoreU(x1, d, states + at);
      sum = hn::Add(sum, hn::Mul(half_tau, hn::Add(x1, x0)));
    }
    hn::StoreU(hn::Add(sum, hn::Set(d, step.log_a_increase)), d, integral + p);
  }
  for (; p < paths; ++p) {
    double sum = integral[p];
    integral_before[p] = sum;
    for (size_t f = 0; f < n; ++f) {
      const size_t at = f * paths + p;
      const double x0 = states[at];
      previous[at] = x0;
      const double shift = shifts[f];
      double x1;
      if (scales[f] == 0.0) {
        x1 = ratios[f] * (std::max(x0 + shift, 0.0) - shift);
      } else {
        const double dof = dofs[f];
        const double centre = noncentralities[f] * (x0 + shift);
        const double lambda = 0.5 * (centre + std::abs(centre));
        const double a2 = std::sqrt(lambda * (lambda + 2.0) + dof) - lambda;
        const double z = draws[at];
        x1 = scales[f] * (lambda + dof + a2 * (z * z - 1.0) + 2.0 * z * std::sqrt(lambda * a2)) - shift;
      }
      states[at] = x1;
      sum += step.half_tau * (x1 + x0);
    }
    integral[p] = sum + step.log_a_increase;
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace qavrek
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace qavrek {

HWY_EXPORT(step_extended_cir_paths);

void extended_cir_step(const extended_cir_step_coefficients& step, const double* draws, double* previous,
                       double* states, size_t paths) noexcept {
  HWY_DYNAMIC_DISPATCH(step_extended_cir_paths)(step, draws, previous, states, paths);
}

}  // namespace qavrek
#endif  // HWY_ONCE
