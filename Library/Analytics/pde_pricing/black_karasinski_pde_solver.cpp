#include "Analytics/pde_pricing/black_karasinski_pde_solver.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "Core/check.h"
#include "Math/discretization.h"
#include "Math/tridiagonal_operations.h"
#include "PDE/grid/time_grid.h"
#include "PDE/grid/time_grid_config.h"
#include "Util/datetime_helper.h"
#include "Util/day_count_convention.h"
#include "Vectorization/exp_batch.h"

namespace qavrek {
namespace {

constexpr double epsilon = std::numeric_limits<double>::epsilon();

size_t node_count(const calibration_black_karasinski_settings& settings) {
  const size_t n = settings.pde_grid_size();
  return n % 2 == 0 && settings.backward() ? n + 1 : n;
}

// At most as many dates as the time grid lays between its key dates before it merges repeats: the keys, up to
// 2 period + 1 fine steps, and the horizon (days) in coarse steps.
double grid_dates_bound(const calibration_black_karasinski_settings& settings, size_t keys, double horizon) {
  double bound = double(keys) + 2.0 * double(settings.period()) + 1.0;
  if (settings.step() > 0.0) bound += horizon / settings.step();
  return bound;
}

}  // namespace

black_karasinski_pde_solver::black_karasinski_pde_solver(const datetime& valuation_date, std::span<const double> levels,
                                                         const parameter_black_karasinski& parameter,
                                                         const std::vector<datetime>& dates,
                                                         const calibration_black_karasinski_settings& settings)
    : levels_(levels), size_(node_count(settings)), span_(settings.pde_span()), backward_(settings.backward()) {
  QAVREK_CHECK(size_ >= 3, "the survival grid needs at least 3 nodes, not ", size_);
  QAVREK_CHECK(parameter.parameters() != nullptr, "the Black-Karasinski parameter set has no Markovian HJM set");
  const std::vector<datetime>& level_dates = parameter.levels_parameter_dates();
  QAVREK_CHECK(levels.size() == level_dates.size(), "the solver reads ", levels.size(), " levels for ",
               level_dates.size(), " level dates");
  std::vector<datetime> keys;
  for (const datetime& date : dates)
    if (!(date < valuation_date)) keys.push_back(date);
  QAVREK_CHECK(!keys.empty(), "the survival solver needs a date on or after the valuation date ", valuation_date);
  const datetime end = *std::max_element(keys.begin(), keys.end());

  // Refused before the time grid or any work vector is laid out.
  const double dates_bound = grid_dates_bound(settings, keys.size() + 2, end.serial() - valuation_date.serial());
  QAVREK_CHECK(dates_bound <= double(max_grid_cells / size_), "a time grid of up to ", dates_bound, " dates over ",
               size_, " nodes would exceed the survival solver's ", max_grid_cells, " grid cells");
  using config = time_grid_config;
  const config grid_config(config::time_grid_type::STEPPED, config::time_grid_direction_type::BACKWARD, true,
                           settings.step(), settings.period(), settings.minimum_step());
  grid_dates_ = qavrek::time_grid(grid_config, valuation_date, end, keys, keys).dates();
  QAVREK_CHECK(grid_dates_.size() <= max_grid_cells / size_, "a time grid of ", grid_dates_.size(), " dates over ",
               size_, " nodes exceeds the survival solver's ", max_grid_cells, " grid cells");

  // A level date before the valuation date is off the grid: its survival takes no step.
  const auto first_on_grid = std::lower_bound(level_dates.begin(), level_dates.end(), valuation_date);
  level_positions_.assign(size_t(first_on_grid - level_dates.begin()), 0);
  const std::vector<size_t> on_grid =
      datetime_helper::index_subset_dates(std::vector<datetime>(first_on_grid, level_dates.end()), grid_dates_);
  level_positions_.insert(level_positions_.end(), on_grid.begin(), on_grid.end());

  states_ = vector<double>(size_);
  exponents_ = vector<double>(size_);
  previous_ = vector<double>(size_);
  result_ = vector<double>(size_);
  level_offsets_.reserve(grid_dates_.size());
  for (const datetime& date : grid_dates_) level_offsets_.push_back(parameter.levels_parameter_offset(date));

  const day_count_convention& convention = *parameter.parameters()->day_convention();
  step_fractions_.assign(grid_dates_.size(), 0.0);
  for (size_t k = 1; k < grid_dates_.size(); ++k)
    step_fractions_[k] = convention.fraction(grid_dates_[k - 1], grid_dates_[k]);
  variance_increments_ = vector<double>(grid_dates_.size());
  decays_ = vector<double>(grid_dates_.size());
  step_matrices_ = vector<double>(grid_dates_.size() * 3 * size_);
  step_matrix_levels_.resize(grid_dates_.size());
  forget_step_matrices();
}

void black_karasinski_pde_solver::forget_step_matrices() {
  std::fill(step_matrix_levels_.begin(), step_matrix_levels_.end(), std::numeric_limits<double>::quiet_NaN());
}

void black_karasinski_pde_solver::update(const model_black_karasinski& model) {
  const model_markovian_hjm& driver = *model.hjm_model();
  const matrix<double>& volatilities = driver.incremental_volatility_sv();
  variance_increments_ = volatilities * volatilities;
  QAVREK_CHECK(driver.simulation_dates() == grid_dates_, "the model is not built on the solver's time grid");
  // The decay table has a row per model date, which include the parameter dates: read the grid dates' rows.
  const std::vector<size_t>& rows = driver.simulation_index();
  for (size_t k = 0; k < grid_dates_.size(); ++k) decays_[k] = driver.decay()(rows[k], 0);
  unit_decays_ = std::all_of(decays_.begin(), decays_.end(), [](double d) { return std::abs(d - 1.0) < epsilon; });
  model_ready_ = true;
  states_ready_ = false;
  forget_step_matrices();
}

void black_karasinski_pde_solver::update_states(double scale) {
  QAVREK_CHECK(model_ready_, "the survival solver takes the model before its states");
  QAVREK_CHECK(std::isfinite(scale) && scale >= 0.0, "the state grid's scale must be finite and >= 0, not ", scale);
  const double width = span_ * scale;
  const double h = 2.0 * width / double(size_ - 1);
  diffusion_factor_ = h > 0.0 ? gamma / (h * 2.0 * h) : 0.0;
  discretization::uniform(states_.data(), size_, -width, width, 0.0);
  if (unit_decays_) exp_batch(states_.data(), states_.data(), size_);
  states_ready_ = true;
  forget_step_matrices();
}

void black_karasinski_pde_solver::update(const std::vector<double>& shifts) {
  QAVREK_CHECK(shifts.empty() || shifts.size() == grid_dates_.size(), "the solver takes one shift per grid date (",
               grid_dates_.size(), "), not ", shifts.size());
  shifts_ = shifts;
  forget_step_matrices();
}

void black_karasinski_pde_solver::initial_result(vector<double>& values) {
  QAVREK_CHECK(values.size() == size_, "the initial values have ", values.size(), " entries for ", size_, " nodes");
  result_.rebind(values.data(), size_);
}

double black_karasinski_pde_solver::survival_probability(size_t index, bool reset) {
  QAVREK_CHECK(index < level_positions_.size(), "level date ", index, " of ", level_positions_.size());
  QAVREK_CHECK(model_ready_ && states_ready_, "the survival solver needs the model and its states first");
  const size_t last = level_positions_[index];
  if (backward_) {
    if (reset) result_.fill(1.0);
    for (size_t k = last; k >= 1; --k) step(k);
    return result_[size_ / 2];
  }
  result_.fill(0.0);
  result_[size_ / 2] = 1.0;
  for (size_t k = 1; k <= last; ++k) step(k);
  double mass = 0.0;
  for (double value : result_) mass += value;
  return mass;
}

void black_karasinski_pde_solver::killing_rates(size_t k, double shift, double level, double delta, double* rates) {
  const size_t n = size_;
  const double* x = states_.data();
  if (unit_decays_) {
    // The states are exp(x) and lambda = exp(level + shift) exp(x) at both ends of the step.
    const double scale = delta * gamma * std::exp(level + shift);
    for (size_t j = 0; j < n; ++j) rates[j] = scale * x[j];
    return;
  }
  const double start_decay = decays_[k - 1];
  const double end_decay = decays_[k];
  const double start_offset = shift * start_decay + level;
  const double end_offset = shift * end_decay + level;
  double* end = exponents_.data();
  for (size_t j = 0; j < n; ++j) {
    rates[j] = x[j] * start_decay + start_offset;
    end[j] = x[j] * end_decay + end_offset;
  }
  exp_batch(rates, rates, n);
  exp_batch(end, end, n);
  const double scale = delta * 0.5 * gamma;
  for (size_t j = 0; j < n; ++j) rates[j] = scale * (rates[j] + end[j]);
}

const double* black_karasinski_pde_solver::step_matrix(size_t k) {
  // The level in force at the step's start serves both of its ends.
  const double level = levels_[level_offsets_[k - 1]];
  double* bands = step_matrices_.data() + k * 3 * size_;
  if (!(step_matrix_levels_[k] == level)) {
    step_matrix_levels_[k] = std::numeric_limits<double>::quiet_NaN();
    factorise_step(k, level, bands);
    step_matrix_levels_[k] = level;
  }
  return bands;
}

void black_karasinski_pde_solver::factorise_step(size_t k, double level, double* bands) {
  const size_t n = size_;
  const double shift = shifts_.empty() ? 0.0 : shifts_[k];
  // The off-diagonal: -gamma v / (2 h^2) (a variance increment is the step's v' dt already).
  const double a = -variance_increments_[k] * diffusion_factor_;
  double* lower = bands;
  double* diagonal = lower + n;
  double* upper = diagonal + n;
  killing_rates(k, shift, level, step_fractions_[k], diagonal);
  for (size_t j = 1; j + 1 < n; ++j) diagonal[j] += 1.0 - 2.0 * a;
  // The edge nodes do not diffuse: backward their rows hold the killing term alone. Forward the matrix is
  // transposed, so that the mass that diffuses onto an edge node stays there instead of leaving the grid.
  diagonal[0] += 1.0;
  diagonal[n - 1] += 1.0;
  std::fill(lower, lower + n, a);
  std::fill(upper, upper + n, a);
  if (backward_) {
    lower[n - 1] = 0.0;
    upper[0] = 0.0;
  } else {
    lower[1] = 0.0;
    upper[n - 2] = 0.0;
  }
  tridiagonal_operations::decomposition(bands, 1, n, 1, false);
}

void black_karasinski_pde_solver::step(size_t k) {
  const double* bands = step_matrix(k);
  double* u = result_.data();
  std::copy(u, u + size_, previous_.data());
  tridiagonal_operations::solve_decomposed(u, bands, 1, size_, 1, false);
  const double* start = previous_.data();
  for (size_t j = 0; j < size_; ++j) u[j] = stage_weight * u[j] + start_weight * start[j];
  tridiagonal_operations::solve_decomposed(u, bands, 1, size_, 1, false);
}

}  // namespace qavrek
