#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "Analytics/diffusion/credit/diffusion_credit.h"
#include "Core/check.h"
#include "Core/pointers.h"
#include "Market/survival_curve.h"

namespace qavrek {

// A default intensity simulated with a model whose conditional probabilities are normalised by its own
// forward ones from the first simulation date, around the market survival curve that supplies the rest: the
// Markovian HJM and extended CIR intensities. The states are the model's n factors and, in row n, the
// integrated intensity, so E[survival_probability(t)] = Q(0, t).
//
// The model is built on the diffusion's dates, the first being its valuation date, and borrows the
// parameter set, which the diffusion keeps.
template <class Model, class Parameter>
class diffusion_credit_on_model : public diffusion_credit {
 public:
  // Zero deviations from the curve.
  void states_initialize(matrix<double>& states) const override { states.fill(0.0); }
  void propagate_state(matrix<double>& next, matrix<double>& current, size_t time_index,
                       const matrix<double>& gaussians, const change_of_measure& measure_change) const override {
    model_->evolve(measure_change, time_index, gaussians, current, next);
  }
  size_t number_of_states() const override { return model_->number_of_states(); }
  size_t number_of_factors() const override { return model_->number_of_factors(); }

  // `from` must be a simulation date: the states and the model's tables belong to it.
  void log_conditional_survival_probability(vector<double>& output, const matrix<double>& states, const datetime& from,
                                            const datetime& to) const override {
    if (from == to) {
      output.fill(0.0);
      return;
    }
    check_simulation_date(from, "log_conditional_survival_probability");
    model_->conditional_price(states, from, to, output);
    output += curve()->log_survival_probability(from, to);
  }
  void survival_probability(vector<double>& output, const matrix<double>& states, const datetime& from) const override {
    check_simulation_date(from, "survival_probability");
    exp_of_shifted_row(output, states, model_->discounting_state_index(),
                       curve()->log_survival_probability(dates().front(), from));
  }

  const ptr_const<Parameter>& parameter() const noexcept { return params_; }
  const ptr_const<Model>& model() const noexcept { return model_; }

 protected:
  // The parameter set is required; `model_name` names the model in that check's message.
  diffusion_credit_on_model(const std::vector<datetime>& dates, const ptr_const<survival_curve>& curve,
                            const ptr_const<Parameter>& params, const char* model_name)
      : diffusion_credit(dates, curve), params_(params), model_(model_on(params_, this->dates(), model_name)) {}

 private:
  static ptr_const<Model> model_on(const ptr_const<Parameter>& params, const std::vector<datetime>& dates,
                                   const char* model_name) {
    QAVREK_CHECK(params != nullptr, "a ", model_name, " diffusion needs its parameter set");
    return std::make_shared<const Model>(*params, dates.front(), dates, false);
  }

  // Declared before the model, which borrows it.
  ptr_const<Parameter> params_;
  ptr_const<Model> model_;
};

}  // namespace qavrek
