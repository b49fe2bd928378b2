#pragma once

#include "Analytics/diffusion/equity/diffusion_equity.h"
#include "Core/pointers.h"
#include "Market/discount_curve.h"
#include "Market/equity_spot.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

class states_variables;

// The simulated spot of an equity diffusion, per path and divided by the start spot. At each finalize it
// combines the diffusion's latest log state with the simulated domestic discounting,
// S(t) / S(0) = exp(x(t) + D(t)), D being the domestic view's log-normalised discounting, and keeps the
// result in row 0 of the diffusion's `current` block, which nothing else uses. It keeps the storage of its
// views alive. Only the path-wise queries exist: the scalar spot throws NotImplementedError.
class equity_spot_diffusion : public equity_spot {
 public:
  equity_spot_diffusion(ptr_const<discount_curve> domestic, ptr_const<diffusion_equity> asset, matrix<double>&& next,
                        matrix<double>&& current, ptr_const<states_variables> storage);
  ~equity_spot_diffusion() override;

  // Records the date and computes the spots of the latest states.
  void finalize(const datetime& date) const override;

  double spot() const override;
  // A view of the spots of the latest finalize, rewritten in place by the next.
  vector<double> spots() const override;
  // Per path, the spot over P_d(from, to): the forward for delivery at `to` seen from `from`, which must be
  // the date of the latest finalize. The output has one entry per path.
  void forward(vector<double>& output, const datetime& from, const datetime& to) const override;

  const ptr_const<diffusion_equity>& asset() const noexcept { return asset_; }
  const ptr_const<discount_curve>& domestic() const noexcept { return domestic_; }

 private:
  ptr_const<states_variables> storage_;
  ptr_const<discount_curve> domestic_;
  ptr_const<diffusion_equity> asset_;
  matrix<double> next_;
  mutable matrix<double> current_;
};

}  // namespace qavrek
