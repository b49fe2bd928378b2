#pragma once

#include "Analytics/diffusion/ir/diffusion_ir.h"
#include "Core/pointers.h"
#include "Market/discount_curve.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

class states_variables;

// The simulated discount curve of an interest-rate diffusion: the discount_curve interface answered path by
// path from the diffusion's latest states (the `next` block), which it reads live through its views; it
// keeps the storage of those views alive. Only the vectorised queries exist: the scalar ones throw
// NotImplementedError. The dates of a query are its arguments; finalize only records the simulation date.
class discount_curve_diffusion : public discount_curve {
 public:
  discount_curve_diffusion(ptr_const<diffusion_ir> asset, matrix<double>&& next, matrix<double>&& current,
                           ptr_const<states_variables> storage);
  ~discount_curve_diffusion() override;

  void finalize(const datetime& date) const override;

  double df(const datetime& from, const datetime& to) const override;
  void log_df(vector<double>& output, const datetime& from, const datetime& to) const override;
  double log_df(const datetime& from, const datetime& to) const override;
  void discounting(vector<double>& output, const datetime& date) const override;
  // A view of the discounting row of the latest states: valid while the simulation lives and overwritten by
  // its next step.
  vector<double> log_normalized_discounting() const override;

  const ptr_const<diffusion_ir>& asset() const noexcept { return asset_; }
  const matrix<double>& next_states() const noexcept { return next_; }
  const matrix<double>& current_states() const noexcept { return current_; }

 private:
  ptr_const<states_variables> storage_;
  ptr_const<diffusion_ir> asset_;
  matrix<double> next_;
  matrix<double> current_;
};

}  // namespace qavrek
