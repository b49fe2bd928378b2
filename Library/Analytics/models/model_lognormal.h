#pragma once

#include <cstddef>
#include <vector>

#include "Analytics/change_of_measure/change_of_measure.h"
#include "Analytics/parameters/parameter_lognormal.h"
#include "Core/pointers.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

// The multi-factor lognormal model of an equity or FX spot. Factor k carries the piecewise-constant
// volatility sigma_k(t), row r of the parameter set's volatilities applying on (d_{r-1}, d_r] and the
// last row after the last date. Over a simulation step the log spot moves by
//   sum_k s_k (Z_k - m_k) - 1/2 s' C s
// with s_k the factor's incremental volatility (the square root of the integral of sigma_k^2 over the
// step), Z the correlated draws, C the factor correlation and m_k the change of measure's shift; so
// exp of the accumulated moves is a martingale with exactly the model's variance whatever the steps.
//
// The incremental volatilities of the simulation dates are tabulated at construction (row i: the step
// that ends at simulation date i, from the valuation date for i = 0). The parameter set is borrowed and
// must outlive the model. After construction the model is only read.
class model_lognormal {
 public:
  // At least one factor and one volatility date; simulation dates strictly increasing and not before
  // the valuation date.
  model_lognormal(const parameter_lognormal& parameter, const datetime& valuation_date,
                  const std::vector<datetime>& simulation_dates);
  // The model of a diffusion on `dates`, valued at the first of them; the parameter set is required and
  // must outlive the model.
  static ptr_const<model_lognormal> on_dates(const ptr_const<parameter_lognormal>& parameter,
                                             const std::vector<datetime>& dates);

  // Row i of `out`: per factor, the square root of the variance of the step that ends at dates[i] (from
  // the valuation date for i = 0). A step inside one volatility period is sqrt(tau) times that period's
  // row, sign included; a step across periods adds the periods' variances. `dates` ascending and not
  // before the valuation date; `out` has at least dates.size() rows and one column per factor.
  void incremental_volatility_sv(const std::vector<datetime>& dates, matrix<double>& out) const;

  // Adds step `step` (0 <= step < number of simulation dates) to the log spots `state`, one per path,
  // plus `drift` on every path: `gaussians` holds at least one row of correlated draws per factor, each
  // as long as `state`.
  void evolve(const change_of_measure& measure, size_t step, const matrix<double>& gaussians, vector<double>& state,
              double drift = 0.0) const;
  // The same on row 0 of a diffusion's state block.
  void evolve(const change_of_measure& measure, size_t step, const matrix<double>& gaussians, matrix<double>& states,
              double drift) const;

  size_t number_of_factors() const noexcept { return parameter_->number_of_factors(); }
  size_t number_of_states() const noexcept { return 1; }

  const parameter_lognormal& parameter() const noexcept { return *parameter_; }
  const datetime& valuation_date() const noexcept { return valuation_date_; }
  const std::vector<datetime>& simulation_dates() const noexcept { return simulation_dates_; }
  // One row per simulation date, one column per factor.
  const matrix<double>& incremental_volatility() const noexcept { return incremental_volatility_; }

 private:
  // Per factor, the volatility of the step (from, to] into out.
  void step_volatility(const datetime& from, const datetime& to, double* out) const;

  const parameter_lognormal* parameter_;
  datetime valuation_date_;
  std::vector<datetime> simulation_dates_;
  matrix<double> incremental_volatility_;
};

}  // namespace qavrek
