#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "Analytics/change_of_measure/change_of_measure.h"
#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/parameters/parameter_cheyette.h"
#include "Core/aad_state_parameters_manager.h"
#include "Core/pointers.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

class pde_model_coefficients;
class space_grid;

// The Cheyette model: the Markovian HJM model of its parameter set's nested HJM set, whose factor
// volatilities are bent by a local-volatility skew. Over a step the volatility of factor f on a path is
// the HJM one times the multiplier
//   M_f = min(|1 + b_f (x_f + L_f y_ff)|, cap),   cap = 1 + max_g |b_g| sqrt(1 + 5 expm1(V)),
// b the skew row in force, L the long-term skew level (or the integrated decay at the step's start with
// the decay-skew-level flag) and V the model variance at the step's end. The cap never falls below the
// multiplier's centre value 1 (x_f + L_f y_ff = 0): it stops the multiplier's growth only once the state
// x_f + L_f y_ff has moved sqrt(1 + 5 expm1(V)) >= 1 from the centre, a move of 100% of rate or more, so
// it leaves the law alone for a skew of any size. A zero skew is the Gaussian case, M_f = 1, and M_f is
// continuous in the skew there. With every skew zero the model is the HJM model, its y the HJM state
// covariance. The simulation step and the PDE coefficients share this one multiplier
// (local_volatility_multiplier and local_volatility_cap; the step evaluates the same expression on vectors of
// paths, cheyette_step).
//
// Conventions of the step that a literal reading of these formulas does not give:
// - the discounting integral gains theta_f (Z_f - mu_f) for each factor f, theta_f = nu_f M_f the
//   volatility of the factor's integrated-decay-weighted increment and Z_f - mu_f its draw less the
//   change of measure; weighting it by the first factor's sv instead (theta sigma_0 (Z - mu)) would
//   leave the convexity terms without their martingale partner and bias the simulated discount factors,
//   at zero skew too, far beyond their noise (10 to 15 standard errors of 8192 paths over ten years);
// - the drift of factor f is sum_g rho_fg theta_g over every factor g, all at the step's start;
// - the skew row of a step is the one in force after the step's start date (row k applies on
//   (d_{k-1}, d_k], so from d_{k-1} on), not the row of the interval that ends at the start date.
// The PDE members lay their grids and tensors out with the x grid first and outermost, the PDE engine's
// layout (see volatility).
//
// The model owns its HJM model, built on the same simulation dates; the parameter set is borrowed and
// must outlive the model. Values changed in the parameter set take effect at the next `fill`.
//
// State matrices (one column per path), n factors:
//   rows 0 .. n-1            the factors x_f
//   rows n .. n + n^2 - 1    the matrix y, y_fg in row n + f n + g
//   rows n(n+1) .. n(n+2)-1  the local volatility of each factor over the last step
//   row n(n+2)               the discounting integral
// so that the log zero-coupon price from t to T is -(G_T - G_t).x - 1/2 (G_T - G_t)' y (G_T + G_t)
// on top of the market curve's, G the HJM integrated decays.
class model_cheyette : public aad_state_parameters_manager {
 public:
  // Model dates: with reduced states the skew dates, preceded by the valuation date when they start
  // after it; otherwise the skew dates merged with the simulation dates. The skew needs at least one date.
  model_cheyette(const parameter_cheyette& parameter, const datetime& valuation_date,
                 const std::vector<datetime>& simulation_dates, bool reduced_states, bool decay_skew_level);
  model_cheyette(const model_cheyette&) = delete;
  model_cheyette& operator=(const model_cheyette&) = delete;
  ~model_cheyette() override;

  // Refills the HJM model's tables and the per-date averages from the parameter set's current values.
  void fill();

  // --- Parts and dates --------------------------------------------------------------------------
  const parameter_cheyette& parameter() const noexcept { return *parameter_; }
  const std::unique_ptr<model_markovian_hjm>& hjm_model() const noexcept { return hjm_model_; }
  const datetime& valuation_date() const noexcept { return valuation_date_; }
  const std::vector<datetime>& simulation_dates() const noexcept { return hjm_model_->simulation_dates(); }
  const std::vector<datetime>& model_dates() const noexcept { return model_dates_; }
  bool reduced_states() const noexcept { return reduced_states_; }
  bool decay_skew_level() const noexcept { return decay_skew_level_; }

