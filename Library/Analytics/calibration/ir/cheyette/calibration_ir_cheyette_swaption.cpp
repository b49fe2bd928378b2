#include "Analytics/calibration/ir/cheyette/calibration_ir_cheyette_swaption.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "Analytics/calibration/ir/hjm/calibration_ir_hjm_swaption.h"
#include "Analytics/models/model_cheyette.h"
#include "Core/Warning.h"
#include "Core/check.h"
#include "Math/inverse_gaussian_distribution.h"
#include "Util/black_scholes.h"
#include "Vectorization/vector.h"

namespace qavrek {
namespace {

constexpr const char* source_file = "Library/Analytics/calibration/ir/cheyette/calibration_ir_cheyette_swaption";

// 2^-52: quadrature weights below it are skipped and prices at or below it are 0.
constexpr double epsilon = std::numeric_limits<double>::epsilon();
// The volatility reported for a price that no finite volatility gives.
constexpr double unattainable_volatility = 10000.0;

// The root search of `values`.
constexpr size_t root_iterations = 30;
constexpr double root_tolerance = 1e-10;
// The quadratic start of the root search looks at R = 1/z (where Z R = 1, the state x + L y = 0), but
// not beyond this.
constexpr double largest_start = 5.0;

// Below this size of the average skew the Gaussian model is priced. Gt = (G - L) / s grows like 1/s, and
// the exponents of the discount factors, differences of terms of that order, lose about 1e-16 / s of their
// digits (3e-7 in volatility at s = 2e-6), while the skew moves the volatility by about 2e-3 s: at 1e-5
// both are a few 1e-8, so switching there costs nothing visible.
constexpr double smallest_skew = 1e-5;

// The level search of value_approxitmation: to 1e-10 in the swap rate, with central differences of
// 1e-6 in the level, for at most 50 Newton steps (it converges in a few).
constexpr double level_tolerance = 1e-10;
constexpr double level_bump = 1e-6;
constexpr size_t level_iterations = 50;

// P(T <= r) for the first time T at which a Brownian motion with drift u reaches 1: the inverse Gaussian
// law, whose zero-drift limit (the reflection principle's erfc(1 / sqrt(2r))) the distribution function
// cannot give, having lost r = x / lambda.
double passage_probability(double r, double u) {
  if (u != 0.0) return inverse_gaussian_distribution::cdf(r * u, u);
  return r > 0.0 ? std::erfc(1.0 / std::sqrt(2.0 * r)) : 0.0;
}

// Factor 0's integrated decays of the dates.
std::vector<double> integrated_decays(const model_markovian_hjm& model, const std::vector<datetime>& dates) {
  std::vector<double> out(dates.size());
  vector<double> decays(model.number_of_factors());
  for (size_t j = 0; j < dates.size(); ++j) {
    model.integral_decay(dates[j], decays);
    out[j] = decays[0];
  }
  return out;
}

// Black's price of a displaced diffusion: beta S + (1 - beta) S_0 lognormal. For beta < 0 the call on S
// is a put on that lognormal, which is Black's formula with forward and strike negated.
double displaced_price(double forward, double strike, double expiry, double volatility, double annuity,
                       double call_put) {
  if (forward < 0.0) return black_scholes::price(-forward, -strike, expiry, volatility, annuity, -call_put);
  return black_scholes::price(forward, strike, expiry, volatility, annuity, call_put);
}

}  // namespace

// At one node z the model discount factors are market ones times exp(e_j(R)),
//   e_j(R) = shift_j - R spread_j / 2,   shift_j = Gt_j - Gt_0,   spread_j = (Gt_j + z)^2 - (Gt_0 + z)^2,
// kept whole, since shift_j and R spread_j / 2 nearly cancel when the skew is small.
struct calibration_ir_cheyette_swaption::workspace {
  explicit workspace(size_t dates)
      : shift(dates), spread(dates), dfs(dates), adjoints(dates), first(dates), second(dates), probabilities(dates) {}

  void set_node(const matrix<double>& G, double z) {
    for (size_t j = 0; j < shift.size(); ++j) {
      shift[j] = G(j, 0) - G(0, 0);
      spread[j] = shift[j] * (G(j, 0) + G(0, 0) + 2.0 * z);
    }
  }

  // The swap value at R = r, leaving the model discount factors in dfs.
  double value_at(const interest_rate_swap& swap, double strike, double r) {
    const std::vector<double>& market = swap.dfs();
    for (size_t j = 0; j < dfs.size(); ++j) dfs[j] = market[j] * std::exp(shift[j] - 0.5 * r * spread[j]);
    return swap.value(strike, dfs);
  }

