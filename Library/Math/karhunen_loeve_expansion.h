#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "Vectorization/vector.h"

namespace qavrek {

// Conditional zero-coupon (or survival) prices of the one-factor Black-Karasinski rate
//   r(s) = exp(level(s) + y(s)),   dy = -kappa y ds + sigma(s) dW,
// over [t, T]: for a starting value y(t), P(y(t)) = E[exp(-integral of r over [t, T]) | y(t)].
//
// Method. [t, T] is cut at every level and volatility time inside it, and each piece into equal steps no
// longer than the time step. On this grid the factor path is expanded in its independent Gaussian
// innovations, one mode per step,
//   y(s_{i+1}) = e^{-kappa h_i} y(s_i) + d_i Z_i,   d_i^2 = sigma_i^2 (1 - e^{-2 kappa h_i}) / (2 kappa),
// which is exact for the factor, and the integral of r is the trapezoid sum over the steps, the level in
// force at a step's start serving both of its ends. P is the expectation over the modes Z_i, each taken
// with the Gauss-Hermite rule (z_k, w_k). A mode moves the path only after its step, so the product rule
// over all modes factorises into a backward recursion,
//   V_N = 1,   V_i(y) = q_i(y) sum_k w_k q_i(Y_k) V_{i+1}(Y_k),   Y_k = e^{-kappa h_i} y + d_i z_k,
//   q_i(y) = exp(-h_i / 2 e^{level_i + y}),
// carried on a uniform grid of y (cubic interpolation between its points), and P = V_0(y(t)). Truncating
// the path to the leading eigenmodes of its covariance would need more and more modes as kappa (T - t) or
// sigma grow; the step-wise modes need no truncation, and the cost of a call is one pass over the grid per
// step, whatever the number of starting values.
//
// Without volatility on [t, T] each path is summed along its deterministic course instead.
//
// Accuracy: the trapezoid's error falls as the square of the step (about 1e-6 on a 10-year price at 10
// days with a volatility of 1); one root drops the convexity of the rate altogether, two leave up to 1e-5,
// and from three on the rule's error is below the grid's, about 1e-7 over 5 years at any step.
//
// Times are year fractions from one origin. levels[k] is in force from level_times[k] until the next level
// time, levels[0] also before level_times[0]. squared_volatilities[k] applies on (volatility_times[k - 1],
// volatility_times[k]], the first up to volatility_times[0] and the last after the last time. Both time
// vectors strictly increase and hold one time per value, at least one.
class karhunen_loeve_expansion {
 public:
  // t <= T; the time step is positive; the volatilities are squared, so not negative.
  karhunen_loeve_expansion(double t, double T, double mean_reversion, std::span<const double> levels,
                           std::span<const double> level_times, std::span<const double> squared_volatilities,
                           std::span<const double> volatility_times, double time_step);

  // For each factor value x[j], P(decay * x[j]) into out[j]. (roots, weights) is a rule for the standard
  // normal: the sum of weights[k] f(roots[k]) approximates E[f(Z)]. The values are finite; out has one entry
  // per value and receives prices in [DBL_MIN, 1], so that their logarithms are finite.
  void survival_probability(const vector<double>& x, double decay, const vector<double>& roots,
                            const vector<double>& weights, vector<double>& out) const;

  size_t number_of_steps() const noexcept { return steps_.size(); }

 private:
  struct step {
    double log_half_rate;  // ln(h / 2) + level: q(y) = exp(-exp(log_half_rate + y))
    double decay;          // e^{-kappa h}
    double deviation;      // standard deviation of the step's innovation
  };

  // Without volatility on [t, T] each path is deterministic: its trapezoid sum, without the grid.
  void deterministic_prices(const vector<double>& x, double decay, vector<double>& out) const;

  std::vector<step> steps_;
  double time_step_ = 0.0;
  // Extremes of e^{-kappa (s - t)} over the grid and of the factor's standard deviation from t: the
  // reach of the paths, which the grid of y must cover.
  double smallest_decay_ = 1.0;
  double largest_decay_ = 1.0;
  double largest_deviation_ = 0.0;
};

}  // namespace qavrek
