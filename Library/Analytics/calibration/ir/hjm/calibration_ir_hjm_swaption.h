#pragma once

#include <cstddef>
#include <vector>

#include "Analytics/models/model_markovian_hjm.h"
#include "Core/pointers.h"
#include "Instrument/interest_rate_swap.h"
#include "Market/discount_curve.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Util/tenor.h"
#include "Vectorization/matrix.h"
#include "Vectorization/scratch_block.h"
#include "Vectorization/vector.h"

namespace qavrek {

// One swaption target of the Markovian HJM calibration: a European payer swaption on a single-curve
// `interest_rate_swap` (a caplet when the swap has one period), priced semi-analytically under a
// `model_markovian_hjm`.
//
// At the expiry the model's factor state is a standard Gaussian vector x of f factors, and the model
// discount factors of the swap's dates are P_i(x) = Pm_i exp(-G_i.x - 1/2 |G_i|^2) with G the model's
// loadings of those dates relative to the expiry (model_markovian_hjm::decompose) and Pm the market's.
// The swap value V(x) is then a sum of exponentials in x. The exercise boundary V = 0 is found by a
// root search, and the exercise region is replaced by the half-space through that root x* whose normal
// is the gradient g of V there: every cash flow then integrates over it in closed form. With one factor
// V is monotone in x and the half-space is the exact region (Jamshidian's decomposition); with several
// it is a first-order approximation of the curved boundary. A caplet is Black's formula on its two
// discount factors, exact in a Gaussian model.
//
// The target keeps no state between calls. The caller owns one root vector per target (f entries,
// seeded by `initial_root`), which every valuation starts from and refines in place, so that repeated
// valuations under a slowly changing model restart next to the solution. All operations are const and
// only read the model: several threads may price different targets, each with its own root, on one model
// at once. A caller that values many times on one thread passes a `workspace` of its own to every call,
// and the valuations then allocate nothing once its buffers have grown to the largest swap and model.
class calibration_ir_hjm_swaption {
 public:
  // The buffers of valuations and of their adjoints (defined below). They carry nothing from one call to
  // the next; one workspace serves one thread at a time.
  class workspace;

  // The swap from expiry to maturity (see interest_rate_swap), built in one shared allocation.
  calibration_ir_hjm_swaption(const ptr_const<discount_curve>& curve, const datetime& expiry,
                              const datetime& maturity, const tenor& frequency,
                              const ptr_const<day_count_convention>& convention);
  // Shares the given swap.
  explicit calibration_ir_hjm_swaption(const ptr_const<interest_rate_swap>& swap);

  // The forward swap rate on the market curve: the at-the-money strike.
  double swap_rate() const noexcept { return swap_->swap_rate(); }
  const ptr_const<interest_rate_swap>& swaption() const noexcept { return swap_; }

  // The model price of the payer swaption (caplet) at `strike`, in money at the curve's valuation date.
  // A swaption searches the boundary from `root` for at most `max_iterations` steps until |V| < tolerance
  // and leaves the root reached in `root` and dV/dx there in `gradient`; a search that does not converge
  // logs " pv: <V>:" and prices at the last point reached. A caplet leaves both vectors untouched.
  // `root` and `gradient` hold f entries each; an empty owning vector is taken as f zeros.
  double value(double strike, const model_markovian_hjm& model, vector<double>& root, vector<double>& gradient,
               size_t max_iterations, double tolerance) const;

  // The Black volatility of the model price (the swap's `implied_volatility` convention), with `root` as
  // in `value`. Degenerate prices map to numbers instead of errors: at or below 2^-52, or without time
  // value, 0.0; not finite, or at or above the price that no finite volatility reaches, 10000.0.
  double implied_volatility(double strike, const model_markovian_hjm& model, vector<double>& root,
                            size_t max_iterations, double tolerance) const;
  double implied_volatility(double strike, const model_markovian_hjm& model, vector<double>& root,
                            size_t max_iterations, double tolerance, workspace& work) const;

  // Adds adjoint x d(implied volatility)/d(model tables) into the model's block of `adjoints` (the layout
  // of model_markovian_hjm::decompose_aad) and returns the price adjoint it differentiated, 0.0 when it
  // adds nothing: for a `volatility` that is not positive and finite, or an `adjoint` below DBL_EPSILON.
  // `volatility` is the implied volatility that `implied_volatility` returned with `root`, which must hold
  // the root that search left (f entries; a caplet does not read it). The root is not searched again but
  // differentiated as the search defines it: the point of the boundary V = 0 on the line of V's gradient.
  // The caller then carries the array to the parameters with the model's fill_aad and finalize_aad and
  // the parameter set's finalize_aad.
  double implied_volatility_aad(double adjoint, double volatility, double strike, const model_markovian_hjm& model,
                                vector<double>& root, double* adjoints) const;
  double implied_volatility_aad(double adjoint, double volatility, double strike, const model_markovian_hjm& model,
                                vector<double>& root, double* adjoints, workspace& work) const;

