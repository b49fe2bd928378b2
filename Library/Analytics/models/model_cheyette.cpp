#include "Analytics/models/model_cheyette.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "Analytics/models/factor_scratch.h"
#include "Core/check.h"
#include "Util/datetime_helper.h"
#include "Util/day_count_convention.h"

namespace qavrek {
namespace {

// Paths advanced together: the state rows of a block stay in the first-level cache through the step's
// passes over them.
constexpr size_t path_block = 256;

// The step's volatilities of one factor over paths [begin, end): eta = sigma M and theta = nu M.
void local_volatilities(double sigma, double nu, double skew, double level, double cap, const double* __restrict x,
                        const double* __restrict y, double* __restrict eta, double* __restrict theta, size_t begin,
                        size_t end) {
  if (skew == 0.0) {
    for (size_t p = begin; p < end; ++p) {
      eta[p] = sigma;
      theta[p] = nu;
    }
    return;
  }
  for (size_t p = begin; p < end; ++p) {
    const double multiplier = std::min(std::abs(1.0 + skew * (x[p] + level * y[p])), cap);
    eta[p] = sigma * multiplier;
    theta[p] = nu * multiplier;
  }
}

// x -= eta (z - shift): the factor's own draw.
void add_draw(double shift, const double* __restrict x_old, const double* __restrict z,
              const double* __restrict eta, double* __restrict x, size_t begin, size_t end) {
  for (size_t p = begin; p < end; ++p) x[p] = x_old[p] - eta[p] * (z[p] - shift);
}

// x -= rho_fg eta_f theta_g: the drift that factor g's integrated-decay weighted volatility adds.
void add_drift(double rho, const double* __restrict eta, const double* __restrict theta_g, double* __restrict x,
               size_t begin, size_t end) {
  for (size_t p = begin; p < end; ++p) x[p] -= rho * eta[p] * theta_g[p];
}

// y_fg += rho_fg eta_f eta_g, and the integral gains its share of the step's convexity:
// 1/2 (rho_fg theta_f theta_g + G_f G_g y_fg - G'_f G'_g y_fg(old)).
void add_covariance(double rho, double weight_end, double weight_start, const double* __restrict eta_f,
                    const double* __restrict eta_g, const double* __restrict theta_f,
                    const double* __restrict theta_g, const double* __restrict y_old, double* __restrict y,
                    double* __restrict integral, size_t begin, size_t end) {
  const double half_rho = 0.5 * rho;
  for (size_t p = begin; p < end; ++p) {
    y[p] = y_old[p] + rho * eta_f[p] * eta_g[p];
    integral[p] += half_rho * theta_f[p] * theta_g[p] + weight_end * y[p] - weight_start * y_old[p];
  }
}

// Keeps 1 + b (x + L y) from going negative: x >= -L y - 1/b for b > 0, x <= -L y - 1/b for b < 0.
void clamp(double skew, double level, const double* __restrict y, double* __restrict x, size_t begin, size_t end) {
  const double inverse = 1.0 / skew;
  if (skew > 0.0) {
    for (size_t p = begin; p < end; ++p) x[p] = std::max(x[p], -level * y[p] - inverse);
  } else {
    for (size_t p = begin; p < end; ++p) x[p] = std::min(x[p], -level * y[p] - inverse);
  }
}

// The integral's draw and the change of G.x over the step.
void add_factor_to_integral(double shift, double g_end, double g_start, const double* __restrict theta,
                            const double* __restrict z, const double* __restrict x, const double* __restrict x_old,
                            double* __restrict integral, size_t begin, size_t end) {
  for (size_t p = begin; p < end; ++p) integral[p] += theta[p] * (z[p] - shift) + g_end * x[p] - g_start * x_old[p];
}

}  // namespace

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
  fill_averages();
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

double model_cheyette::skew(const datetime& t) const { return parameter_->skew_parameter()(skew_row_at(t), 0); }

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
  const size_t volatility_row = local_volatility_state_index();
  const size_t integral_row = discounting_state_index();
  QAVREK_CHECK(states.rows() > integral_row, "the states have ", states.rows(), " rows, a step writes ",
               integral_row + 1);
  QAVREK_CHECK(gaussians.rows() >= n, "the draws have ", gaussians.rows(), " rows for ", n, " factors");
  QAVREK_CHECK(gaussians.columns() == states.columns(), "the draws have ", gaussians.columns(),
               " paths, the states ", states.columns());
  previous = states;

