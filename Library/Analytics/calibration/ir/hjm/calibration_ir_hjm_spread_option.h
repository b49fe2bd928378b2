#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "Core/pointers.h"
#include "Instrument/interest_rate_spread.h"
#include "Instrument/interest_rate_swap.h"
#include "Market/discount_curve.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Util/tenor.h"
#include "Vectorization/matrix.h"
#include "Vectorization/tensor.h"
#include "Vectorization/vector.h"

namespace qavrek {

class model_markovian_hjm;

// A CMS spread option under a `model_markovian_hjm`: the option on
//   spread = long_weight S_long - short_weight S_short
// of two swap rates fixed at one expiry (an `interest_rate_spread`), paid at the expiry.
//
// The model's decomposition at the expiry writes the log discount factors of the spread's dates as
// ln P_j(y) = ln Pm_j - G_j.y - 1/2 |G_j|^2 on n independent standard Gaussians y (G_0 = 0 when the
// loadings are taken relative to the expiry), so that under the expiry's forward measure
//   price = P(0, expiry) E[(spread(y) - K)+].
// The exercise boundary spread(y) = K is found by a root search; the exercise region is replaced by the
// half-space through that root whose normal is the spread's gradient there (exact with one factor when
// the spread is monotone in the state), and each swap rate, the float leg over the annuity, is integrated
// over it in closed form once the reciprocal annuity is expanded to third order in the state. With a
// single period per swap the annuity is log-linear and the expansion exact.
//
// `use_forward_measure` picks the coordinates of the state: relative to the expiry (true), or the model's
// own factors (false), whose mean under the forward measure is -G_0. Prices do not depend on it. The
// caller owns the root (n entries), which `initial_root` seeds and every valuation starts from and
// refines in place. All operations are const: several threads may price at once, each with its own
// root and direction.
class calibration_ir_hjm_spread_option {
 public:
  // The long maturity is not before the short one.
  calibration_ir_hjm_spread_option(const ptr_const<discount_curve>& curve, const datetime& expiry,
                                   const datetime& long_maturity, const datetime& short_maturity,
                                   const tenor& frequency, const ptr_const<day_count_convention>& convention,
                                   double long_weight, double short_weight, bool use_forward_measure);

  const ptr_const<interest_rate_spread>& calibration_spread_option() const noexcept { return spread_; }
  bool use_forward_measure() const noexcept { return use_forward_measure_; }

  // The price of the call (put) on the spread at `strike`, in money at the curve's valuation date. The
  // search starts from `root` and stops once |spread - K| < tolerance (finite, positive) or after
  // `max_iterations` steps (at least one); `root` receives the boundary point and `direction` the spread's
  // gradient there. Both hold n entries (an empty owning vector is taken as n zeros). A spread that does not
  // move with the state at the root, or a swap without annuity, is an error.
  double value(double strike, const model_markovian_hjm& model, vector<double>& root, vector<double>& direction,
               bool is_call, size_t max_iterations, double tolerance) const;

  // The two roots t of (t - c)(t - distance) = 1, c the spread's curvature along the unit `direction`
  // over its slope at `root`: for a boundary at signed distance s0 they approximate the mean distance of
  // the exercise region beyond (larger root) or before (smaller root) it. `dfs` and `log_dfs_aad` (one
  // entry per date of the spread) receive the model discount factors at the root and their log adjoints.
  std::pair<double, double> reference_root(const vector<double>& root, std::vector<double>& dfs,
                                           std::vector<double>& log_dfs_aad, const vector<double>& direction,
                                           const matrix<double>& decomposition, double distance) const;

  // The model's expected spread at the expiry under the forward measure, the strike at which call and
  // put are worth the same. Only the length of `state` (n) is read.
  double spread(const model_markovian_hjm& model, const vector<double>& state) const;

  // One curvature-corrected Newton step towards spread = strike from the state's mean under the forward
  // measure, or that mean when the gradient there vanishes. `root` holds n entries.
  void initial_root(vector<double>& root, double strike, const model_markovian_hjm& model) const;

