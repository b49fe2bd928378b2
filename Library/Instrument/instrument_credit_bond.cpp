#include "Instrument/instrument_credit_bond.h"

#include <algorithm>
#include <cmath>

#include "Core/check.h"
#include "Core/interruption.h"
#include "Instrument/path_valuation.h"
#include "Market/discount_curve.h"
#include "Market/survival_curve.h"
#include "Util/datetime_helper.h"
#include "Util/tenor.h"

namespace qavrek {

namespace {

// (1 - exp(-x)) / x, 1 at x = 0.
double expm1_ratio(double x) { return x == 0.0 ? 1.0 : -std::expm1(-x) / x; }

}  // namespace

instrument_credit_bond::instrument_credit_bond(const datetime& expiry, const datetime& maturity,
                                               const ptr_const<day_count_convention>& convention, bool is_adp)
    : expiry_(expiry), maturity_(maturity), convention_(convention), is_adp_(is_adp) {
  QAVREK_CHECK(expiry.is_valid() && maturity.is_valid() && expiry < maturity, "a bond from ", expiry, " to ", maturity,
               " does not end after it starts");
  QAVREK_CHECK(convention_ != nullptr, "a bond needs a day-count convention");
}

void instrument_credit_bond::value(const datetime& date, const std::vector<ptr_const<market_data>>& mkt_data,
                                   tensor<double>& output) const {
  QAVREK_CHECK(date.is_valid() && date <= maturity_, "a bond maturing on ", maturity_, " has no value on ", date);
  const auto& discounting = market_data_at<discount_curve>(mkt_data, 0, "discount curve");
  const auto& survival = market_data_at<survival_curve>(mkt_data, 1, "survival curve");
  const size_t paths = output_paths(output, size());
  vector<double> values = vector<double>::view(output.data(), paths);

  if (!is_adp_) {
    vector<double> log_survival(paths);
    discounting.log_df(values, date, maturity_);
    survival.log_survival_probability(log_survival, date, maturity_);
    for (size_t j = 0; j < paths; ++j) values[j] = std::exp(values[j] + log_survival[j]);
    return;
  }

  // ln P and ln Q from `date` at the start and at the end of each step.
  vector<double> log_df_start(paths), log_q_start(paths), log_df_end(paths), log_q_end(paths);
  values.fill(0.0);
  const datetime first = std::max(date, expiry_);
  discounting.log_df(log_df_start, date, first);
  survival.log_survival_probability(log_q_start, date, first);
  const tenor month(1, tenor::unit::MONTHS);
  datetime start = first;
  for (int k = 1; start < maturity_; ++k) {
    const datetime end = std::min(datetime_helper::add_tenor(first, month, k), maturity_);
    discounting.log_df(log_df_end, date, end);
    survival.log_survival_probability(log_q_end, date, end);
    for (size_t j = 0; j < paths; ++j) {
      const double rate = log_df_start[j] - log_df_end[j];
      const double hazard = log_q_start[j] - log_q_end[j];
      values[j] += std::exp(log_df_start[j] + log_q_start[j]) * hazard * expm1_ratio(rate + hazard);
    }
    log_df_start.swap(log_df_end);
    log_q_start.swap(log_q_end);
    start = end;
    interruption::point();
  }
}

}  // namespace qavrek
