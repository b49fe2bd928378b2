#pragma once

#include "Analytics/calibration/lognormal/lognormal_model_with_mhjm_ir.h"
#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Core/pointers.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"

namespace qavrek {

// The lognormal volatility calibration of an exchange rate with a domestic and a foreign Markovian HJM
// rate. The log rate moves with the domestic discounting and against the foreign one, so the rates enter
// as one combined HJM set whose foreign factors carry the opposite sign: the domestic-foreign correlations
// are negated, and the loadings are the negated asset-rate correlations for the domestic factors and the
// plain ones for the foreign factors.
class lognormal_fx_with_mhjm_ir final : public lognormal_model_with_mhjm_ir {
 public:
  // `correlation_matrix` orders the domestic rate factors first, then the foreign ones, then the asset
  // factors (at least one). The combined set takes the domestic model type and day-count convention; the
  // calibration reads each currency's factors through its own set, so the two sets may read their decays
  // differently.
  lognormal_fx_with_mhjm_ir(const datetime& valuation_date, const matrix<double>& correlation_matrix,
                            const ptr_const<parameter_markovian_hjm>& parameter_ir_domestic,
                            const ptr_const<parameter_markovian_hjm>& parameter_ir_foreign);
  ~lognormal_fx_with_mhjm_ir() override;

  const ptr_const<parameter_markovian_hjm>& domestic_parameters() const noexcept { return domestic_; }
  const ptr_const<parameter_markovian_hjm>& foreign_parameters() const noexcept { return foreign_; }

  // The domestic and foreign sets side by side on the union of their dates (each date taking the rows
  // that apply there), with the rates' block of `correlation_matrix`, domestic-foreign entries negated,
  // and the domestic set's model type and convention. Where the foreign set's type differs, the combined
  // set records its decays but does not read them as the foreign set does.
  static ptr_const<parameter_markovian_hjm> combined_parameters(const matrix<double>& correlation_matrix,
                                                                const parameter_markovian_hjm& domestic,
                                                                const parameter_markovian_hjm& foreign);

 private:
  ptr_const<parameter_markovian_hjm> domestic_;
  ptr_const<parameter_markovian_hjm> foreign_;
};

}  // namespace qavrek
