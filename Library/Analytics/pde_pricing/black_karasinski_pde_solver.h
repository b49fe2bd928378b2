#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "Analytics/models/model_black_karasinski.h"
#include "Analytics/parameters/parameter_black_karasinski.h"
#include "Analytics/settings/calibration_black_karasinski_settings.h"
#include "Util/datetime.h"
#include "Vectorization/vector.h"

namespace qavrek {

// Survival probabilities of a Black-Karasinski intensity lambda = exp(level + d (x + shift)) by finite
// differences on a uniform grid of the Gaussian factor x, which moves as a driftless Brownian motion with the
// HJM driver's incremental variances v_k; d is the driver's decay at each grid date and `shift` an optional
// adjustment per grid date. Each step of the pricing equation
//   du/dt + v'(t)/2 d2u/dx2 - lambda u = 0
// is the two-stage L-stable SDIRK scheme of diagonal weight gamma = 1 - 1/sqrt(2): both stages solve one
// tridiagonal system with the killing rate averaged over the step's two dates at the level of its start.
// The edge nodes carry the killing term alone.
//
// Backward (the default) the solve starts from 1 at a level date and reads the node x = 0 on the valuation
// date; forward it spreads a unit mass from the centre node and sums it at the level date, stepping with the
// transposed matrices (the mass that reaches an edge stays on the grid), so that both give the same number.
//
// The solver reads the caller's levels at every step (a calibration changes them between solves): they must
// outlive it. The parameter set and the model are read when given, not kept.
//
// It keeps the factorised matrix of every step: time-grid dates times grid nodes may not exceed max_grid_cells
// (2^26, some 1.6 GB of bands, six times a 30-year daily grid of 1,001 nodes), checked before anything is laid
// out.
class black_karasinski_pde_solver {
 public:
  // The time grid runs from the valuation date to the last of `dates` through every one of them (coarse steps
  // of the settings' `step` days after `period` fine steps of `minimum_step` days); dates before the valuation
  // date are left out. The grid has pde_grid_size nodes, one more when that is even and the solver runs
  // backward, so that x = 0 is a node; at least three. Every level date of the parameter set on or after the
  // valuation date must be a date of the time grid; the survival to an earlier one is 1 (no step).
  black_karasinski_pde_solver(const datetime& valuation_date, std::span<const double> levels,
                              const parameter_black_karasinski& parameter, const std::vector<datetime>& dates,
                              const calibration_black_karasinski_settings& settings);
  black_karasinski_pde_solver(const black_karasinski_pde_solver&) = delete;
  black_karasinski_pde_solver& operator=(const black_karasinski_pde_solver&) = delete;

  const std::vector<datetime>& time_grid() const noexcept { return grid_dates_; }

  // Takes the incremental variances and the decays at the grid dates from the model's HJM driver, which must
  // be built on time_grid() (its variance table having one row per grid date).
  void update(const model_black_karasinski& model);
  // The x grid: size() points from -pde_span * scale to pde_span * scale (a finite scale >= 0); with unit
  // decays the grid of exp(x). A zero scale leaves no room to diffuse: the steps then only kill.
  void update_states(double scale);
  // One shift per grid date; an empty vector for none.
  void update(const std::vector<double>& shifts);

  // Steps the caller's vector from now on (no copy): a terminal profile for a backward solve without reset.
  void initial_result(vector<double>& values);

  // The survival probability from the valuation date to the level date `index` under the levels, shifts and
  // states as they are now. Backward with `reset` the solve starts from 1 at that date, without it from the
  // current result; forward always from a unit mass at the centre node.
  double survival_probability(size_t index, bool reset);

  const vector<double>& result() const noexcept { return result_; }
  const vector<double>& states() const noexcept { return states_; }
  size_t size() const noexcept { return size_; }
  bool unit_decays() const noexcept { return unit_decays_; }
  // The position of each level date in the time grid.
  const std::vector<size_t>& level_positions() const noexcept { return level_positions_; }

  // The most time-grid dates times grid nodes (see the class comment).
  static constexpr size_t max_grid_cells = size_t(1) << 26;

  // The diagonal weight of both stages and the weights with which the second stage's right-hand side combines
  // the first stage's solution and the step's starting values: (1 - gamma) / gamma and its complement to 1.
  static constexpr double gamma = 0.29289321881345254;
  static constexpr double stage_weight = 2.4142135623730945;
  static constexpr double start_weight = -1.4142135623730945;

 private:
  // Grid date k - 1 to grid date k, on result_.
  void step(size_t k);
  // The factorised matrix of step k at its current level, built when the level changed.
  const double* step_matrix(size_t k);
  // Writes the step's tridiagonal matrix into `bands` (lower, diagonal, upper) and factorises it.
  void factorise_step(size_t k, double level, double* bands);
  void killing_rates(size_t k, double shift, double level, double delta, double* rates);
  void forget_step_matrices();

  std::span<const double> levels_;
  size_t size_;
  // Per grid step, the factorised bands (lower, diagonal, upper: 3 x size_ values) and the level they were
  // built with (NaN before). A calibration changes one level at a time: the steps of the other levels keep
  // their matrices from one solve to the next.
  vector<double> step_matrices_;
  std::vector<double> step_matrix_levels_;
  vector<double> states_;
  vector<double> exponents_;  // work: the killing rate at the step's end
  vector<double> previous_;   // the values at the start of a step
  vector<double> result_;
  double span_;
  double diffusion_factor_ = 0.0;  // gamma / (2 h^2)
  bool backward_;
  bool unit_decays_ = false;
  bool model_ready_ = false;
  bool states_ready_ = false;
  vector<double> variance_increments_;
  vector<double> decays_;
  std::vector<datetime> grid_dates_;
  std::vector<double> step_fractions_;  // year fraction of the step to each grid date (0 for the first)
  std::vector<double> shifts_;
  std::vector<size_t> level_offsets_;
  std::vector<size_t> level_positions_;
};

}  // namespace qavrek