  // --- Counts and state rows --------------------------------------------------------------------
  size_t number_of_factors() const noexcept { return factors_; }
  // 2n with reduced states (x and the diagonal of y), else n(n+3).
  size_t number_of_states() const noexcept;
  size_t discounting_state_index() const noexcept { return factors_ * (factors_ + 2); }
  size_t local_volatility_state_index() const noexcept { return factors_ * (factors_ + 1); }
  size_t y_state_index(size_t f, size_t g) const noexcept { return factors_ * (1 + f) + g; }
  // n x axes and n(n+1)/2 y axes.
  size_t number_of_pde_dimensions() const noexcept { return factors_ * (factors_ + 3) / 2; }

  // --- Per-date averages of factor 0 ------------------------------------------------------------
  // Per simulation date d_i: sqrt(sum of sv^2 / T_i) and sqrt(sum of (b sv)^2 / T_i) over the steps up
  // to d_i, T_i the year fraction from the valuation date, b the skew row of the step; 0 at the
  // valuation date.
  const vector<double>& average_volatilities() const noexcept { return average_volatilities_; }
  const vector<double>& average_skew_volatilities() const noexcept { return average_skew_volatilities_; }

  // average_skew_volatility(t)^2 T; -1.0 when t is no simulation date.
  double variance(const datetime& t) const;
  // The next four need t to be a simulation date.
  double average_skew_volatility(const datetime& t) const;
  // average_skew_volatility / average volatility: the size of the average skew. Where no volatility has
  // accumulated yet (the valuation date) it is the limit, the size of the skew in force after t.
  double average_skew(const datetime& t) const;
  // average_skew with the sign of the skew up to t: that of the sum of b sv^2 over the steps up to t (the
  // average skew's own weights), positive where that sum vanishes. Where no volatility has accumulated yet
  // it is the limit, the skew in force after t.
  double signed_average_skew(const datetime& t) const;
  // Factor 0's skew of the row at t.
  double skew(const datetime& t) const;

  // --- The law of the swaption approximation ----------------------------------------------------
  // Half the size of the quadrature that `density` returns: 2 root_size() - 1 nodes.
  size_t root_size() const noexcept { return root_size_; }
  // The law of Z = (1 + b (x + L y)) / (b^2 y) at a skew-weighted variance `variance` (hartman_watson_
  // distribution::cheyette_density on the model's 31- and 49-point Gauss-Kronrod rules): weights and
  // nodes, 2 root_size() - 1 of each.
  void density(vector<double>& weights, vector<double>& nodes, double variance) const;

  // --- Prices and simulation --------------------------------------------------------------------
  // Per path, the stochastic part of the log zero-coupon price from t to T given the states at t:
  // -(G_T - G_t).x - 1/2 sum_fg (G_T - G_t)_f (G_T + G_t)_g y_fg. `out` has one entry per path.
  void conditional_price(const matrix<double>& states, const datetime& t, const datetime& T,
                         vector<double>& out) const;

  // One step from simulation date i - 1 to i (1 <= i < number of simulation dates), for a model without
  // reduced states. `previous` becomes a copy of `states` as they come in; then `states` moves on with
  // the correlated draws (rows 0 .. n-1 of `gaussians`) less the change of measure's row_dot(i, f).
  // Row local_volatility_state_index() + f of `states` ends with the step's volatility eta_f, the same
  // row of `previous` with theta_f, the volatility of the factor's integrated-decay-weighted increment.
  // A factor with a non-zero skew is kept where its multiplier's argument 1 + b (x + L y) is not negative.
  void evolve(const change_of_measure& measure_change, size_t i, const matrix<double>& gaussians,
              matrix<double>& previous, matrix<double>& states) const;

  // --- State parameters: the HJM model's tables ---------------------------------------------------
  void finalize_aad(double* adjoints) const override;
  size_t get_state_parameters(double* out) const override;
  // Overwrites the HJM tables; the per-date averages follow only at the next fill.
  size_t set_state_parameters(const double* in) override;

