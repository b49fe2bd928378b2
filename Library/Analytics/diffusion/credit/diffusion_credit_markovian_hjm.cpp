#include "Analytics/diffusion/credit/diffusion_credit_markovian_hjm.h"

namespace qavrek {

diffusion_credit_markovian_hjm::diffusion_credit_markovian_hjm(const std::vector<datetime>& dates,
                                                               const ptr_const<survival_curve>& curve,
                                                               const ptr_const<parameter_markovian_hjm>& params)
    : diffusion_credit_on_model(dates, curve, params, "Markovian HJM", /*full_covariance_flag=*/false) {}

diffusion_credit_markovian_hjm::~diffusion_credit_markovian_hjm() = default;

}  // namespace qavrek
