#pragma once

#include <vector>

#include "Analytics/diffusion/ir/diffusion_ir_on_model.h"
#include "Analytics/models/model_black_karasinski.h"
#include "Analytics/parameters/parameter_black_karasinski.h"
#include "Core/pointers.h"
#include "Market/discount_curve.h"

namespace qavrek {

// An interest rate simulated with the Black-Karasinski model. The rate is the model's own: its levels make
// the term structure, so neither the discount factors nor the bond prices read the market curve, which the
// diffusion only keeps. The states are the factor and, in row 1, the integral of the rate, both starting at
// 0, so that E[discounting(t) exp(log_df(t, T))] = E[discounting(T)].
class diffusion_ir_black_karasinski final
    : public diffusion_ir_on_model<model_black_karasinski, parameter_black_karasinski, model_price_kind::whole> {
 public:
  // The model is built on `dates`, the first being its valuation date; the parameter set is required.
  diffusion_ir_black_karasinski(const std::vector<datetime>& dates, const ptr_const<discount_curve>& curve,
                                const ptr_const<parameter_black_karasinski>& params);
  ~diffusion_ir_black_karasinski() override;
};

}  // namespace qavrek
