// A one-factor Bermudan swaption through the PDE manager: Hull-White dynamics of the Markovian HJM model on 200
// points and 500 steps of about four days, exercisable yearly from 2 to 6 years into a swap ending at 7 years, with
// the two-stage L-stable scheme. Measured against the same steps driven by hand: the scheme alone on coefficients
// that change at every step, the scheme with the model filling them at every step, which is the manager's work less
// its own bookkeeping, and the scheme on fixed coefficients.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/pde_pricing/pde_manager.h"
#include "Analytics/tests/pde_manager_test_support.h"
#include "PDE/grid/space_grid.h"
#include "PDE/grid/time_grid.h"
#include "PDE/scheme/pde_storage.h"
#include "bench_support.h"

namespace {

using namespace qavrek;

constexpr size_t points = 200;
constexpr size_t steps = 500;
constexpr double strike = 0.033;
constexpr double market_rate = 0.03;

datetime year(int years) { return datetime(bench::valuation.serial() + 365.0 * years); }
double market_discount(const datetime& date) {
  return std::exp(-market_rate * (date.serial() - bench::valuation.serial()) / 365.0);
}

struct bermudan_problem {
  std::vector<datetime> swap_dates{year(2), year(3), year(4), year(5), year(6), year(7)};
  std::vector<datetime> exercises{year(2), year(3), year(4), year(5), year(6)};
  ptr_const<time_grid> grid;
  ptr_const<parameter_markovian_hjm> parameter = std::make_shared<const parameter_markovian_hjm>(
      matrix<double>{{0.06}}, matrix<double>{{0.01}}, matrix<double>{{1.0}}, std::vector<datetime>{year(10)},
      std::vector<datetime>{year(10)}, std::make_shared<const day_count_convention>(),
      parameter_markovian_hjm_type::HULL_WHITE);
  ptr_const<model_markovian_hjm> model;
  std::vector<ptr_const<space_grid>> grids;
  std::vector<double> factors;

  bermudan_problem() {
    std::vector<datetime> uniform;
    const double last = exercises.back().serial();
    for (size_t i = 1; i < steps; ++i)
      uniform.emplace_back(bench::valuation.serial() + (last - bench::valuation.serial()) * double(i) / steps);
    std::vector<datetime> events{bench::valuation};
    events.insert(events.end(), exercises.begin(), exercises.end());
    const time_grid_config config(time_grid_config::time_grid_type::KEY_DATES,
                                  time_grid_config::time_grid_direction_type::BACKWARD, false, 0.0, 0, 0.0);
    grid = std::make_shared<const time_grid>(config, bench::valuation, exercises.back(), events, uniform);
    model = std::make_shared<const model_markovian_hjm>(*parameter, bench::valuation, grid->dates(), false);
    matrix<double> covariance;
    model->states_variable_covariance(exercises.back(), covariance);
    const space_grid_config uniform_config(space_grid_type::UNIFORM, false, false, transformation_type::NONE, 0.0, 0.0,
                                           0.0);
    const double width = 6.0 * std::sqrt(covariance(0, 0));
    grids.push_back(
        std::make_shared<const space_grid>(uniform_config, points, -width, width, 0.0, std::vector<double>{}));
    factors.assign(grid->size(), 1.0);
    for (size_t k = 1; k < grid->size(); ++k)
      factors[k] = market_discount(grid->date(k)) / market_discount(grid->date(k - 1));
  }

  // The payer swap entered at t on the grid: 1 - K tau_i P(t, T_i) - P(t, T_n) over the periods from t on.
  void swap_values(const datetime& t, double* values, double* log_prices) const {
    std::fill(values, values + points, 1.0);
    for (size_t i = 1; i < swap_dates.size(); ++i) {
      if (!(t < swap_dates[i])) continue;
      const double coupon = strike * (swap_dates[i].serial() - swap_dates[i - 1].serial()) / 365.0 +
                            (i + 1 == swap_dates.size() ? 1.0 : 0.0);
      model->conditional_price(log_prices, grids, t, swap_dates[i]);
      const double forward = coupon * market_discount(swap_dates[i]) / market_discount(t);
      for (size_t p = 0; p < points; ++p) values[p] -= forward * std::exp(log_prices[p]);
    }
  }

