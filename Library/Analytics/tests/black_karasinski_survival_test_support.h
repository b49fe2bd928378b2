#pragma once

// What the survival solver and level calibration tests share: settings that change only the solver's grids, and
// a solver over a parameter set's level dates with the model whose tables it took.

#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

#include "Analytics/models/model_black_karasinski.h"
#include "Analytics/pde_pricing/black_karasinski_pde_solver.h"
#include "Analytics/settings/calibration_black_karasinski_settings.h"
#include "Util/tenor.h"
#include "black_karasinski_test_support.h"

namespace qavrek::black_karasinski_test {

struct grid_settings {
  size_t nodes = 129;
  bool backward = true;
  double span = 3.0;
  double step = 30.0;
  size_t period = 10;
};

inline calibration_black_karasinski_settings settings_of(const grid_settings& g) {
  return calibration_black_karasinski_settings(tenor("3M"), 0.0, g.backward, true, g.nodes, g.span, -50.0, 50.0, 1e-13,
                                               false, g.step, g.period, 1.0);
}

// A solver over a parameter set's level dates (the set_up's own, or `levels`, a set of the same HJM inputs),
// after `update` with its model. The set_up gives the factor's spread in closed form (HULL_WHITE decays).
struct survival_pde {
  set_up inputs;
  ptr_mutable<parameter_black_karasinski> parameter;
  std::unique_ptr<black_karasinski_pde_solver> solver;
  std::unique_ptr<model_black_karasinski> model;

  survival_pde(const set_up& s, const calibration_black_karasinski_settings& settings,
               ptr_mutable<parameter_black_karasinski> levels)
      : inputs(s),
        parameter(std::move(levels)),
        solver(std::make_unique<black_karasinski_pde_solver>(valuation(), parameter->levels_parameter(), *parameter,
                                                             parameter->levels_parameter_dates(), settings)),
        model(std::make_unique<model_black_karasinski>(*parameter, valuation(), solver->time_grid(), true)) {
    solver->update(*model);
  }
  survival_pde(const set_up& s, const grid_settings& g) : survival_pde(s, settings_of(g), s.parameter()) {}

  // The spread of the factor x at level date `index`: x has the increments of integral sigma^2 e^{2 kappa u}.
  double deviation(size_t index) const {
    const double t = years(parameter->levels_parameter_dates()[index]);
    return std::sqrt(weighted_variance(inputs, 0.0, t, 2.0 * inputs.mean_reversion));
  }

  // The survival to level date `index` on a grid spanning the factor's spread there.
  double survival(size_t index) {
    solver->update_states(deviation(index));
    return solver->survival_probability(index, true);
  }

  // exp of the model's conditional log price from the valuation date at x = 0.
  double conditional_price(size_t index) const {
    vector<double> log_price(1);
    model->conditional_price(matrix<double>(2, 1), valuation(), parameter->levels_parameter_dates()[index], log_price);
    return std::exp(log_price[0]);
  }
};

}  // namespace qavrek::black_karasinski_test
