#pragma once

#include <cstddef>
#include <vector>

#include "Analytics/diffusion/common/diffusion_on_model.h"
#include "Analytics/diffusion/ir/diffusion_ir.h"
#include "Core/pointers.h"
#include "Market/discount_curve.h"

namespace qavrek {

// An interest rate simulated with a model (see diffusion_on_model). The discounting row holds the integral
// of the rate. With prices relative to the curve (the Markovian HJM, extended CIR and Cheyette rates) the
// model's are normalised by its own forward prices from the first simulation date and the market discount
// curve supplies the rest, so E[discounting(t)] = P(0, t) and E[discounting(t) exp(log_df(t, T))] = P(0, T);
// with whole prices the curve is not read.
template <class Model, class Parameter, model_price_kind Prices = model_price_kind::relative_to_curve>
class diffusion_ir_on_model : public diffusion_on_model<diffusion_ir, Model, Parameter, Prices> {
 public:
  void log_df(vector<double>& output, const matrix<double>& states, const datetime& from,
              const datetime& to) const override {
    this->log_price(output, states, from, to, "log_df", [&] { return this->curve()->log_df(from, to); });
  }
  void discounting(vector<double>& output, const matrix<double>& states, const datetime& from) const override {
    this->price_from_start(output, states, from, "discounting",
                           [&] { return this->curve()->log_df(this->dates().front(), from); });
  }
  size_t discounting_state_index() const override { return this->model()->discounting_state_index(); }

 protected:
  using diffusion_on_model<diffusion_ir, Model, Parameter, Prices>::diffusion_on_model;
};

}  // namespace qavrek
