#include "Analytics/models/model_lognormal.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "Analytics/models/bilinear_form.h"
#include "Analytics/models/lognormal_step.h"
#include "Core/check.h"
#include "Util/day_count_convention.h"
#include "Vectorization/expressions/expressions_evaluator.h"

namespace qavrek {

model_lognormal::model_lognormal(const parameter_lognormal& parameter, const datetime& valuation_date,
                                 const std::vector<datetime>& simulation_dates)
    : parameter_(&parameter), valuation_date_(valuation_date), simulation_dates_(simulation_dates) {
  QAVREK_CHECK(valuation_date_.is_valid(), "the model needs a valuation date");
  QAVREK_CHECK(number_of_factors() > 0, "the parameter set has no factor");
  QAVREK_CHECK(!parameter.volatilities_dates().empty(), "the parameter set has no volatility date");
  for (size_t i = 0; i < simulation_dates_.size(); ++i) {
    const datetime& date = simulation_dates_[i];
    QAVREK_CHECK(date.is_valid(), "simulation date ", i, " is not set");
    QAVREK_CHECK(!(date < valuation_date_), "simulation date ", i, " (", date, ") is before the valuation date (",
                 valuation_date_, ")");
    QAVREK_CHECK(i == 0 || simulation_dates_[i - 1] < date, "simulation date ", i, " (", date,
                 ") is not after the one before it");
  }
  incremental_volatility_.resize(simulation_dates_.size(), number_of_factors());
  incremental_volatility_sv(simulation_dates_, incremental_volatility_);
}

ptr_const<model_lognormal> model_lognormal::on_dates(const ptr_const<parameter_lognormal>& parameter,
                                                    const std::vector<datetime>& dates) {
  QAVREK_CHECK(parameter != nullptr, "a lognormal diffusion needs its parameter set");
  QAVREK_CHECK(!dates.empty(), "a lognormal diffusion needs its simulation dates");
  return std::make_shared<const model_lognormal>(*parameter, dates.front(), dates);
}

void model_lognormal::incremental_volatility_sv(const std::vector<datetime>& dates, matrix<double>& out) const {
  QAVREK_CHECK(out.rows() >= dates.size() && out.columns() == number_of_factors(), "the incremental volatilities of ",
               dates.size(), " dates and ", number_of_factors(), " factors do not fit in ", out.rows(), " x ",
               out.columns());
  datetime previous = valuation_date_;
  for (size_t i = 0; i < dates.size(); ++i) {
    QAVREK_CHECK(dates[i].is_valid() && !(dates[i] < previous), "date ", i, " (", dates[i],
                 ") is before the date before it or the valuation date (", previous, ")");
    step_volatility(previous, dates[i], out[i]);
    previous = dates[i];
  }
}

void model_lognormal::step_volatility(const datetime& from, const datetime& to, double* out) const {
  const std::vector<datetime>& period_ends = parameter_->volatilities_dates();
  const matrix<double>& volatilities = parameter_->volatilities();
  const day_count_convention& convention = *parameter_->day_convention();
  const size_t n = number_of_factors();
  const size_t last = volatilities.rows() - 1;
  // Row r applies on (d_{r-1}, d_r]; the last row from d_{last-1} on, so its period ends with the step.
  const auto row_at = [&](const datetime& t) {
    const size_t r = static_cast<size_t>(std::upper_bound(period_ends.begin(), period_ends.end(), t) -
                                         period_ends.begin());
    return std::min(r, last);
  };
  const auto period_end = [&](size_t r) {
    return r < last ? period_ends[r] : to;
  };

  size_t row = row_at(from);
  if (!(period_end(row) < to)) {
    const double root_tau = std::sqrt(convention.fraction(from, to));
    for (size_t k = 0; k < n; ++k) out[k] = root_tau * volatilities(row, k);
    return;
  }
  std::fill(out, out + n, 0.0);
  datetime start = from;
  while (start < to) {
    const datetime end = std::min(period_end(row), to);
    const double tau = convention.fraction(start, end);
    for (size_t k = 0; k < n; ++k) out[k] += tau * volatilities(row, k) * volatilities(row, k);
    start = end;
    ++row;
  }
  for (size_t k = 0; k < n; ++k) out[k] = std::sqrt(out[k]);
}

void model_lognormal::evolve(const change_of_measure& measure, size_t step, const matrix<double>& gaussians,
                             vector<double>& state, double drift) const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(step < incremental_volatility_.rows(), "step ", step, " is not one of the ",
               incremental_volatility_.rows(), " simulation dates");
  QAVREK_CHECK(gaussians.rows() >= n, "the draws have ", gaussians.rows(), " rows for ", n, " factors");
  const double* s = incremental_volatility_[step];
  // Everything that is the same on every path goes into one constant of the first pass.
  double constant = drift - 0.5 * bilinear_form(s, parameter_->correlation(), s);
  for (size_t k = 0; k < n; ++k) constant -= s[k] * measure.row_dot(step, k);
  expressions_evaluator::check_size(gaussians.columns(), state.size());
  lognormal_step_coefficients coefficients;
  coefficients.factors = n;
  coefficients.volatilities = s;
  coefficients.constant = constant;
  lognormal_step(coefficients, gaussians.data(), state.data(), state.size());
}

void model_lognormal::evolve(const change_of_measure& measure, size_t step, const matrix<double>& gaussians,
                             matrix<double>& states, double drift) const {
  QAVREK_CHECK(states.rows() >= 1, "the states of a lognormal spot have one row");
  vector<double> state = states.row(0);
  evolve(measure, step, gaussians, state, drift);
}

}  // namespace qavrek
