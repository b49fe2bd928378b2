#pragma once

#include <vector>

#include "Analytics/diffusion/ir/diffusion_ir_on_model.h"
#include "Analytics/models/model_cheyette.h"
#include "Analytics/parameters/parameter_cheyette.h"
#include "Core/pointers.h"
#include "Market/discount_curve.h"

namespace qavrek {

// An interest rate simulated with the Cheyette model around its market discount curve (see
// diffusion_ir_on_model). The states are the model's, n(n + 3) rows for n factors: the factors, the matrix
// y, the last step's local volatilities and, in row n(n+2), the integral that discounts.
class diffusion_ir_cheyette final : public diffusion_ir_on_model<model_cheyette, parameter_cheyette> {
 public:
  // The model is built on `dates`, the first being its valuation date, with full states and no decay of
  // the skew level; the parameter set is required.
  diffusion_ir_cheyette(const std::vector<datetime>& dates, const ptr_const<discount_curve>& curve,
                        const ptr_const<parameter_cheyette>& params);
  ~diffusion_ir_cheyette() override;
};

}  // namespace qavrek
