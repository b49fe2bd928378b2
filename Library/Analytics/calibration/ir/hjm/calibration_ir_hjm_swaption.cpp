#include "Analytics/calibration/ir/hjm/calibration_ir_hjm_swaption.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <vector>

#include "Analytics/models/model_dfs.h"
#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/models/search_direction.h"
#include "Core/check.h"
#include "Core/logger.h"
#include "Util/black_scholes.h"
#include "Vectorization/normalcdf.h"

namespace qavrek {
namespace {

// 2^-52: prices at or below it have no volatility worth the name, and steps whose gradient norm (or
// its inverse) falls below it are not taken.
constexpr double epsilon = std::numeric_limits<double>::epsilon();

// The volatility reported for a price that no finite volatility gives.
constexpr double unattainable_volatility = 10000.0;

// Up to this |V| (in money, per unit notional) the second-order model of V is trusted; further away the
// search takes safeguarded secant steps between bracket points instead.
constexpr double newton_region = 0.75;

// The interval a secant step may move towards a bracket of opposite sign, so that the step neither
// stalls next to the current point nor jumps onto the bracket.
constexpr double smallest_secant_fraction = 0.2;
constexpr double largest_secant_fraction = 0.8;

// The bounds of the exponent of a convexity factor, those of the model discount factors.
constexpr double smallest_exponent = -37.0;
constexpr double largest_exponent = 300.0;

// Where the line of a search that does not converge comes from.
constexpr const char* search_log_file = "Library/Analytics/calibration/ir/hjm/calibration_ir_hjm_swaption";
constexpr unsigned search_log_line = 767;

// A step of norm r is usable when neither r nor 1/r vanishes in double precision.
bool usable(double r) { return std::abs(r) >= epsilon && std::abs(1.0 / r) >= epsilon; }

// x := (1 - lambda) x + lambda b; a secant through two equal values has no fraction and leaves x alone.
void move_towards(vector<double>& x, const vector<double>& b, double lambda) {
  if (!std::isfinite(lambda)) return;
  x = (1.0 - lambda) * x + lambda * b;
}

// An empty owning vector becomes f zeros (a cold start); any other size than f is an error.
void size_to_factors(vector<double>& values, size_t factors, const char* name) {
  if (values.size() == factors) return;
  QAVREK_CHECK(values.empty() && values.owner(), "the ", name, " has ", values.size(), " entries for a model of ",
               factors, " factors");
  values.resize(factors);
}

// The swap at one strike as a function of the factor state, on one set of loadings: its value, its
// gradient and its second-order step. Every evaluation leaves the model discount factors of its state in
// `dfs`.
class swap_in_state {
 public:
  swap_in_state(const interest_rate_swap& swap, double strike, const matrix<double>& G, std::vector<double>& dfs,
                std::vector<double>& log_dfs_adjoints)
      : swap_(swap), strike_(strike), G_(G), dfs_(dfs), log_dfs_adjoints_(log_dfs_adjoints) {}

  double value(const vector<double>& y) {
    model_dfs(dfs_, y, G_, swap_.dfs());
    return swap_.value(strike_, dfs_);
  }

  void gradient(const vector<double>& y, vector<double>& g) {
    model_dfs(dfs_, y, G_, swap_.dfs());
    gradient_here(y, g);
  }

  // At y, whose value is v: dV/dx into g, d2V/dx2 into H and the step to subtract into d (left alone
  // when the step is not usable). Returns |g|.
  double step(const vector<double>& y, double v, vector<double>& g, matrix<double>& H, vector<double>& d) {
    model_dfs(dfs_, y, G_, swap_.dfs());
    gradient_here(y, g);
    swap_.swap_value_aad_second(H, 1.0, G_, strike_, dfs_);
    return direction_matrix_product(d, g, H, v);
  }

 private:
  // With the discount factors of y in place: the log adjoints of V turned into the state gradient.
  void gradient_here(const vector<double>& y, vector<double>& g) {
    std::fill(log_dfs_adjoints_.begin(), log_dfs_adjoints_.end(), 0.0);
    swap_.swap_value_aad(1.0, strike_, dfs_, log_dfs_adjoints_);
    model_dfs_adjoint(g, G_, y, log_dfs_adjoints_);
  }