  // Per factor: sv, mm, G at the step's end and start, skew, level and the measure's shift.
  factor_scratch scratch(7 * n);
  double* sigma = scratch.block(0);
  double* nu = scratch.block(n);
  double* g_end = scratch.block(2 * n);
  double* g_start = scratch.block(3 * n);
  double* skew = scratch.block(4 * n);
  double* level = scratch.block(5 * n);
  double* shift = scratch.block(6 * n);
  // G is tabulated on the HJM model dates, where the simulation dates sit at simulation_index.
  const double* integral_end = hjm_model_->integral_decay()[hjm_model_->simulation_index()[i]];
  const double* integral_start = hjm_model_->integral_decay()[hjm_model_->simulation_index()[i - 1]];
  const double* skew_row = parameter_->skew_parameter()[step_skew_rows_[i]];
  double largest_skew = 0.0;
  for (size_t f = 0; f < n; ++f) {
    sigma[f] = hjm_model_->incremental_volatility_sv()(i, f);
    nu[f] = hjm_model_->incremental_volatility_mm()(i, f);
    g_end[f] = integral_end[f];
    g_start[f] = integral_start[f];
    skew[f] = skew_row[f];
    level[f] = decay_skew_level_ ? integral_start[f] : parameter_->long_term_skew_level();
    shift[f] = measure_change.row_dot(i, f);
    // fmax lets a number win over NaN.
    largest_skew = std::fmax(largest_skew, std::abs(skew_row[f]));
  }
  const double cap = largest_skew * std::sqrt(1.0 + 5.0 * std::expm1(variance_at(i)));
  const matrix<double>& rho = parameter_->correlation();

  const size_t paths = states.columns();
  double* integral = states[integral_row];
  for (size_t begin = 0; begin < paths; begin += path_block) {
    const size_t end = std::min(begin + path_block, paths);
    for (size_t f = 0; f < n; ++f)
      local_volatilities(sigma[f], nu[f], skew[f], level[f], cap, previous[f], previous[y_state_index(f, f)],
                         states[volatility_row + f], previous[volatility_row + f], begin, end);
    for (size_t f = 0; f < n; ++f) {
      const double* eta_f = states[volatility_row + f];
      const double* theta_f = previous[volatility_row + f];
      add_draw(shift[f], previous[f], gaussians[f], eta_f, states[f], begin, end);
      for (size_t g = 0; g < n; ++g) add_drift(rho(f, g), eta_f, previous[volatility_row + g], states[f], begin, end);
      for (size_t g = 0; g < n; ++g)
        add_covariance(rho(f, g), 0.5 * g_end[f] * g_end[g], 0.5 * g_start[f] * g_start[g], eta_f,
                       states[volatility_row + g], theta_f, previous[volatility_row + g],
                       previous[y_state_index(f, g)], states[y_state_index(f, g)], integral, begin, end);
      if (skew[f] != 0.0) clamp(skew[f], level[f], states[y_state_index(f, f)], states[f], begin, end);
      add_factor_to_integral(shift[f], g_end[f], g_start[f], theta_f, gaussians[f], states[f], previous[f], integral,
                             begin, end);
    }
  }
}

void model_cheyette::finalize_aad(double*) const {}

size_t model_cheyette::get_state_parameters(double* out) const { return hjm_model_->get_state_parameters(out); }

size_t model_cheyette::set_state_parameters(const double* in) { return hjm_model_->set_state_parameters(in); }

}  // namespace qavrek
