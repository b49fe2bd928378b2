#pragma once

#include <vector>

#include "Analytics/diffusion/credit/diffusion_credit_on_model.h"
#include "Analytics/models/model_extended_cir.h"
#include "Analytics/parameters/parameter_extended_cir.h"
#include "Core/pointers.h"
#include "Market/survival_curve.h"

namespace qavrek {

// A default intensity simulated with the extended CIR model around its market survival curve (see
// diffusion_credit_on_model): the states are the n factors, whose zero start is the model's own forward
// curve, and, in row n, the integrated intensity.
class diffusion_credit_extended_cir final
    : public diffusion_credit_on_model<model_extended_cir, parameter_extended_cir> {
 public:
  // The model is built on `dates`, the first being its valuation date; the parameter set is required.
  diffusion_credit_extended_cir(const std::vector<datetime>& dates, const ptr_const<survival_curve>& curve,
                                const ptr_const<parameter_extended_cir>& params);
  ~diffusion_credit_extended_cir() override;
};

}  // namespace qavrek
