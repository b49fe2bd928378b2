#pragma once

#include <cstddef>
#include <vector>

#include "Analytics/diffusion/equity/diffusion_equity.h"
#include "Analytics/models/model_lognormal.h"
#include "Analytics/parameters/parameter_lognormal.h"
#include "Core/pointers.h"
#include "Market/discount_curve.h"

namespace qavrek {

// An equity spot simulated with the lognormal model in the world of the simulated domestic rate. Each
// step adds the model's increment and the deterministic curve's forward rate over the step,
// x -= ln P_d(t_{i-1}, t_i); the view adds the rate's stochastic discounting, so that the discounted spot
// is a martingale: E[discounting_d(t) S(t) / S(0)] = 1.
class diffusion_equity_lognormal final : public diffusion_equity {
 public:
  // The model is built on `dates`, the first being its valuation date; the parameter set is required.
  diffusion_equity_lognormal(const std::vector<datetime>& dates, double spot,
                             const ptr_const<discount_curve>& domestic_curve,
                             const ptr_const<parameter_lognormal>& params);
  ~diffusion_equity_lognormal() override;

  // The spot at its start value: a zero log state.
  void states_initialize(matrix<double>& states) const override;
  // Steps row 0 of `next` in place; `current` is not touched (the view uses it).
  void propagate_state(matrix<double>& next, matrix<double>& current, size_t time_index,
                       const matrix<double>& gaussians, const change_of_measure& measure_change) const override;
  size_t number_of_states() const override;
  size_t number_of_factors() const override;

  const ptr_const<parameter_lognormal>& parameter() const noexcept { return params_; }
  const ptr_const<model_lognormal>& model() const noexcept { return model_; }

 private:
  // Declared before the model, which borrows it.
  ptr_const<parameter_lognormal> params_;
  ptr_const<model_lognormal> model_;
};

}  // namespace qavrek
