#include "Analytics/calibration/lognormal/lognormal_model_with_mhjm_ir.h"

#include <cmath>
#include <memory>
#include <utility>

#include "Analytics/models/bilinear_form.h"
#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/parameters/parameter_checks.h"
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
  // Read in blocks, one of them transposed: any entry that a correlation cannot hold would reach the
  // calibrated set or its variances unseen.
  parameter_checks::check_correlation_matrix(correlation, __func__);
}

// Per rate factor, the terms of the rates' model at the calibration dates: the integrated decay to each
// date, and the sv and mm steps that end there. Each set's factors come from its own model, in the
// columns of the combined set.
struct rate_terms {
  rate_terms(const std::vector<ptr_const<parameter_markovian_hjm>>& sets, const datetime& valuation_date,
             const std::vector<datetime>& dates) {
    size_t factors = 0;
    for (const auto& set : sets) factors += set->number_of_factors();
    horizon_decay = matrix<double>(dates.size(), factors, 0.0);
    sv = matrix<double>(dates.size(), factors, 0.0);
    mm = matrix<double>(dates.size(), factors, 0.0);
    size_t offset = 0;
    for (const auto& set : sets) {
      const size_t k = set->number_of_factors();
      const model_markovian_hjm model(*set, valuation_date, dates, false);
      vector<double> decay(k);
      for (size_t j = 0; j < dates.size(); ++j) {
        model.integral_decay(dates[j], decay);
        for (size_t c = 0; c < k; ++c) {
          horizon_decay(j, offset + c) = decay[c];
          sv(j, offset + c) = model.incremental_volatility_sv()(j, c);
          mm(j, offset + c) = model.incremental_volatility_mm()(j, c);
        }
      }
      offset += k;
    }
  }

  matrix<double> horizon_decay;
  matrix<double> sv;
  matrix<double> mm;
};

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
    : lognormal_model_with_mhjm_ir(valuation_date, parameters, {parameters}, std::move(loadings),
                                   std::move(correlation)) {}

lognormal_model_with_mhjm_ir::lognormal_model_with_mhjm_ir(const datetime& valuation_date,
                                                           const ptr_const<parameter_markovian_hjm>& parameters,
                                                           std::vector<ptr_const<parameter_markovian_hjm>> rate_sets,
                                                           matrix<double>&& loadings, matrix<double>&& correlation)
    : valuation_date_(valuation_date),
      parameters_(parameters),
      loadings_(std::move(loadings)),
      correlation_(std::move(correlation)),
      rate_sets_(std::move(rate_sets)) {
  QAVREK_CHECK(valuation_date_.is_valid(), "the calibration needs a valuation date");
  QAVREK_CHECK(parameters_ != nullptr, "the calibration needs the rates' parameter set");
  const size_t m = correlation_.rows();
  QAVREK_CHECK(m >= 1 && correlation_.columns() == m, "the asset correlation is ", m, " x ", correlation_.columns());
  QAVREK_CHECK(loadings_.rows() == m && loadings_.columns() == parameters_->number_of_factors(),
               "the loadings are ", loadings_.rows(), " x ", loadings_.columns(), " for ", m, " asset and ",
               parameters_->number_of_factors(), " rate factors");
  size_t rate_factors = 0;
  for (const auto& set : rate_sets_) {
    QAVREK_CHECK(set != nullptr, "a rates' parameter set is missing");
    rate_factors += set->number_of_factors();
  }
  QAVREK_CHECK(rate_factors == parameters_->number_of_factors(), "the rates' sets have ", rate_factors,
               " factors together, their combined set ", parameters_->number_of_factors());
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

  const rate_terms rates(rate_sets_, valuation_date_, calibration_dates);
  const matrix<double>& sv = rates.sv;
  const matrix<double>& mm = rates.mm;
  const matrix<double>& rates_correlation = parameters_->correlation();

  std::vector<double> x(n, 0.0);
  vector<double> w(f);
  for (size_t j = 1; j < n; ++j) {
    const vector<double> horizon_decay = rates.horizon_decay.row(j);
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
    // Also false for NaN: a period that no volatility fits is not passed over as a zero volatility.
    if (!(discriminant >= 0.0))
      details::check_fail("calibrate", source_file, __LINE__,
                          details::concat("no volatility of the period to ", calibration_dates[j],
                                          " gives the market variance ", market_variance[j],
                                          ": the earlier periods and the rates give at least ",
                                          market_variance[j] + c - b * b / (4.0 * u_b_u), " there"));
    x[j] = (std::sqrt(discriminant) - b) / (2.0 * u_b_u);
  }

  matrix<double> volatilities(n, m, 0.0);
  for (size_t j = 1; j < n; ++j) {
    volatilities.row(j) = x[j] / std::sqrt(day_convention->fraction(calibration_dates[j - 1], calibration_dates[j]));
  }
  return std::make_shared<const parameter_lognormal>(volatilities, correlation_, calibration_dates, day_convention);
}

}  // namespace qavrek
