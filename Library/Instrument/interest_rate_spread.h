#pragma once

#include <vector>

#include "Core/pointers.h"
#include "Instrument/interest_rate_swap.h"
#include "Instrument/linear_ratio.h"
#include "Market/discount_curve.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Util/tenor.h"
#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

// A weighted spread of two swap rates fixed at one expiry (a CMS spread): a long swap and a short swap
// that both start at the expiry, with the same frequency and day count. Its dates are the union of the
// two swaps' dates, and
//   value(K, P) = long_weight S_long(P) - short_weight S_short(P) - K,
// each swap rate read on the discount factors P of its own dates among `all_dates`.
class interest_rate_spread {
 public:
  interest_rate_spread(const ptr_const<discount_curve>& curve, const datetime& expiry, const datetime& long_maturity,
                       const datetime& short_maturity, const tenor& frequency,
                       const ptr_const<day_count_convention>& convention, double long_weight = 1.,
                       double short_weight = 1.);

  const ptr_const<interest_rate_swap>& long_swap() const noexcept { return long_swap_; }
  const ptr_const<interest_rate_swap>& short_swap() const noexcept { return short_swap_; }
  double long_weight() const noexcept { return long_weight_; }
  double short_weight() const noexcept { return short_weight_; }
  const datetime& expiry() const noexcept { return long_swap_->expiry(); }
  const std::vector<datetime>& all_dates() const noexcept { return all_dates_; }
  // Market discount factors from the curve's valuation date to each of `all_dates`.
  const std::vector<double>& dfs() const noexcept { return dfs_; }

  // Every `dfs` argument holds one number per date of `all_dates` (checked).
  double value(double strike, const std::vector<double>& dfs) const;
  // Adds ret_aad x P_i d value / dP_i (the adjoints of ln P_i) to log_dfs_aad[i] (sized like dfs).
  void value_aad(std::vector<double>& log_dfs_aad, double ret_aad, const std::vector<double>& dfs) const;
  // value_aad x the second derivative of `value` in the factor state through the loadings (one row per
  // date, relative to row 0), overwriting `output` (resized when it owns its storage).
  void hessian(matrix<double>& output, double value_aad, const matrix<double>& integral_decays,
               const std::vector<double>& dfs) const;

  // value(0, D_.j) on every path j: dfs holds one row per date of `all_dates` and one column per path;
  // `spreads` is resized to the paths when it owns its storage.
  void path_values(const matrix<double>& dfs, vector<double>& spreads) const;

  // The Monte Carlo value of the option on the spread (a call when is_call, else a put) at each of the
  // absolute `strikes`, paid at the expiry and valued in money at the curve's valuation date, from
  // simulated curves at the expiry as interest_rate_swap::simulated_value takes them: on path j
  // D_ij = mm_j P_j(expiry, T_i) over `all_dates`, and the value is the mean over the paths of
  // max(w value(K, D_.j), 0) D_0j (the swap rates do not depend on the scale of D; D_0j = mm_j is the
  // path's discounting to the payment). moment_matching rescales each date's D_i. to the mean dfs()[i]
  // first. Not const: the path buffers are kept between calls.
  std::vector<double> simulated_value(const vector<double>& mm, const ptr_const<discount_curve>& curve,
                                      const std::vector<double>& strikes, bool is_call, bool moment_matching);

 private:
  void check_dfs(const std::vector<double>& dfs) const;
  // path_values with the two rates' numerators and denominators in the given buffers.
  void path_values(const matrix<double>& dfs, vector<double>& spreads, vector<double>& long_numerators,
                   vector<double>& long_denominators, vector<double>& short_numerators,
                   vector<double>& short_denominators) const;

  ptr_const<interest_rate_swap> long_swap_;
  ptr_const<interest_rate_swap> short_swap_;
  double long_weight_;
  double short_weight_;
  std::vector<datetime> all_dates_;
  std::vector<double> dfs_;
  // The two swap rates with their weights spread over `all_dates`.
  linear_ratio long_rate_;
  linear_ratio short_rate_;
  // Work buffers of simulated_value: D (dates x paths), the spreads, each rate's numerator and denominator.
  matrix<double> path_dfs_;
  vector<double> path_spreads_;
  vector<double> long_numerators_;
  vector<double> long_denominators_;
  vector<double> short_numerators_;
  vector<double> short_denominators_;
};

}  // namespace qavrek
