#include "Analytics/diffusion/credit/diffusion_credit_black_karasinski.h"

namespace qavrek {

diffusion_credit_black_karasinski::diffusion_credit_black_karasinski(
    const std::vector<datetime>& dates, const ptr_const<survival_curve>& curve,
    const ptr_const<parameter_black_karasinski>& params)
    : diffusion_credit_on_model(dates, curve, params, "Black-Karasinski", /*flag=*/false) {}

diffusion_credit_black_karasinski::~diffusion_credit_black_karasinski() = default;

}  // namespace qavrek
