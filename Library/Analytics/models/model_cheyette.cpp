#include "Analytics/models/model_cheyette.h"

#include <algorithm>
#include <cmath>

#include "Analytics/models/cheyette_step.h"
#include "Analytics/models/factor_scratch.h"
#include "Analytics/models/step_previous.h"
#include "Core/check.h"
#include "Math/gaussian_quadrature.h"
#include "Math/hartman_watson_distribution.h"
#include "PDE/grid/space_grid.h"
#include "PDE/scheme/pde_model_coefficients.h"
#include "Util/datetime_helper.h"
#include "Util/day_count_convention.h"

namespace qavrek {
model_cheyette::model_cheyette(const parameter_cheyette& parameter, const datetime& valuation_date,
                               const std::vector<datetime>& simulation_dates, bool reduced_states,
                               bool decay_skew_level)
    : parameter_(&parameter),
      valuation_date_(valuation_date),
      reduced_states_(reduced_states),
      decay_skew_level_(decay_skew_level),
      factors_(parameter.number_of_factors()) {
  QAVREK_CHECK(!parameter.skew_parameter_dates().empty(), "the Cheyette model needs at least one skew date");
  build_model_dates(simulation_dates);
  hjm_model_ = std::make_unique<model_markovian_hjm>(*parameter.parameters(), valuation_date, simulation_dates, false);
  datetime_helper::interpolate_from_subset_dates(model_dates_, parameter.skew_parameter_dates(), skew_indices_);
  build_skew_rows();
  set_state_parameters_size(state_parameters_size() + hjm_model_->state_parameters_size());
  set_initialized(true);
  build_rule(root_size_, nodes_, weights_);
  build_rule(fine_root_size_, fine_nodes_, fine_weights_);
  fill_averages();
}

void model_cheyette::build_rule(size_t size, vector<double>& nodes, vector<double>& weights) {
  const size_t n = size - 1;
  nodes.resize(size);
  weights.resize(2 * n + 1);
  vector<double> gauss_weights(size);
  gaussian_quadrature::gauss_kronrod(n, nodes, weights, gauss_weights, 1e-14, 20);
  for (size_t k = 0; k < n; ++k) weights[2 * n - k] = weights[k];
}

model_cheyette::~model_cheyette() = default;

void model_cheyette::build_model_dates(const std::vector<datetime>& simulation_dates) {
  const std::vector<datetime>& skew_dates = parameter_->skew_parameter_dates();
  if (reduced_states_) {
    if (valuation_date_ < skew_dates.front()) model_dates_.push_back(valuation_date_);
    model_dates_.insert(model_dates_.end(), skew_dates.begin(), skew_dates.end());
  } else {
    datetime_helper::merge_dates(skew_dates, simulation_dates, model_dates_);
  }
}

void model_cheyette::build_skew_rows() {
  const std::vector<datetime>& dates = simulation_dates();
  step_skew_rows_.assign(dates.size(), 0);
  for (size_t i = 1; i < dates.size(); ++i) step_skew_rows_[i] = skew_row_after(dates[i - 1]);
}

void model_cheyette::fill() {
  hjm_model_->fill();
  fill_averages();
}

void model_cheyette::fill_averages() {
  const std::vector<datetime>& dates = simulation_dates();
  const matrix<double>& sv = hjm_model_->incremental_volatility_sv();
  const matrix<double>& skews = parameter_->skew_parameter();
  const day_count_convention& convention = *parameter_->parameters()->day_convention();
  average_volatilities_.resize(dates.size());
  average_skew_volatilities_.resize(dates.size());
  double variance_sum = 0.0;
  double skew_variance_sum = 0.0;
  for (size_t i = 0; i < dates.size(); ++i) {
    if (dates[i] == valuation_date_) {
      average_volatilities_[i] = 0.0;
      average_skew_volatilities_[i] = 0.0;
      continue;
    }
    const double sigma = sv(i, 0);
    const double skewed = skews(skew_row_at(dates[i]), 0) * sigma;
    variance_sum += sigma * sigma;
    skew_variance_sum += skewed * skewed;
    const double tau = convention.fraction(valuation_date_, dates[i]);
    average_volatilities_[i] = std::sqrt(variance_sum / tau);
    average_skew_volatilities_[i] = std::sqrt(skew_variance_sum / tau);
  }
}

size_t model_cheyette::number_of_states() const noexcept {
  return reduced_states_ ? 2 * factors_ : factors_ * (factors_ + 3);
}

size_t model_cheyette::simulation_position(const datetime& t, const char* query) const {
  const std::vector<datetime>& dates = simulation_dates();
  const auto found = std::lower_bound(dates.begin(), dates.end(), t);
  QAVREK_CHECK(found != dates.end() && *found == t, query, " is asked at ", t,
               ", which is not a simulation date of the model");
  return static_cast<size_t>(found - dates.begin());
}

size_t model_cheyette::skew_row_at(const datetime& t) const {
  return skew_indices_[datetime_helper::date_offset(t, model_dates_, true)];
}

size_t model_cheyette::skew_row_after(const datetime& t) const {
  // A row applies on (d_{k-1}, d_k]: after t the row of the model date that follows it is in force.
  if (t < model_dates_.front()) return skew_indices_.front();
  const size_t position = datetime_helper::date_offset(t, model_dates_, true);
  return skew_indices_[std::min(position + 1, skew_indices_.size() - 1)];
}

double model_cheyette::variance_at(size_t i) const {
  const double tau = parameter_->parameters()->day_convention()->fraction(valuation_date_, simulation_dates()[i]);
  return average_skew_volatilities_[i] * average_skew_volatilities_[i] * tau;
}

double model_cheyette::variance(const datetime& t) const {
  const std::vector<datetime>& dates = simulation_dates();
  const auto found = std::lower_bound(dates.begin(), dates.end(), t);
  if (found == dates.end() || !(*found == t)) return -1.0;
  return variance_at(static_cast<size_t>(found - dates.begin()));
}

double model_cheyette::average_skew_volatility(const datetime& t) const {
  return average_skew_volatilities_[simulation_position(t, "average_skew_volatility")];
}

double model_cheyette::average_skew(const datetime& t) const {
  const size_t i = simulation_position(t, "average_skew");
  if (average_volatilities_[i] > 0.0) return average_skew_volatilities_[i] / average_volatilities_[i];
  return std::abs(parameter_->skew_parameter()(skew_row_after(t), 0));
}

double model_cheyette::signed_average_skew(const datetime& t) const {
  const size_t last = simulation_position(t, "signed_average_skew");
  const double size = average_skew(t);
  if (!(average_volatilities_[last] > 0.0)) return parameter_->skew_parameter()(skew_row_after(t), 0);
  const std::vector<datetime>& dates = simulation_dates();
  const matrix<double>& sv = hjm_model_->incremental_volatility_sv();
  double weighted = 0.0;
  for (size_t i = 0; i <= last; ++i)
    if (valuation_date_ < dates[i]) weighted += skew(dates[i]) * sv(i, 0) * sv(i, 0);
  return weighted < 0.0 ? -size : size;
}

double model_cheyette::skew(const datetime& t) const { return parameter_->skew_parameter()(skew_row_at(t), 0); }

void model_cheyette::density(vector<double>& weights, vector<double>& nodes, double variance) const {
  hartman_watson_distribution::cheyette_density(weights, nodes, variance, nodes_, weights_, fine_nodes_, fine_weights_);
}

void model_cheyette::conditional_price(const matrix<double>& states, const datetime& t, const datetime& T,
                                       vector<double>& out) const {
  const size_t n = factors_;
  QAVREK_CHECK(states.rows() >= n * (n + 1), "the states have ", states.rows(), " rows, x and y need ", n * (n + 1));
  factor_scratch scratch(2 * n);
  vector<double> integral_t = vector<double>::view(scratch.block(0), n);
  vector<double> integral_T = vector<double>::view(scratch.block(n), n);
  hjm_model_->integral_decay(t, integral_t);
  hjm_model_->integral_decay(T, integral_T);
  // The first term assigns, so that an output of the wrong size is refused before anything is written.
  for (size_t f = 0; f < n; ++f) {
    const double difference = integral_T[f] - integral_t[f];
    if (f == 0) {
      out = -difference * states.row(0);
    } else {
      out -= difference * states.row(f);
    }
    for (size_t g = 0; g < n; ++g) {
      const double weight = 0.5 * difference * (integral_T[g] + integral_t[g]);
      out -= weight * states.row(y_state_index(f, g));
    }
  }
}

void model_cheyette::evolve(const change_of_measure& measure_change, size_t i, const matrix<double>& gaussians,
                            matrix<double>& previous, matrix<double>& states) const {
  const std::vector<datetime>& dates = simulation_dates();
  QAVREK_CHECK(i >= 1 && i < dates.size(), "step ", i, " does not move between two of the ", dates.size(),
               " simulation dates");
  const size_t n = factors_;
  const size_t integral_row = discounting_state_index();
  QAVREK_CHECK(states.rows() > integral_row, "the states have ", states.rows(), " rows, a step writes ",
               integral_row + 1);
  QAVREK_CHECK(gaussians.rows() >= n, "the draws have ", gaussians.rows(), " rows for ", n, " factors");
  QAVREK_CHECK(gaussians.columns() == states.columns(), "the draws have ", gaussians.columns(),
               " paths, the states ", states.columns());
  const size_t paths = states.columns();
  copy_rows_the_step_skips(states, integral_row + 1, previous);

  // Per factor: the inverse skew, the skew level and the measure's shift; per pair of factors the weights of
  // y in the integral at the step's end and start.
  factor_scratch scratch(3 * n + 2 * n * n);
  double* inverse_skew = scratch.block(0);
  double* level = scratch.block(n);
  double* shift = scratch.block(2 * n);
  double* weight_end = scratch.block(3 * n);
  double* weight_start = scratch.block(3 * n + n * n);
  // G is tabulated on the HJM model dates, where the simulation dates sit at simulation_index.
  const double* g_end = hjm_model_->integral_decay()[hjm_model_->simulation_index()[i]];
  const double* g_start = hjm_model_->integral_decay()[hjm_model_->simulation_index()[i - 1]];
  const double* skew = parameter_->skew_parameter()[step_skew_rows_[i]];
  const matrix<double>& rho = parameter_->correlation();
  double largest_skew = 0.0;
  for (size_t f = 0; f < n; ++f) {
    inverse_skew[f] = skew[f] != 0.0 ? 1.0 / skew[f] : 0.0;  // unread for a zero skew
    level[f] = decay_skew_level_ ? g_start[f] : parameter_->long_term_skew_level();
    shift[f] = measure_change.row_dot(i, f);
    // fmax lets a number win over NaN.
    largest_skew = std::fmax(largest_skew, std::abs(skew[f]));
    for (size_t g = 0; g < n; ++g) {
      weight_end[f * n + g] = 0.5 * g_end[f] * g_end[g];
      weight_start[f * n + g] = 0.5 * g_start[f] * g_start[g];
    }
  }
  cheyette_step_coefficients coefficients;
  coefficients.factors = n;
  coefficients.volatilities = hjm_model_->incremental_volatility_sv()[i];
  coefficients.integral_volatilities = hjm_model_->incremental_volatility_mm()[i];
  coefficients.skews = skew;
  coefficients.inverse_skews = inverse_skew;
  coefficients.levels = level;
  coefficients.shifts = shift;
  coefficients.decays_end = g_end;
  coefficients.decays_start = g_start;
  coefficients.correlations = rho.data();
  coefficients.weights_end = weight_end;
  coefficients.weights_start = weight_start;
  coefficients.cap = local_volatility_cap(largest_skew, variance_at(i));
  cheyette_step(coefficients, gaussians.data(), previous.data(), states.data(), paths);
}

void model_cheyette::finalize_aad(double*) const {}

size_t model_cheyette::get_state_parameters(double* out) const { return hjm_model_->get_state_parameters(out); }

size_t model_cheyette::set_state_parameters(const double* in) { return hjm_model_->set_state_parameters(in); }

// ---------------------------------------------------------------------------------------------------
// PDE on the grids of x and y

void model_cheyette::step_volatility(const datetime& from, const datetime& to, const double* x, size_t x_points,
                                     const double* y, size_t y_points, double* out) const {
  const double end_variance = variance(to);
  const double start_variance = from == valuation_date_ ? 0.0 : variance(from);
  QAVREK_CHECK(end_variance >= 0.0 && start_variance >= 0.0 && !(to < from), "a PDE step from ", from, " to ", to,
               " needs two simulation dates in time order (the first may be the valuation date)");
  const double deviation = std::sqrt(std::max(end_variance - start_variance, 0.0));
  const double skew = parameter_->skew_parameter()(skew_row_at(to), 0);
  if (skew == 0.0) {
    // The Gaussian case: x and y do not bend the volatility.
    std::fill(out, out + x_points * y_points, deviation);
    return;
  }
  const double cap = local_volatility_cap(std::abs(skew), end_variance);
  double level = parameter_->long_term_skew_level();
  if (decay_skew_level_) {
    vector<double> integral = vector<double>::view(&level, 1);
    hjm_model_->integral_decay(from, integral);
  }
  // On the grids b (x + L y) is x + (L / b) y.
  const double ratio = level / skew;
  QAVREK_CHECK(std::isfinite(ratio), "the skew ", skew, " at ", to, " is too small for the units of the PDE grids");
  for (size_t j = 0; j < x_points; ++j)
    for (size_t m = 0; m < y_points; ++m)
      out[j * y_points + m] = deviation * local_volatility_multiplier(x[j] + ratio * y[m], cap);
}

void model_cheyette::volatility(size_t k, const vector<double>& x, const vector<double>& y,
                                matrix<double>& out) const {
  const std::vector<datetime>& dates = simulation_dates();
  QAVREK_CHECK(k < dates.size(), "step ", k, " does not end at one of the ", dates.size(), " simulation dates");
  QAVREK_CHECK(out.rows() == x.size() && out.columns() == y.size(), "the volatilities are ", x.size(), " x ",
               y.size(), ", not ", out.rows(), " x ", out.columns());
  step_volatility(k == 0 ? valuation_date_ : dates[k - 1], dates[k], x.data(), x.size(), y.data(), y.size(),
                  out.data());
}

void model_cheyette::coefficients(std::span<const std::shared_ptr<pde_model_coefficients>> coefficients,
                                  std::span<const ptr_const<space_grid>> grids, const datetime& t,
                                  const datetime& T) const {
  QAVREK_CHECK(factors_ == 1, "the Cheyette PDE has one factor, not ", factors_);
  QAVREK_CHECK(coefficients.size() >= 2 && grids.size() >= 2, "the Cheyette PDE needs the grids and coefficient "
               "sets of x and y, not ", grids.size(), " and ", coefficients.size());
  for (size_t d = 0; d < 2; ++d)
    QAVREK_CHECK(coefficients[d] != nullptr && grids[d] != nullptr, "dimension ", d, " has no grid or coefficient set");
  const std::vector<double>& x = grids[0]->axis();
  const std::vector<double>& y = grids[1]->axis();
  pde_model_coefficients& x_set = *coefficients[0];
  pde_model_coefficients& y_set = *coefficients[1];
  const size_t nodes = x.size() * y.size();
  for (const tensor<double>* values : {&x_set.diffusion(), &x_set.convection(), &x_set.reaction(), &y_set.diffusion(),
                                       &y_set.convection(), &y_set.reaction()})
    QAVREK_CHECK(values->size() == nodes, "a coefficient tensor of ", values->size(), " values on ", x.size(),
                 " x ", y.size(), " nodes");
  tensor<double>& x_diffusion = x_set.diffusion();
  step_volatility(t, T, x.data(), x.size(), y.data(), y.size(), x_diffusion.data());
  // dx = s M dW and dy = (s M)^2 dt.
  x_diffusion = 0.5 * x_diffusion * x_diffusion;
  y_set.convection() = 2.0 * x_diffusion;
  x_set.convection().fill(0.0);
  x_set.reaction().fill(0.0);
  y_set.diffusion().fill(0.0);
  y_set.reaction().fill(0.0);
}

void model_cheyette::conditional_price(double* out, std::span<const ptr_const<space_grid>> grids, const datetime& t,
                                       const datetime& T) const {
  QAVREK_CHECK(factors_ == 1, "the Cheyette grid price has one factor, not ", factors_);
  QAVREK_CHECK(grids.size() >= 2 && grids[0] != nullptr && grids[1] != nullptr,
               "the Cheyette grid price needs the grids of x and y");
  const double skew = signed_average_skew(t);
  QAVREK_CHECK(std::abs(skew) > 0.0, "the grid price at ", t,
               " needs a skew: the grids are in units of the skewed variance");
  double integral = 0.0;
  vector<double> integral_view = vector<double>::view(&integral, 1);
  hjm_model_->integral_decay(T, integral_view);
  const double weight = -integral / skew;
  const std::vector<double>& x = grids[0]->axis();
  const std::vector<double>& y = grids[1]->axis();
  for (size_t j = 0; j < x.size(); ++j)
    for (size_t m = 0; m < y.size(); ++m) out[j * y.size() + m] = weight * x[j] - 0.5 * weight * weight * y[m];
}

}  // namespace qavrek
