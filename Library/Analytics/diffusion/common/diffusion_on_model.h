#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "Analytics/change_of_measure/change_of_measure.h"
#include "Core/check.h"
#include "Core/pointers.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

// What a model's conditional prices are, and so whether the market curve of its diffusion completes them.
enum class model_price_kind {
  // Normalised by the model's own forward prices from the first simulation date: the curve supplies the rest.
  relative_to_curve,
  // The whole price: the model's levels make the term structure, and the diffusion only keeps the curve.
  whole,
};

// A diffusion of the family `Family` (diffusion_ir or diffusion_credit) whose states, steps and conditional
// prices are those of a model. The states are the model's; its discounting row holds the integral of the
// rate or intensity.
//
// The model is built on the diffusion's dates, the first being its valuation date, and borrows the
// parameter set, which the diffusion keeps.
template <class Family, class Model, class Parameter, model_price_kind Prices>
class diffusion_on_model : public Family {
 public:
  // Every state starts at 0: with prices relative to the curve, zero deviations from it.
  void states_initialize(matrix<double>& states) const override { states.fill(0.0); }
  void propagate_state(matrix<double>& next, matrix<double>& current, size_t time_index,
                       const matrix<double>& gaussians, const change_of_measure& measure_change) const override {
    model_->evolve(measure_change, time_index, gaussians, current, next);
  }
  size_t number_of_states() const override { return model_->number_of_states(); }
  size_t number_of_factors() const override { return model_->number_of_factors(); }

  const ptr_const<Parameter>& parameter() const noexcept { return params_; }
  const ptr_const<Model>& model() const noexcept { return model_; }

 protected:
  // The parameter set is required; `model_name` names the model in that check's message. The model is
  // built from the parameter set, the first date, the dates and `model_arguments`.
  template <class Curve, class... ModelArguments>
  diffusion_on_model(const std::vector<datetime>& dates, const ptr_const<Curve>& curve,
                     const ptr_const<Parameter>& params, const char* model_name,
                     const ModelArguments&... model_arguments)
      : Family(dates, curve),
        params_(params),
        model_(model_on(params_, this->dates(), model_name, model_arguments...)) {}

  // ln of the price per path from `from`, which must be a simulation date (the states and the model's
  // tables belong to it), to `to`: the model's conditional price, plus the curve's `curve_log_price()`
  // when the model's is relative to it. Zeros when the dates are equal. `query` names the caller in the
  // date check's message.
  template <class CurveLogPrice>
  void log_price(vector<double>& output, const matrix<double>& states, const datetime& from, const datetime& to,
                 const char* query, const CurveLogPrice& curve_log_price) const {
    if (from == to) {
      output.fill(0.0);
      return;
    }
    this->check_simulation_date(from, query);
    model_->conditional_price(states, from, to, output);
    if constexpr (Prices == model_price_kind::relative_to_curve) output += curve_log_price();
  }

  // The simulated price from the first simulation date to `from`, a simulation date, per path: exp(-the
  // discounting row), times the curve's exp(curve_log_price()) when the model's prices are relative to it.
  template <class CurveLogPrice>
  void price_from_start(vector<double>& output, const matrix<double>& states, const datetime& from, const char* query,
                        const CurveLogPrice& curve_log_price) const {
    this->check_simulation_date(from, query);
    double shift = 0.0;
    if constexpr (Prices == model_price_kind::relative_to_curve) shift = curve_log_price();
    this->exp_of_shifted_row(output, states, model_->discounting_state_index(), shift);
  }

 private:
  template <class... ModelArguments>
  static ptr_const<Model> model_on(const ptr_const<Parameter>& params, const std::vector<datetime>& dates,
                                   const char* model_name, const ModelArguments&... model_arguments) {
    QAVREK_CHECK(params != nullptr, "a ", model_name, " diffusion needs its parameter set");
    return std::make_shared<const Model>(*params, dates.front(), dates, model_arguments...);
  }

  // Declared before the model, which borrows it.
  ptr_const<Parameter> params_;
  ptr_const<Model> model_;
};

}  // namespace qavrek
