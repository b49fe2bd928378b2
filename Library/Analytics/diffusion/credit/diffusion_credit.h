#pragma once

#include <vector>

#include "Analytics/diffusion/common/diffusion.h"
#include "Core/pointers.h"
#include "Market/survival_curve.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

// The family of credit diffusions: the default intensity of one credit curve, simulated around the market
// survival curve. On a block of simulated states it answers, path by path, the log of the conditional
// survival probability between two dates and the survival probability from the first simulation date; its
// market-data view, survival_curve_diffusion, offers the same answers through the survival_curve interface.
class diffusion_credit : public diffusion {
 public:
  ~diffusion_credit() override;

  // A survival_curve_diffusion over the two blocks; `data` is not read.
  ptr_const<market_data> create_market_data(const ptr_const<diffusion>& asset, matrix<double>&& next,
                                            matrix<double>&& current, const std::vector<ptr_const<market_data>>& data,
                                            const ptr_const<states_variables>& storage) const final;

  // ln Q(from, to) per path given the states at `from`; zeros when the dates are equal.
  virtual void log_conditional_survival_probability(vector<double>& output, const matrix<double>& states,
                                                    const datetime& from, const datetime& to) const = 0;
  // The simulated survival probability from the first simulation date to `from` per path, given the states
  // at `from`. The output has one entry per path.
  virtual void survival_probability(vector<double>& output, const matrix<double>& states,
                                    const datetime& from) const = 0;

  const ptr_const<survival_curve>& curve() const noexcept { return curve_; }

 protected:
  // The curve is required.
  diffusion_credit(const std::vector<datetime>& dates, const ptr_const<survival_curve>& curve);

 private:
  ptr_const<survival_curve> curve_;
};

}  // namespace qavrek
