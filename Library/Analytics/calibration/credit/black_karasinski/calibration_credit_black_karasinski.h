#pragma once

#include <memory>
#include <vector>

#include "Analytics/parameters/parameter_black_karasinski.h"
#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Analytics/settings/calibration_black_karasinski_settings.h"
#include "Core/pointers.h"
#include "Market/survival_curve.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

class model_markovian_hjm;

// Fits the piecewise levels of a Black-Karasinski intensity to a survival curve, one level date at a time:
// the level in force from date i - 1 is the root of
//   Q_market(valuation, date i) - Q_pde(date i; level)
// by Brent's method, Q_pde coming from a black_karasinski_pde_solver on a state grid sized to the factor's
// spread at date i. A date that the incoming levels already match within the tolerance keeps its level.
//
// With update_bounds, every search after the first looks within w of the guess ln(-ln(q_i / q_{i-1}) / tau_i),
// the log of the interval's average hazard rate (tau_i its year fraction in the parameter set's day count), w the
// larger of half the previous root's size and its distance from the guess; a curve that does not fall over the
// interval has no guess and is searched within the settings' bounds. With use_adjustement and a rates parameter
// set, the factor is shifted at every grid date by the running sum of
//   sigma_r sum_k rho_k (sv_rk I_k(t) - mm_rk),
// sigma_r the factor's incremental volatility, sv and mm the rates model's incremental volatilities, I_k(t)
// the rates factors' integrated decays at the level date and rho the credit-rates correlation (one value
// per rates factor).
//
// The parameter set's level dates increase, the first not after the valuation date and at least one after it.
// The levels in force only before the valuation date are left as they are; the last level repeats the one
// before it, since no survival probability reaches beyond the last date. A survival curve that gives a value
// that is not a finite number (the date is named), and a credit-rates correlation outside [-1, 1] (when the
// adjustment reads it), are refused.
class calibration_credit_black_karasinski {
 public:
  // Keeps the arguments; `ir_parameters` may be empty (no adjustment).
  calibration_credit_black_karasinski(const datetime& valuation_date, const ptr_const<survival_curve>& curve,
                                      const ptr_const<calibration_black_karasinski_settings>& calibration_settings,
                                      const ptr_const<parameter_markovian_hjm>& ir_parameters,
                                      const matrix<double>& correlation_credit_ir);

  // Writes the calibrated levels into `parameter` in place. On failure the levels of the dates already
  // calibrated keep their values.
  void calibrate_level(parameter_black_karasinski& parameter) const;

 private:
  // The factor's shift at every grid date for the survival to t; all zero without adjustment.
  static std::vector<double> ir_credit_adjustment(const datetime& t, bool use_adjustement,
                                                  const std::vector<datetime>& time_grid,
                                                  const std::unique_ptr<model_markovian_hjm>& rates_model,
                                                  const matrix<double>& factor_volatility,
                                                  const vector<double>& correlation, vector<double>& work);

  // The first level date after the valuation date, once the dates are checked: increasing, the first not after
  // the valuation date, at least one after it.
  size_t first_level_date_to_solve(const std::vector<datetime>& dates) const;
  // One correlation per rates factor, each within [-1, 1].
  void check_correlation(size_t factors) const;

  datetime valuation_date_;
  ptr_const<survival_curve> curve_;
  ptr_const<calibration_black_karasinski_settings> settings_;
  ptr_const<parameter_markovian_hjm> ir_parameters_;
  matrix<double> correlation_credit_ir_;
};

}  // namespace qavrek
