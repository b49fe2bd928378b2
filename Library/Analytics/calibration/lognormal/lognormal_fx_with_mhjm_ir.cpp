#include "Analytics/calibration/lognormal/lognormal_fx_with_mhjm_ir.h"

#include <memory>
#include <vector>

#include "Core/check.h"
#include "Util/datetime_helper.h"

namespace qavrek {

namespace {

const parameter_markovian_hjm& checked(const ptr_const<parameter_markovian_hjm>& parameters, const char* which) {
  QAVREK_CHECK(parameters != nullptr, "the calibration needs the ", which, " rate's parameter set");
  return *parameters;
}

size_t rate_factors(const ptr_const<parameter_markovian_hjm>& domestic,
                    const ptr_const<parameter_markovian_hjm>& foreign) {
  return checked(domestic, "domestic").number_of_factors() + checked(foreign, "foreign").number_of_factors();
}

// The domestic and foreign rows side by side on the merged dates, each date taking the row that applies
// to it in its own set.
matrix<double> side_by_side(const std::vector<datetime>& merged, const matrix<double>& domestic,
                            const std::vector<datetime>& domestic_dates, const matrix<double>& foreign,
                            const std::vector<datetime>& foreign_dates) {
  const std::vector<size_t> domestic_rows = datetime_helper::interpolate_from_subset_dates(merged, domestic_dates);
  const std::vector<size_t> foreign_rows = datetime_helper::interpolate_from_subset_dates(merged, foreign_dates);
  const size_t fd = domestic.columns();
  const size_t ff = foreign.columns();
  matrix<double> combined(merged.size(), fd + ff);
  for (size_t i = 0; i < merged.size(); ++i) {
    for (size_t c = 0; c < fd; ++c) combined(i, c) = domestic(domestic_rows[i], c);
    for (size_t c = 0; c < ff; ++c) combined(i, fd + c) = foreign(foreign_rows[i], c);
  }
  return combined;
}

}  // namespace

lognormal_fx_with_mhjm_ir::lognormal_fx_with_mhjm_ir(const datetime& valuation_date,
                                                     const matrix<double>& correlation_matrix,
                                                     const ptr_const<parameter_markovian_hjm>& parameter_ir_domestic,
                                                     const ptr_const<parameter_markovian_hjm>& parameter_ir_foreign)
    : lognormal_model_with_mhjm_ir(
          valuation_date,
          combined_parameters(correlation_matrix, checked(parameter_ir_domestic, "domestic"),
                              checked(parameter_ir_foreign, "foreign")),
          {parameter_ir_domestic, parameter_ir_foreign},
          asset_rate_loadings(correlation_matrix, rate_factors(parameter_ir_domestic, parameter_ir_foreign),
                              checked(parameter_ir_domestic, "domestic").number_of_factors()),
          asset_correlation(correlation_matrix, rate_factors(parameter_ir_domestic, parameter_ir_foreign))),
      domestic_(parameter_ir_domestic),
      foreign_(parameter_ir_foreign) {}

lognormal_fx_with_mhjm_ir::~lognormal_fx_with_mhjm_ir() = default;

ptr_const<parameter_markovian_hjm> lognormal_fx_with_mhjm_ir::combined_parameters(
    const matrix<double>& correlation_matrix, const parameter_markovian_hjm& domestic,
    const parameter_markovian_hjm& foreign) {
  const size_t fd = domestic.number_of_factors();
  const size_t rate_factors = fd + foreign.number_of_factors();
  QAVREK_CHECK(correlation_matrix.rows() == correlation_matrix.columns() && correlation_matrix.rows() > rate_factors,
               "the correlation is ", correlation_matrix.rows(), " x ", correlation_matrix.columns(), " for ",
               rate_factors, " rate factors: it must be square, the asset factors following the rate factors");

  const std::vector<datetime> decays_dates =
      datetime_helper::merge_dates(domestic.decays_dates(), foreign.decays_dates());
  const std::vector<datetime> volatilities_dates =
      datetime_helper::merge_dates(domestic.volatilities_dates(), foreign.volatilities_dates());
  const matrix<double> decays = side_by_side(decays_dates, domestic.decays(), domestic.decays_dates(),
                                             foreign.decays(), foreign.decays_dates());
  const matrix<double> volatilities =
      side_by_side(volatilities_dates, domestic.volatilities(), domestic.volatilities_dates(), foreign.volatilities(),
                   foreign.volatilities_dates());

  // The foreign factors enter with the opposite sign, which negates their correlations with the domestic ones.
  matrix<double> correlation(rate_factors, rate_factors);
  for (size_t i = 0; i < rate_factors; ++i) {
    for (size_t j = 0; j <= i; ++j) {
      const double rho = (j < fd) != (i < fd) ? -correlation_matrix(i, j) : correlation_matrix(i, j);
      correlation(i, j) = correlation(j, i) = rho;
    }
  }
  return std::make_shared<const parameter_markovian_hjm>(decays, volatilities, correlation, decays_dates,
                                                         volatilities_dates, domestic.day_convention(),
                                                         domestic.model_type());
}

}  // namespace qavrek
