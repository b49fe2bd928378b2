#include "Analytics/diffusion/ir/diffusion_ir_extended_cir.h"

namespace qavrek {

diffusion_ir_extended_cir::diffusion_ir_extended_cir(const std::vector<datetime>& dates,
                                                     const ptr_const<discount_curve>& curve,
                                                     const ptr_const<parameter_extended_cir>& params)
    : diffusion_ir_on_model(dates, curve, params, "extended CIR", /*flag=*/false) {}

diffusion_ir_extended_cir::~diffusion_ir_extended_cir() = default;

}  // namespace qavrek
