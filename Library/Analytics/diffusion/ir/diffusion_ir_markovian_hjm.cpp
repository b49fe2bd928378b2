#include "Analytics/diffusion/ir/diffusion_ir_markovian_hjm.h"

namespace qavrek {

diffusion_ir_markovian_hjm::diffusion_ir_markovian_hjm(const std::vector<datetime>& dates,
                                                       const ptr_const<discount_curve>& curve,
                                                       const ptr_const<parameter_markovian_hjm>& params)
    : diffusion_ir_on_model(dates, curve, params, "Markovian HJM", /*full_covariance_flag=*/false) {}

diffusion_ir_markovian_hjm::~diffusion_ir_markovian_hjm() = default;

}  // namespace qavrek
