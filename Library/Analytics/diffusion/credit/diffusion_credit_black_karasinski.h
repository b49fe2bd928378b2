#pragma once

#include <cstddef>
#include <vector>

#include "Analytics/diffusion/credit/diffusion_credit.h"
#include "Analytics/models/model_black_karasinski.h"
#include "Analytics/parameters/parameter_black_karasinski.h"
#include "Core/pointers.h"
#include "Market/survival_curve.h"

namespace qavrek {

// A default intensity simulated with the Black-Karasinski model. The intensity is the model's own (its
// levels are calibrated to the survival curve, which the diffusion only keeps). The states are the factor
// and, in row 1, the integrated intensity, so that
// E[survival_probability(t) exp(log_conditional_survival_probability(t, T))] = E[survival_probability(T)].
class diffusion_credit_black_karasinski final : public diffusion_credit {
 public:
  // The model is built on `dates`, the first being its valuation date; the parameter set is required.
  diffusion_credit_black_karasinski(const std::vector<datetime>& dates, const ptr_const<survival_curve>& curve,
                                    const ptr_const<parameter_black_karasinski>& params);
  ~diffusion_credit_black_karasinski() override;

  // The factor and the integral start at 0.
  void states_initialize(matrix<double>& states) const override;
  void propagate_state(matrix<double>& next, matrix<double>& current, size_t time_index,
                       const matrix<double>& gaussians, const change_of_measure& measure_change) const override;
  size_t number_of_states() const override;
  size_t number_of_factors() const override;

  // The model's conditional survival alone. `from` must be a simulation date: the states belong to it.
  void log_conditional_survival_probability(vector<double>& output, const matrix<double>& states,
                                            const datetime& from, const datetime& to) const override;
  // exp(-integrated intensity) per path.
  void survival_probability(vector<double>& output, const matrix<double>& states,
                            const datetime& from) const override;

  const ptr_const<parameter_black_karasinski>& parameter() const noexcept { return params_; }
  const ptr_const<model_black_karasinski>& model() const noexcept { return model_; }

 private:
  // Declared before the model, which borrows it.
  ptr_const<parameter_black_karasinski> params_;
  ptr_const<model_black_karasinski> model_;
};

}  // namespace qavrek
