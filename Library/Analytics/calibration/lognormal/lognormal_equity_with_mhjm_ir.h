#pragma once

#include "Analytics/calibration/lognormal/lognormal_model_with_mhjm_ir.h"
#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Core/pointers.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"

namespace qavrek {

// The lognormal volatility calibration of an equity with one Markovian HJM rate. The spot grows with the
// simulated domestic discounting, whose log moves against the rate factors, so each loading is the
// negated correlation of an asset factor with a rate factor.
class lognormal_equity_with_mhjm_ir final : public lognormal_model_with_mhjm_ir {
 public:
  // `correlation_matrix` orders the f rate factors of `parameter_ir` first, then the asset factors
  // (at least one).
  lognormal_equity_with_mhjm_ir(const datetime& valuation_date, const matrix<double>& correlation_matrix,
                                const ptr_const<parameter_markovian_hjm>& parameter_ir);
  ~lognormal_equity_with_mhjm_ir() override;
};

}  // namespace qavrek
