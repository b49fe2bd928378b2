#include "Analytics/diffusion/ir/diffusion_ir_cheyette.h"

namespace qavrek {

diffusion_ir_cheyette::diffusion_ir_cheyette(const std::vector<datetime>& dates, const ptr_const<discount_curve>& curve,
                                             const ptr_const<parameter_cheyette>& params)
    : diffusion_ir_on_model(dates, curve, params, "Cheyette", /*reduced_states=*/false, /*decay_skew_level=*/false) {}

diffusion_ir_cheyette::~diffusion_ir_cheyette() = default;

}  // namespace qavrek
