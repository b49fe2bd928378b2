#include "Market/discount_curve.h"

#include <cmath>
#include <memory>
#include <utility>

#include "Core/check.h"

namespace qavrek {

namespace {

ptr_const<day_count_convention> or_default(ptr_const<day_count_convention> convention) {
  return convention ? std::move(convention) : std::make_shared<const day_count_convention>();
}

}  // namespace

discount_curve::discount_curve(const datetime& valuation_date, double rate, ptr_const<discount_id> id,
                               ptr_const<day_count_convention> convention)
    : market_data(valuation_date), id_(std::move(id)), convention_(or_default(std::move(convention))) {
  QAVREK_CHECK(valuation_date.is_valid(), "the valuation date is not set");
  QAVREK_CHECK(std::isfinite(rate), "rate ", rate, " is not finite");
  // One node a year out carries the whole flat curve.
  log_dfs_ = log_linear_interpolation({1.0}, {-rate});
}

discount_curve::discount_curve(const datetime& valuation_date, const std::vector<datetime>& dates,
                               const std::vector<double>& dfs, ptr_const<discount_id> id,
                               ptr_const<day_count_convention> convention)
    : market_data(valuation_date), id_(std::move(id)), convention_(or_default(std::move(convention))), dates_(dates) {
  QAVREK_CHECK(valuation_date.is_valid(), "the valuation date is not set");
  QAVREK_CHECK(!dates.empty(), "a discount curve needs at least one date");
  QAVREK_CHECK(dates.size() == dfs.size(), "dates size ", dates.size(), " is different from dfs size ", dfs.size());
  std::vector<double> times(dates.size());
  std::vector<double> logs(dates.size());
  for (size_t i = 0; i < dates.size(); ++i) {
    QAVREK_CHECK(dates[i] > (i == 0 ? valuation_date : dates[i - 1]), "date ", dates[i], " at ", i,
                 " is not after the valuation date and the previous date");
    QAVREK_CHECK(std::isfinite(dfs[i]) && dfs[i] > 0.0, "discount factor ", dfs[i], " at ", i,
                 " is not positive and finite");
    times[i] = convention_->fraction(valuation_date, dates[i]);
    logs[i] = std::log(dfs[i]);
  }
  log_dfs_ = log_linear_interpolation(times, logs);
}

discount_curve::discount_curve() = default;

discount_curve::~discount_curve() = default;

void discount_curve::finalize(const datetime& date) const { check_finalize_date(date); }

double discount_curve::df(const datetime& from, const datetime& to) const { return std::exp(log_df(from, to)); }

void discount_curve::log_df(vector<double>& output, const datetime& from, const datetime& to) const {
  output.fill(log_df(from, to));
}

double discount_curve::log_df(const datetime& from, const datetime& to) const {
  return log_df_at(to) - log_df_at(from);
}

void discount_curve::discounting(vector<double>& output, const datetime& date) const {
  output.fill(std::exp(log_df_at(date)));
}

vector<double> discount_curve::log_normalized_discounting() const { return {}; }

double discount_curve::log_df_at(const datetime& t) const {
  QAVREK_CHECK(!log_dfs_.empty(), "the discount curve holds no discount factors");
  QAVREK_CHECK(t.is_valid(), "the date is not set");
  return log_dfs_(convention_->fraction(valuation_date(), t));
}

}  // namespace qavrek
