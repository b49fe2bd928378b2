#include "Analytics/diffusion/ir/diffusion_ir_extended_cir.h"

#include <memory>

#include "Core/check.h"

namespace qavrek {

namespace {

ptr_const<model_extended_cir> model_on(const ptr_const<parameter_extended_cir>& params,
                                       const std::vector<datetime>& dates) {
  QAVREK_CHECK(params != nullptr, "an extended CIR diffusion needs its parameter set");
  return std::make_shared<const model_extended_cir>(*params, dates.front(), dates, false);
}

}  // namespace

diffusion_ir_extended_cir::diffusion_ir_extended_cir(const std::vector<datetime>& dates,
                                                     const ptr_const<discount_curve>& curve,
                                                     const ptr_const<parameter_extended_cir>& params)
    : diffusion_ir(dates, curve), params_(params), model_(model_on(params_, this->dates())) {}

diffusion_ir_extended_cir::~diffusion_ir_extended_cir() = default;

void diffusion_ir_extended_cir::states_initialize(matrix<double>& states) const { states.fill(0.0); }

void diffusion_ir_extended_cir::propagate_state(matrix<double>& next, matrix<double>& current, size_t time_index,
                                                const matrix<double>& gaussians,
                                                const change_of_measure& measure_change) const {
  model_->evolve(measure_change, time_index, gaussians, current, next);
}

size_t diffusion_ir_extended_cir::number_of_states() const { return model_->number_of_states(); }

size_t diffusion_ir_extended_cir::number_of_factors() const { return model_->number_of_factors(); }

size_t diffusion_ir_extended_cir::discounting_state_index() const { return model_->discounting_state_index(); }

void diffusion_ir_extended_cir::log_df(vector<double>& output, const matrix<double>& states, const datetime& from,
                                       const datetime& to) const {
  if (from == to) {
    output.fill(0.0);
    return;
  }
  check_simulation_date(from, "log_df");
  model_->conditional_price(states, from, to, output);
  output += curve()->log_df(from, to);
}

void diffusion_ir_extended_cir::discounting(vector<double>& output, const matrix<double>& states,
                                            const datetime& from) const {
  check_simulation_date(from, "discounting");
  exp_of_shifted_row(output, states, discounting_state_index(), curve()->log_df(dates().front(), from));
}

}  // namespace qavrek
