#pragma once

#include <cstddef>
#include <vector>

#include "Analytics/change_of_measure/change_of_measure.h"
#include "Analytics/parameters/parameter_extended_cir.h"
#include "Core/aad_state_parameters_manager.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

// The multi-factor extended Cox-Ingersoll-Ross model of a short rate or a default intensity. Factor i moves
// so that y_i = x_i + theta_i is a square-root process,
//   dy_i = kappa_i (theta_i - y_i) dt + sigma_i sqrt(y_i) dW_i,
// and the rate is the sum of the factors x_i. The zero-coupon price from t to T is exponential-affine,
//   P(t, T) = A(t, T) exp(-B(t, T).x(t)),
// B and ln A solving B' = 1 - kappa B - sigma^2 B^2 / 2 and (ln A)' = sigma^2 theta B^2 / 2 backwards in time
// from zero at T, factor by factor.
//
// kappa, sigma and theta are piecewise constant: on (d_{k-1}, d_k] between two model dates the parameter rows
// in force at d_k apply, and after the last model date the last rows. The model dates are the simulation dates
// (the valuation date first when they start after it) merged with the parameter dates from the valuation date
// on; rows dated before the valuation date only matter through the rows in force after it.
//
// Tables built at construction, in the order of the flat state-parameter vector:
//   cumulative_decays_      m x n  D_i(d_k) = exp(-integral of kappa_i from the valuation date to d_k)
//   log_a_from_valuation_   s      ln A(v, s) for every simulation date s
//   variance_increments_    s x n  integral of sigma_i^2 / D_i over each simulation step (row 0 zero)
// Setting the state parameters overwrites them and recomputes nothing. With the model flag only the decays
// exist: such a model neither prices nor simulates.
//
// The state matrices of a simulation have number_of_states() = n + 1 rows, the n factors and then the
// discounting integral: the trapezoid integral of the rate plus ln A(v, s), so that exp(-row n) is the
// simulated discount factor over the model's own, whose mean is 1. Conditional prices are normalised the same
// way, by the model's forward price from the valuation date.
//
// The parameter set is borrowed and must outlive the model. Everything but set_state_parameters only reads
// the model.
class model_extended_cir : public aad_state_parameters_manager {
 public:
  // The simulation dates must be set, strictly increasing and not before the valuation date; the parameter
  // set needs a row in each block, and non-negative finite speeds, volatilities and shifts (a square-root
  // process with a negative level or speed has no transition to draw from). A zero volatility makes its
  // factor deterministic.
  model_extended_cir(const parameter_extended_cir& parameter, const datetime& valuation_date,
                     const std::vector<datetime>& dates, bool flag);
  model_extended_cir(const model_extended_cir&) = default;
  model_extended_cir& operator=(const model_extended_cir&) = delete;
  ~model_extended_cir() override = default;

  // --- Shape and dates -------------------------------------------------------------------------
  size_t number_of_factors() const noexcept { return parameter_->number_of_factors(); }
  size_t number_of_states() const noexcept { return number_of_factors() + 1; }
  // Row of the discounting integral in a state matrix.
  size_t discounting_state_index() const noexcept { return number_of_factors(); }

  const parameter_extended_cir& parameter() const noexcept { return *parameter_; }
  const datetime& valuation_date() const noexcept { return valuation_date_; }
  const std::vector<datetime>& simulation_dates() const noexcept { return dates_; }
  bool model_flag() const noexcept { return model_flag_; }
  const std::vector<datetime>& model_dates() const noexcept { return model_dates_; }
  // Position of the last model date not after t (0 before the first).
  size_t date_offset(const datetime& t) const;

  // --- Tables ----------------------------------------------------------------------------------
  const matrix<double>& cumulative_decays() const noexcept { return cumulative_decays_; }
  const std::vector<double>& log_a_from_valuation() const noexcept { return log_a_from_valuation_; }
  const matrix<double>& variance_increments() const noexcept { return variance_increments_; }
  size_t cumulative_decays_offset() const noexcept { return cumulative_decays_offset_; }
  size_t log_a_from_valuation_offset() const noexcept { return log_a_from_valuation_offset_; }
  size_t variance_increments_offset() const noexcept { return variance_increments_offset_; }

