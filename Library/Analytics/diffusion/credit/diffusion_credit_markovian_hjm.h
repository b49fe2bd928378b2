#pragma once

#include <vector>

#include "Analytics/diffusion/credit/diffusion_credit_on_model.h"
#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Core/pointers.h"
#include "Market/survival_curve.h"

namespace qavrek {

// A default intensity simulated with the Markovian HJM model around its market survival curve (see
// diffusion_credit_on_model): the states are the n factor deviations and, in row n, the integrated intensity.
class diffusion_credit_markovian_hjm final
    : public diffusion_credit_on_model<model_markovian_hjm, parameter_markovian_hjm> {
 public:
  // The model is built on `dates`, the first being its valuation date; the parameter set is required.
  diffusion_credit_markovian_hjm(const std::vector<datetime>& dates, const ptr_const<survival_curve>& curve,
                                 const ptr_const<parameter_markovian_hjm>& params);
  ~diffusion_credit_markovian_hjm() override;
};

}  // namespace qavrek
