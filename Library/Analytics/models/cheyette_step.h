#pragma once

#include <cstddef>

namespace qavrek {

// What one Cheyette step does to every path, given per factor f: the HJM volatilities sigma_f of the state and
// nu_f of its integrated-decay-weighted increment, the skew b_f and its inverse (unread for a zero skew), the
// skew level L_f, the change of measure's shift mu_f of the draws, and the integrated decays G_f and G'_f at the
// step's end and start; per pair of factors (n x n, row after row): the correlation rho_fg and the weights
// 1/2 G_f G_g and 1/2 G'_f G'_g of y_fg in the integral; and the cap of the local-volatility multiplier.
struct cheyette_step_coefficients {
  size_t factors = 0;
  const double* volatilities = nullptr;
  const double* integral_volatilities = nullptr;
  const double* skews = nullptr;
  const double* inverse_skews = nullptr;
  const double* levels = nullptr;
  const double* shifts = nullptr;
  const double* decays_end = nullptr;
  const double* decays_start = nullptr;
  const double* correlations = nullptr;
  const double* weights_end = nullptr;
  const double* weights_start = nullptr;
  double cap = 0.0;
};

// Steps the states of `paths` paths laid out as the Cheyette model's rows (x, y, the local volatilities, the
// integral), rows of `paths` values one after the other, as are the n rows of `draws` and the rows of
// `previous`, which receive the states on entry but for the volatility rows, which receive theta. Per path,
// with every multiplier taken from the entry states:
//   M_f = min(|1 + b_f (x_f + L_f y_ff)|, cap) (1 for a zero skew), eta_f = sigma_f M_f, theta_f = nu_f M_f;
// then for f = 0 .. n - 1 in order, with e = draw_f - mu_f and drift = sum_g rho_fg theta_g (g in order):
//   y_ff += rho_ff eta_f eta_f,  x_f <- x_f - eta_f (e + drift),
//   x_f <- max(x_f, -L_f y_ff - 1/b_f) for b_f > 0, min(.) for b_f < 0, unclamped for b_f = 0 (as std::max and
//          std::min, which keep x_f when either side is NaN),
//   I += 1/2 rho_ff theta_f^2 + 1/2 G_f^2 y_ff - 1/2 G'_f^2 y_ff(entry) + theta_f e + G_f x_f - G'_f x_f(entry),
// and for each g > f: y_fg and y_gf gain rho_fg eta_f eta_g, and
//   I += rho_fg theta_f theta_g + 1/2 G_f G_g (y_fg + y_gf) - 1/2 G'_f G'_g (y_fg + y_gf)(entry).
// Rows past the integral are not touched. On the widest vector instructions of the machine, chosen at run
// time; every instruction set gives the same bits, those of the per-path formulas evaluated in that order.
// Allocates nothing up to 7 factors.
void cheyette_step(const cheyette_step_coefficients& step, const double* draws, double* previous, double* states,
                   size_t paths);

}  // namespace qavrek