  // Max(swap, 0) at the last exercise, max(value, swap) at the others; `values` holds the grid's points.
  void exercise(const datetime& t, double* values, bool last, std::vector<double>& work) const {
    if (std::find(exercises.begin(), exercises.end(), t) == exercises.end()) return;
    if (last != (t == exercises.back())) return;
    double* swap = work.data();
    swap_values(t, swap, work.data() + points);
    for (size_t p = 0; p < points; ++p) values[p] = last ? std::max(swap[p], 0.0) : std::max(values[p], swap[p]);
  }
};

void BM_BermudanSwaptionThroughManager(benchmark::State& state) {
  const bermudan_problem problem;
  pde_manager manager({pde_test::pde_diffusion(problem.grid->dates(), problem.model, problem.grids)}, problem.grid,
                      {points / 2}, problem.grids, {3}, {false}, pde_scheme_type::TWO_STAGE_IMPLICIT, true,
                      matrix<double>());
  std::vector<double> work(2 * points);
  const auto exercise_into = [&](bool last) {
    return [&problem, &work, last](const datetime& date, tensor<double>& values) {
      problem.exercise(date, values.data(), last, work);
    };
  };
  const std::vector<ptr_const<instrument>> instruments{
      std::make_shared<const pde_test::grid_instrument>(1, exercise_into(true), exercise_into(false))};
  double value = 0.0;
  for (auto _ : state) {
    manager.run(instruments, problem.factors, {});
    manager.pv(&value);
    benchmark::DoNotOptimize(value);
  }
  state.counters["steps"] = double(problem.grid->size() - 1);
}
BENCHMARK(BM_BermudanSwaptionThroughManager)->Unit(benchmark::kMillisecond);

// The same walk by hand, the exercises applied as the instrument does, with the coefficients of every step:
// - model: the model fills them at every step, which is the manager's work less its own bookkeeping;
// - alternating: the model's coefficients of the last two steps, saved once, are copied in by turns: the scheme's
//   work in the manager (the coefficients change at every step, so the matrix is factorised at every step), with
//   no model and from the cache;
// - fixed: filled once from the first step, as a model that changes nothing would leave them: the matrix is
//   factorised once.
enum class filling { model, alternating, fixed };

void scheme_steps(benchmark::State& state, filling fill) {
  const bermudan_problem problem;
  const auto coefficients = std::make_shared<pde_model_coefficients>(std::vector<size_t>{points}, false);
  const std::vector<std::shared_ptr<pde_model_coefficients>> sets{coefficients};
  const auto scheme = pde_scheme::create_scheme(problem.grid, problem.grids, {coefficients}, {3}, {false},
                                                pde_scheme_type::TWO_STAGE_IMPLICIT, true, matrix<double>());
  const boundary_coefficients ends{{coefficients, coefficients}};
  const time_grid& grid = *problem.grid;
  const size_t last = grid.size() - 1;
  // Diffusion, convection and reaction of the steps from the last date (at 0) and from the one before (at 3 points).
  std::vector<double> saved(6 * points);
  for (size_t turn = 0; turn < 2; ++turn) {
    const size_t k = last - turn;
    problem.model->coefficients(sets, problem.grids, grid.date(k - 1), grid.date(k));
    double* step = saved.data() + 3 * points * turn;
    std::copy(coefficients->diffusion().begin(), coefficients->diffusion().end(), step);
    std::copy(coefficients->convection().begin(), coefficients->convection().end(), step + points);
    std::copy(coefficients->reaction().begin(), coefficients->reaction().end(), step + 2 * points);
  }
  problem.model->coefficients(sets, problem.grids, grid.date(last - 1), grid.date(last));
  std::vector<double> work(2 * points);
  for (auto _ : state) {
    pde_storage storage(1, 1, {points});
    double* values = storage.result().data();
    for (size_t k = last; k > 0; --k) {
      scheme->initialize(k);
      problem.exercise(grid.date(k), values, true, work);
      if (fill == filling::model) {
        problem.model->coefficients(sets, problem.grids, grid.date(k - 1), grid.date(k));
      } else if (fill == filling::alternating) {
        const double* step = saved.data() + 3 * points * (k % 2);
        std::copy(step, step + points, coefficients->diffusion().begin());
        std::copy(step + points, step + 2 * points, coefficients->convection().begin());
        std::copy(step + 2 * points, step + 3 * points, coefficients->reaction().begin());
      }
      scheme->diffuse(storage, ends, problem.factors[k]);
      problem.exercise(grid.date(k - 1), values, false, work);
    }
    benchmark::DoNotOptimize(values[points / 2]);
  }
}

void BM_SchemeAlone(benchmark::State& state) { scheme_steps(state, filling::alternating); }
void BM_SchemeWithModelCoefficients(benchmark::State& state) { scheme_steps(state, filling::model); }
void BM_SchemeOnFixedCoefficients(benchmark::State& state) { scheme_steps(state, filling::fixed); }
BENCHMARK(BM_SchemeAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SchemeWithModelCoefficients)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SchemeOnFixedCoefficients)->Unit(benchmark::kMillisecond);

}  // namespace
