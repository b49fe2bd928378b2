#pragma once

#include <cstddef>
#include <vector>

#include "Analytics/diffusion/fx/diffusion_fx.h"
#include "Analytics/models/model_lognormal.h"
#include "Analytics/parameters/parameter_lognormal.h"
#include "Core/pointers.h"
#include "Market/discount_curve.h"
#include "Market/fx_spot.h"

namespace qavrek {

// An exchange rate simulated with the lognormal model in the world of the simulated domestic and foreign
// rates. Each step adds the model's increment and the difference of the deterministic curves' forward
// rates over the step, x += ln P_f(t_{i-1}, t_i) - ln P_d(t_{i-1}, t_i); the view adds the rates'
// stochastic discountings. With the foreign rate simulated under the domestic measure (its quanto change
// of measure), the foreign bond converted at the simulated rate is a domestic martingale:
// E[discounting_d(t) X(t) / X(0)] = P_f(0, t).
class diffusion_fx_lognormal final : public diffusion_fx {
 public:
  // The model is built on `dates`, the first being its valuation date; the parameter set is required.
  diffusion_fx_lognormal(const std::vector<datetime>& dates, const ptr_const<fx_spot>& spot,
                         const ptr_const<discount_curve>& domestic_curve,
                         const ptr_const<discount_curve>& foreign_curve, const ptr_const<parameter_lognormal>& params);
  ~diffusion_fx_lognormal() override;

  // The rate at its start value: a zero log state.
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
