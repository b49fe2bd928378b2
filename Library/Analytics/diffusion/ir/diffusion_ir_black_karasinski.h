#pragma once

#include <cstddef>
#include <vector>

#include "Analytics/diffusion/ir/diffusion_ir.h"
#include "Analytics/models/model_black_karasinski.h"
#include "Analytics/parameters/parameter_black_karasinski.h"
#include "Core/pointers.h"
#include "Market/discount_curve.h"

namespace qavrek {

// An interest rate simulated with the Black-Karasinski model. The rate is the model's own: its levels make
// the term structure, so neither the discount factors nor the bond prices read the market curve, which the
// diffusion only keeps. The states are the factor and, in row 1, the integral of the rate, so that
// E[discounting(t) exp(log_df(t, T))] = E[discounting(T)].
class diffusion_ir_black_karasinski final : public diffusion_ir {
 public:
  // The model is built on `dates`, the first being its valuation date; the parameter set is required.
  diffusion_ir_black_karasinski(const std::vector<datetime>& dates, const ptr_const<discount_curve>& curve,
                                const ptr_const<parameter_black_karasinski>& params);
  ~diffusion_ir_black_karasinski() override;

  // The factor and the integral start at 0.
  void states_initialize(matrix<double>& states) const override;
  void propagate_state(matrix<double>& next, matrix<double>& current, size_t time_index,
                       const matrix<double>& gaussians, const change_of_measure& measure_change) const override;
  size_t number_of_states() const override;
  size_t number_of_factors() const override;

  // The model's conditional price alone. `from` must be a simulation date: the states belong to it.
  void log_df(vector<double>& output, const matrix<double>& states, const datetime& from,
              const datetime& to) const override;
  // exp(-integral of the rate) per path.
  void discounting(vector<double>& output, const matrix<double>& states, const datetime& from) const override;
  size_t discounting_state_index() const override;

  const ptr_const<parameter_black_karasinski>& parameter() const noexcept { return params_; }
  const ptr_const<model_black_karasinski>& model() const noexcept { return model_; }

 private:
  // Declared before the model, which borrows it.
  ptr_const<parameter_black_karasinski> params_;
  ptr_const<model_black_karasinski> model_;
};

}  // namespace qavrek