  // --- The local volatility ----------------------------------------------------------------------
  // The multiplier of a factor's HJM volatility at the skewed state u = b (x + L y): |1 + u| up to the cap.
  static double local_volatility_multiplier(double skewed_state, double cap) noexcept {
    return std::min(std::abs(1.0 + skewed_state), cap);
  }
  // The cap of a step whose skew row's largest size is `largest_skew` and whose model variance at its end is
  // `variance`: 1 + largest_skew sqrt(1 + 5 expm1(variance)), at least 1.
  static double local_volatility_cap(double largest_skew, double variance) noexcept {
    return 1.0 + largest_skew * std::sqrt(1.0 + 5.0 * std::expm1(variance));
  }

  // --- PDE on a grid of x and a grid of y (one factor) ---------------------------------------------
  // The PDE runs in the units of the skewed variance V (variance()): a grid point x stands for b x and y for
  // b^2 y, b the skew, so that the local volatility of a step with variance s^2 = V(T) - V(t) is s M with the
  // model's multiplier M at the skewed state x + (L / b) y. The skew and the cap are those of the row at the step's
  // end date, which the variance uses: the simulation step's row, unless a skew date falls inside the step. Grids and
  // tensors follow the PDE engine's layout: the x grid first and outermost, one value per node of x and y. The
  // dates of a step are simulation dates.

  // s M at every node of the step from simulation date k - 1 to k (from the valuation date for k = 0) into
  // `out`, x.size() rows by y.size() columns. A zero skew is the Gaussian case, M = 1.
  void volatility(size_t k, const vector<double>& x, const vector<double>& y, matrix<double>& out) const;

  // Coefficients of the step [t, T] into the two sets of the x and y grids (grids[0] and grids[1]): x diffuses
  // with 1/2 (s M)^2, y moves by (s M)^2, no reaction. Refused for more than one factor.
  void coefficients(std::span<const std::shared_ptr<pde_model_coefficients>> coefficients,
                    std::span<const ptr_const<space_grid>> grids, const datetime& t, const datetime& T) const;

  // At every node (x, y), G' x - 1/2 G'^2 y with G' = -G(T) / signed_average_skew(t): the exponent of an
  // exponential martingale of the grid's x and y, which stand for b x and b^2 y of the signed skew b; at the
  // valuation date the log zero-coupon price to T. t must be a simulation date with a non-zero average skew.
  void conditional_price(double* out, std::span<const ptr_const<space_grid>> grids, const datetime& t,
                         const datetime& T) const;

 private:
  void build_model_dates(const std::vector<datetime>& simulation_dates);
  void build_skew_rows();
  void fill_averages();
  // The (2 size - 1)-point Gauss-Kronrod rule: its size non-negative nodes and every weight, mirrored.
  static void build_rule(size_t size, vector<double>& nodes, vector<double>& weights);

  // Position of t among the simulation dates; an Error when t is none of them.
  size_t simulation_position(const datetime& t, const char* query) const;
  // The skew row at t, and the one in force on the model interval that follows t.
  size_t skew_row_at(const datetime& t) const;
  size_t skew_row_after(const datetime& t) const;
  double variance_at(size_t i) const;

  const parameter_cheyette* parameter_;
  datetime valuation_date_;
  bool reduced_states_;
  bool decay_skew_level_;
  size_t factors_;
  std::vector<datetime> model_dates_;
  // Per model date, the skew row that applies to it.
  std::vector<size_t> skew_indices_;
  // Per simulation step i >= 1 (entry 0 unused), the skew row in force after the step's start date.
  std::vector<size_t> step_skew_rows_;
  std::unique_ptr<model_markovian_hjm> hjm_model_;
  vector<double> average_volatilities_;
  vector<double> average_skew_volatilities_;
  // Gauss-Kronrod rules on [-1, 1]: the non-negative nodes, descending, and the weights of all nodes
  // (mirrored), 16 and 31 for the quadrature of the law, 25 and 49 for its density values.
  size_t root_size_ = 16;
  vector<double> nodes_;
  vector<double> weights_;
  size_t fine_root_size_ = 25;
  vector<double> fine_nodes_;
  vector<double> fine_weights_;

 private:
  // The local volatility of a step from `from` to `to` (simulation dates, or the valuation date for `from`).
  void step_volatility(const datetime& from, const datetime& to, const double* x, size_t x_points, const double* y,
                       size_t y_points, double* out) const;
};

}  // namespace qavrek
