#include "Analytics/models/model_black_karasinski.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "Analytics/models/black_karasinski_step.h"
#include "Analytics/models/step_previous.h"
#include "Core/check.h"
#include "Math/gaussian_quadrature.h"
#include "Math/karhunen_loeve_expansion.h"
#include "PDE/grid/space_grid.h"
#include "PDE/scheme/pde_model_coefficients.h"
#include "Util/datetime_helper.h"
#include "Util/day_count_convention.h"
#include "Vectorization/exp_batch.h"

namespace qavrek {
namespace {

// The Gauss-Hermite roots are refined until a Newton step is below machine precision, 20 steps at most.
constexpr double root_tolerance = 2.220446049250313e-16;
constexpr size_t root_iterations = 20;

}  // namespace

model_black_karasinski::model_black_karasinski(const parameter_black_karasinski& parameter,
                                               const datetime& valuation_date, const std::vector<datetime>& dates,
                                               bool flag)
    : parameter_(&parameter), valuation_date_(valuation_date), model_flag_(flag) {
  QAVREK_CHECK(parameter.parameters() != nullptr, "the Black-Karasinski parameter set has no Markovian HJM set");
  QAVREK_CHECK(parameter.time_step_in_days() >= 1, "the Black-Karasinski time step is at least one day, not ",
               parameter.time_step_in_days());
  QAVREK_CHECK(!parameter.levels_parameter().empty(), "the Black-Karasinski model needs at least one level");
  const parameter_markovian_hjm& hjm = *parameter.parameters();

  time_step_ = year_fraction(valuation_date_, datetime(valuation_date_.serial() + parameter.time_step_in_days()));

  // A rule for the weight exp(-x^2), turned into one for a standard normal variable.
  const auto roots_count = static_cast<size_t>(std::max<short>(parameter.number_of_roots(), 0));
  roots_ = vector<double>(roots_count);
  weights_ = vector<double>(roots_count);
  gaussian_quadrature::gauss_hermite_coefficients(roots_count, roots_, weights_, true, root_tolerance, root_iterations);
  roots_ *= std::numbers::sqrt2;
  weights_ *= 1.0 / std::sqrt(std::numbers::pi);

  hjm_model_ = std::make_unique<model_markovian_hjm>(hjm, valuation_date_, dates, false);

  for (const datetime& date : parameter.levels_parameter_dates())
    levels_times_.push_back(year_fraction(valuation_date_, date));
  for (const datetime& date : hjm.volatilities_dates())
    volatilities_times_.push_back(year_fraction(valuation_date_, date));
  for (double sigma : hjm.volatilities()) squared_volatilities_.push_back(sigma * sigma);
  for (const datetime& date : hjm.decays_dates()) decays_times_.push_back(year_fraction(valuation_date_, date));
  decays_.assign(hjm.decays().begin(), hjm.decays().end());

  levels_offset_ = state_parameters_size() + hjm_model_->state_parameters_size();
  set_state_parameters_size(levels_offset_ + levels_times_.size());
  set_initialized(true);

  datetime_helper::interpolate_from_subset_dates(hjm_model_->model_dates(), parameter.levels_parameter_dates(),
                                                 levels_indices_);
}

model_black_karasinski::~model_black_karasinski() = default;

double model_black_karasinski::year_fraction(const datetime& from, const datetime& to) const {
  return parameter_->parameters()->day_convention()->fraction(from, to);
}

double model_black_karasinski::factor_decay(const datetime& t) const {
  double decay = 0.0;
  vector<double> out = vector<double>::view(&decay, 1);
  hjm_model_->decay(t, hjm_model_->date_offset(t), out);
  return decay;
}

void model_black_karasinski::evolve(const change_of_measure& measure_change, size_t i,
                                    const matrix<double>& gaussians, matrix<double>& previous,
                                    matrix<double>& states) const {
  const std::vector<datetime>& simulation_dates = dates();
  QAVREK_CHECK(i >= 1 && i < simulation_dates.size(), "step ", i, " does not move between two of the ",
               simulation_dates.size(), " simulation dates");
  const size_t n = number_of_factors();
  QAVREK_CHECK(states.rows() >= n + 1, "the states have ", states.rows(), " rows, the model ", n + 1);
  QAVREK_CHECK(gaussians.rows() >= n, "the draws have ", gaussians.rows(), " rows for ", n, " factor");
  QAVREK_CHECK(gaussians.columns() == states.columns(), "the draws have ", gaussians.columns(), " paths, the states ",
               states.columns());
  const size_t paths = states.columns();
  copy_rows_the_step_skips(states, n + 1, previous);

  const datetime& start = simulation_dates[i - 1];
  const datetime& end = simulation_dates[i];
  black_karasinski_step_coefficients step;
  step.volatility = hjm_model_->incremental_volatility_sv()(i, 0);
  step.drift = step.volatility * measure_change.row_dot(i, 0);
  // The level of the step's start serves both of its ends.
  step.level = parameter_->levels_parameter()[parameter_->levels_parameter_offset(start)];
  step.start_decay = factor_decay(start);
  step.end_decay = factor_decay(end);
  step.half_step = 0.5 * year_fraction(start, end);
  black_karasinski_step(step, gaussians[0], previous.data(), states.data(), paths);
}

void model_black_karasinski::discount_factors(const vector<double>& x, double decay, const datetime& t,
                                              const datetime& T, vector<double>& out) const {
  if (t == T) {
    out.fill(1.0);
    return;
  }
  const auto type = parameter_->parameters()->model_type() == parameter_markovian_hjm_type::HULL_WHITE
                        ? karhunen_loeve_expansion::decay_type::mean_reversion
                        : karhunen_loeve_expansion::decay_type::loading;
  const karhunen_loeve_expansion expansion(year_fraction(valuation_date_, t), year_fraction(valuation_date_, T), type,
                                           decays_, decays_times_, parameter_->levels_parameter(), levels_times_,
                                           squared_volatilities_, volatilities_times_, time_step_);
  expansion.survival_probability(x, decay, roots_, weights_, out);
}

void model_black_karasinski::log_prices(const vector<double>& x, const datetime& t, const datetime& T,
                                        vector<double>& out) const {
  discount_factors(x, factor_decay(t), t, T, out);
  for (double& price : out) price = std::log(price);
}

void model_black_karasinski::conditional_price(const matrix<double>& states, const datetime& t, const datetime& T,
                                               vector<double>& out) const {
  QAVREK_CHECK(states.rows() >= 1, "the states hold no factor row");
  log_prices(states.row(0), t, T, out);
}

void model_black_karasinski::conditional_price(double* out, std::span<const ptr_const<space_grid>> grids,
                                               const datetime& t, const datetime& T) const {
  QAVREK_CHECK(!grids.empty() && grids[0] != nullptr, "the grid price needs the factor's grid");
  const std::vector<double>& axis = grids[0]->axis();
  const vector<double> x = vector<double>::view(const_cast<double*>(axis.data()), axis.size());
  vector<double> prices = vector<double>::view(out, axis.size());
  log_prices(x, t, T, prices);
}

void model_black_karasinski::coefficients(std::span<const std::shared_ptr<pde_model_coefficients>> coefficients,
                                          std::span<const ptr_const<space_grid>> grids, const datetime& t,
                                          const datetime& T) const {
  QAVREK_CHECK(!coefficients.empty() && coefficients[0] != nullptr && !grids.empty() && grids[0] != nullptr,
               "the PDE coefficients need the factor's grid and coefficient set");
  for (const datetime* date : {&t, &T})
    QAVREK_CHECK(hjm_model_->has_covariance_at(*date), "the PDE coefficients at ", *date,
                 " need the factor's variance there: the model tabulates it at the valuation date and the simulation "
                 "dates");
  QAVREK_CHECK(!(T < t), "the PDE coefficients need the step's dates in time order, not ", t, " then ", T);
  const std::vector<double>& x = grids[0]->axis();
  pde_model_coefficients& set = *coefficients[0];
  tensor<double>& diffusion = set.diffusion();
  tensor<double>& convection = set.convection();
  tensor<double>& reaction = set.reaction();
  const size_t points = x.size();
  QAVREK_CHECK(reaction.size() == points && convection.size() == points && diffusion.size() == points,
               "the coefficient tensors hold ", diffusion.size(), ", ", convection.size(), " and ", reaction.size(),
               " values for a grid of ", points, " points");

  double variance_t = 0.0;
  double variance_end = 0.0;
  matrix<double> covariance_t = matrix<double>::view(&variance_t, 1, 1);
  matrix<double> covariance_end = matrix<double>::view(&variance_end, 1, 1);
  hjm_model_->states_variable_covariance(t, covariance_t);
  hjm_model_->states_variable_covariance(T, covariance_end);
  diffusion.fill(0.5 * std::max(variance_end - variance_t, 0.0));
  if (t == T) {
    convection.fill(0.0);
    reaction.fill(0.0);
    return;
  }
  // (dt/2) e^{level + a x} = e^{a x + c}: the two ends' rates, the convection tensor holding the second until
  // it is zeroed.
  const double level = parameter_->levels_parameter()[parameter_->levels_parameter_offset(t)];
  const double c = std::log(0.5 * year_fraction(t, T)) + level;
  const double decay_t = factor_decay(t);
  const double decay_end = factor_decay(T);
  double* start_rates = reaction.data();
  double* end_rates = convection.data();
  for (size_t j = 0; j < points; ++j) {
    start_rates[j] = decay_t * x[j] + c;
    end_rates[j] = decay_end * x[j] + c;
  }
  exp_batch_saturated(start_rates, start_rates, points);
  exp_batch_saturated(end_rates, end_rates, points);
  for (size_t j = 0; j < points; ++j) start_rates[j] = -(start_rates[j] + end_rates[j]);
  convection.fill(0.0);
}

double model_black_karasinski::variance(const datetime& t) const {
  double covariance = 0.0;
  matrix<double> out = matrix<double>::view(&covariance, 1, 1);
  hjm_model_->states_variable_covariance(t, out);
  const double decay = factor_decay(t);
  return decay * decay * covariance;
}

void model_black_karasinski::finalize_aad(double*) const {}

size_t model_black_karasinski::get_state_parameters(double* out) const {
  const size_t n = hjm_model_->get_state_parameters(out);
  std::copy(levels_times_.begin(), levels_times_.end(), out + n);
  return n + levels_times_.size();
}

size_t model_black_karasinski::set_state_parameters(const double* in) {
  const size_t n = hjm_model_->set_state_parameters(in);
  std::copy(in + n, in + n + levels_times_.size(), levels_times_.begin());
  return n + levels_times_.size();
}

}  // namespace qavrek
