#pragma once

#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <vector>

#include "PDE/grid/space_grid.h"
#include "PDE/grid/time_grid.h"
#include "PDE/scheme/pde_model_coefficients.h"
#include "PDE/scheme/pde_scheme.h"
#include "PDE/scheme/pde_storage.h"

// Grids, coefficients and the step loop that the scheme tests share. Time runs in days; the coefficients of a
// step carry its length, so an equation du/dt = d u'' + c u' + r u gets D = d dt, C = c dt, R = r dt per step.
namespace qavrek::test {

using direction = time_grid_config::time_grid_direction_type;

// `steps` equal steps from 0 to `end`, walked backward unless `forward`.
inline ptr_const<time_grid> equal_steps(double end, size_t steps, bool forward = false) {
  std::vector<datetime> dates;
  for (size_t i = 1; i < steps; ++i) dates.emplace_back(end * double(i) / double(steps));
  const time_grid_config config(time_grid_config::time_grid_type::KEY_DATES,
                                forward ? direction::FORWARD : direction::BACKWARD, false, 0.0, 0, 0.0);
  return std::make_shared<const time_grid>(config, datetime(0.0), datetime(end), std::vector<datetime>{}, dates);
}

// The given dates (ascending, in days), walked backward.
inline ptr_const<time_grid> given_dates(const std::vector<double>& days) {
  std::vector<datetime> dates;
  for (double d : days) dates.emplace_back(d);
  const time_grid_config config(time_grid_config::time_grid_type::KEY_DATES, direction::BACKWARD, false, 0.0, 0, 0.0);
  return std::make_shared<const time_grid>(config, dates.front(), dates.back(), std::vector<datetime>{}, dates);
}

// Steps of at most `step` from 0 to `end`, the last `implicit_steps` before `end` fully implicit (walked backward).
inline ptr_const<time_grid> rannacher_steps(double end, double step, size_t implicit_steps) {
  const time_grid_config config(time_grid_config::time_grid_type::RANNACHER, direction::BACKWARD, false, step,
                                implicit_steps, step);
  return std::make_shared<const time_grid>(config, datetime(0.0), datetime(end),
                                           std::vector<datetime>{datetime(0.0), datetime(end)},
                                           std::vector<datetime>{});
}

inline ptr_const<space_grid> uniform_axis(size_t n, double lower, double upper) {
  const space_grid_config config(space_grid_type::UNIFORM, false, false, transformation_type::NONE, 0.0, 0.0, 0.0);
  return std::make_shared<const space_grid>(config, n, lower, upper, 0.0, std::vector<double>{});
}

inline ptr_const<space_grid> given_axis(const std::vector<double>& points) {
  const space_grid_config config(space_grid_type::GIVEN_POINTS, false, false, transformation_type::NONE, 0.0, 0.0,
                                 0.0);
  return std::make_shared<const space_grid>(config, 0, 0.0, 0.0, 0.0, points);
}

// Per-day coefficients of one dimension, constant over the grid.
struct constant_rates {
  double diffusion = 0.0, convection = 0.0, reaction = 0.0;
};

inline void fill_step(pde_model_coefficients& c, const constant_rates& rates, double dt) {
  c.diffusion().fill(rates.diffusion * dt);
  c.convection().fill(rates.convection * dt);
  c.reaction().fill(rates.reaction * dt);
}

// The values at the nodes of a tensor over the grids (grid 0 outermost), from f(point of every grid).
inline std::vector<double> on_nodes(const std::vector<ptr_const<space_grid>>& grids,
                                    const std::function<double(const std::vector<double>&)>& f) {
  size_t total = 1;
  for (const auto& g : grids) total *= g->size();
  std::vector<double> values(total);
  std::vector<double> point(grids.size());
  for (size_t p = 0; p < total; ++p) {
    size_t rest = p;
    for (size_t d = grids.size(); d-- > 0;) {
      point[d] = grids[d]->axis()[rest % grids[d]->size()];
      rest /= grids[d]->size();
    }
    values[p] = f(point);
  }
  return values;
}

// Walks every step of the grid in its direction; before each diffuse, fill(from, to) sets the coefficients.
inline void roll(pde_scheme& scheme, const time_grid& grid, pde_storage& storage, const boundary_coefficients& ends,
                 const std::function<void(double, double)>& fill, double factor = 1.0) {
  const size_t last = grid.size() - 1;
  for (size_t k = 0; k < last; ++k) {
    scheme.initialize(grid.is_direction_forward() ? k : last - k);
    fill(scheme.from().serial(), scheme.to().serial());
    scheme.diffuse(storage, ends, factor);
  }
}

// The density of a centred normal of variance v at x.
inline double gaussian(double x, double v) { return std::exp(-0.5 * x * x / v) / std::sqrt(2.0 * std::numbers::pi * v); }

// The density of a centred bivariate normal of variances vx, vy and covariance cxy at (x, y).
inline double bivariate_gaussian(double x, double y, double vx, double vy, double cxy) {
  const double det = vx * vy - cxy * cxy;
  const double q = (vy * x * x - 2.0 * cxy * x * y + vx * y * y) / det;
  return std::exp(-0.5 * q) / (2.0 * std::numbers::pi * std::sqrt(det));
}

}  // namespace qavrek::test
