#include "Analytics/diffusion/credit/diffusion_credit_extended_cir.h"

namespace qavrek {

diffusion_credit_extended_cir::diffusion_credit_extended_cir(const std::vector<datetime>& dates,
                                                             const ptr_const<survival_curve>& curve,
                                                             const ptr_const<parameter_extended_cir>& params)
    : diffusion_credit_on_model(dates, curve, params, "extended CIR", /*flag=*/false) {}

diffusion_credit_extended_cir::~diffusion_credit_extended_cir() = default;

}  // namespace qavrek
