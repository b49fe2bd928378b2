#pragma once

#include <cstddef>
#include <vector>

#include "Analytics/parameters/parameter_lognormal.h"
#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Core/pointers.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Vectorization/matrix.h"

namespace qavrek {

// Calibration of a lognormal spot's piecewise-constant volatilities to market total variances, with the
// interest rates of a Markovian HJM model. The simulated log spot over (t_{l-1}, t_l] moves by
// sigma_l sqrt(dt_l) u.Z_a - w_l.Z_r, the asset factors all carrying sigma_l and w_l being the rate
// model's step loading towards the horizon t_j (integrated decay at t_j times the sv step volatility,
// less the mm one). Its variance to t_j is
//   sum_{l <= j} x_l^2 u'Bu + 2 x_l u'A w_l + w_l'C w_l,   x_l = sigma_l sqrt(dt_l),
// with B the asset correlation, C the rates' and A the asset-rate loadings (the asset-rate correlations,
// signed by how each rate enters the spot). Date by date the calibration solves this quadratic in x_j
// for the market variance to t_j, taking the larger root. That root may be negative (when the rates
// alone carry more variance than the market's, and the spot moves against them): the spot's factors then
// enter with the opposite sign, which the lognormal model reads as it is within a volatility period.
//
// The two derived classes set the loadings and correlations up from one correlation matrix over the rate
// factors followed by the asset factors; it must be a correlation matrix (square, symmetric, a unit
// diagonal, entries in [-1, 1] and positive semidefinite). Each rate factor's terms w_l come from its own
// parameter set, read as that set's model type reads it.
class lognormal_model_with_mhjm_ir {
 public:
  virtual ~lognormal_model_with_mhjm_ir();

  // Volatilities on the periods (t_{j-1}, t_j] of the calibration dates (row 0, before t_0, is zero):
  // market_variance[j] is the total variance of the log spot from t_0 to t_j (entry 0 is not read).
  // Dates strictly increasing and not before the valuation date, at least as many finite variances as
  // dates, and a convention for the periods' year fractions. A period whose quadratic has no real root
  // (a market variance below what the earlier periods and the rates already give) is an error naming its
  // date: no volatility reaches it.
  ptr_const<parameter_lognormal> calibrate(const std::vector<datetime>& calibration_dates,
                                           const std::vector<double>& market_variance,
                                           const ptr_const<day_count_convention>& day_convention) const;

  const datetime& valuation_date() const noexcept { return valuation_date_; }
  // The rates' parameter set (for FX, the domestic and foreign sets combined).
  const ptr_const<parameter_markovian_hjm>& parameters() const noexcept { return parameters_; }
  // m x f: per asset factor, its signed correlation with each rate factor.
  const matrix<double>& loadings() const noexcept { return loadings_; }
  // m x m: the asset factors' correlation.
  const matrix<double>& correlation() const noexcept { return correlation_; }

 protected:
  // The rates' parameter set with f factors, loadings m x f and a correlation m x m, m >= 1. The rates'
  // terms come from `parameters` itself.
  lognormal_model_with_mhjm_ir(const datetime& valuation_date, const ptr_const<parameter_markovian_hjm>& parameters,
                               matrix<double>&& loadings, matrix<double>&& correlation);
  // The same, the rates' terms coming from `rate_sets`, whose factors in order are those of `parameters`
  // (which provides the rates' correlation): sets of different model types keep their own readings.
  lognormal_model_with_mhjm_ir(const datetime& valuation_date, const ptr_const<parameter_markovian_hjm>& parameters,
                               std::vector<ptr_const<parameter_markovian_hjm>> rate_sets, matrix<double>&& loadings,
                               matrix<double>&& correlation);

  // From a correlation matrix over `rate_factors` rate factors followed by the asset factors: the asset
  // block, and the loadings, negated for the first `negated_factors` rate factors. The matrix must have
  // more rows than rate factors and be a correlation matrix.
  static matrix<double> asset_correlation(const matrix<double>& correlation, size_t rate_factors);
  static matrix<double> asset_rate_loadings(const matrix<double>& correlation, size_t rate_factors,
                                            size_t negated_factors);

 private:
  datetime valuation_date_;
  ptr_const<parameter_markovian_hjm> parameters_;
  matrix<double> loadings_;
  matrix<double> correlation_;
  // Whose models give the rates' terms, their factors side by side.
  std::vector<ptr_const<parameter_markovian_hjm>> rate_sets_;
};

}  // namespace qavrek
