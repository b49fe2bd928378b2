#include "Analytics/diffusion/credit/diffusion_credit.h"

#include <memory>
#include <utility>

#include "Analytics/diffusion/credit/survival_curve_diffusion.h"
#include "Core/check.h"

namespace qavrek {

diffusion_credit::diffusion_credit(const std::vector<datetime>& dates, const ptr_const<survival_curve>& curve)
    : diffusion(dates), curve_(curve) {
  QAVREK_CHECK(curve_ != nullptr, "a credit diffusion needs its market survival curve");
}

diffusion_credit::~diffusion_credit() = default;

ptr_const<market_data> diffusion_credit::create_market_data(const ptr_const<diffusion>& asset, matrix<double>&& next,
                                                            matrix<double>&& current,
                                                            const std::vector<ptr_const<market_data>>&,
                                                            const ptr_const<states_variables>& storage) const {
  check_is_this(asset);
  return std::make_shared<const survival_curve_diffusion>(std::static_pointer_cast<const diffusion_credit>(asset),
                                                          std::move(next), std::move(current), storage);
}

}  // namespace qavrek