  const interest_rate_swap& swap_;
  double strike_;
  const matrix<double>& G_;
  std::vector<double>& dfs_;
  std::vector<double>& log_dfs_adjoints_;
};


// The bounds of model_dfs's exponents: a date whose exponent lies outside is a constant there.
constexpr double largest_bounded_exponent = 37.0;
constexpr double smallest_bounded_exponent = -300.0;

// The standard normal density.
double normal_density(double u) { return std::exp(-0.5 * u * u) / std::sqrt(2.0 * std::numbers::pi); }

// Solves A z = b in place (A square, row-major, m x m; z returned in b) by elimination with partial
// pivoting. False when a pivot vanishes, A being singular.
bool solve_in_place(double* A, double* b, size_t m) {
  for (size_t c = 0; c < m; ++c) {
    size_t pivot = c;
    for (size_t r = c + 1; r < m; ++r)
      if (std::abs(A[r * m + c]) > std::abs(A[pivot * m + c])) pivot = r;
    if (!(std::abs(A[pivot * m + c]) > 0.0)) return false;
    if (pivot != c) {
      for (size_t k = 0; k < m; ++k) std::swap(A[c * m + k], A[pivot * m + k]);
      std::swap(b[c], b[pivot]);
    }
    for (size_t r = c + 1; r < m; ++r) {
      const double factor = A[r * m + c] / A[c * m + c];
      if (factor == 0.0) continue;
      for (size_t k = c; k < m; ++k) A[r * m + k] -= factor * A[c * m + k];
      b[r] -= factor * b[c];
    }
  }
  for (size_t c = m; c-- > 0;) {
    double sum = b[c];
    for (size_t k = c + 1; k < m; ++k) sum -= A[c * m + k] * b[k];
    b[c] = sum / A[c * m + c];
  }
  return true;
}

// The swap value as the sum over dates of its log adjoints, V(x) = sum_i a_i(x) with
// a_i = c_i Pm_i exp(-s_i), s_i = (G_i - G_0).x + 1/2 (|G_i|^2 - |G_0|^2), and its derivatives with respect
// to x and to G, for the reverse passes through the conditions that fix the root.
class swap_exponentials {
 public:
  // a: the log adjoints at x (swap_value_aad with seed 1.0); dates whose exponent model_dfs bounds are
  // left out, being constants.
  // `active` receives one flag per date.
  swap_exponentials(const matrix<double>& G, const vector<double>& x, const std::vector<double>& a,
                    std::vector<char>& active)
      : G_(G), x_(x), a_(a), active_(active) {
    const size_t f = G.columns();
    for (size_t i = 0; i < a.size(); ++i) {
      double s = 0.0;
      for (size_t k = 0; k < f; ++k) s += (G(i, k) - G(0, k)) * x[k] + 0.5 * (G(i, k) * G(i, k) - G(0, k) * G(0, k));
      active_[i] = s >= smallest_bounded_exponent && s <= largest_bounded_exponent;
    }
  }

  // d2V/dx2 = sum_i a_i (G_i - G_0)(G_i - G_0)', into H (f x f, row-major, zero on entry).
  void hessian(double* H) const {
    const size_t f = G_.columns();
    for (size_t i = 0; i < a_.size(); ++i) {
      if (!active_[i]) continue;
      for (size_t k = 0; k < f; ++k)
        for (size_t l = 0; l < f; ++l) H[k * f + l] += a_[i] * (G_(i, k) - G_(0, k)) * (G_(i, l) - G_(0, l));
    }
  }

  // Reverse of V(x; G) with respect to G only: adds value_adjoint x dV/dG into G_adjoint.
  void value_aad(double value_adjoint, matrix<double>& G_adjoint) const {
    for (size_t i = 0; i < a_.size(); ++i)
      if (active_[i]) exponent_aad(i, -a_[i] * value_adjoint, G_adjoint);
  }

  // Reverse of dV/dx(x; G) = -sum_i a_i (G_i - G_0) with respect to G only, for the adjoint `w` of that
  // gradient: adds w' d(dV/dx)/dG into G_adjoint.
  void gradient_aad(const double* w, matrix<double>& G_adjoint) const {
    const size_t f = G_.columns();
    for (size_t i = 0; i < a_.size(); ++i) {
      if (!active_[i]) continue;
      double w_dot = 0.0;
      for (size_t k = 0; k < f; ++k) w_dot += w[k] * (G_(i, k) - G_(0, k));
      exponent_aad(i, a_[i] * w_dot, G_adjoint);
      // Through the factor G_i - G_0 itself.
      for (size_t k = 0; k < f; ++k) {
        G_adjoint(i, k) -= a_[i] * w[k];
        G_adjoint(0, k) += a_[i] * w[k];
      }
    }
  }