  // The annuity of `swap` about the state x, whose loadings G have one row per date of the swap: with
  // weights w_j the annuity's own terms at x, v, -2M and 6T are the mean, covariance and third central
  // moment of the loading differences G_j - G_0, so that ln A(x + z) = ln A(x) - v.z - z'Mz - T[z,z,z]
  // to third order. Returns A(x) exp(v.x): A(y) is about that times exp(-v.y). v (n), M (n x n) and T
  // (n x n x n) are sized by the caller. A swap whose annuity vanishes or is not finite is an error.
  double annuity_approximation(tensor<double>& T, matrix<double>& M, vector<double>& v, const vector<double>& x,
                               const matrix<double>& G, const ptr_const<interest_rate_swap>& swap) const;

  // Experimental: the normal volatility of the option priced from the second-order expansion of the
  // spread about the forward measure's mean of the state, x = -G_0 (left in `x`), for `forward` and
  // `strike`: 0.0 below intrinsic value. G is a decomposition over the spread's dates.
  //
  // In the centred state y, spread - K = S + r X + y'Hy/2 with X = e.y along the unit gradient e, and
  // E[y'Hy | X] = tr H - p + p X^2 (p = e'He). With d = -S/r, B = S + tr H / 2 the expansion's expected
  // spread less the strike, Phi and phi the normal distribution and density, the undiscounted values are
  //   call = Phi(-d) B + phi(d) (r + d p / 2),    put = -Phi(d) B + phi(d) (r + d p / 2),
  // each the exact expectation of the expansion over its side of X = d. The put is not the call's mirror
  // Phi(d) B + phi(d) (r - d p / 2): that form breaks call - put = B (call-put parity on the expansion),
  // which this one keeps.
  double value_henrard_experimental(double forward, double strike, const matrix<double>& G, vector<double>& x,
                                    bool is_call) const;

  // The Bachelier volatility of `price` (money at the valuation date, `numeraire` the discount factor to
  // the expiry), or 0.0 when the price is below the intrinsic value.
  static double normal_volatility(double forward, double strike, double expiry, double price, double numeraire,
                                  bool is_call);

 private:
  friend struct calibration_ir_hjm_spread_option_access;

  // The model's loadings at the expiry over the spread's dates less their first row, the expiry's, which
  // goes to `origin` (n entries): a state x in the coordinates of the measure flag is x + origin in the
  // centred ones, standard normal under the expiry's forward measure.
  matrix<double> centred_decomposition(const model_markovian_hjm& model, vector<double>& origin) const;

  // Moves `root` onto the boundary spread = strike, leaving the spread's gradient there in `gradient`;
  // `hessian` is scratch (n x n).
  void find_root(vector<double>& root, vector<double>& gradient, matrix<double>& hessian, double strike,
                 const matrix<double>& decomposition, size_t max_iterations, double tolerance) const;

  // The expected swap rate of `swap` (the long or the short one) over the whole state space, its annuity
  // expanded about `expansion_point`.
  double expected_swap_rate(const matrix<double>& decomposition, const vector<double>& expansion_point,
                            const ptr_const<interest_rate_swap>& swap) const;

  // The expected swap rate of `swap` over the half-space of the call (put) through `root` with normal
  // `direction`, undiscounted; its annuity expanded about `reference`.
  double swap_rate_integral(const matrix<double>& decomposition, const vector<double>& root,
                            const vector<double>& reference, const vector<double>& direction,
                            const ptr_const<interest_rate_swap>& swap, bool is_call) const;

  // The rows of `decomposition` at the dates of `swap`, in the swap's own date order.
  matrix<double> swap_loadings(const matrix<double>& decomposition, const interest_rate_swap& swap) const;

  // The reference distance of the call (the larger root) or of the put (the smaller); t1 on a tie.
  static double reference_distance(const std::pair<double, double>& roots, bool is_call);

  ptr_const<interest_rate_spread> spread_;
  bool use_forward_measure_;
  // The position of each date of the long (short) swap among the spread's dates.
  std::vector<size_t> long_positions_;
  std::vector<size_t> short_positions_;
};

}  // namespace qavrek
