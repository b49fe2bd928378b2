#include "Analytics/calibration/credit/black_karasinski/calibration_credit_black_karasinski.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <string>

#include "Analytics/models/model_black_karasinski.h"
#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/pde_pricing/black_karasinski_pde_solver.h"
#include "Core/check.h"
#include "Core/logger.h"
#include "Math/root_finding_algorithms.h"
#include "Util/day_count_convention.h"
#include "Vectorization/vector_form.h"

namespace qavrek {
namespace {

constexpr const char* source_file =
    "Library/Analytics/calibration/credit/black_karasinski/calibration_credit_black_karasinski";
constexpr int factor_count_line = 108;
constexpr int not_calibrated_line = 174;
constexpr int levels_report_line = 184;

// Brent stops once the bracket is within a few ulps of the root, after 50 evaluations at most.
constexpr double relative_tolerance = std::numeric_limits<double>::epsilon();
constexpr size_t max_iterations = 50;

// The spread of the HJM factor x at t, over which the solver's grid is laid. The model's variance is that of
// a(t) x(t), a(t) the decay, whose spread is a(t) times narrower once the factor mean-reverts.
double factor_deviation(const model_black_karasinski& model, const datetime& t) {
  double variance = 0.0;
  matrix<double> covariance = matrix<double>::view(&variance, 1, 1);
  model.hjm_model()->states_variable_covariance(t, covariance);
  return std::sqrt(variance);
}

}  // namespace

calibration_credit_black_karasinski::calibration_credit_black_karasinski(
    const datetime& valuation_date, const ptr_const<survival_curve>& curve,
    const ptr_const<calibration_black_karasinski_settings>& calibration_settings,
    const ptr_const<parameter_markovian_hjm>& ir_parameters, const matrix<double>& correlation_credit_ir)
    : valuation_date_(valuation_date),
      curve_(curve),
      settings_(calibration_settings),
      ir_parameters_(ir_parameters),
      correlation_credit_ir_(correlation_credit_ir) {}

size_t calibration_credit_black_karasinski::first_level_date_to_solve(const std::vector<datetime>& dates) const {
  for (size_t i = 1; i < dates.size(); ++i)
    QAVREK_CHECK_AT("calibrate_level", source_file, __LINE__, dates[i - 1] < dates[i], "level date ", i, " (", dates[i],
                    ") does not follow level date ", i - 1, " (", dates[i - 1], ")");
  const size_t first = size_t(std::upper_bound(dates.begin(), dates.end(), valuation_date_) - dates.begin());
  QAVREK_CHECK_AT("calibrate_level", source_file, __LINE__, !dates.empty() && first > 0,
                  "the first level date must not be after the valuation date ", valuation_date_,
                  ": its level is in force from there");
  QAVREK_CHECK_AT("calibrate_level", source_file, __LINE__, first < dates.size(),
                  "the level calibration needs a level date after the valuation date ", valuation_date_);
  return first;
}

void calibration_credit_black_karasinski::check_correlation(size_t factors) const {
  for (size_t k = 0; k < factors; ++k) {
    const double rho = correlation_credit_ir_.data()[k];
    QAVREK_CHECK_AT("calibrate_level", source_file, __LINE__, std::isfinite(rho) && std::abs(rho) <= 1.0,
                    "the credit-rates correlation of rates factor ", k, " must be within [-1, 1], not ", rho);
  }
}

void calibration_credit_black_karasinski::calibrate_level(parameter_black_karasinski& parameter) const {
  QAVREK_CHECK_AT("calibrate_level", source_file, __LINE__, curve_ != nullptr && settings_ != nullptr,
                  "the level calibration needs a survival curve and its settings");
  const calibration_black_karasinski_settings& settings = *settings_;
  double lo = settings.level_lower_bound();
  double hi = settings.level_upper_bound();
  const std::vector<datetime>& dates = parameter.levels_parameter_dates();
  const size_t first = first_level_date_to_solve(dates);
  const size_t n = dates.size();

  const bool adjusted = ir_parameters_ != nullptr && settings.use_adjustement();
  if (adjusted) {
    QAVREK_CHECK_AT("calibrate_level", source_file, factor_count_line,
                    ir_parameters_->number_of_factors() == correlation_credit_ir_.size(),
                    "correlation matrix has the wron size: expected ", ir_parameters_->number_of_factors(), " given ",
                    correlation_credit_ir_.size());
    check_correlation(ir_parameters_->number_of_factors());
  }

  const std::span<double> levels = parameter.levels_parameter();
  black_karasinski_pde_solver solver(valuation_date_, levels, parameter, dates, settings);
  const std::vector<datetime>& grid = solver.time_grid();
  const model_black_karasinski credit_model(parameter, valuation_date_, grid, true);
  solver.update(credit_model);
  const matrix<double>& factor_volatility = credit_model.hjm_model()->incremental_volatility_sv();

  std::unique_ptr<model_markovian_hjm> rates_model;
  vector<double> correlation;
  vector<double> work;
  if (adjusted) {
    const size_t f = ir_parameters_->number_of_factors();
    correlation = vector<double>(std::span<const double>(correlation_credit_ir_.data(), f));
    rates_model = std::make_unique<model_markovian_hjm>(*ir_parameters_, valuation_date_, grid, false);
    work = vector<double>(f);
  }

  const day_count_convention& convention = *parameter.parameters()->day_convention();
  double root = std::numeric_limits<double>::quiet_NaN();
  double previous = 1.0;
  // Levels before first - 1 are in force only before the valuation date: they are left as they are.
  for (size_t i = first; i < n; ++i) {
    const double q = curve_->survival_probability(valuation_date_, dates[i]);
    QAVREK_CHECK_AT("calibrate_level", source_file, __LINE__, std::isfinite(q), "the survival curve gives ", q,
                    " at level date ", i, " (", dates[i], "): no level can match it");
    solver.update_states(factor_deviation(credit_model, dates[i]));
    solver.update(ir_credit_adjustment(dates[i], settings.use_adjustement(), grid, rates_model, factor_volatility,
                                       correlation, work));

    // Written so that a survival that is not a number is solved for, never taken as a match.
    if (!(std::abs(q - solver.survival_probability(i, true)) < settings.tolerance())) {
      // The log of the market's average hazard rate over the interval, as a level is the log of a rate; none
      // when the curve does not fall there.
      const double fraction = convention.fraction(std::max(dates[i - 1], valuation_date_), dates[i]);
      const double guess = std::log(-std::log(q / previous) / fraction);
      const bool falls = std::isfinite(guess);
      if (!falls) {
        lo = settings.level_lower_bound();
        hi = settings.level_upper_bound();
      } else if (!std::isnan(root) && settings.update_bounds()) {
        // Centred on the guess, which the level follows across a jump of the hazard, and wide enough to hold
        // the previous root.
        const double width = std::max(0.5 * std::abs(root), std::abs(guess - root));
        lo = guess - width;
        hi = guess + width;
      }
      const std::function<double(double)> objective = [&](double level) {
        levels[i - 1] = level;
        return q - solver.survival_probability(i, true);
      };
      // Brent's last evaluation is at the root it returns: the level written last is the calibrated one.
      const bool found = root_finding_algorithms::brent(objective, lo, hi, root, 0.0, settings.tolerance(),
                                                        relative_tolerance, max_iterations);
      if (!found)
        details::check_fail("calibrate_level", source_file, not_calibrated_line,
                            " black karasinski model not calibrated.");
      // The level of an interval without hazard says nothing of the next one's: no bracket around it.
      if (!falls) root = std::numeric_limits<double>::quiet_NaN();
    }
    previous = q;
  }
  levels[n - 1] = levels[n - 2];

  if (settings.debug() && logger::GetCurrentVerbosityCutoff() >= 0) {
    const std::string line = "Calibrated credit levels: " + vector_form(levels);
    logger::Log(0, source_file, levels_report_line, line.c_str());
  }
}

std::vector<double> calibration_credit_black_karasinski::ir_credit_adjustment(
    const datetime& t, bool use_adjustement, const std::vector<datetime>& time_grid,
    const std::unique_ptr<model_markovian_hjm>& rates_model, const matrix<double>& factor_volatility,
    const vector<double>& correlation, vector<double>& work) {
  std::vector<double> out(time_grid.size(), 0.0);
  if (!use_adjustement || rates_model == nullptr) return out;
  rates_model->integral_decay(t, work);
  const matrix<double>& sv = rates_model->incremental_volatility_sv();
  const matrix<double>& mm = rates_model->incremental_volatility_mm();
  const size_t rows = sv.rows();
  const size_t f = sv.columns();
  QAVREK_CHECK(rows <= out.size() && factor_volatility.size() >= rows, "the rates model has ", rows,
               " incremental volatilities for ", out.size(), " grid dates and ", factor_volatility.size(),
               " credit ones");
  const double* sigma = factor_volatility.data();
  double sum = 0.0;
  for (size_t r = 0; r < rows; ++r) {
    double drift = 0.0;
    for (size_t k = 0; k < f; ++k) drift += correlation[k] * (sv(r, k) * work[k] - mm(r, k));
    sum += sigma[r] * drift;
    out[r] = sum;
  }
  return out;
}

}  // namespace qavrek
