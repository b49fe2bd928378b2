#pragma once

#include <vector>

#include "Analytics/diffusion/common/diffusion.h"
#include "Core/pointers.h"
#include "Market/discount_curve.h"
#include "Market/fx_spot.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"

namespace qavrek {

// The family of FX diffusions: an exchange rate (domestic units per foreign unit), simulated relative to
// its start value in the world of the domestic and the foreign interest rates that the simulation holds
// first and second. Its one state row is the log of the rate's part that the two discountings do not
// carry; its market-data view, fx_spot_diffusion, adds the simulated domestic discounting, takes off the
// foreign one and answers rates and forwards through the fx_spot interface.
class diffusion_fx : public diffusion {
 public:
  ~diffusion_fx() override;

  // An fx_spot_diffusion over the two blocks, reading the domestic rate's view at position 0 of `data`
  // and the foreign rate's at position 1.
  ptr_const<market_data> create_market_data(const ptr_const<diffusion>& asset, matrix<double>&& next,
                                            matrix<double>&& current, const std::vector<ptr_const<market_data>>& data,
                                            const ptr_const<states_variables>& storage) const final;

  // The start rate, that of the fx spot given; the simulated view answers relative to it.
  double spot() const noexcept { return spot_; }
  // The deterministic curves whose forward rates drift the exchange rate.
  const ptr_const<discount_curve>& domestic_curve() const noexcept { return domestic_curve_; }
  const ptr_const<discount_curve>& foreign_curve() const noexcept { return foreign_curve_; }

 protected:
  // The spot and both curves are required.
  diffusion_fx(const std::vector<datetime>& dates, const ptr_const<fx_spot>& spot,
               const ptr_const<discount_curve>& domestic_curve, const ptr_const<discount_curve>& foreign_curve);

 private:
  double spot_;
  ptr_const<discount_curve> domestic_curve_;
  ptr_const<discount_curve> foreign_curve_;
};

}  // namespace qavrek
