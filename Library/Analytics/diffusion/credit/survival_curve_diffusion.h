#pragma once

#include "Analytics/diffusion/credit/diffusion_credit.h"
#include "Core/pointers.h"
#include "Market/survival_curve.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

class states_variables;

// The simulated survival curve of a credit diffusion: the survival_curve interface answered path by path
// from the diffusion's latest states (the `next` block), which it reads live through its views; it keeps
// the storage of those views alive. Only the vectorised queries exist: the scalar ones throw
// NotImplementedError. The dates of a query are its arguments; finalize only records the simulation date.
class survival_curve_diffusion : public survival_curve {
 public:
  survival_curve_diffusion(ptr_const<diffusion_credit> asset, matrix<double>&& next, matrix<double>&& current,
                           ptr_const<states_variables> storage);
  ~survival_curve_diffusion() override;

  void finalize(const datetime& date) const override;

  void log_survival_probability(vector<double>& output, const datetime& from, const datetime& to) const override;
  double log_survival_probability(const datetime& from, const datetime& to) const override;
  void survival_probability(vector<double>& output, const datetime& date) const override;
  double survival_probability(const datetime& from, const datetime& to) const override;

  const ptr_const<diffusion_credit>& asset() const noexcept { return asset_; }
  const matrix<double>& next_states() const noexcept { return next_; }
  const matrix<double>& current_states() const noexcept { return current_; }

 private:
  ptr_const<states_variables> storage_;
  ptr_const<diffusion_credit> asset_;
  matrix<double> next_;
  matrix<double> current_;
};

}  // namespace qavrek
