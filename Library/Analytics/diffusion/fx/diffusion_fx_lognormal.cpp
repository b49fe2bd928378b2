#include "Analytics/diffusion/fx/diffusion_fx_lognormal.h"

#include "Core/check.h"

namespace qavrek {

diffusion_fx_lognormal::diffusion_fx_lognormal(const std::vector<datetime>& dates, const ptr_const<fx_spot>& spot,
                                               const ptr_const<discount_curve>& domestic_curve,
                                               const ptr_const<discount_curve>& foreign_curve,
                                               const ptr_const<parameter_lognormal>& params)
    : diffusion_fx(dates, spot, domestic_curve, foreign_curve),
      params_(params),
      model_(model_lognormal::on_dates(params_, this->dates())) {}

diffusion_fx_lognormal::~diffusion_fx_lognormal() = default;

void diffusion_fx_lognormal::states_initialize(matrix<double>& states) const { states.fill(0.0); }

void diffusion_fx_lognormal::propagate_state(matrix<double>& next, matrix<double>&, size_t time_index,
                                             const matrix<double>& gaussians,
                                             const change_of_measure& measure_change) const {
  QAVREK_CHECK(time_index >= 1 && time_index < dates().size(), "step ", time_index,
               " does not move between two of the ", dates().size(), " simulation dates");
  const datetime& from = dates()[time_index - 1];
  const datetime& to = dates()[time_index];
  const double foreign = foreign_curve()->log_df(from, to);
  const double domestic = domestic_curve()->log_df(from, to);
  model_->evolve(measure_change, time_index, gaussians, next, foreign - domestic);
}

size_t diffusion_fx_lognormal::number_of_states() const { return model_->number_of_states(); }

size_t diffusion_fx_lognormal::number_of_factors() const { return model_->number_of_factors(); }

}  // namespace qavrek
