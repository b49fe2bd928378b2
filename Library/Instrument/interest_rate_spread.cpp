#include "Instrument/interest_rate_spread.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include "Core/check.h"
#include "Instrument/path_valuation.h"
#include "Util/datetime_helper.h"

namespace qavrek {

namespace {

// The swap rate of `swap` as a ratio over `dates`, a superset of its own dates.
linear_ratio rate_over(const interest_rate_swap& swap, const std::vector<datetime>& dates) {
  const std::vector<size_t> position = datetime_helper::index_subset_dates(swap.all_dates(), dates);
  std::vector<double> floating(dates.size(), 0.0);
  std::vector<double> annuity(dates.size(), 0.0);
  const float_leg& float_periods = *swap.float_leg_instrument();
  for (size_t j = 0; j < float_periods.size(); ++j) {
    floating[position[float_periods.start_index()[j]]] += float_periods.dcf(j);
    floating[position[float_periods.end_index()[j]]] -= float_periods.dcf(j);
  }
  const fixed_leg& fixed_periods = *swap.fixed_leg_instrument();
  for (size_t i = 0; i < fixed_periods.size(); ++i) annuity[position[fixed_periods.pay_index()[i]]] += fixed_periods.dcf(i);
  return linear_ratio(std::move(floating), std::move(annuity));
}

}  // namespace

interest_rate_spread::interest_rate_spread(const ptr_const<discount_curve>& curve, const datetime& expiry,
                                           const datetime& long_maturity, const datetime& short_maturity,
                                           const tenor& frequency, const ptr_const<day_count_convention>& convention,
                                           double long_weight, double short_weight)
    : long_swap_(std::make_shared<const interest_rate_swap>(curve, expiry, long_maturity, frequency, convention)),
      short_swap_(std::make_shared<const interest_rate_swap>(curve, expiry, short_maturity, frequency, convention)),
      long_weight_(long_weight),
      short_weight_(short_weight) {
  QAVREK_CHECK(std::isfinite(long_weight) && std::isfinite(short_weight), "weights ", long_weight, " and ",
               short_weight, " are not finite");
  all_dates_ = datetime_helper::merge_dates(long_swap_->all_dates(), short_swap_->all_dates());
  dfs_.resize(all_dates_.size());
  for (size_t i = 0; i < all_dates_.size(); ++i) dfs_[i] = curve->df(curve->valuation_date(), all_dates_[i]);
  long_rate_ = rate_over(*long_swap_, all_dates_);
  short_rate_ = rate_over(*short_swap_, all_dates_);
}

void interest_rate_spread::check_dfs(const std::vector<double>& dfs) const {
  QAVREK_CHECK(dfs.size() == all_dates_.size(), "dfs size ", dfs.size(), " is different from dates size ",
               all_dates_.size());
}

double interest_rate_spread::value(double strike, const std::vector<double>& dfs) const {
  check_dfs(dfs);
  return long_weight_ * long_rate_.value(dfs) - short_weight_ * short_rate_.value(dfs) - strike;
}

void interest_rate_spread::value_aad(std::vector<double>& log_dfs_aad, double ret_aad,
                                     const std::vector<double>& dfs) const {
  check_dfs(dfs);
  check_dfs(log_dfs_aad);
  long_rate_.add_log_adjoints(ret_aad * long_weight_, dfs, log_dfs_aad);
  short_rate_.add_log_adjoints(-ret_aad * short_weight_, dfs, log_dfs_aad);
}

void interest_rate_spread::hessian(matrix<double>& output, double value_aad, const matrix<double>& integral_decays,
                                   const std::vector<double>& dfs) const {
  check_dfs(dfs);
  const size_t factors = integral_decays.columns();
  QAVREK_CHECK(integral_decays.rows() >= all_dates_.size(), "loadings have ", integral_decays.rows(), " rows for ",
               all_dates_.size(), " dates");
  if (output.rows() != factors || output.columns() != factors) {
    QAVREK_CHECK(output.owner(), "output is a ", output.rows(), " x ", output.columns(), " view, not ", factors, " x ",
                 factors);
    output.resize(factors, factors);
  }
  output.fill(0.0);
  long_rate_.add_hessian(output, value_aad * long_weight_, integral_decays, dfs);
  short_rate_.add_hessian(output, -value_aad * short_weight_, integral_decays, dfs);
}

void interest_rate_spread::path_values(const matrix<double>& dfs, vector<double>& spreads) const {
  vector<double> long_numerators, long_denominators, short_numerators, short_denominators;
  path_values(dfs, spreads, long_numerators, long_denominators, short_numerators, short_denominators);
}

void interest_rate_spread::path_values(const matrix<double>& dfs, vector<double>& spreads,
                                       vector<double>& long_numerators, vector<double>& long_denominators,
                                       vector<double>& short_numerators, vector<double>& short_denominators) const {
  long_rate_.path_values(dfs, long_numerators, long_denominators);
  short_rate_.path_values(dfs, short_numerators, short_denominators);
  if (spreads.size() != dfs.columns()) {
    QAVREK_CHECK(spreads.owner(), "spreads is a view of ", spreads.size(), " values, not ", dfs.columns());
    spreads.resize(dfs.columns());
  }
  for (size_t j = 0; j < spreads.size(); ++j)
    spreads[j] = long_weight_ * long_numerators[j] / long_denominators[j] -
                 short_weight_ * short_numerators[j] / short_denominators[j];
}

std::vector<double> interest_rate_spread::simulated_value(const vector<double>& mm, const ptr_const<discount_curve>& curve,
                                                          const std::vector<double>& strikes, bool is_call,
                                                          bool moment_matching) {
  QAVREK_CHECK(curve != nullptr, "no simulated discount curve");
  QAVREK_CHECK(!mm.empty(), "mm holds no path");
  for (size_t k = 0; k < strikes.size(); ++k)
    QAVREK_CHECK(std::isfinite(strikes[k]), "strike ", strikes[k], " at ", k, " is not finite");
  path_discount_factors(path_dfs_, *curve, expiry(), all_dates_, mm.size());
  discount_paths(path_dfs_, mm, moment_matching ? &dfs_ : nullptr);
  path_values(path_dfs_, path_spreads_, long_numerators_, long_denominators_, short_numerators_,
              short_denominators_);

  const double sign = is_call ? 1.0 : -1.0;
  const double* numeraire = path_dfs_[0];
  std::vector<double> values(strikes.size());
  for (size_t k = 0; k < strikes.size(); ++k) {
    path_sample sample;
    for (size_t j = 0; j < mm.size(); ++j) sample.add(std::max(sign * (path_spreads_[j] - strikes[k]), 0.0) * numeraire[j]);
    values[k] = sample.mean();
  }
  return values;
}

}  // namespace qavrek