  // dV/dR at the R of the latest value_at: the log adjoints of the discount factors times d e_j / dR.
  double slope(const interest_rate_swap& swap, double strike) {
    std::fill(adjoints.begin(), adjoints.end(), 0.0);
    swap.swap_value_aad(1.0, strike, dfs, adjoints);
    double sum = 0.0;
    for (size_t j = 0; j < adjoints.size(); ++j) sum -= 0.5 * spread[j] * adjoints[j];
    return sum;
  }

  std::vector<double> shift;
  std::vector<double> spread;
  std::vector<double> dfs;
  std::vector<double> adjoints;
  // The first and second derivatives' weights of the quadratic start, per date.
  std::vector<double> first;
  std::vector<double> second;
  // Per date, the probability under its forward measure that the option is exercised.
  std::vector<double> probabilities;
};

calibration_ir_cheyette_swaption::calibration_ir_cheyette_swaption(bool is_call, const ptr_const<discount_curve>& curve,
                                                                   const datetime& expiry, const datetime& maturity,
                                                                   const tenor& frequency,
                                                                   const ptr_const<day_count_convention>& convention,
                                                                   const std::vector<double>& strikes, bool is_ratios)
    : swaption_(std::make_shared<const instrument_ir_swaption>(is_call, curve, expiry, maturity, frequency, convention,
                                                               strikes, is_ratios)) {}

calibration_ir_cheyette_swaption::~calibration_ir_cheyette_swaption() = default;

void calibration_ir_cheyette_swaption::values(std::vector<double>& out, const ptr_const<model_cheyette>& model,
                                              double variance) const {
  QAVREK_CHECK(model != nullptr, "no Cheyette model to price with");
  QAVREK_CHECK(std::isfinite(variance) && variance >= 0.0, "the skew-weighted variance ", variance,
               " is not a non-negative number (the model gives -1 at a date that is none of its simulation dates)");
  const interest_rate_swap& swap = *swaption_->swap();
  const std::vector<double>& strikes = swaption_->strikes();
  const double skew = model->signed_average_skew(swap.expiry());
  out.clear();
  out.reserve(strikes.size());
  if (variance == 0.0 || std::abs(skew) < smallest_skew) {
    gaussian_values(out, *model);
    return;
  }

  const size_t points = 2 * model->root_size() - 1;
  vector<double> weights(points), nodes(points);
  model->density(weights, nodes, variance);
  const std::vector<double> decays = integrated_decays(*model->hjm_model(), swap.all_dates());
  const double level = model->parameter().long_term_skew_level();
  matrix<double> G(decays.size(), 1);
  for (size_t j = 0; j < decays.size(); ++j) G(j, 0) = (decays[j] - level) / skew;

  double total_weight = 0.0;
  for (double w : weights) total_weight += w;
  workspace work(decays.size());
  const bool is_call = swaption_->is_call();
  for (double strike : strikes) {
    // The root moves little from node to node: each search starts from the last.
    double root = 0.0;
    double sum = 0.0;
    for (size_t u = 0; u < points; ++u) {
      if (std::abs(weights[u]) < epsilon) continue;
      sum += value(root, nodes[u], strike, G, is_call, root_iterations, root_tolerance, work) * weights[u];
    }
    out.push_back(implied_volatility(sum / total_weight, strike));
  }
}

double calibration_ir_cheyette_swaption::value(double& root, double node, double strike, const matrix<double>& G,
                                               bool is_call, size_t max_iter, double tol) const {
  QAVREK_CHECK(G.rows() >= swaption_->swap()->all_dates().size() && G.columns() >= 1, "G is ", G.rows(), " x ",
               G.columns(), ", the swap has ", swaption_->swap()->all_dates().size(), " dates");
  workspace work(swaption_->swap()->all_dates().size());
  return value(root, node, strike, G, is_call, max_iter, tol, work);
}

double calibration_ir_cheyette_swaption::value(double& root, double node, double strike, const matrix<double>& G,
                                               bool is_call, size_t max_iter, double tol, workspace& work) const {
  if (!find_swap_root(G, strike, node, root, max_iter, tol, work))
    Warning::warn(SourceLocation{"value", source_file, 483}, "swap root finder did not converge!");
  return price(G, strike, node, root, is_call, work);
}

bool calibration_ir_cheyette_swaption::find_swap_root(const matrix<double>& G, double strike, double node, double& root,
                                                      size_t max_iter, double tol, workspace& work) const {
  const interest_rate_swap& swap = *swaption_->swap();
  work.set_node(G, node);
  if (std::isnan(root)) root = 0.0;
  double value = work.value_at(swap, strike, root);

  // A quadratic step from R = m, where V(m + d) = Y + X d + D d^2 to second order: V is linear in the
  // discount factors, whose first and second derivatives in R are -spread / 2 and spread^2 / 4 times
  // themselves.
  const double m = std::min(1.0 / node, largest_start);
  const double Y = work.value_at(swap, strike, m);
  for (size_t j = 0; j < work.dfs.size(); ++j) {
    work.first[j] = -0.5 * work.spread[j] * work.dfs[j];
    work.second[j] = 0.125 * work.spread[j] * work.spread[j] * work.dfs[j];
  }
  const double X = swap.value(strike, work.first);
  const double D = swap.value(strike, work.second);
  const double a = X / D;
  const double start = m - 0.5 * (a + std::sqrt(a * a - 4.0 * Y / D));
  const double start_value = work.value_at(swap, strike, start);
  // An entry root whose value is not a number (R = 0 overflows the discount factors once the skew is
  // small and Gt large) gives way to any start.
  if (std::abs(start_value) < std::abs(value) || (std::isnan(value) && !std::isnan(start_value))) {
    root = start;
    value = start_value;
  } else {
    value = work.value_at(swap, strike, root);
  }

  const double annuity = swap.annuity();
  for (size_t iteration = 0; iteration < max_iter; ++iteration) {
    if (std::abs(value / annuity) < tol) return true;
    const double step = value / work.slope(swap, strike);
    if (std::abs(step / root) < tol) return true;
    root -= step;
    value = work.value_at(swap, strike, root);
  }
  return false;
}

double calibration_ir_cheyette_swaption::price(const matrix<double>& G, double strike, double node, double root,
                                               bool is_call, workspace& work) const {
  const interest_rate_swap& swap = *swaption_->swap();
  if (!std::isfinite(root)) {
    const double intrinsic = is_call ? swap.swap_rate() - strike : strike - swap.swap_rate();
    return std::max(intrinsic, 0.0) * swap.annuity();
  }
  // The swap value moves monotonically with R through its root: a payer exercises on the side where it
  // grows, a receiver on the other. With a positive skew that is R above the root for a payer (the rates
  // rise with R); a negative skew turns it round. Under the forward measure of date j, R is the passage
  // time with drift node + Gt_j.
  const bool below = (work.slope(swap, strike) > 0.0) != is_call;
  auto exercise = [&](double drift) {
    const double probability = passage_probability(root, drift);
    return below ? probability : 1.0 - probability;
  };
  const std::vector<double>& dfs = swap.dfs();
  for (size_t j = 0; j < dfs.size(); ++j) work.probabilities[j] = exercise(node + G(j, 0));

  const fixed_leg& fixed = *swap.fixed_leg_instrument();
  double fixed_value = 0.0;
  for (size_t j = 0; j < fixed.size(); ++j) {
    const size_t i = fixed.pay_index()[j];
    fixed_value += work.probabilities[i] * fixed.dcf(j) * dfs[i];
  }
  const float_leg& floating = *swap.float_leg_instrument();
  double float_value = 0.0;
  for (size_t j = 0; j < floating.size(); ++j) {
    const size_t s = floating.start_index()[j], e = floating.end_index()[j], p = floating.pay_index()[j];
    const double paid = work.probabilities[p];
    if (p == e) {
      float_value += floating.dcf(j) * (work.probabilities[s] * dfs[s] - paid * dfs[e]);
    } else {
      // P(s) P(p) / P(e) paid at p: the drift q of its measure and the factor exp(y + z - q) complete the
      // square of the three exponents.
      const double y = G(p, 0) + G(s, 0) - G(e, 0);
      const double q =
          std::sqrt(node * node + 2.0 * node * y + G(s, 0) * G(s, 0) + G(p, 0) * G(p, 0) - G(e, 0) * G(e, 0));
      float_value += floating.dcf(j) * dfs[p] * (exercise(q) * std::exp(y + node - q) * dfs[s] / dfs[e] - paid);
    }
  }
  const double output = is_call ? float_value - strike * fixed_value : strike * fixed_value - float_value;
  QAVREK_CHECK_AT("price", source_file, 582, !std::isnan(output), " swaption price is negatif ", output);
  return output <= epsilon ? 0.0 : output;
}

double calibration_ir_cheyette_swaption::implied_volatility(double price, double strike) const {
  if (price <= epsilon) return 0.0;
  if (!std::isfinite(price)) return unattainable_volatility;
  const interest_rate_swap& swap = *swaption_->swap();
  const bool is_call = swaption_->is_call();
  // Black's formula has no volatility for a price without time value (rounding, or an approximation
  // below the intrinsic value) nor for one at its upper bound; inside a calibration these are numbers to
  // fit, not errors. Strikes and rates where it does not apply at all are left to the swap to reject.
  const double forward = swap.swap_rate();
  const double annuity = swap.annuity();
  if (strike > 0.0 && forward > 0.0) {
    if (price <= annuity * std::max(is_call ? forward - strike : strike - forward, 0.0)) return 0.0;
    if (price >= annuity * (is_call ? forward : strike)) return unattainable_volatility;
  }
  return swap.implied_volatility(price, strike, is_call ? 1.0 : -1.0);
}

void calibration_ir_cheyette_swaption::gaussian_values(std::vector<double>& out, const model_cheyette& model) const {
  // Payer and receiver share their Black volatility by parity, which the exact Gaussian price keeps.
  const calibration_ir_hjm_swaption gaussian(swaption_->swap());
  for (double strike : swaption_->strikes()) {
    vector<double> root;
    out.push_back(gaussian.implied_volatility(strike, *model.hjm_model(), root, root_iterations, root_tolerance));
  }
}

void calibration_ir_cheyette_swaption::value_approxitmation(std::vector<double>& out,
                                                            const ptr_const<model_cheyette>& model,
                                                            const std::vector<datetime>& dates) const {
  QAVREK_CHECK(model != nullptr, "no Cheyette model to price with");
  const interest_rate_swap& swap = *swaption_->swap();
  const model_markovian_hjm& hjm = *model->hjm_model();
  const std::vector<double> G = integrated_decays(hjm, swap.all_dates());
  const datetime& expiry = swap.expiry();
  const double T = swap.expiry_double();
  const double skew = model->signed_average_skew(expiry);
  const double rho = model->average_skew_volatility(expiry) / skew;
  const double market_rate = swap.swap_rate();
  const day_count_convention& convention = *model->parameter().parameters()->day_convention();

  // The swap rate when the model's state at a date is x, its convexity v G^2 / 2 taken off.
  std::vector<double> dfs(G.size());
  matrix<double> covariance(hjm.number_of_factors(), hjm.number_of_factors());
  double v = 0.0;
  auto rate = [&](double x) {
    const std::vector<double>& market = swap.dfs();
    for (size_t j = 0; j < G.size(); ++j) dfs[j] = market[j] * std::exp(-0.5 * v * G[j] * G[j] - x * G[j]);
    return swap.swap_rate(dfs);
  };

  double A = 0.0, B = 0.0, C = 0.0, W = 0.0;
  datetime previous = model->valuation_date();
  size_t used = 0;
  for (const datetime& d : dates) {
    if (expiry < d) break;
    if (!(model->valuation_date() < d)) continue;
    hjm.states_variable_covariance(d, covariance);
    v = covariance(0, 0);
    double x = 0.0;
    bool converged = false;
    for (size_t iteration = 0; iteration < level_iterations; ++iteration) {
      const double miss = rate(x) - market_rate;
      if (std::abs(miss) < level_tolerance) {
        converged = true;
        break;
      }
      x -= miss * 2.0 * level_bump / (rate(x + level_bump) - rate(x - level_bump));
    }
    if (!converged) {
      Warning::warn(SourceLocation{"value_approxitmation", source_file, __LINE__},
                    "swap rate level search did not converge in " + std::to_string(level_iterations) + " steps at " +
                        d.to_string() + "!");
    }
    const double S0 = rate(x);
    const double up = rate(x + level_bump), down = rate(x - level_bump);
    const double S1 = (up - down) / (2.0 * level_bump);
    const double S2 = (up + down - 2.0 * S0) / (level_bump * level_bump);
    const double tau = convention.fraction(previous, d);
    const double q = 1.0 + skew * x;
    const double local_volatility = q * rho * S1 / S0;
    const double local_skew = S0 * S2 / (S1 * S1) + S0 * skew / (q * S1);
    A += tau * local_volatility * local_volatility;
    B += A * local_volatility * local_volatility;
    C += tau * local_skew * B;
    W += tau * B;
    previous = d;
    ++used;
  }
  QAVREK_CHECK(used > 0, "no date of the ", dates.size(), " given lies after the valuation date ",
               model->valuation_date(), " and not after the expiry ", expiry);

  const double beta = C / W;
  const double sigma = std::sqrt(beta * beta * A / T);
  const double sign = swaption_->is_call() ? 1.0 : -1.0;
  out.clear();
  for (double strike : swaption_->strikes()) {
    const double price =
        displaced_price(market_rate / beta, strike + (1.0 - beta) * market_rate / beta, T, sigma, swap.annuity(), sign);
    out.push_back(implied_volatility(price, strike));
  }
}

}  // namespace qavrek
