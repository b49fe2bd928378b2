#include "Analytics/diffusion/credit/diffusion_credit_black_karasinski.h"

#include <memory>

#include "Core/check.h"

namespace qavrek {

namespace {

ptr_const<model_black_karasinski> model_on(const ptr_const<parameter_black_karasinski>& params,
                                           const std::vector<datetime>& dates) {
  QAVREK_CHECK(params != nullptr, "a Black-Karasinski diffusion needs its parameter set");
  return std::make_shared<const model_black_karasinski>(*params, dates.front(), dates, false);
}

}  // namespace

diffusion_credit_black_karasinski::diffusion_credit_black_karasinski(
    const std::vector<datetime>& dates, const ptr_const<survival_curve>& curve,
    const ptr_const<parameter_black_karasinski>& params)
    : diffusion_credit(dates, curve), params_(params), model_(model_on(params_, this->dates())) {}

diffusion_credit_black_karasinski::~diffusion_credit_black_karasinski() = default;

void diffusion_credit_black_karasinski::states_initialize(matrix<double>& states) const { states.fill(0.0); }

void diffusion_credit_black_karasinski::propagate_state(matrix<double>& next, matrix<double>& current,
                                                        size_t time_index, const matrix<double>& gaussians,
                                                        const change_of_measure& measure_change) const {
  model_->evolve(measure_change, time_index, gaussians, current, next);
}

size_t diffusion_credit_black_karasinski::number_of_states() const { return model_->number_of_states(); }

size_t diffusion_credit_black_karasinski::number_of_factors() const { return model_->number_of_factors(); }

void diffusion_credit_black_karasinski::log_conditional_survival_probability(vector<double>& output,
                                                                             const matrix<double>& states,
                                                                             const datetime& from,
                                                                             const datetime& to) const {
  if (from == to) {
    output.fill(0.0);
    return;
  }
  check_simulation_date(from, "log_conditional_survival_probability");
  model_->conditional_price(states, from, to, output);
}

void diffusion_credit_black_karasinski::survival_probability(vector<double>& output, const matrix<double>& states,
                                                             const datetime& from) const {
  check_simulation_date(from, "survival_probability");
  exp_of_shifted_row(output, states, model_->discounting_state_index(), 0.0);
}

}  // namespace qavrek
