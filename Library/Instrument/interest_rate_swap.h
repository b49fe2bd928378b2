#pragma once

#include <cstddef>
#include <vector>

#include "Core/pointers.h"
#include "Instrument/fixed_leg.h"
#include "Instrument/float_leg.h"
#include "Instrument/linear_ratio.h"
#include "Market/discount_curve.h"
#include "Market/ir_volatility_surface.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Util/tenor.h"
#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

// A single-curve payer swap that starts at its expiry (no spot lag) and ends at its maturity, both legs
// on one schedule: the expiry, then expiry + k x frequency (calendar arithmetic, no business-day
// adjustment) while before the maturity, then the maturity (a short last period when the tenor does
// not divide the swap). `all_dates` is that schedule.
//
// With discount factors P_i on `all_dates` (the market's, or any others such as a model's):
//   float leg  F = sum over periods of dcf (P_start - P_end)      (dcf = 1.0; equal to P_0 - P_n)
//   annuity    A = sum over periods of accrual P_end              (accrual by the swap's day count)
//   value      V(K) = F - K A                                     (pay fixed K, receive float)
//   swap rate  S = F / A.
// So a payer swaption is a call on the swap rate with the annuity as numeraire, and a swaption
// price converts to a Black volatility through Black's formula on (S, K, T, annuity), T being
// `expiry_double`, the year fraction from the curve's valuation date to the expiry by the swap's day count.
//
// Sensitivities in a Gaussian factor state x: when ln P_i = ln Pm_i - (G_i - G_0).x - ... (one row
// of loadings G_i per date, taken relative to row 0), the "log adjoints" a_i = P_i dV/dP_i turn into
// the state gradient by `gradient`: -sum_i a_i (G_i - G_0).
class interest_rate_swap {
 public:
  // The expiry must be set and not before the curve's valuation date, the maturity after the expiry
  // and the frequency a positive period; the curve and the day count are required.
  interest_rate_swap(const ptr_const<discount_curve>& curve, const datetime& expiry, const datetime& maturity,
                     const tenor& frequency, const ptr_const<day_count_convention>& convention);

  const std::vector<datetime>& all_dates() const noexcept { return all_dates_; }
  // Market discount factors from the curve's valuation date to each of `all_dates`.
  const std::vector<double>& dfs() const noexcept { return dfs_; }
  const datetime& expiry() const noexcept { return expiry_; }
  double expiry_double() const noexcept { return expiry_double_; }
  const datetime& maturity() const noexcept { return maturity_; }
  const tenor& frequency() const noexcept { return frequency_; }
  const ptr_const<day_count_convention>& convention() const noexcept { return convention_; }
  const ptr_const<discount_curve>& curve() const noexcept { return curve_; }
  // One period: a caplet, which the calibration prices with Black's formula on two discount factors.
  bool is_caplet() const noexcept { return fixed_->size() == 1; }

  const ptr_const<fixed_leg>& fixed_leg_instrument() const noexcept { return fixed_; }
  const ptr_const<float_leg>& float_leg_instrument() const noexcept { return float_; }
  const std::vector<size_t>& fixed_pay_index() const noexcept { return fixed_->pay_index(); }
  const std::vector<size_t>& float_start_index() const noexcept { return float_->start_index(); }
  const std::vector<size_t>& float_end_index() const noexcept { return float_->end_index(); }
  const std::vector<size_t>& float_pay_index() const noexcept { return float_->pay_index(); }

  // Every `dfs` argument below holds one number per date of `all_dates` (checked).

  // A on the market discount factors, or on the given ones.
  double annuity() const noexcept { return annuity_; }
  double annuity(const std::vector<double>& dfs) const;
  // Adds dA/dP_i to dfs_aad[i] (sized like dfs).
  void annuity_aad(std::vector<double>& dfs_aad, const std::vector<double>& dfs) const;

  // S on the market discount factors, or on the given ones.
  double swap_rate() const noexcept { return swap_rate_; }
  double swap_rate(const std::vector<double>& dfs) const;
  // Adds value_aad x dS/dP_i to dfs_aad[i] (sized like dfs).
  void swap_rate_aad(double value_aad, const std::vector<double>& dfs, std::vector<double>& dfs_aad) const;

