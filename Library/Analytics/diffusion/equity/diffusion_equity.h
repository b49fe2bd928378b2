#pragma once

#include <vector>

#include "Analytics/diffusion/common/diffusion.h"
#include "Core/pointers.h"
#include "Market/discount_curve.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"

namespace qavrek {

// The family of equity diffusions: the spot of one equity, simulated relative to its start value in the
// world of the domestic interest rate that the simulation holds first. Its one state row is the log of
// the spot's part that the domestic discounting does not carry; its market-data view, equity_spot_diffusion,
// adds the simulated domestic discounting back and answers spots and forwards through the equity_spot
// interface.
class diffusion_equity : public diffusion {
 public:
  ~diffusion_equity() override;

  // An equity_spot_diffusion over the two blocks, reading the domestic rate's view at position 0 of `data`.
  ptr_const<market_data> create_market_data(const ptr_const<diffusion>& asset, matrix<double>&& next,
                                            matrix<double>&& current, const std::vector<ptr_const<market_data>>& data,
                                            const ptr_const<states_variables>& storage) const final;

  // The start spot; the simulated view answers relative to it.
  double spot() const noexcept { return spot_; }
  // The deterministic curve whose forward rates drift the spot.
  const ptr_const<discount_curve>& domestic_curve() const noexcept { return domestic_curve_; }

 protected:
  // A positive, finite spot and the curve.
  diffusion_equity(const std::vector<datetime>& dates, double spot, const ptr_const<discount_curve>& domestic_curve);

 private:
  double spot_;
  ptr_const<discount_curve> domestic_curve_;
};

}  // namespace qavrek