  // A starting root: one second-order step from the origin when it lowers |V|, else the origin. `root`
  // must hold f entries; a caplet leaves it untouched.
  void initial_root(vector<double>& root, double strike, const model_markovian_hjm& model) const;
  void initial_root(vector<double>& root, double strike, const model_markovian_hjm& model, workspace& work) const;

  // A first-order normal volatility of the swap rate: sqrt(sum over factors k of (dS/dx_k)^2 / T) at
  // x = 0, T the swap's `expiry_double` (which must be positive).
  double swaption_price_approximation(const model_markovian_hjm& model) const;

 private:
  // Tests reach the bracketing step of the root search through it.
  friend struct calibration_ir_hjm_swaption_access;

  // Readies the workspace for this swap under the model (every buffer zero) and fills its loadings and their
  // Cholesky factor: the model's decomposition at the expiry over the swap's dates.
  void decompose(const model_markovian_hjm& model, workspace& work, bool with_adjoints) const;

  double value(double strike, const model_markovian_hjm& model, vector<double>& root, vector<double>& gradient,
               size_t max_iterations, double tolerance, workspace& work) const;

  // Black's formula on the caplet's two discount factors, the variance |G_1|^2 of the second one.
  double caplet_price(double strike, const matrix<double>& G) const;

  // Adds price_adjoint x d(price)/d(model tables) into `adjoints`, the price being `value`'s at `root`.
  void value_aad(double price_adjoint, double strike, const model_markovian_hjm& model, const vector<double>& root,
                 double* adjoints, workspace& work) const;

  // The caplet price's adjoint: adds into row 1 of G_adjoint, nothing when the caplet has no variance.
  void caplet_price_aad(double price_adjoint, double strike, const matrix<double>& G, matrix<double>& G_adjoint) const;

  // Moves x to a point where |V| < tolerance (or as close as the search gets), leaving dV/dx there in g.
  void root_search(double strike, vector<double>& x, vector<double>& g, size_t max_iterations, double tolerance,
                   workspace& work) const;

  // The swaption as the cash flows integrated over the half-space {x : g.(x - x*) > 0}, on the workspace's
  // loadings.
  double price_at_root(double strike, const vector<double>& root, const vector<double>& gradient,
                       workspace& work) const;

  // The partial derivatives of price_at_root times price_adjoint, root and gradient held fixed: added into
  // the workspace's adjoints of the loadings (n x f), of the root and of the gradient (f entries each).
  // Nothing for a zero gradient.
  void price_at_root_aad(double price_adjoint, double strike, const vector<double>& root,
                         const vector<double>& gradient, workspace& work) const;

  // Carries the workspace's adjoints of the root and of the gradient there into those of the loadings,
  // through the conditions that define them given the loadings G: V(root) = 0, root on the line of
  // gradient = dV/dx(root). The workspace's log adjoints are the swap's at the root (seed 1.0).
  void boundary_point_aad(const vector<double>& root, const vector<double>& gradient, workspace& work) const;

  // One safeguarded secant step of the root search from x (value v): towards a bracket point of the
  // opposite sign by a fraction held within [0.2, 0.8], otherwise by extrapolation through the bracket
  // point with the smaller value. x first takes over b1 (value V1) when it is negative against a positive
  // b1, or nearer the boundary than b1 and of the opposite sign to b2 (value V2, which never moves).
  static void bracketing_step(vector<double>& x, double v, vector<double>& b1, double& V1, const vector<double>& b2,
                              double V2);

  ptr_const<interest_rate_swap> swap_;
};

// Views over one scratch block that grows to the largest swap and factor count served, zeroed and carved afresh
// for every call, and the standard vectors the swap's operations take, resized within their capacity.
class calibration_ir_hjm_swaption::workspace {
 public:
  workspace() = default;
  workspace(const workspace&) = delete;
  workspace& operator=(const workspace&) = delete;

 private:
  friend class calibration_ir_hjm_swaption;

  // Every buffer of a swap with `dates` dates under `factors` factors, zero.
  void prepare(size_t dates, size_t factors, bool with_adjoints);

  scratch_block storage_;

  // G: one row per date of the swap, one column per factor, and the Cholesky factor behind it.
  matrix<double> loadings;
  matrix<double> factor;
  matrix<double> hessian;
  vector<double> gradient;
  vector<double> point;
  vector<double> step;
  vector<double> first_bracket;
  vector<double> second_bracket;
  vector<double> shifted;
  // The adjoints, and the linear system of the boundary point.
  matrix<double> loadings_adjoint;
  vector<double> root_adjoint;
  vector<double> gradient_adjoint;
  vector<double> unit_adjoint;
  vector<double> shifted_adjoint;
  vector<double> weighted;
  matrix<double> curvature;
  matrix<double> system;
  vector<double> right_hand_side;
  std::vector<double> dfs;
  std::vector<double> log_dfs_adjoints;
  std::vector<char> active;  // per date: its exponent is not bounded
  model_markovian_hjm::adjoint_workspace model_adjoints;
};

}  // namespace qavrek
