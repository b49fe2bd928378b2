#include "Analytics/diffusion/ir/diffusion_ir_black_karasinski.h"

namespace qavrek {

diffusion_ir_black_karasinski::diffusion_ir_black_karasinski(const std::vector<datetime>& dates,
                                                             const ptr_const<discount_curve>& curve,
                                                             const ptr_const<parameter_black_karasinski>& params)
    : diffusion_ir_on_model(dates, curve, params, "Black-Karasinski", /*flag=*/false) {}

diffusion_ir_black_karasinski::~diffusion_ir_black_karasinski() = default;

}  // namespace qavrek
