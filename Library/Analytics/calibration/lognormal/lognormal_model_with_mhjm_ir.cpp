#include "Analytics/calibration/lognormal/lognormal_model_with_mhjm_ir.h"

#include <cmath>
#include <memory>
#include <utility>

#include "Analytics/models/bilinear_form.h"
#include "Analytics/models/model_markovian_hjm.h"
#include "Core/Warning.h"
#include "Core/check.h"
#include "Vectorization/vector.h"

namespace qavrek {

namespace {

constexpr const char* source_file = "Library/Analytics/calibration/lognormal/lognormal_model_with_mhjm_ir";

void check_correlation(const matrix<double>& correlation, size_t rate_factors) {
  QAVREK_CHECK(correlation.rows() == correlation.columns(), "the correlation is ", correlation.rows(), " x ",
               correlation.columns(), ", not square");
  QAVREK_CHECK(correlation.rows() > rate_factors, "the correlation has ", correlation.rows(), " rows for ",
               rate_factors, " rate factors: the asset factors follow the rate factors");
}

double sum_of(const matrix<double>& m) {
  double sum = 0.0;
  for (double value : m) sum += value;
  return sum;
}

double dot(const double* a, const double* b, size_t n) {
  double sum = 0.0;
  for (size_t k = 0; k < n; ++k) sum += a[k] * b[k];
  return sum;
}

void check_inputs(const std::vector<datetime>& dates, const std::vector<double>& market_variance,
                  const ptr_const<day_count_convention>& day_convention) {
  QAVREK_CHECK(day_convention != nullptr, "the calibration needs a day-count convention for the periods");
  QAVREK_CHECK(!dates.empty(), "the calibration needs at least one date");
  QAVREK_CHECK(market_variance.size() >= dates.size(), "market variance size ", market_variance.size(),
               " is shorter than the ", dates.size(), " calibration dates");
  for (size_t j = 0; j < dates.size(); ++j) {
    QAVREK_CHECK(dates[j].is_valid(), "calibration date ", j, " is not set");
    QAVREK_CHECK(j == 0 || dates[j - 1] < dates[j], "calibration date ", j, " (", dates[j],
                 ") is not after the one before it (", dates[j - 1], ")");
    QAVREK_CHECK(j == 0 || std::isfinite(market_variance[j]), "market variance ", j, " to ", dates[j], " is ",
                 market_variance[j]);
  }
}

}  // namespace

lognormal_model_with_mhjm_ir::lognormal_model_with_mhjm_ir(const datetime& valuation_date,
                                                           const ptr_const<parameter_markovian_hjm>& parameters,
                                                           matrix<double>&& loadings, matrix<double>&& correlation)
    : valuation_date_(valuation_date),
      parameters_(parameters),
      loadings_(std::move(loadings)),
      correlation_(std::move(correlation)) {
  QAVREK_CHECK(valuation_date_.is_valid(), "the calibration needs a valuation date");
  QAVREK_CHECK(parameters_ != nullptr, "the calibration needs the rates' parameter set");
  const size_t m = correlation_.rows();
  QAVREK_CHECK(m >= 1 && correlation_.columns() == m, "the asset correlation is ", m, " x ", correlation_.columns());
  QAVREK_CHECK(loadings_.rows() == m && loadings_.columns() == parameters_->number_of_factors(),
               "the loadings are ", loadings_.rows(), " x ", loadings_.columns(), " for ", m, " asset and ",
               parameters_->number_of_factors(), " rate factors");
}

lognormal_model_with_mhjm_ir::~lognormal_model_with_mhjm_ir() = default;

matrix<double> lognormal_model_with_mhjm_ir::asset_correlation(const matrix<double>& correlation,
                                                               size_t rate_factors) {
  check_correlation(correlation, rate_factors);
  const size_t m = correlation.rows() - rate_factors;
  matrix<double> block(m, m);
  for (size_t i = 0; i < m; ++i)
    for (size_t j = 0; j < m; ++j) block(i, j) = correlation(rate_factors + j, rate_factors + i);
  return block;
}

matrix<double> lognormal_model_with_mhjm_ir::asset_rate_loadings(const matrix<double>& correlation,
                                                                 size_t rate_factors, size_t negated_factors) {
  check_correlation(correlation, rate_factors);
  const size_t m = correlation.rows() - rate_factors;
  matrix<double> loadings(m, rate_factors);
  for (size_t r = 0; r < m; ++r) {
    for (size_t c = 0; c < rate_factors; ++c) {
      const double rho = correlation(c, rate_factors + r);
      loadings(r, c) = c < negated_factors ? -rho : rho;
    }
  }
  return loadings;
}

ptr_const<parameter_lognormal> lognormal_model_with_mhjm_ir::calibrate(
    const std::vector<datetime>& calibration_dates, const std::vector<double>& market_variance,
    const ptr_const<day_count_convention>& day_convention) const {
  check_inputs(calibration_dates, market_variance, day_convention);
  const size_t n = calibration_dates.size();
  const size_t f = parameters_->number_of_factors();
  const size_t m = correlation_.rows();
  // Every asset factor carries the same x_l, so the asset terms reduce to u'Bu and u'A (u all ones).
  const double u_b_u = sum_of(correlation_);
  QAVREK_CHECK(u_b_u > 0.0, "the asset factors' total correlation u'Bu is ", u_b_u,
               ": the spot's variance cannot be set through them");
  vector<double> u_a(f, 0.0);
  for (size_t r = 0; r < m; ++r) u_a += loadings_.row(r);

  const model_markovian_hjm model(*parameters_, valuation_date_, calibration_dates, false);
  const matrix<double>& sv = model.incremental_volatility_sv();
  const matrix<double>& mm = model.incremental_volatility_mm();
  const matrix<double>& rates_correlation = parameters_->correlation();

  std::vector<double> x(n, 0.0);
  vector<double> horizon_decay(f);
  vector<double> w(f);
  for (size_t j = 1; j < n; ++j) {
    model.integral_decay(calibration_dates[j], horizon_decay);
    double rates_variance = 0.0;
    double asset_variance = 0.0;
    double cross = 0.0;
    double b = 0.0;
    for (size_t l = 1; l <= j; ++l) {
      w = horizon_decay * sv.row(l) - mm.row(l);
      rates_variance += bilinear_form(w.data(), rates_correlation, w.data());
      if (l < j) {
        asset_variance += x[l] * x[l] * u_b_u;
        cross += 2.0 * x[l] * dot(u_a.data(), w.data(), f);
      } else {
        b = 2.0 * dot(u_a.data(), w.data(), f);
      }
    }
    const double c = rates_variance + asset_variance + cross - market_variance[j];
    const double discriminant = b * b - 4.0 * u_b_u * c;
    if (discriminant >= 0.0) {
      x[j] = (std::sqrt(discriminant) - b) / (2.0 * u_b_u);
    } else {
      Warning::warn(SourceLocation{"calibrate", source_file, __LINE__},
                    details::concat("no volatility of the period to ", calibration_dates[j],
                                    " gives the market variance ", market_variance[j],
                                    ": its volatility is set to 0"));
    }
  }

  matrix<double> volatilities(n, m, 0.0);
  for (size_t j = 1; j < n; ++j) {
    volatilities.row(j) = x[j] / std::sqrt(day_convention->fraction(calibration_dates[j - 1], calibration_dates[j]));
  }
  return std::make_shared<const parameter_lognormal>(volatilities, correlation_, calibration_dates, day_convention);
}

}  // namespace qavrek
