#include "Analytics/calibration/lognormal/lognormal_equity_with_mhjm_ir.h"

#include "Core/check.h"

namespace qavrek {

namespace {

size_t factors_of(const ptr_const<parameter_markovian_hjm>& parameter_ir) {
  QAVREK_CHECK(parameter_ir != nullptr, "the calibration needs the rate's parameter set");
  return parameter_ir->number_of_factors();
}

}  // namespace

lognormal_equity_with_mhjm_ir::lognormal_equity_with_mhjm_ir(const datetime& valuation_date,
                                                             const matrix<double>& correlation_matrix,
                                                             const ptr_const<parameter_markovian_hjm>& parameter_ir)
    : lognormal_model_with_mhjm_ir(
          valuation_date, parameter_ir,
          asset_rate_loadings(correlation_matrix, factors_of(parameter_ir), factors_of(parameter_ir)),
          asset_correlation(correlation_matrix, factors_of(parameter_ir))) {}

lognormal_equity_with_mhjm_ir::~lognormal_equity_with_mhjm_ir() = default;

}  // namespace qavrek
