#pragma once

#include <vector>

#include "Analytics/diffusion/common/diffusion_on_model.h"
#include "Analytics/diffusion/credit/diffusion_credit.h"
#include "Core/pointers.h"
#include "Market/survival_curve.h"

namespace qavrek {

// A default intensity simulated with a model (see diffusion_on_model). The discounting row holds the
// integrated intensity. With probabilities relative to the curve (the Markovian HJM and extended CIR
// intensities) the model's are normalised by its own forward ones from the first simulation date and the
// market survival curve supplies the rest, so E[survival_probability(t)] = Q(0, t); with whole
// probabilities the curve is not read.
template <class Model, class Parameter, model_price_kind Prices = model_price_kind::relative_to_curve>
class diffusion_credit_on_model : public diffusion_on_model<diffusion_credit, Model, Parameter, Prices> {
 public:
  void log_conditional_survival_probability(vector<double>& output, const matrix<double>& states, const datetime& from,
                                            const datetime& to) const override {
    this->log_price(output, states, from, to, "log_conditional_survival_probability",
                    [&] { return this->curve()->log_survival_probability(from, to); });
  }
  void survival_probability(vector<double>& output, const matrix<double>& states, const datetime& from) const override {
    this->price_from_start(output, states, from, "survival_probability",
                           [&] { return this->curve()->log_survival_probability(this->dates().front(), from); });
  }

 protected:
  using diffusion_on_model<diffusion_credit, Model, Parameter, Prices>::diffusion_on_model;
};

}  // namespace qavrek
