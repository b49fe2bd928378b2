#pragma once

// What the PDE manager tests and benchmark share: a diffusion that gives the PDE coefficients of a model on the
// grids it was built with, instruments that write values on the grid through functions, grids and time grids.

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "Analytics/diffusion/common/diffusion.h"
#include "Core/error.h"
#include "Instrument/instrument.h"
#include "PDE/grid/space_grid.h"
#include "PDE/grid/time_grid.h"
#include "PDE/scheme/pde_model_coefficients.h"
#include "Util/datetime.h"

namespace qavrek::pde_test {

// A diffusion for the PDE alone: no states to simulate and no market-data view.
class pde_only_diffusion : public diffusion {
 public:
  void states_initialize(matrix<double>&) const override { no_states("states_initialize"); }
  void propagate_state(matrix<double>&, matrix<double>&, size_t, const matrix<double>&,
                       const change_of_measure&) const override {
    no_states("propagate_state");
  }
  size_t number_of_states() const override { return 0; }
  size_t number_of_factors() const override { return 0; }
  ptr_const<market_data> create_market_data(const ptr_const<diffusion>&, matrix<double>&&, matrix<double>&&,
                                            const std::vector<ptr_const<market_data>>&,
                                            const ptr_const<states_variables>&) const override {
    return nullptr;
  }

 protected:
  explicit pde_only_diffusion(const std::vector<datetime>& dates) : diffusion(dates) {}

 private:
  [[noreturn]] static void no_states(const char* function) {
    throw Error(SourceLocation{function, __FILE__, __LINE__}, "a PDE diffusion has no states to simulate");
  }
};

// Its coefficients are those of its model on its grids (the manager does not pass the grids to the diffusions).
template <class Model>
class model_pde_diffusion final : public pde_only_diffusion {
 public:
  model_pde_diffusion(const std::vector<datetime>& dates, ptr_const<Model> model,
                      std::vector<ptr_const<space_grid>> grids)
      : pde_only_diffusion(dates), model_(std::move(model)), grids_(std::move(grids)) {}

  void coefficients(std::span<const std::shared_ptr<pde_model_coefficients>> coefficients, const datetime& earlier,
                    const datetime& later) const override {
    model_->coefficients(coefficients, grids_, earlier, later);
  }

 private:
  ptr_const<Model> model_;
  std::vector<ptr_const<space_grid>> grids_;
};

template <class Model>
ptr_const<diffusion> pde_diffusion(const std::vector<datetime>& dates, const ptr_const<Model>& model,
                                   const std::vector<ptr_const<space_grid>>& grids) {
  return std::make_shared<const model_pde_diffusion<Model>>(dates, model, grids);
}

// An instrument whose `size` values on the grid are written by functions of the date: `value` at the start of
// every step, `events` at its end (either may be empty, leaving the values alone).
class grid_instrument final : public instrument {
 public:
  using writer = std::function<void(const datetime&, tensor<double>&)>;

  grid_instrument(size_t size, writer value, writer events = {})
      : size_(size), value_(std::move(value)), events_(std::move(events)) {}

  void value(const datetime& date, const std::vector<ptr_const<market_data>>&, tensor<double>& output) const override {
    if (value_) value_(date, output);
  }
  void value_american_events(const datetime& date, const std::vector<ptr_const<market_data>>&, life_cycle_data*,
                             tensor<double>& output) const override {
    if (events_) events_(date, output);
  }
  size_t size() const override { return size_; }

 private:
  size_t size_;
  writer value_;
  writer events_;
};

// Writes `values` (one per node) at `date` and leaves other dates alone: a pay-off at its date.
inline grid_instrument::writer pay_at(const datetime& date, std::function<std::vector<double>()> values) {
  return [date, values = std::move(values)](const datetime& at, tensor<double>& output) {
    if (!(at == date)) return;
    const std::vector<double> payoff = values();
    std::copy(payoff.begin(), payoff.end(), output.begin());
  };
}

// Keeps a copy of the values at `date` into `kept`: at the end of a run, the values on the grid at its last date.
inline grid_instrument::writer keep_at(const datetime& date, std::shared_ptr<std::vector<double>> kept) {
  return [date, kept = std::move(kept)](const datetime& at, tensor<double>& output) {
    if (at == date) kept->assign(output.begin(), output.end());
  };
}

inline ptr_const<space_grid> given_axis(const std::vector<double>& points) {
  const space_grid_config config(space_grid_type::GIVEN_POINTS, false, false, transformation_type::NONE, 0.0, 0.0, 0.0);
  return std::make_shared<const space_grid>(config, 0, 0.0, 0.0, 0.0, points);
}

// The points j h for j = -below .. above: 0 is a node.
inline ptr_const<space_grid> steps_of(double h, int below, int above) {
  std::vector<double> points;
  for (int j = -below; j <= above; ++j) points.push_back(h * j);
  return given_axis(points);
}

// A backward time grid between `from` and the last event date, through every event date and extra date, cut by
// `config`'s steps.
inline ptr_const<time_grid> backward_grid(time_grid_config::time_grid_type type, double coarse_step, size_t fine_steps,
                                          double fine_step, const datetime& from, const std::vector<datetime>& events,
                                          const std::vector<datetime>& extras = {}) {
  const time_grid_config config(type, time_grid_config::time_grid_direction_type::BACKWARD, false, coarse_step,
                                fine_steps, fine_step);
  std::vector<datetime> event_dates{from};
  event_dates.insert(event_dates.end(), events.begin(), events.end());
  return std::make_shared<const time_grid>(config, from, events.back(), event_dates, extras);
}

// The key dates alone, walked in the given direction.
inline ptr_const<time_grid> key_dates(const std::vector<datetime>& events, const std::vector<datetime>& extras,
                                      bool forward) {
  const time_grid_config config(time_grid_config::time_grid_type::KEY_DATES,
                                forward ? time_grid_config::time_grid_direction_type::FORWARD
                                        : time_grid_config::time_grid_direction_type::BACKWARD,
                                false, 0.0, 0, 0.0);
  return std::make_shared<const time_grid>(config, events.front(), events.back(), events, extras);
}

}  // namespace qavrek::pde_test
