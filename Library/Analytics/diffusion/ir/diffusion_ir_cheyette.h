#pragma once

#include <cstddef>
#include <vector>

#include "Analytics/diffusion/ir/diffusion_ir.h"
#include "Analytics/models/model_cheyette.h"
#include "Analytics/parameters/parameter_cheyette.h"
#include "Core/pointers.h"
#include "Market/discount_curve.h"

namespace qavrek {

// An interest rate simulated with the Cheyette model around its market discount curve. The states are the
// model's: the factors, the matrix y, the last step's local volatilities and, in row n(n+2), the integral
// that discounts; the curve supplies the deterministic part of every price, so that
// E[discounting(t)] = P(0, t) and E[discounting(t) exp(log_df(t, T))] = P(0, T).
class diffusion_ir_cheyette final : public diffusion_ir {
 public:
  // The model is built on `dates`, the first being its valuation date; the parameter set is required.
  diffusion_ir_cheyette(const std::vector<datetime>& dates, const ptr_const<discount_curve>& curve,
                        const ptr_const<parameter_cheyette>& params);
  ~diffusion_ir_cheyette() override;

  // Zero deviations from the curve.
  void states_initialize(matrix<double>& states) const override;
  void propagate_state(matrix<double>& next, matrix<double>& current, size_t time_index,
                       const matrix<double>& gaussians, const change_of_measure& measure_change) const override;
  // n(n + 3) rows for n factors.
  size_t number_of_states() const override;
  size_t number_of_factors() const override;

  // `from` must be a simulation date: the states belong to it.
  void log_df(vector<double>& output, const matrix<double>& states, const datetime& from,
              const datetime& to) const override;
  void discounting(vector<double>& output, const matrix<double>& states, const datetime& from) const override;
  size_t discounting_state_index() const override;

  const ptr_const<parameter_cheyette>& parameter() const noexcept { return params_; }
  const ptr_const<model_cheyette>& model() const noexcept { return model_; }

 private:
  // Declared before the model, which borrows it.
  ptr_const<parameter_cheyette> params_;
  ptr_const<model_cheyette> model_;
};

}  // namespace qavrek
