#pragma once

#include <cstddef>
#include <vector>

#include "Core/pointers.h"
#include "Instrument/instrument_ir_swaption.h"
#include "Market/discount_curve.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Util/tenor.h"
#include "Vectorization/matrix.h"

namespace qavrek {

class model_cheyette;

// One swaption (a caplet when its swap has one period) of the Cheyette calibration, priced at each of its
// strikes under a model_cheyette read as a one-factor model.
//
// At the expiry, with s the model's average skew there, L its long-term skew level and G_j the
// integrated decays of the swap's dates, let Gt_j = (G_j - L) / s. The state enters through
// Z = (1 + s (x + L y)) / R and R = s^2 y, and the model discount factors are the market's dfs_j times
//   exp((Gt_j - Gt_0) - R ((Gt_j + Z)^2 - (Gt_0 + Z)^2) / 2).
// Z has one law under every forward measure (hartman_watson_distribution, model_cheyette::density), and
// under that of date j, R given Z = z is the first time a Brownian motion with drift z + Gt_j reaches 1
// (inverse Gaussian). So at each node z the swap value's root in R separates exercise from no exercise,
// each cash flow is worth its market discount factor times its measure's probability of the exercise
// side, and the price is the quadrature over z. The implied volatility is Black's on the swap.
//
// s is the model's signed_average_skew at the expiry: its average skew with the sign of the sum of
// b_k sigma_k^2 over the model's steps up to the expiry. The exercise side is where the swap value at the
// root grows with R for a payer (R above the root with a positive skew, below it with a negative one), the
// other for a receiver. Below an average skew of 1e-5 in size, or at a zero skew-weighted variance, the model is the
// Gaussian HJM model, and the price is calibration_ir_hjm_swaption's.
//
// Immutable; every operation is const, so several targets may be priced on one model at once.
class calibration_ir_cheyette_swaption {
 public:
  // The instrument_ir_swaption of these arguments, in its order: (is_call, curve, expiry, maturity,
  // frequency, convention, strikes, is_ratios). There is no valuation date (the curve's is used), the swap
  // is given by its maturity date, not by a tenor from the expiry, and `frequency` is the period of both
  // legs; with is_ratios the strikes are multiples of the market swap rate. A call written as (is_call,
  // curve, valuation, expiry, tenor, ...) compiles but describes a swaption expiring at the valuation date
  // on a swap ending at the intended expiry, paying every `tenor`.
  calibration_ir_cheyette_swaption(bool is_call, const ptr_const<discount_curve>& curve, const datetime& expiry,
                                   const datetime& maturity, const tenor& frequency,
                                   const ptr_const<day_count_convention>& convention,
                                   const std::vector<double>& strikes, bool is_ratios);
  ~calibration_ir_cheyette_swaption();

  datetime expiry() const { return swaption_->swap()->expiry(); }
  double swap_rate() const { return swaption_->swap()->swap_rate(); }
  const ptr_const<instrument_ir_swaption>& swaptions() const noexcept { return swaption_; }

  // One model implied volatility per strike, in strike order, into `out` (cleared first). `variance` is
  // the model's skew-weighted variance at the expiry (model_cheyette::variance); the expiry must be a
  // simulation date of the model. Prices at or below 2^-52 or without time value give 0.0, prices that no
  // finite volatility reaches 10000.0.
  void values(std::vector<double>& out, const ptr_const<model_cheyette>& model, double variance) const;

  // The price given Z = node at `strike`, G holding the Gt_j of the swap's dates in its first column: the
  // swap's root in R is searched from `root` (a NaN root starts from 0) with at most max_iter Newton steps
  // to the tolerance (|V / annuity| or the relative step), a search that does not converge warning
  // "swap root finder did not converge!" and pricing at the last root; `root` is left there.
  double value(double& root, double node, double strike, const matrix<double>& G, bool is_call, size_t max_iter,
               double tol) const;

  // A displaced-diffusion approximation of `values`: on the given dates up to the expiry the swap rate's
  // local volatility and skew, at the state that reprices the market swap rate, are averaged into a
  // displacement beta and a volatility. A beta below 0 (steep negative skews) is the mirrored
  // displaced diffusion.
  void value_approxitmation(std::vector<double>& out, const ptr_const<model_cheyette>& model,
                            const std::vector<datetime>& dates) const;

 private:
  // The work buffers of one pricing, one entry per date of the swap (defined with the implementation).
  struct workspace;

  double value(double& root, double node, double strike, const matrix<double>& G, bool is_call, size_t max_iter,
               double tol, workspace& work) const;
  // Moves `root` to where the swap value at Z = node vanishes; true when a stopping rule was met.
  bool find_swap_root(const matrix<double>& G, double strike, double node, double& root, size_t max_iter, double tol,
                      workspace& work) const;
  double price(const matrix<double>& G, double strike, double node, double root, bool is_call, workspace& work) const;
  // Black's volatility of a price, with the degenerate prices mapped as `values` says.
  double implied_volatility(double price, double strike) const;
  // The HJM model's prices, for a model without skew-weighted variance.
  void gaussian_values(std::vector<double>& out, const model_cheyette& model) const;

  ptr_const<instrument_ir_swaption> swaption_;
};

}  // namespace qavrek
