#pragma once

#include <cstddef>

namespace qavrek {

// What one Markovian HJM step does to every path, given per factor k: the shift of its draws by the change of
// measure, the drift b_k and volatility sv_k of its state, and the weights of its state (the increment dG_k of
// the integrated decay) and of its draw (f_k) in the discounting integral; half_q is the integral's
// deterministic part.
struct markovian_hjm_step_coefficients {
  size_t factors = 0;
  const double* shifts = nullptr;
  const double* drifts = nullptr;
  const double* volatilities = nullptr;
  const double* increments = nullptr;
  const double* loadings = nullptr;
  double half_q = 0.0;
};

// Steps the states of `paths` paths: rows 0 to n - 1 of `next` hold the factors and row n the discounting
// integral, rows of `paths` values one after the other, as do the n rows of `draws` and the n + 1 rows of
// `current`, which receive the states on entry. Per path, with e_k = draw_k - shift_k:
//   x_k <- x_k - (b_k + sv_k e_k),   I <- I + (c_k + dG_k x_k(entry) + f_k e_k) for k = 0 .. n - 1 in order,
// c_0 = half_q and c_k = 0 after it. On the widest vector instructions of the machine, chosen at run time;
// every instruction set gives the same bits, those of the per-path formula evaluated in that order.
void markovian_hjm_step(const markovian_hjm_step_coefficients& step, const double* draws, double* current,
                        double* next, size_t paths) noexcept;

}  // namespace qavrek
