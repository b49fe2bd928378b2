#pragma once

#include <cstddef>

namespace qavrek {

// What one extended CIR step does to every path, given per factor f: the ratio R_f of the decays at the
// step's ends, the non-centrality per unit of y = x + theta (R_f / c_f), the shift theta_f in force at the
// step's end, the degrees of freedom d_f and the scale c_f of the transition; a zero scale marks a factor
// without variance over the step. half_tau is half the step's year fraction, log_a_increase the increase of
// ln A from the valuation date over the step.
struct extended_cir_step_coefficients {
  size_t factors = 0;
  const double* ratios = nullptr;
  const double* noncentralities = nullptr;
  const double* shifts = nullptr;
  const double* degrees_of_freedom = nullptr;
  const double* scales = nullptr;
  double half_tau = 0.0;
  double log_a_increase = 0.0;
};

// Steps the states of `paths` paths: rows 0 to n - 1 of `states` hold the factors and row n the discounting
// integral, rows of `paths` values one after the other, as do the n rows of `draws` and the n + 1 rows of
// `previous`, which receive the states on entry. Per path and factor, with lambda = max(0, R/c (x0 + theta)),
// a2 = sqrt(lambda (lambda + 2) + d) - lambda and the draw z:
//   x1 = c ((lambda + d + a2 (z^2 - 1)) + 2 z sqrt(lambda a2)) - theta,
// the scaled non-central chi-square's two moments, or x1 = R (max(x0 + theta, 0) - theta) for a zero scale;
// then I <- I + half_tau (x1 + x0) factor after factor and I <- I + log_a_increase. On the widest vector
// instructions of the machine, chosen at run time; every instruction set gives the same bits, those of the
// per-path formulas evaluated in that order.
void extended_cir_step(const extended_cir_step_coefficients& step, const double* draws, double* previous,
                       double* states, size_t paths) noexcept;

}  // namespace qavrek