 private:
  // Adds exponent_adjoint x ds_i/dG into G_adjoint.
  void exponent_aad(size_t i, double exponent_adjoint, matrix<double>& G_adjoint) const {
    for (size_t k = 0; k < G_.columns(); ++k) {
      G_adjoint(i, k) += exponent_adjoint * (x_[k] + G_(i, k));
      G_adjoint(0, k) -= exponent_adjoint * (x_[k] + G_(0, k));
    }
  }

  const matrix<double>& G_;
  const vector<double>& x_;
  const std::vector<double>& a_;
  std::vector<char>& active_;
};

}  // namespace

void calibration_ir_hjm_swaption::workspace::prepare(size_t dates, size_t factors, bool with_adjoints) {
  const size_t f = factors;
  const size_t base = dates * f + 2 * f * f + 6 * f;
  const size_t adjoint = dates * f + 5 * f + f * f + (f + 1) * (f + 1) + (f + 1);
  storage_.reset(base + (with_adjoints ? adjoint : 0));
  storage_.carve(loadings, dates, f);
  storage_.carve(factor, f, f);
  storage_.carve(hessian, f, f);
  for (vector<double>* v : {&gradient, &point, &step, &first_bracket, &second_bracket, &shifted}) storage_.carve(*v, f);
  if (with_adjoints) {
    storage_.carve(loadings_adjoint, dates, f);
    for (vector<double>* v : {&root_adjoint, &gradient_adjoint, &unit_adjoint, &shifted_adjoint, &weighted})
      storage_.carve(*v, f);
    storage_.carve(curvature, f, f);
    storage_.carve(system, f + 1, f + 1);
    storage_.carve(right_hand_side, f + 1);
  }
  dfs.assign(dates, 0.0);
  log_dfs_adjoints.assign(dates, 0.0);
  active.assign(dates, 0);
}

calibration_ir_hjm_swaption::calibration_ir_hjm_swaption(const ptr_const<discount_curve>& curve,
                                                         const datetime& expiry, const datetime& maturity,
                                                         const tenor& frequency,
                                                         const ptr_const<day_count_convention>& convention)
    : swap_(std::make_shared<const interest_rate_swap>(curve, expiry, maturity, frequency, convention)) {}

calibration_ir_hjm_swaption::calibration_ir_hjm_swaption(const ptr_const<interest_rate_swap>& swap) : swap_(swap) {
  QAVREK_CHECK(swap_ != nullptr, "a swaption target needs a swap");
}

void calibration_ir_hjm_swaption::decompose(const model_markovian_hjm& model, workspace& work,
                                            bool with_adjoints) const {
  work.prepare(swap_->all_dates().size(), model.number_of_factors(), with_adjoints);
  model.decompose(work.loadings, work.factor, swap_->expiry(), swap_->all_dates(), true);
}

double calibration_ir_hjm_swaption::value(double strike, const model_markovian_hjm& model, vector<double>& root,
                                          vector<double>& gradient, size_t max_iterations, double tolerance) const {
  workspace work;
  return value(strike, model, root, gradient, max_iterations, tolerance, work);
}

double calibration_ir_hjm_swaption::value(double strike, const model_markovian_hjm& model, vector<double>& root,
                                          vector<double>& gradient, size_t max_iterations, double tolerance,
                                          workspace& work) const {
  decompose(model, work, false);
  if (swap_->is_caplet()) return caplet_price(strike, work.loadings);
  const size_t factors = model.number_of_factors();
  size_to_factors(root, factors, "root");
  size_to_factors(gradient, factors, "gradient");
  root_search(strike, root, gradient, max_iterations, tolerance, work);
  return price_at_root(strike, root, gradient, work);
}

double calibration_ir_hjm_swaption::implied_volatility(double strike, const model_markovian_hjm& model,
                                                       vector<double>& root, size_t max_iterations,
                                                       double tolerance) const {
  workspace work;
  return implied_volatility(strike, model, root, max_iterations, tolerance, work);
}

double calibration_ir_hjm_swaption::implied_volatility(double strike, const model_markovian_hjm& model,
                                                       vector<double>& root, size_t max_iterations,
                                                       double tolerance, workspace& work) const {
  const double price = value(strike, model, root, work.gradient, max_iterations, tolerance, work);
  if (price <= epsilon) return 0.0;
  if (!std::isfinite(price)) return unattainable_volatility;
  // Black's formula on the swap rate with the annuity as numeraire has no volatility for a price without
  // time value (rounding, or a half-space price below the intrinsic value) nor for one at its upper bound;
  // inside a calibration these are numbers to fit, not errors. Strikes and rates where Black's formula
  // does not apply at all are left to the swap to reject.
  const double forward = swap_->swap_rate();
  const double annuity = swap_->annuity();
  if (strike > 0.0 && forward > 0.0) {
    if (price <= annuity * std::max(forward - strike, 0.0)) return 0.0;
    if (price >= annuity * forward) return unattainable_volatility;
  }
  return swap_->implied_volatility(price, strike, 1.0);
}

double calibration_ir_hjm_swaption::caplet_price(double strike, const matrix<double>& G) const {
  double variance = 0.0;
  for (size_t k = 0; k < G.columns(); ++k) variance += G(1, k) * G(1, k);
  const double expiry = swap_->expiry_double();
  // An option expiring now has no variance to spread over time.
  const double volatility = expiry > 0.0 ? std::sqrt(variance / expiry) : 0.0;
  const std::vector<double>& market = swap_->dfs();
  const double fixed_accrual = swap_->fixed_leg_instrument()->dcf(0);
  const double float_factor = swap_->float_leg_instrument()->dcf(0);
  // A put on the bond paying (accrual K + 1) at the period end, struck at the start's discount factor.
  const double bond_forward = (fixed_accrual * strike + float_factor) * market[swap_->fixed_pay_index()[0]];
  const double bond_strike = float_factor * market[swap_->float_start_index()[0]];
  return black_scholes::price(bond_forward, bond_strike, expiry, volatility, 1.0, -1.0);
}

void calibration_ir_hjm_swaption::root_search(double strike, vector<double>& x, vector<double>& g,
                                              size_t max_iterations, double tolerance, workspace& work) const {
  const matrix<double>& G = work.loadings;
  matrix<double>& H = work.hessian;
  vector<double>& y = work.point;
  vector<double>& d = work.step;
  swap_in_state swap(*swap_, strike, G, work.dfs, work.log_dfs_adjoints);

  // A warm start on the boundary: the usual case when the model has barely changed since the last call.
  double v = swap.value(x);
  if (std::abs(v) < tolerance) return swap.gradient(x, g);

  // A second-order step from the origin, kept when it beats the warm start.
  y = 0.0;
  double r = swap.step(y, swap.value(y), g, H, d);
  if (usable(r)) y -= d;
  double candidate = swap.value(y);
  if (std::abs(candidate) < std::abs(v)) {
    x = y;
    if (std::abs(candidate) < tolerance) return swap.gradient(x, g);
  }

  // A second-order step from the better of the two.
  v = swap.value(x);
  r = swap.step(x, v, g, H, d);
  if (usable(r)) y = x - d;
  candidate = swap.value(y);
  if (std::abs(candidate) < std::abs(v)) {
    x = y;
    v = candidate;
    if (std::abs(v) < tolerance) return swap.gradient(x, g);
  }

  // The points that the loadings of the first and of the last date give; they also seed the brackets of
  // the secant steps, each with its own value.
  vector<double>& b2 = work.second_bracket;
  vector<double>& b1 = work.first_bracket;
  b2 = -0.5 * G.row(0);
  double V2 = swap.value(b2);
  b1 = -0.5 * G.row(G.rows() - 1);
  double V1 = swap.value(b1);
  if (std::abs(V2) < std::abs(v)) {
    x = b2;
    v = V2;
    if (std::abs(v) < tolerance) return swap.gradient(x, g);
  }
  if (std::abs(V1) < std::abs(v)) {
    x = b1;
    v = V1;
    if (std::abs(v) < tolerance) return swap.gradient(x, g);
  }

  // Newton steps near the boundary, projected on the gradient's line; secant steps further away.
  v = swap.value(x);
  bool flat = false;
  for (size_t iteration = 0; iteration < max_iterations; ++iteration) {
    if (std::abs(v) < tolerance) break;
    if (std::abs(v) <= newton_region) {
      r = swap.step(x, v, g, H, d);
      // No slope left to follow: the search ends where it is, which is no failure to report.
      if (std::abs(r) < tolerance || std::abs(1.0 / r) < tolerance || !usable(r)) {
        flat = true;
        break;
      }
      x -= d;
      direction_projection(x, g);
    } else {
      bracketing_step(x, v, b1, V1, b2, V2);
    }
    v = swap.value(x);
  }
  if (!flat && std::abs(v) > tolerance && logger::GetCurrentVerbosityCutoff() >= 0)
    logger::LogF(0, search_log_file, search_log_line, " pv: %f:", v);
  swap.gradient(x, g);
}

void calibration_ir_hjm_swaption::bracketing_step(vector<double>& x, double v, vector<double>& b1, double& V1,
                                                  const vector<double>& b2, double V2) {
  if ((V1 > 0.0 && v < 0.0) || (V2 * v < 0.0 && std::abs(V1) > std::abs(v))) {
    b1 = x;
    V1 = v;
  }
  const auto bounded = [](double lambda) {
    return std::clamp(lambda, smallest_secant_fraction, largest_secant_fraction);
  };
  if (v * V1 < 0.0) {
    move_towards(x, b1, bounded(v / (v - V1)));
  } else if (v * V2 < 0.0) {
    move_towards(x, b2, bounded(v / (v - V2)));
  } else if (std::abs(V2) > std::abs(V1)) {
    // No sign change to bracket: extrapolate along the secant through the better bracket.
    move_towards(x, b1, v / (v - V1));
  } else if (std::abs(V1) > std::abs(V2)) {
    move_towards(x, b2, v / (v - V2));
  }
}

double calibration_ir_hjm_swaption::price_at_root(double strike, const vector<double>& root,
                                                  const vector<double>& gradient, workspace& work) const {
  const matrix<double>& G = work.loadings;
  const size_t factors = G.columns();
  double norm_squared = 0.0;
  for (size_t k = 0; k < factors; ++k) norm_squared += gradient[k] * gradient[k];
  const double norm = std::sqrt(norm_squared);
  const std::vector<double>& market = swap_->dfs();

  if (norm == 0.0) {
    // The swap value does not move with the state (a model without variance at the expiry): the option is
    // worth its intrinsic value, which no half-space is needed to find.
    model_dfs(work.dfs, root, G, market);
    return std::max(swap_->value(strike, work.dfs), 0.0);
  }

  // e.(v + x*) with e the unit normal of the half-space, and the probability of the half-space under the
  // measure of the bond whose loadings are v: N(-e.(v + x*)).
  const auto exercise_probability = [&](const double* loadings) {
    double distance = 0.0;
    for (size_t k = 0; k < factors; ++k) distance += (loadings[k] + root[k]) * gradient[k];
    return normalcdf(-distance / norm);
  };

  const leg& fixed = *swap_->fixed_leg_instrument();
  const std::vector<size_t>& fixed_pay = swap_->fixed_pay_index();
  double annuity = 0.0;
  for (size_t i = 0; i < fixed_pay.size(); ++i) {
    const size_t p = fixed_pay[i];
    annuity += fixed.dcf(i) * market[p] * exercise_probability(G[p]);
  }
  double price = -strike * annuity;

  const leg& floating = *swap_->float_leg_instrument();
  const std::vector<size_t>& starts = swap_->float_start_index();
  const std::vector<size_t>& ends = swap_->float_end_index();
  const std::vector<size_t>& payments = swap_->float_pay_index();
  vector<double>& shifted = work.shifted;
  for (size_t j = 0; j < payments.size(); ++j) {
    const size_t s = starts[j];
    const size_t t = ends[j];
    const size_t p = payments[j];
    const double factor = floating.dcf(j);
    if (p == t) {
      price += factor * (market[s] * exercise_probability(G[s]) - market[p] * exercise_probability(G[p]));
      continue;
    }
    // Paid after the period end: the rate fixed over (s, t] is worth P(s)/P(t) at p under p's measure,
    // the convexity factor exp((G_s - G_t).(G_p - G_t)) moving that measure to the shifted loadings h.
    double q = 0.0;
    for (size_t k = 0; k < factors; ++k) {
      shifted[k] = G(s, k) + G(p, k) - G(t, k);
      q += 0.5 * (shifted[k] * shifted[k] + G(t, k) * G(t, k) - G(s, k) * G(s, k) - G(p, k) * G(p, k));
    }
    const double convexity = std::exp(std::clamp(q, smallest_exponent, largest_exponent));
    price += factor * market[p] *
             ((market[s] / market[t]) * convexity * exercise_probability(shifted.data()) -
              exercise_probability(G[p]));
  }
  return price;
}

double calibration_ir_hjm_swaption::implied_volatility_aad(double adjoint, double volatility, double strike,
                                                           const model_markovian_hjm& model, vector<double>& root,
                                                           double* adjoints) const {
  workspace work;
  return implied_volatility_aad(adjoint, volatility, strike, model, root, adjoints, work);
}

double calibration_ir_hjm_swaption::implied_volatility_aad(double adjoint, double volatility, double strike,
                                                           const model_markovian_hjm& model, vector<double>& root,
                                                           double* adjoints, workspace& work) const {
  // A volatility the pricing mapped (0.0 for no time value, 10000.0 for an unattainable price) or that
  // never came from it has no derivative to give.
  if (!(volatility > 0.0) || !std::isfinite(volatility) || std::abs(adjoint) < epsilon) return 0.0;
  double price_adjoint = adjoint;
  swap_->implied_volatility_aad(price_adjoint, volatility, strike);
  value_aad(price_adjoint, strike, model, root, adjoints, work);
  return price_adjoint;
}

void calibration_ir_hjm_swaption::value_aad(double price_adjoint, double strike, const model_markovian_hjm& model,
                                            const vector<double>& root, double* adjoints, workspace& work) const {
  if (std::abs(price_adjoint) < epsilon) return;
  const size_t factors = model.number_of_factors();
  // The loadings keep their Cholesky factor, which their adjoint then reuses.
  decompose(model, work, true);
  if (swap_->is_caplet()) {
    caplet_price_aad(price_adjoint, strike, work.loadings, work.loadings_adjoint);
  } else {
    QAVREK_CHECK(root.size() == factors, "the root has ", root.size(), " entries for a model of ", factors,
                 " factors");
    swap_in_state swap(*swap_, strike, work.loadings, work.dfs, work.log_dfs_adjoints);
    swap.gradient(root, work.gradient);
    price_at_root_aad(price_adjoint, strike, root, work.gradient, work);
    // The search's root and gradient move with G too; `work.log_dfs_adjoints` still holds the log
    // adjoints at the root that the gradient left there.
    boundary_point_aad(root, work.gradient, work);
  }
  model.decompose_aad(work.loadings_adjoint, work.factor, swap_->expiry(), swap_->all_dates(), adjoints, true,
                      work.model_adjoints);
}

void calibration_ir_hjm_swaption::caplet_price_aad(double price_adjoint, double strike, const matrix<double>& G,
                                                   matrix<double>& G_adjoint) const {
  double variance = 0.0;
  for (size_t k = 0; k < G.columns(); ++k) variance += G(1, k) * G(1, k);
  const double expiry = swap_->expiry_double();
  // Without variance (or time) the price is the intrinsic value, where sqrt(variance) has no derivative
  // and the price none to pass on.
  if (!(variance > 0.0) || !(expiry > 0.0)) return;
  const double volatility = std::sqrt(variance / expiry);
  const std::vector<double>& market = swap_->dfs();
  const double fixed_accrual = swap_->fixed_leg_instrument()->dcf(0);
  const double float_factor = swap_->float_leg_instrument()->dcf(0);
  const double bond_forward = (fixed_accrual * strike + float_factor) * market[swap_->fixed_pay_index()[0]];
  const double bond_strike = float_factor * market[swap_->float_start_index()[0]];
  const double vega = black_scholes::vega(bond_forward, bond_strike, expiry, volatility);
  // d sigma / d G_1 = G_1 / (sqrt(T) sqrt(w)).
  const double scale = price_adjoint * vega / std::sqrt(expiry) / std::sqrt(variance);
  for (size_t k = 0; k < G.columns(); ++k) G_adjoint(1, k) += scale * G(1, k);
}

void calibration_ir_hjm_swaption::price_at_root_aad(double price_adjoint, double strike, const vector<double>& root,
                                                    const vector<double>& gradient, workspace& work) const {
  if (std::abs(price_adjoint) < epsilon) return;
  const matrix<double>& G = work.loadings;
  matrix<double>& G_adjoint = work.loadings_adjoint;
  vector<double>& root_adjoint = work.root_adjoint;
  vector<double>& gradient_adjoint = work.gradient_adjoint;
  const size_t factors = G.columns();
  double norm_squared = 0.0;
  for (size_t k = 0; k < factors; ++k) norm_squared += gradient[k] * gradient[k];
  // The intrinsic value of a swap that does not move with the state: no half-space, no derivative.
  if (norm_squared == 0.0) return;
  const double norm = std::sqrt(norm_squared);
  const std::vector<double>& market = swap_->dfs();

  // Adjoint of the unit normal e, gathered over the terms and turned into the gradient's at the end.
  vector<double>& unit_adjoint = work.unit_adjoint;
  double distance_adjoint_sum = 0.0;
  // A term weight x N(-e.(v + x*)): its derivative -weight phi(d) e goes to the loadings v and to x*,
  // and -weight phi(d) (v + x*) to e. Returns the term's weight times its derivative in d.
  const auto term_aad = [&](double weight, const double* loadings, double* loadings_adjoint) {
    double distance = 0.0;
    for (size_t k = 0; k < factors; ++k) distance += (loadings[k] + root[k]) * gradient[k];
    distance /= norm;
    const double slope = -weight * normal_density(distance);
    for (size_t k = 0; k < factors; ++k) {
      if (loadings_adjoint != nullptr) loadings_adjoint[k] += slope * gradient[k] / norm;
      unit_adjoint[k] += slope * (loadings[k] + root[k]);
    }
    distance_adjoint_sum += slope;
  };

  const leg& fixed = *swap_->fixed_leg_instrument();
  const std::vector<size_t>& fixed_pay = swap_->fixed_pay_index();
  for (size_t i = 0; i < fixed_pay.size(); ++i) {
    const size_t p = fixed_pay[i];
    term_aad(-price_adjoint * strike * fixed.dcf(i) * market[p], G[p], G_adjoint[p]);
  }

  const leg& floating = *swap_->float_leg_instrument();
  const std::vector<size_t>& starts = swap_->float_start_index();
  const std::vector<size_t>& ends = swap_->float_end_index();
  const std::vector<size_t>& payments = swap_->float_pay_index();
  vector<double>& shifted = work.shifted;
  vector<double>& shifted_adjoint = work.shifted_adjoint;
  for (size_t j = 0; j < payments.size(); ++j) {
    const size_t s = starts[j];
    const size_t t = ends[j];
    const size_t p = payments[j];
    const double factor = price_adjoint * floating.dcf(j);
    if (p == t) {
      term_aad(factor * market[s], G[s], G_adjoint[s]);
      term_aad(-factor * market[p], G[p], G_adjoint[p]);
      continue;
    }
    double q = 0.0;
    for (size_t k = 0; k < factors; ++k) {
      shifted[k] = G(s, k) + G(p, k) - G(t, k);
      q += 0.5 * (shifted[k] * shifted[k] + G(t, k) * G(t, k) - G(s, k) * G(s, k) - G(p, k) * G(p, k));
    }
    const double convexity = std::exp(std::clamp(q, smallest_exponent, largest_exponent));
    const double weight = factor * market[p] * (market[s] / market[t]) * convexity;
    std::fill(shifted_adjoint.begin(), shifted_adjoint.end(), 0.0);
    term_aad(weight, shifted.data(), shifted_adjoint.data());
    term_aad(-factor * market[p], G[p], G_adjoint[p]);
    // h = G_s + G_p - G_t.
    for (size_t k = 0; k < factors; ++k) {
      G_adjoint(s, k) += shifted_adjoint[k];
      G_adjoint(p, k) += shifted_adjoint[k];
      G_adjoint(t, k) -= shifted_adjoint[k];
    }
    // A bounded exponent is a constant; inside, q = (G_s - G_t).(G_p - G_t).
    if (q <= smallest_exponent || q >= largest_exponent) continue;
    double distance = 0.0;
    for (size_t k = 0; k < factors; ++k) distance += (shifted[k] + root[k]) * gradient[k];
    const double q_adjoint = weight * normalcdf(-distance / norm);
    for (size_t k = 0; k < factors; ++k) {
      G_adjoint(s, k) += q_adjoint * (G(p, k) - G(t, k));
      G_adjoint(p, k) += q_adjoint * (G(s, k) - G(t, k));
      G_adjoint(t, k) += q_adjoint * (2.0 * G(t, k) - G(s, k) - G(p, k));
    }
  }

  // x* enters every term through e.x*; e = g / |g| passes on its part orthogonal to itself.
  double unit_dot = 0.0;
  for (size_t k = 0; k < factors; ++k) {
    root_adjoint[k] += distance_adjoint_sum * gradient[k] / norm;
    unit_dot += unit_adjoint[k] * gradient[k] / norm;
  }
  for (size_t k = 0; k < factors; ++k)
    gradient_adjoint[k] += (unit_adjoint[k] - unit_dot * gradient[k] / norm) / norm;
}

// The root search ends where V(x) = 0 and x lies on the line of g = dV/dx(x) (the Newton steps project
// onto it), that is x = mu g with V(x) = 0: f + 1 equations R(x, mu; G) = (x - mu g(x; G), V(x; G)) for
// f + 1 unknowns. With lambda solving J' lambda = (root adjoint, 0), J = dR/d(x, mu) =
// [[I - mu H, -g], [g', 0]], the root's dependence on G adds -lambda' dR/dG. The gradient's adjoint first
// passes through g(x; G) itself: H times it to x, the rest to G.
void calibration_ir_hjm_swaption::boundary_point_aad(const vector<double>& root, const vector<double>& gradient,
                                                     workspace& work) const {
  const matrix<double>& G = work.loadings;
  matrix<double>& G_adjoint = work.loadings_adjoint;
  const vector<double>& root_adjoint = work.root_adjoint;
  const vector<double>& gradient_adjoint = work.gradient_adjoint;
  const size_t f = G.columns();
  double norm_squared = 0.0;
  double along = 0.0;
  for (size_t k = 0; k < f; ++k) {
    norm_squared += gradient[k] * gradient[k];
    along += root[k] * gradient[k];
  }
  if (norm_squared == 0.0) return;
  const double mu = along / norm_squared;

  const swap_exponentials swap(G, root, work.log_dfs_adjoints, work.active);
  const double* H = work.curvature.data();
  swap.hessian(work.curvature.data());

  swap.gradient_aad(gradient_adjoint.data(), G_adjoint);
  const size_t m = f + 1;
  double* rhs = work.right_hand_side.data();
  for (size_t k = 0; k < f; ++k) {
    rhs[k] = root_adjoint[k];
    for (size_t l = 0; l < f; ++l) rhs[k] += H[k * f + l] * gradient_adjoint[l];
  }
  double* transposed_jacobian = work.system.data();
  for (size_t k = 0; k < f; ++k) {
    for (size_t l = 0; l < f; ++l) transposed_jacobian[k * m + l] = (k == l ? 1.0 : 0.0) - mu * H[k * f + l];
    transposed_jacobian[k * m + f] = gradient[k];
    transposed_jacobian[f * m + k] = -gradient[k];
  }
  // A degenerate boundary point (the root's position not fixed by the conditions) keeps the partials.
  if (!solve_in_place(transposed_jacobian, rhs, m)) return;
  vector<double>& weighted = work.weighted;
  for (size_t k = 0; k < f; ++k) weighted[k] = mu * rhs[k];
  swap.gradient_aad(weighted.data(), G_adjoint);
  swap.value_aad(-rhs[f], G_adjoint);
}

void calibration_ir_hjm_swaption::initial_root(vector<double>& root, double strike,
                                               const model_markovian_hjm& model) const {
  workspace work;
  initial_root(root, strike, model, work);
}

void calibration_ir_hjm_swaption::initial_root(vector<double>& root, double strike, const model_markovian_hjm& model,
                                               workspace& work) const {
  if (swap_->is_caplet()) return;
  const size_t factors = model.number_of_factors();
  QAVREK_CHECK(root.size() == factors, "the root has ", root.size(), " entries for a model of ", factors,
               " factors");
  decompose(model, work, false);
  swap_in_state swap(*swap_, strike, work.loadings, work.dfs, work.log_dfs_adjoints);
  root = 0.0;
  const double at_origin = swap.value(root);
  const double r = swap.step(root, at_origin, work.gradient, work.hessian, work.step);
  if (usable(r)) root -= work.step;
  if (std::abs(swap.value(root)) > std::abs(at_origin)) root = 0.0;
}

double calibration_ir_hjm_swaption::swaption_price_approximation(const model_markovian_hjm& model) const {
  const double expiry = swap_->expiry_double();
  QAVREK_CHECK(expiry > 0.0, "the swaption expires at ", swap_->expiry(), ", with no time for a volatility");
  workspace work;
  decompose(model, work, false);
  const matrix<double>& G = work.loadings;
  std::vector<double>& dfs = work.dfs;
  work.point = 0.0;
  model_dfs(dfs, work.point, G, swap_->dfs());
  const double rate = swap_->swap_rate(dfs);
  const double annuity = swap_->annuity(dfs);
  // dS/dx_k = (dF/dx_k - S dA/dx_k) / A, and both legs are linear in the discount factors, whose
  // derivatives along factor k are -G_ik P_i: the swap (worth F - K A) at its own rate S on those
  // derivatives, divided by the annuity.
  std::vector<double>& derivatives = work.log_dfs_adjoints;
  double sum = 0.0;
  for (size_t k = 0; k < G.columns(); ++k) {
    for (size_t i = 0; i < dfs.size(); ++i) derivatives[i] = -G(i, k) * dfs[i];
    const double slope = swap_->value(rate, derivatives) / annuity;
    sum += slope * slope;
  }
  return std::sqrt(sum / expiry);
}

}  // namespace qavrek