  // F and A on every path: dfs holds one row per date of `all_dates` and one column per path; the outputs
  // are resized to the paths when they own their storage.
  void path_values(const matrix<double>& dfs, vector<double>& floating, vector<double>& annuity) const {
    rate_.path_values(dfs, floating, annuity);
  }

  // V(strike) on the given discount factors; linear in them, so any numbers may be passed.
  double value(double strike, const std::vector<double>& dfs) const;
  // Adds value_aad x P_i dV/dP_i (the log adjoints) to log_dfs_aad[i] (sized like dfs).
  void swap_value_aad(double value_aad, double strike, const std::vector<double>& dfs,
                      std::vector<double>& log_dfs_aad) const;
  // value_aad x d2V/dx2 through the loadings G (one row per date, at least as many rows as dates, one
  // column per factor): sum_i a_i (G_i - G_0)(G_i - G_0)' with a_i the log adjoints. Overwrites
  // `output`, which is resized when it owns its storage and must be factors x factors otherwise.
  void swap_value_aad_second(matrix<double>& output, double value_aad, const matrix<double>& G, double strike,
                             const std::vector<double>& dfs) const;
  // The same second derivative for the swap rate S, overwriting `output` as above.
  void hessian(matrix<double>& output, double value_aad, const matrix<double>& G, const std::vector<double>& dfs) const;
  // output = -sum_i log_dfs_aad[i] (G_i - G_0): the state gradient of a quantity whose log adjoints are
  // given (one per row of G used). `output` is resized when it owns its storage.
  static void gradient(vector<double>& output, const matrix<double>& integral_decays,
                       const std::vector<double>& log_dfs_aad);

  // The Black volatility of a swaption price: a payer (a call on S) when is_call > 0, else a receiver.
  double implied_volatility(double value, double strike, double is_call = 1) const;
  // The market volatility of this swaption at the strike, read from the surface at the swap's expiry
  // and maturity.
  double implied_volatility(const ptr_const<ir_volatility_surface>& volatility_surface, double strike) const;
  // The Monte Carlo value of the swaption on this swap (payer when is_call, else receiver) at each of the
  // absolute `strikes`, in money at the curve's valuation date, from simulated curves at the expiry:
  // `curve` answers per path as of the expiry (a simulated view finalized there, or a deterministic curve)
  // and mm[j] is path j's discounting from the valuation date to the expiry. On path j the discount
  // factors from the valuation date are D_ij = mm_j P_j(expiry, T_i), and the value is the mean over the
  // paths of max(w (F_j - K A_j), 0) with F and A on D. With moment_matching each date's D_i. are first
  // rescaled to the mean dfs()[i], so that the forward swap reprices exactly. With debug each strike's
  // value and standard error are logged at verbosity 0. Not const: the path buffers are kept between
  // calls, so repeated valuations allocate nothing; one swap is therefore not valued from two threads.
  std::vector<double> simulated_value(const vector<double>& mm, const ptr_const<discount_curve>& curve,
                                      const std::vector<double>& strikes, bool is_call, bool moment_matching,
                                      bool debug);

  // Turns the adjoint of a Black volatility into the adjoint of the price at that volatility and strike
  // (divides by vega; a vega that vanishes, where the price no longer moves, gives 0) and returns it.
  double implied_volatility_aad(double& adjoint, double volatility, double strike) const;

 private:
  void check_dfs(const std::vector<double>& dfs) const;
  void check_loadings(const matrix<double>& G) const;

  ptr_const<discount_curve> curve_;
  datetime expiry_;
  datetime maturity_;
  tenor frequency_;
  ptr_const<day_count_convention> convention_;
  std::vector<datetime> all_dates_;
  std::vector<double> dfs_;
  double expiry_double_ = 0.0;
  ptr_const<fixed_leg> fixed_;
  ptr_const<float_leg> float_;
  // S = F / A with per-date weights dF/dP_i and dA/dP_i, so that every value is a sum over dates.
  linear_ratio rate_;
  double annuity_ = 0.0;
  double swap_rate_ = 0.0;
  // Work buffers of simulated_value: D (dates x paths), then F and A per path.
  matrix<double> path_dfs_;
  vector<double> path_floating_;
  vector<double> path_annuity_;
};

}  // namespace qavrek
