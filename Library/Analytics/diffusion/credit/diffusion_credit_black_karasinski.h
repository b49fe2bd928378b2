#pragma once

#include <vector>

#include "Analytics/diffusion/credit/diffusion_credit_on_model.h"
#include "Analytics/models/model_black_karasinski.h"
#include "Analytics/parameters/parameter_black_karasinski.h"
#include "Core/pointers.h"
#include "Market/survival_curve.h"

namespace qavrek {

// A default intensity simulated with the Black-Karasinski model. The intensity is the model's own (its
// levels are calibrated to the survival curve, which the diffusion only keeps). The states are the factor
// and, in row 1, the integrated intensity, both starting at 0, so that
// E[survival_probability(t) exp(log_conditional_survival_probability(t, T))] = E[survival_probability(T)].
class diffusion_credit_black_karasinski final
    : public diffusion_credit_on_model<model_black_karasinski, parameter_black_karasinski, model_price_kind::whole> {
 public:
  // The model is built on `dates`, the first being its valuation date; the parameter set is required.
  diffusion_credit_black_karasinski(const std::vector<datetime>& dates, const ptr_const<survival_curve>& curve,
                                    const ptr_const<parameter_black_karasinski>& params);
  ~diffusion_credit_black_karasinski() override;
};

}  // namespace qavrek
