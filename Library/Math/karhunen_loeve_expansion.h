#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "Vectorization/vector.h"

namespace qavrek {

// Conditional zero-coupon (or survival) prices of the one-factor Black-Karasinski rate
//   r(s) = exp(level(s) + y(s)),   y(s) = D(s) x(s),
// over [t, T]: for a starting value of the factor, P = E[exp(-integral of r over [t, T]) | x(t)]. The decays
// say how y moves, in one of two forms, each piecewise constant:
//   mean reversion   kappa(s), dy = -kappa y ds + sigma dW (D = exp(-integral of kappa): y is the state);
//   loading          D(s) itself, dx = sigma dW (x is the state, and y jumps where D does).
//
// Method. [t, T] is cut at every level, volatility and decay change inside it, and each piece into equal steps
// no longer than the time step. On this grid the state z (y, or x times a fixed scale) is expanded in its
// independent Gaussian innovations, one mode per step,
//   z(s_{i+1}) = m_i z(s_i) + d_i Z_i,
// with m_i = e^{-kappa h_i}, d_i^2 = sigma_i^2 (1 - e^{-2 kappa h_i}) / (2 kappa) for a mean reversion and
// m_i = 1, d_i^2 = (scale sigma_i)^2 h_i for a loading, which is exact for the factor; the log rate at a step's
// ends is level_i + c_i z(s_i) and level_i + e_i z(s_{i+1}), c and e being 1 for a mean reversion and D at the
// two ends over the scale for a loading. The integral of r is the trapezoid sum over the steps, the level in
// force at a step's start serving both of its ends. P is the expectation over the modes Z_i, each taken with the
// Gauss-Hermite rule (z_k, w_k). A mode moves the path only after its step, so the product rule over all modes
// factorises into a backward recursion,
//   V_N = 1,   V_i(z) = q_i(c_i z) sum_k w_k q_i(e_i Z_k) V_{i+1}(Z_k),   Z_k = m_i z + d_i z_k,
//   q_i(y) = exp(-h_i / 2 e^{level_i + y}),
// carried on a uniform grid of z (cubic interpolation between its points), and P = V_0(z(t)). Truncating
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
// time, levels[0] also before level_times[0]. squared_volatilities[k] and decays[k] apply on
// (times[k - 1], times[k]] of their own times, the first up to times[0] and the last after the last time; a
// loading at a time is that of the interval that ends there. Each time vector strictly increases and holds one
// time per value, at least one.
class karhunen_loeve_expansion {
 public:
  enum class decay_type {
    mean_reversion,  // the decays are the speeds kappa of y
    loading,         // the decays are D, the loadings of x on the log rate
  };

  // t <= T; the time step is positive; the volatilities are squared, so not negative; the decays finite.
  karhunen_loeve_expansion(double t, double T, decay_type type, std::span<const double> decays,
                           std::span<const double> decay_times, std::span<const double> levels,
                           std::span<const double> level_times, std::span<const double> squared_volatilities,
                           std::span<const double> volatility_times, double time_step);
  // One mean reversion throughout.
  karhunen_loeve_expansion(double t, double T, double mean_reversion, std::span<const double> levels,
                           std::span<const double> level_times, std::span<const double> squared_volatilities,
                           std::span<const double> volatility_times, double time_step);

  // For each factor value x[j], with y(t) = decay x[j] (decay = D(t)), P into out[j]. (roots, weights) is a rule
  // for the standard normal: the sum of weights[k] f(roots[k]) approximates E[f(Z)]. The values are finite; out
  // has one entry per value and receives prices in [DBL_MIN, 1], so that their logarithms are finite.
  void survival_probability(const vector<double>& x, double decay, const vector<double>& roots,
                            const vector<double>& weights, vector<double>& out) const;

  size_t number_of_steps() const noexcept { return steps_.size(); }

 private:
  struct step {
    double log_half_rate;  // ln(h / 2) + level: q(y) = exp(-exp(log_half_rate + y))
    double decay;          // m: the state's mean moves by this factor over the step
    double deviation;      // standard deviation of the step's innovation
    double start_loading;  // c: the log rate at the step's start is log_half_rate + c z
    double end_loading;    // e: and at its end log_half_rate + e z
  };

  // The state z of factor values x given with y(t) = decay x, and the loading of z at t.
  double initial_scale(double decay) const noexcept { return loading_ ? scale_ : decay; }
  double initial_loading(double decay) const noexcept { return loading_ ? decay / scale_ : 1.0; }

  // Without volatility on [t, T] each path is deterministic: its trapezoid sum, without the grid.
  void deterministic_prices(const vector<double>& x, double decay, vector<double>& out) const;

  std::vector<step> steps_;
  double time_step_ = 0.0;
  // With loadings the state is x times the largest |D| on [t, T], so that a grid spacing of z is at most that
  // of y.
  bool loading_ = false;
  double scale_ = 1.0;
  // Extremes of the product of the steps' m from t over the grid and of the state's standard deviation
  // from t: the reach of the paths, which the grid of z must cover.
  double smallest_decay_ = 1.0;
  double largest_decay_ = 1.0;
  double largest_deviation_ = 0.0;
};

}  // namespace qavrek