  // --- Coefficients ----------------------------------------------------------------------------
  // D at t carried forward from model date k (the row of model date k when t is not after it). An empty
  // (owning) `out` is sized to n; otherwise it must hold n values.
  void decay(const datetime& t, size_t k, vector<double>& out) const;

  // Carries B (n values in b) and ln A back from T to t over the model intervals k = last + 1 down to
  // first + 1, the first of them starting at t and the last ending at T: on entry b and log_a are the values
  // at T, on return those at t. So t lies in [d_first, d_{first+1}) and T in (d_last, d_{last+1}] (after
  // the last model date for last = m - 1). An interval of zero length changes nothing.
  void affine_coefficients(size_t first, size_t last, const datetime& t, const datetime& T, vector<double>& b,
                           double& log_a) const;

  // ln A(t, T) - ln A(v, T) + ln A(v, t) for a simulation date t and T not before it, with B(t, T) in b
  // (n values): the log of the conditional price divided by the model's forward price from v, less B.x.
  double normalized_log_a(const datetime& t, const datetime& T, vector<double>& b) const;

  // --- Prices and simulation ---------------------------------------------------------------------
  // Per path (column of states), the log of the normalised conditional price of a unit paid at T, seen at
  // the simulation date t from the factors in rows 0 .. n-1: normalized_log_a(t, T) - B(t, T).x. `out` has
  // one entry per column.
  void conditional_price(const matrix<double>& states, const datetime& t, const datetime& T, vector<double>& out) const;

  // One simulation step from simulation date i - 1 to date i (1 <= i < s). `previous` becomes a copy of
  // `states` as it comes in; `states` then receives the new factors, drawn from a two-moment match of the
  // exact square-root transition (a scaled non-central chi-square), and its discounting row the trapezoid
  // integral of the rate over the step plus the step's increase of ln A(v, .). Where parameters change
  // inside the step the draw keeps the exact mean E[x1] = exp(-integral of kappa) x0; a path whose y is not
  // positive (after a fall of the shift, or a draw below zero) draws with non-centrality 0. The correlated
  // draws are rows 0 .. n-1 of `gaussians`. The square-root process has no drift correction: the change of
  // measure is not read.
  void evolve(const change_of_measure& measure_change, size_t i, const matrix<double>& gaussians,
              matrix<double>& previous, matrix<double>& states) const;

  // --- State parameters --------------------------------------------------------------------------
  void finalize_aad(double* adjoints) const override;
  // The tables in their flat order; the caller sizes the array by state_parameters_size().
  size_t get_state_parameters(double* out) const override;
  // Overwrites the tables from the flat order, each keeping its size; nothing is recomputed.
  size_t set_state_parameters(const double* in) override;

 private:
  // The parameter rows in force on the model interval that ends at model date k; past the last model
  // date, the last rows.
  struct interval_parameters {
    const double* kappa;
    const double* sigma;
    const double* theta;
  };
  interval_parameters parameters_of_interval(size_t k) const noexcept;

  void check_parameters() const;
  void check_simulation_dates() const;
  void build_model_dates();
  void build_decays();
  void build_simulation_tables();
  // Adds to accumulator the integral of sigma^2 / D over the model interval from d_j to d_{j+1}.
  void accumulate_variance(size_t j, double* accumulator) const;
  void fill_variance_increments();
  // Prices are normalised by ln A(v, t) of a simulation date t: an Error for any other date, and for a
  // model without simulation tables.
  void check_priced_from(const datetime& t, const char* query) const;
  double year_fraction(const datetime& from, const datetime& to) const;

  const parameter_extended_cir* parameter_;
  datetime valuation_date_;
  std::vector<datetime> dates_;
  bool model_flag_;
  std::vector<datetime> model_dates_;
  std::vector<size_t> simulation_indices_;
  std::vector<size_t> mean_reversion_speeds_indices_;
  std::vector<size_t> volatilities_indices_;
  std::vector<size_t> shifts_indices_;
  std::vector<double> log_a_from_valuation_;
  matrix<double> cumulative_decays_;
  matrix<double> variance_increments_;
  size_t cumulative_decays_offset_ = 0;
  size_t log_a_from_valuation_offset_ = 0;
  size_t variance_increments_offset_ = 0;
};

}  // namespace qavrek
