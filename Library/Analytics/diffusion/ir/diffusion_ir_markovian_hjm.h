#pragma once

#include <vector>

#include "Analytics/diffusion/ir/diffusion_ir_on_model.h"
#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Core/pointers.h"
#include "Market/discount_curve.h"

namespace qavrek {

// An interest rate simulated with the Markovian HJM model around its market discount curve (see
// diffusion_ir_on_model): the states are the n factor deviations and, in row n, the integral that discounts.
class diffusion_ir_markovian_hjm final : public diffusion_ir_on_model<model_markovian_hjm, parameter_markovian_hjm> {
 public:
  // The model is built on `dates`, the first being its valuation date; the parameter set is required.
  diffusion_ir_markovian_hjm(const std::vector<datetime>& dates, const ptr_const<discount_curve>& curve,
                             const ptr_const<parameter_markovian_hjm>& params);
  ~diffusion_ir_markovian_hjm() override;
};

}  // namespace qavrek
