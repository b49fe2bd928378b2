#include "Market/survival_curve.h"

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

survival_curve::survival_curve(const datetime& valuation_date, double hazard_rate, ptr_const<default_id> id,
                               ptr_const<day_count_convention> convention)
    : market_data(valuation_date), id_(std::move(id)), convention_(or_default(std::move(convention))) {
  QAVREK_CHECK(valuation_date.is_valid(), "the valuation date is not set");
  QAVREK_CHECK(std::isfinite(hazard_rate) && hazard_rate >= 0.0, "hazard rate ", hazard_rate,
               " is not finite and non-negative");
  // One node a year out carries the whole flat curve.
  log_probabilities_ = log_linear_interpolation({1.0}, {-hazard_rate});
}

survival_curve::survival_curve(const datetime& valuation_date, const std::vector<datetime>& dates,
                               const std::vector<double>& probabilities, ptr_const<default_id> id,
                               ptr_const<day_count_convention> convention)
    : market_data(valuation_date), id_(std::move(id)), convention_(or_default(std::move(convention))), dates_(dates) {
  QAVREK_CHECK(valuation_date.is_valid(), "the valuation date is not set");
  QAVREK_CHECK(!dates.empty(), "a survival curve needs at least one date");
  QAVREK_CHECK(dates.size() == probabilities.size(), "dates size ", dates.size(),
               " is different from probabilities size ", probabilities.size());
  std::vector<double> times(dates.size());
  std::vector<double> logs(dates.size());
  for (size_t i = 0; i < dates.size(); ++i) {
    QAVREK_CHECK(dates[i] > (i == 0 ? valuation_date : dates[i - 1]), "date ", dates[i], " at ", i,
                 " is not after the valuation date and the previous date");
    const double previous = i == 0 ? 1.0 : probabilities[i - 1];
    // A probability that rises would need a negative hazard rate.
    QAVREK_CHECK(probabilities[i] > 0.0 && probabilities[i] <= previous, "survival probability ", probabilities[i],
                 " at ", i, " is not in (0, ", previous, "]");
    times[i] = convention_->fraction(valuation_date, dates[i]);
    logs[i] = std::log(probabilities[i]);
  }
  log_probabilities_ = log_linear_interpolation(times, logs);
}

survival_curve::survival_curve() = default;

survival_curve::~survival_curve() = default;

void survival_curve::finalize(const datetime& date) const { check_finalize_date(date); }

void survival_curve::log_survival_probability(vector<double>& output, const datetime& from,
                                              const datetime& to) const {
  output.fill(log_survival_probability(from, to));
}

double survival_curve::log_survival_probability(const datetime& from, const datetime& to) const {
  return log_probability_at(to) - log_probability_at(from);
}

void survival_curve::survival_probability(vector<double>& output, const datetime& date) const {
  output.fill(std::exp(log_probability_at(date)));
}

double survival_curve::survival_probability(const datetime& from, const datetime& to) const {
  return std::exp(log_survival_probability(from, to));
}

double survival_curve::log_probability_at(const datetime& t) const {
  QAVREK_CHECK(!log_probabilities_.empty(), "the survival curve holds no probabilities");
  QAVREK_CHECK(t.is_valid(), "the date is not set");
  return log_probabilities_(convention_->fraction(valuation_date(), t));
}

}  // namespace qavrek
