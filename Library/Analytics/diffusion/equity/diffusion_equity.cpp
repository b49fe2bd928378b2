#include "Analytics/diffusion/equity/diffusion_equity.h"

#include <cmath>
#include <memory>
#include <utility>

#include "Analytics/diffusion/equity/equity_spot_diffusion.h"
#include "Core/check.h"

namespace qavrek {

diffusion_equity::diffusion_equity(const std::vector<datetime>& dates, double spot,
                                   const ptr_const<discount_curve>& domestic_curve)
    : diffusion(dates), spot_(spot), domestic_curve_(domestic_curve) {
  QAVREK_CHECK(std::isfinite(spot_) && spot_ > 0.0, "equity spot ", spot_, " is not positive and finite");
  QAVREK_CHECK(domestic_curve_ != nullptr, "an equity diffusion needs its domestic discount curve");
}

diffusion_equity::~diffusion_equity() = default;

ptr_const<market_data> diffusion_equity::create_market_data(const ptr_const<diffusion>& asset, matrix<double>&& next,
                                                            matrix<double>&& current,
                                                            const std::vector<ptr_const<market_data>>& data,
                                                            const ptr_const<states_variables>& storage) const {
  check_is_this(asset);
  return std::make_shared<const equity_spot_diffusion>(discount_curve_at(data, 0),
                                                       std::static_pointer_cast<const diffusion_equity>(asset),
                                                       std::move(next), std::move(current), storage);
}

}  // namespace qavrek
