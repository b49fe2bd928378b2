#pragma once

#include "Vectorization/vector.h"

namespace qavrek {

// The law behind the Cheyette swaption approximation, through the Hartman-Watson function.
//
// One factor, skew b, long-term level L. Under the forward measure of a date T the Cheyette state moves by
//   dx = eta (dW - G_T eta dt),   dy = eta^2 dt,   eta = sigma m,   m = 1 + b (x + L y),
// G_T the integrated decay to T (the log bond price -(G_T - G_t) x - (G_T^2 - G_t^2) y / 2 makes
// x + G_T y a martingale). So dm = (b sigma) m dW - (b sigma)^2 Gt_T m^2 dt with Gt_T = (G_T - L) / b, and
// on the clock tau = integral of (b sigma)^2 dt, which reaches the skew-weighted variance c at the expiry,
//   dm = m dB - Gt_T m^2 dtau.
// Take R = integral of m^2 dtau up to c (= b^2 y) and Z = m / R (so that 1 + b (x + L y) = Z R).
//
// For Gt = 0, m = exp(B - tau / 2) and Yor's formula for the joint law of (log m, R) gives, with
// x = log(z r),
//   P(Z in dz, R in dr) = h(z) f_z(r) dz dr,   h(z) = sqrt(2 pi) e^(-c/8) z^(-3/2) e^(-z) theta_z(c),
//   f_z(r) = (2 pi r^3)^(-1/2) exp(-(1 - z r)^2 / (2 r)),
// f_z being the density of the first time a Brownian motion with drift z reaches 1 and theta the
// Hartman-Watson function
//   theta_r(t) = r / sqrt(2 pi^3 t) e^(pi^2 / 2t) integral over xi > 0 of
//                e^(-xi^2 / 2t - r cosh xi) sinh xi sin(pi xi / t).
// On the clock rho = R, m is a Brownian motion with drift -Gt stopped at R; Girsanov's factor
// exp(-Gt (m - 1) - Gt^2 R / 2) = exp(Gt - Gt z R - Gt^2 R / 2) turns f_z into f_{z + Gt}. Hence: Z has
// one law h under every forward measure, and given Z = z, R is the passage time to 1 with drift
// z + Gt_T. `cheyette_density` is the quadrature of h; the law of R given z is the inverse Gaussian one.
// Two exact moments check it: E[1/Z] = e^c - 1 and Var(1/Z) = (e^c - 1)^3 / 3 (from E[m_u^2 / m_c] =
// e^(c - u) and its second-order twin).
//
// theta as written cancels catastrophically for small t. With zeta = xi - i pi and a = z c it is a
// contour integral of exp(Phi(zeta) / c) zeta dzeta,
//   Phi(zeta) = -zeta^2 / 2 + a (cosh zeta - 1),
// which moves onto the path of steepest descent from a saddle of Phi, where Phi is real: the saddle is
// -i w0 with w0 = a sin w0 when a >= 1 and the real u1 with u1 = a sinh u1 when a < 1. Along the path
// Phi = Phi_s - v^2 (v >= 0) and s = -Im(zeta^2) / 2 grows, so that
//   z h(z) = exp(Phi_s / c - c / 8) / (pi sqrt(a c)) integral over y > 0 of e^(-y^2) ds/dv,   v = sqrt(c) y:
// a positive integrand. Phi is even in zeta: as a function F of q = zeta^2 its saddle q_s is regular for
// every a (F''(q_s) > 0, about 1/12 where the saddles of Phi merge at a = 1), the path q(v) is analytic,
// ds/dv = Im(v / F'(q)) equals 1 / sqrt(2 F''(q_s)) at the saddle, and it is even in v (the path's other
// half is its mirror image). So the integral over y > 0 is half that over the line.
class hartman_watson_distribution {
 public:
  // The law of Z for the skew-weighted variance c = `variance` (within [1e-100, 100]) as a quadrature: the
  // expectation of f(Z) is approximately the sum of weights[k] f(nodes[k]), and the weights add up to 1
  // within 1e-10. log Z runs over the (2n + 1)-point Gauss-Kronrod rule of `rule_nodes` (n + 1
  // non-negative nodes, descending, the last 0) and `rule_weights` (2n + 1 weights, symmetric), spread
  // over the interval where Phi_s / c - log(a) / 2 lies within 25 of its peak (the density's size without
  // the slowly varying path integral; explicit in the saddle's coordinate); each density value is the path
  // integral above on the rule of `fine_nodes` and `fine_weights` (laid out alike) over y in
  // [-6.5, 6.5], evaluated at its centre and positive nodes.
  // `weights` and `nodes` receive 2n + 1 values in descending order of the node; owning outputs are
  // resized, views must have that size.
  static void cheyette_density(vector<double>& weights, vector<double>& nodes, double variance,
                               const vector<double>& rule_nodes, const vector<double>& rule_weights,
                               const vector<double>& fine_nodes, const vector<double>& fine_weights);
};

}  // namespace qavrek
