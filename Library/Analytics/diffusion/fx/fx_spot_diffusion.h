#pragma once

#include "Analytics/diffusion/fx/diffusion_fx.h"
#include "Core/pointers.h"
#include "Market/discount_curve.h"
#include "Market/fx_spot.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

class states_variables;

// The simulated exchange rate of an FX diffusion, per path and divided by the start rate. At each finalize
// it combines the diffusion's latest log state with the simulated discountings of the two currencies,
// X(t) / X(0) = exp(x(t) - D_f(t) + D_d(t)), D being each view's log-normalised discounting, and keeps the
// result in row 0 of the diffusion's `current` block, which nothing else uses. It keeps the storage of its
// views alive. Only the path-wise queries exist: the scalar spot throws NotImplementedError.
class fx_spot_diffusion : public fx_spot {
 public:
  fx_spot_diffusion(ptr_const<discount_curve> domestic, ptr_const<discount_curve> foreign,
                    ptr_const<diffusion_fx> asset, matrix<double>&& next, matrix<double>&& current,
                    ptr_const<states_variables> storage);
  ~fx_spot_diffusion() override;

  // Records the date and computes the rates of the latest states. Rates views over other paths are an Error
  // that leaves the rates and the date as they were.
  void finalize(const datetime& date) const override;

  double spot() const override;
  // A view of the rates of the latest finalize, rewritten in place by the next.
  vector<double> spots() const override;
  // Per path, the rate times P_f(from, to) / P_d(from, to): the forward for delivery at `to` seen from
  // `from`, which must be the date of the latest finalize. The output has one entry per path.
  void forward(vector<double>& output, const datetime& from, const datetime& to) const override;

  const ptr_const<diffusion_fx>& asset() const noexcept { return asset_; }
  const ptr_const<discount_curve>& domestic() const noexcept { return domestic_; }
  const ptr_const<discount_curve>& foreign() const noexcept { return foreign_; }

 private:
  ptr_const<states_variables> storage_;
  ptr_const<discount_curve> domestic_;
  ptr_const<discount_curve> foreign_;
  ptr_const<diffusion_fx> asset_;
  matrix<double> next_;
  mutable matrix<double> current_;
  // The foreign log discount factors of a forward query, one per path.
  mutable vector<double> foreign_log_df_;
};

}  // namespace qavrek
