#include "Instrument/interest_rate_swap.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include "Core/check.h"
#include "Instrument/path_valuation.h"
#include "Util/black_scholes.h"
#include "Util/datetime_helper.h"

namespace qavrek {

namespace {

// The expiry, the regular dates before the maturity, the maturity.
std::vector<datetime> schedule(const datetime& expiry, const datetime& maturity, const tenor& frequency) {
  std::vector<datetime> dates{expiry};
  // Counted from the expiry each time, so that month ends do not drift (Jan 31, Feb 29, Mar 31, ...).
  for (int k = 1;; ++k) {
    const datetime next = datetime_helper::add_tenor(expiry, frequency, k);
    if (!(next < maturity)) break;
    dates.push_back(next);
  }
  dates.push_back(maturity);
  return dates;
}

// Readies `output` for a factors x factors result.
void prepare_square(matrix<double>& output, size_t factors) {
  if (output.rows() != factors || output.columns() != factors) {
    QAVREK_CHECK(output.owner(), "output is a ", output.rows(), " x ", output.columns(), " view, not ", factors, " x ",
                 factors);
    output.resize(factors, factors);
  }
  output.fill(0.0);
}

}  // namespace

interest_rate_swap::interest_rate_swap(const ptr_const<discount_curve>& curve, const datetime& expiry,
                                       const datetime& maturity, const tenor& frequency,
                                       const ptr_const<day_count_convention>& convention)
    : curve_(curve), expiry_(expiry), maturity_(maturity), frequency_(frequency), convention_(convention) {
  QAVREK_CHECK(curve_ != nullptr, "a swap needs a discount curve");
  QAVREK_CHECK(convention_ != nullptr, "a swap needs a day-count convention");
  QAVREK_CHECK(expiry.is_valid() && expiry >= curve_->valuation_date(), "expiry ", expiry,
               " is not on or after the curve's valuation date ", curve_->valuation_date());
  QAVREK_CHECK(maturity.is_valid() && maturity > expiry, "maturity ", maturity, " is not after expiry ", expiry);
  QAVREK_CHECK(frequency.count() > 0, "frequency ", frequency.to_string(), " is not a positive period");

  all_dates_ = schedule(expiry, maturity, frequency);
  fixed_ = std::make_shared<const fixed_leg>(all_dates_, *convention_);
  float_ = std::make_shared<const float_leg>(all_dates_);
  expiry_double_ = convention_->fraction(curve_->valuation_date(), expiry);

  dfs_.resize(all_dates_.size());
  for (size_t i = 0; i < all_dates_.size(); ++i) dfs_[i] = curve_->df(curve_->valuation_date(), all_dates_[i]);

  std::vector<double> float_weights(all_dates_.size(), 0.0);
  std::vector<double> annuity_weights(all_dates_.size(), 0.0);
  for (size_t j = 0; j < float_->size(); ++j) {
    float_weights[float_->start_index()[j]] += float_->dcf(j);
    float_weights[float_->end_index()[j]] -= float_->dcf(j);
  }
  for (size_t i = 0; i < fixed_->size(); ++i) annuity_weights[fixed_->pay_index()[i]] += fixed_->dcf(i);
  rate_ = linear_ratio(std::move(float_weights), std::move(annuity_weights));

  annuity_ = annuity(dfs_);
  swap_rate_ = swap_rate(dfs_);
}

void interest_rate_swap::check_dfs(const std::vector<double>& dfs) const {
  QAVREK_CHECK(dfs.size() == all_dates_.size(), "dfs size ", dfs.size(), " is different from dates size ",
               all_dates_.size());
}

void interest_rate_swap::check_loadings(const matrix<double>& G) const {
  QAVREK_CHECK(G.rows() >= all_dates_.size(), "loadings have ", G.rows(), " rows for ", all_dates_.size(), " dates");
}

double interest_rate_swap::annuity(const std::vector<double>& dfs) const {
  check_dfs(dfs);
  return rate_.denominator_value(dfs);
}

void interest_rate_swap::annuity_aad(std::vector<double>& dfs_aad, const std::vector<double>& dfs) const {
  check_dfs(dfs);
  check_dfs(dfs_aad);
  for (size_t i = 0; i < dfs.size(); ++i) dfs_aad[i] += rate_.denominator()[i];
}

double interest_rate_swap::swap_rate(const std::vector<double>& dfs) const {
  check_dfs(dfs);
  return rate_.value(dfs);
}

void interest_rate_swap::swap_rate_aad(double value_aad, const std::vector<double>& dfs,
                                       std::vector<double>& dfs_aad) const {
  check_dfs(dfs);
  check_dfs(dfs_aad);
  rate_.add_dfs_adjoints(value_aad, dfs, dfs_aad);
}

double interest_rate_swap::value(double strike, const std::vector<double>& dfs) const {
  check_dfs(dfs);
  return rate_.numerator_value(dfs) - strike * rate_.denominator_value(dfs);
}

void interest_rate_swap::swap_value_aad(double value_aad, double strike, const std::vector<double>& dfs,
                                        std::vector<double>& log_dfs_aad) const {
  check_dfs(dfs);
  check_dfs(log_dfs_aad);
  const std::vector<double>& floating = rate_.numerator();
  const std::vector<double>& annuity = rate_.denominator();
  for (size_t i = 0; i < dfs.size(); ++i) log_dfs_aad[i] += value_aad * (floating[i] - strike * annuity[i]) * dfs[i];
}

void interest_rate_swap::swap_value_aad_second(matrix<double>& output, double value_aad, const matrix<double>& G,
                                               double strike, const std::vector<double>& dfs) const {
  check_dfs(dfs);
  check_loadings(G);
  prepare_square(output, G.columns());
  // V is linear in the P_i and d2P_i/dx2 = P_i d_i d_i' (d_i = G_i - G_0): a sum of outer products.
  const std::vector<double>& floating = rate_.numerator();
  const std::vector<double>& annuity = rate_.denominator();
  const size_t factors = G.columns();
  for (size_t i = 1; i < dfs.size(); ++i) {
    const double weight = value_aad * (floating[i] - strike * annuity[i]) * dfs[i];
    for (size_t k = 0; k < factors; ++k) {
      const double dk = weight * (G(i, k) - G(0, k));
      for (size_t l = 0; l < factors; ++l) output(k, l) += dk * (G(i, l) - G(0, l));
    }
  }
}

void interest_rate_swap::hessian(matrix<double>& output, double value_aad, const matrix<double>& G,
                                 const std::vector<double>& dfs) const {
  check_dfs(dfs);
  check_loadings(G);
  prepare_square(output, G.columns());
  rate_.add_hessian(output, value_aad, G, dfs);
}

void interest_rate_swap::gradient(vector<double>& output, const matrix<double>& integral_decays,
                                  const std::vector<double>& log_dfs_aad) {
  const matrix<double>& G = integral_decays;
  const size_t factors = G.columns();
  QAVREK_CHECK(log_dfs_aad.size() <= G.rows(), "loadings have ", G.rows(), " rows for ", log_dfs_aad.size(),
               " adjoints");
  if (output.size() != factors) {
    QAVREK_CHECK(output.owner(), "output is a view of ", output.size(), " values, not ", factors);
    output.resize(factors);
  }
  output.fill(0.0);
  for (size_t i = 1; i < log_dfs_aad.size(); ++i)
    for (size_t k = 0; k < factors; ++k) output[k] -= log_dfs_aad[i] * (G(i, k) - G(0, k));
}

std::vector<double> interest_rate_swap::simulated_value(const vector<double>& mm, const ptr_const<discount_curve>& curve,
                                                        const std::vector<double>& strikes, bool is_call,
                                                        bool moment_matching, bool debug) {
  QAVREK_CHECK(curve != nullptr, "no simulated discount curve");
  QAVREK_CHECK(!mm.empty(), "mm holds no path");
  for (size_t k = 0; k < strikes.size(); ++k)
    QAVREK_CHECK(std::isfinite(strikes[k]), "strike ", strikes[k], " at ", k, " is not finite");
  path_discount_factors(path_dfs_, *curve, expiry_, all_dates_, mm.size());
  discount_paths(path_dfs_, mm, moment_matching ? &dfs_ : nullptr);
  path_values(path_dfs_, path_floating_, path_annuity_);

  const double sign = is_call ? 1.0 : -1.0;
  std::vector<double> values(strikes.size());
  for (size_t k = 0; k < strikes.size(); ++k) {
    path_sample sample;
    for (size_t j = 0; j < mm.size(); ++j)
      sample.add(std::max(sign * (path_floating_[j] - strikes[k] * path_annuity_[j]), 0.0));
    values[k] = sample.mean();
    if (debug) log_simulated_value("interest_rate_swap", strikes[k], sample);
  }
  return values;
}

double interest_rate_swap::implied_volatility(double value, double strike, double is_call) const {
  return black_scholes::implied_volatility(swap_rate_, strike, expiry_double_, value, annuity_, is_call);
}

double interest_rate_swap::implied_volatility(const ptr_const<ir_volatility_surface>& volatility_surface,
                                              double strike) const {
  QAVREK_CHECK(volatility_surface != nullptr, "no volatility surface");
  return volatility_surface->volatility(expiry_, maturity_, strike);
}

double interest_rate_swap::implied_volatility_aad(double& adjoint, double volatility, double strike) const {
  QAVREK_CHECK(std::isfinite(volatility) && volatility >= 0.0, "volatility ", volatility,
               " is not finite and non-negative");
  const double vega = black_scholes::vega(swap_rate_, strike, expiry_double_, volatility, annuity_);
  adjoint = vega > 0.0 ? adjoint / vega : 0.0;
  return adjoint;
}

}  // namespace qavrek
