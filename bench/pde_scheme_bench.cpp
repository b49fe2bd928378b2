// Time steps of the PDE schemes: every split scheme on a 200 x 100 grid with correlated dimensions over 100 steps,
// and the one-dimensional Crank-Nicolson scheme on 1,000 points over 1,000 steps. Reports grid-point updates per
// second (points times steps); the coefficients are filled once, as a model that changes nothing would leave them.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "PDE/grid/space_grid.h"
#include "PDE/grid/time_grid.h"
#include "PDE/scheme/pde_model_coefficients.h"
#include "PDE/scheme/pde_scheme.h"
#include "PDE/scheme/pde_storage.h"

namespace {

using namespace qavrek;

ptr_const<time_grid> daily_steps(size_t steps) {
  std::vector<datetime> dates;
  for (size_t i = 1; i < steps; ++i) dates.emplace_back(double(i));
  const time_grid_config config(time_grid_config::time_grid_type::KEY_DATES,
                                time_grid_config::time_grid_direction_type::BACKWARD, false, 0.0, 0, 0.0);
  return std::make_shared<const time_grid>(config, datetime(0.0), datetime(double(steps)), std::vector<datetime>{},
                                           dates);
}

ptr_const<space_grid> axis(size_t n, double half_width) {
  const space_grid_config config(space_grid_type::UNIFORM, false, false, transformation_type::NONE, 0.0, 0.0, 0.0);
  return std::make_shared<const space_grid>(config, n, -half_width, half_width, 0.0, std::vector<double>{});
}

// One year in daily steps of a log-spot with 20% to 30% volatility and a 3% rate, from a call payoff.
void run(benchmark::State& state, pde_scheme_type type, const std::vector<size_t>& sizes, size_t steps) {
  const size_t dimensions = sizes.size();
  std::vector<ptr_const<space_grid>> grids;
  std::vector<ptr_const<pde_model_coefficients>> shared;
  size_t total = 1;
  for (size_t d = 0; d < dimensions; ++d) {
    grids.push_back(axis(sizes[d], 1.5));
    total *= sizes[d];
  }
  const double dt = 1.0 / double(steps);
  for (size_t d = 0; d < dimensions; ++d) {
    auto c = std::make_shared<pde_model_coefficients>(sizes, dimensions > 1);
    const double variance = std::pow(0.2 + 0.1 * double(d), 2.0);
    c->diffusion().fill(0.5 * variance * dt);
    c->convection().fill((0.03 - 0.5 * variance) * dt);
    c->reaction().fill(d == 0 ? -0.03 * dt : 0.0);
    shared.push_back(c);
  }
  matrix<double> correlation;
  if (dimensions > 1) correlation = matrix<double>{{1.0, -0.6}, {-0.6, 1.0}};
  const auto grid = daily_steps(steps);
  const auto scheme = pde_scheme::create_scheme(grid, grids, shared, std::vector<size_t>(dimensions, 3),
                                                std::vector<bool>(dimensions, false), type, false, correlation);
  const boundary_coefficients ends{{shared[0], shared[0]}};
  pde_storage storage(1, 1, sizes);
  for (auto _ : state) {
    state.PauseTiming();
    for (size_t p = 0; p < total; ++p) {
      const double x = grids[0]->axis()[p / (total / sizes[0])];
      storage.result()[p] = std::max(std::exp(x) - 1.0, 0.0);
    }
    state.ResumeTiming();
    for (size_t step = grid->size() - 1; step > 0; --step) {
      scheme->initialize(step);
      scheme->diffuse(storage, ends, 1.0);
    }
    benchmark::DoNotOptimize(storage.result().data());
    benchmark::ClobberMemory();
  }
  state.counters["updates/s"] =
      benchmark::Counter(double(total) * double(steps), benchmark::Counter::kIsIterationInvariantRate);
}

void split(benchmark::State& state) { run(state, pde_scheme_type(state.range(0)), {200, 100}, 100); }
void one_dimension(benchmark::State& state) { run(state, pde_scheme_type::CRANK_NICOLSON, {1000}, 1000); }

}  // namespace

// 0 Hundsdorfer-Verwer, 1 Douglas, 2 Craig-Sneyd, 3 modified Craig-Sneyd.
BENCHMARK(split)->ArgName("type")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(one_dimension)->Unit(benchmark::kMillisecond);
