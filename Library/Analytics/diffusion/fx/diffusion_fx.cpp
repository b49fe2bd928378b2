#include "Analytics/diffusion/fx/diffusion_fx.h"

#include <cmath>
#include <memory>
#include <utility>

#include "Analytics/diffusion/fx/fx_spot_diffusion.h"
#include "Core/check.h"

namespace qavrek {

namespace {

double spot_of(const ptr_const<fx_spot>& spot) {
  QAVREK_CHECK(spot != nullptr, "an fx diffusion needs its fx spot");
  const double value = spot->spot();
  QAVREK_CHECK(std::isfinite(value) && value > 0.0, "fx spot ", value, " is not positive and finite");
  return value;
}

}  // namespace

diffusion_fx::diffusion_fx(const std::vector<datetime>& dates, const ptr_const<fx_spot>& spot,
                           const ptr_const<discount_curve>& domestic_curve,
                           const ptr_const<discount_curve>& foreign_curve)
    : diffusion(dates), spot_(spot_of(spot)), domestic_curve_(domestic_curve), foreign_curve_(foreign_curve) {
  QAVREK_CHECK(domestic_curve_ != nullptr && foreign_curve_ != nullptr,
               "an fx diffusion needs its domestic and its foreign discount curves");
}

diffusion_fx::~diffusion_fx() = default;

ptr_const<market_data> diffusion_fx::create_market_data(const ptr_const<diffusion>& asset, matrix<double>&& next,
                                                        matrix<double>&& current,
                                                        const std::vector<ptr_const<market_data>>& data,
                                                        const ptr_const<states_variables>& storage) const {
  check_is_this(asset);
  return std::make_shared<const fx_spot_diffusion>(discount_curve_at(data, 0), discount_curve_at(data, 1),
                                                   std::static_pointer_cast<const diffusion_fx>(asset),
                                                   std::move(next), std::move(current), storage);
}

}  // namespace qavrek
