#pragma once

#include <cstddef>
#include <vector>

#include "Analytics/diffusion/common/diffusion.h"
#include "Core/pointers.h"
#include "Market/discount_curve.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

// The family of interest-rate diffusions: one currency's short-rate or forward-rate model, simulated around
// the market discount curve of that currency. On a block of simulated states it answers, path by path, the
// log of the zero-coupon price between two dates and the discount factor from the first simulation date;
// its market-data view, discount_curve_diffusion, offers the same answers through the discount_curve
// interface.
class diffusion_ir : public diffusion {
 public:
  ~diffusion_ir() override;

  // A discount_curve_diffusion over the two blocks; `data` is not read.
  ptr_const<market_data> create_market_data(const ptr_const<diffusion>& asset, matrix<double>&& next,
                                            matrix<double>&& current, const std::vector<ptr_const<market_data>>& data,
                                            const ptr_const<states_variables>& storage) const final;

  // ln P(from, to) per path given the states at `from`; zeros when the dates are equal.
  virtual void log_df(vector<double>& output, const matrix<double>& states, const datetime& from,
                      const datetime& to) const = 0;
  // The simulated discount factor from the first simulation date to `from` per path, given the states at
  // `from`. The output has one entry per path.
  virtual void discounting(vector<double>& output, const matrix<double>& states, const datetime& from) const = 0;
  // The state row of the accumulated integral that discounts.
  virtual size_t discounting_state_index() const = 0;

  // The discounting row of `states` itself, as a view: no copy, valid while `states` is.
  vector<double> log_normalized_discounting(const matrix<double>& states) const;

  const ptr_const<discount_curve>& curve() const noexcept { return curve_; }

 protected:
  // The curve is required.
  diffusion_ir(const std::vector<datetime>& dates, const ptr_const<discount_curve>& curve);

 private:
  ptr_const<discount_curve> curve_;
};

}  // namespace qavrek
