#pragma once

#include <cstddef>
#include <vector>

#include "Analytics/diffusion/credit/diffusion_credit.h"
#include "Analytics/models/model_extended_cir.h"
#include "Analytics/parameters/parameter_extended_cir.h"
#include "Core/pointers.h"
#include "Market/survival_curve.h"

namespace qavrek {

// A default intensity simulated with the extended CIR model around its market survival curve. The states
// are the n factors and, in row n, the integrated intensity; the model's probabilities are normalised by its
// own forward ones and the curve supplies the rest, so E[survival_probability(t)] = Q(0, t).
class diffusion_credit_extended_cir final : public diffusion_credit {
 public:
  // The model is built on `dates`, the first being its valuation date; the parameter set is required.
  diffusion_credit_extended_cir(const std::vector<datetime>& dates, const ptr_const<survival_curve>& curve,
                                const ptr_const<parameter_extended_cir>& params);
  ~diffusion_credit_extended_cir() override;

  // Zero factors: the model's own forward curve, which the market curve replaces.
  void states_initialize(matrix<double>& states) const override;
  void propagate_state(matrix<double>& next, matrix<double>& current, size_t time_index,
                       const matrix<double>& gaussians, const change_of_measure& measure_change) const override;
  size_t number_of_states() const override;
  size_t number_of_factors() const override;

  // `from` must be a simulation date: the states and the model's normalisation belong to it.
  void log_conditional_survival_probability(vector<double>& output, const matrix<double>& states,
                                            const datetime& from, const datetime& to) const override;
  void survival_probability(vector<double>& output, const matrix<double>& states,
                            const datetime& from) const override;

  const ptr_const<parameter_extended_cir>& parameter() const noexcept { return params_; }
  const ptr_const<model_extended_cir>& model() const noexcept { return model_; }

 private:
  // Declared before the model, which borrows it.
  ptr_const<parameter_extended_cir> params_;
  ptr_const<model_extended_cir> model_;
};

}  // namespace qavrek
