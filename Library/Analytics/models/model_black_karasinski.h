#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "Analytics/change_of_measure/change_of_measure.h"
#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/parameters/parameter_black_karasinski.h"
#include "Core/aad_state_parameters_manager.h"
#include "Core/pointers.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

class pde_model_coefficients;
class space_grid;

// The one-factor Black-Karasinski model of a short rate or a default intensity,
//   r(t) = exp(level(t) + a(t) x(t)),
// x being the factor of a one-factor Markovian HJM driver that the model builds from the nested HJM set
// and owns, a(t) that driver's decay and level(t) the level of the last level date not after t. Under
// HULL_WHITE decays with one mean reversion kappa, y = a x moves as dy = -kappa y dt + sigma dW: ln r
// reverts to the level.
//
// A simulation's states have two rows: the factor x, then the integral of r along the path (the trapezoid
// over each step, with the level of the step's start at both ends). Prices conditional on the factor come
// from a karhunen_loeve_expansion over the model's time step and Gauss-Hermite roots, cut where the decays
// change: piecewise mean reversions of y under HULL_WHITE, piecewise loadings a(t) of x under
// PICEWISE_CONSTANT (so that y jumps where a does).
//
// The parameter set is borrowed and must outlive the model. Everything but set_state_parameters only reads
// the model.
class model_black_karasinski : public aad_state_parameters_manager {
 public:
  // Builds the HJM driver on the valuation date and the simulation dates (strictly increasing, none before
  // the valuation date), the Gauss-Hermite rule of the parameter set's number of roots and the year
  // fractions of its level and volatility dates. `flag` is kept for callers and changes nothing here.
  model_black_karasinski(const parameter_black_karasinski& parameter, const datetime& valuation_date,
                         const std::vector<datetime>& dates, bool flag);
  model_black_karasinski(const model_black_karasinski&) = delete;
  model_black_karasinski& operator=(const model_black_karasinski&) = delete;
  ~model_black_karasinski() override;

  const std::unique_ptr<model_markovian_hjm>& hjm_model() const noexcept { return hjm_model_; }
  const parameter_black_karasinski& parameter() const noexcept { return *parameter_; }
  const datetime& valuation_date() const noexcept { return valuation_date_; }
  // The simulation dates, as the HJM driver keeps them.
  const std::vector<datetime>& dates() const noexcept { return hjm_model_->simulation_dates(); }
  bool model_flag() const noexcept { return model_flag_; }

  size_t number_of_factors() const { return parameter_->number_of_factors(); }
  size_t number_of_states() const { return number_of_factors() + 1; }
  // Row of the integral of r in a state matrix.
  size_t discounting_state_index() const { return number_of_factors(); }

  // One step from dates[i - 1] to dates[i], 1 <= i < dates().size(). `previous` becomes a copy of `states`
  // as they come in; then the factor row moves by sigma (gaussians(0, .) - row_dot(i, 0)), sigma the HJM
  // driver's incremental volatility of the step, and the integral row by the step's trapezoid.
  void evolve(const change_of_measure& measure_change, size_t i, const matrix<double>& gaussians,
              matrix<double>& previous, matrix<double>& states) const;

  // Per path (column of `states`), ln P(t, T) given the factor x(t) in row 0: the whole price, no curve
  // apart. 0 on every path when t equals T.
  void conditional_price(const matrix<double>& states, const datetime& t, const datetime& T,
                         vector<double>& out) const;

  // The variance of a(t) x(t) seen from the valuation date.
  double variance(const datetime& t) const;

  // a(t): the HJM driver's decay of the factor at t.
  double factor_decay(const datetime& t) const;

  // For each factor value x[j], P(t, T) given a(t) x(t) = decay x[j]; 1 when t equals T.
  void discount_factors(const vector<double>& x, double decay, const datetime& t, const datetime& T,
                        vector<double>& out) const;

  // --- PDE of the factor on one space grid ----------------------------------------------------------
  // A grid point is the factor x itself, which moves without drift. The dates of a step are the valuation date
  // or simulation dates, where the driver tabulates the factor's variance; other dates are an Error.

  // Coefficients of the step [t, T] (t <= T) into the first coefficient set, one value per point of the first
  // grid: diffusion 1/2 the factor's variance over the step, convection 0, and the reaction -(dt/2) (r(t, x) +
  // r(T, x)), the simulation step's trapezoid (the level of t at both ends), the rates held within the range of
  // doubles. Only the first set and grid are read.
  void coefficients(std::span<const std::shared_ptr<pde_model_coefficients>> coefficients,
                    std::span<const ptr_const<space_grid>> grids, const datetime& t, const datetime& T) const;

  // ln P(t, T) at each point of the first grid's axis into out (one value per point); 0 when t equals T.
  void conditional_price(double* out, std::span<const ptr_const<space_grid>> grids, const datetime& t,
                         const datetime& T) const;

  // The quadrature and time tables that the conditional prices use: the Gauss-Hermite rule for a standard
  // normal, the year fractions from the valuation date to the level and volatility dates, the squared
  // volatilities in storage order and the time step in years.
  const vector<double>& roots() const noexcept { return roots_; }
  const vector<double>& weights() const noexcept { return weights_; }
  const std::vector<double>& levels_times() const noexcept { return levels_times_; }
  const std::vector<double>& squared_volatilities() const noexcept { return squared_volatilities_; }
  const std::vector<double>& volatilities_times() const noexcept { return volatilities_times_; }
  double time_step() const noexcept { return time_step_; }
  // For each HJM model date, the index of the first level date at or after it (the last after them all).
  const std::vector<size_t>& levels_indices() const noexcept { return levels_indices_; }
  // Where the level times start in the state-parameter vector: the HJM driver's count.
  size_t levels_offset() const noexcept { return levels_offset_; }

  // State parameters: the HJM driver's, then the level times. Neither call recomputes anything else.
  void finalize_aad(double* adjoints) const override;
  size_t get_state_parameters(double* out) const override;
  size_t set_state_parameters(const double* in) override;

 private:
  double year_fraction(const datetime& from, const datetime& to) const;
  // ln P(t, T) for each factor value x[j] into out.
  void log_prices(const vector<double>& x, const datetime& t, const datetime& T, vector<double>& out) const;

  const parameter_black_karasinski* parameter_;
  datetime valuation_date_;
  bool model_flag_;
  std::unique_ptr<model_markovian_hjm> hjm_model_;
  vector<double> roots_;
  vector<double> weights_;
  std::vector<double> levels_times_;
  std::vector<double> squared_volatilities_;
  std::vector<double> volatilities_times_;
  double time_step_ = 0.0;
  std::vector<size_t> levels_indices_;
  size_t levels_offset_ = 0;
  // The driver's decays (one factor: one per decay date) and the year fractions to their dates, for the
  // conditional prices: mean-reversion speeds under HULL_WHITE, the factor's loadings under PICEWISE_CONSTANT.
  std::vector<double> decays_;
  std::vector<double> decays_times_;
};

}  // namespace qavrek
