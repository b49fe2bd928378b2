#pragma once

#include <cstddef>
#include <vector>

#include "Analytics/diffusion/ir/diffusion_ir.h"
#include "Analytics/models/model_extended_cir.h"
#include "Analytics/parameters/parameter_extended_cir.h"
#include "Core/pointers.h"
#include "Market/discount_curve.h"

namespace qavrek {

// An interest rate simulated with the extended CIR model around its market discount curve. The states are
// the n factors and, in row n, the integral that discounts; the model's prices are normalised by its own
// forward prices and the curve supplies the rest, so E[discounting(t)] = P(0, t) and
// E[discounting(t) exp(log_df(t, T))] = P(0, T).
class diffusion_ir_extended_cir final : public diffusion_ir {
 public:
  // The model is built on `dates`, the first being its valuation date; the parameter set is required.
  diffusion_ir_extended_cir(const std::vector<datetime>& dates, const ptr_const<discount_curve>& curve,
                            const ptr_const<parameter_extended_cir>& params);
  ~diffusion_ir_extended_cir() override;

  // Zero factors: the model's own forward curve, which the market curve replaces.
  void states_initialize(matrix<double>& states) const override;
  void propagate_state(matrix<double>& next, matrix<double>& current, size_t time_index,
                       const matrix<double>& gaussians, const change_of_measure& measure_change) const override;
  size_t number_of_states() const override;
  size_t number_of_factors() const override;

  // `from` must be a simulation date: the states and the model's normalisation belong to it.
  void log_df(vector<double>& output, const matrix<double>& states, const datetime& from,
              const datetime& to) const override;
  void discounting(vector<double>& output, const matrix<double>& states, const datetime& from) const override;
  size_t discounting_state_index() const override;

  const ptr_const<parameter_extended_cir>& parameter() const noexcept { return params_; }
  const ptr_const<model_extended_cir>& model() const noexcept { return model_; }

 private:
  // Declared before the model, which borrows it.
  ptr_const<parameter_extended_cir> params_;
  ptr_const<model_extended_cir> model_;
};

}  // namespace qavrek
