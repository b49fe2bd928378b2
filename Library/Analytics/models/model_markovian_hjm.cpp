#include "Analytics/models/model_markovian_hjm.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>

#include "Analytics/models/bilinear_form.h"
#include "Analytics/models/factor_scratch.h"
#include "Analytics/models/markovian_hjm_step.h"
#include "Analytics/models/model_markovian_hjm_series.h"
#include "Analytics/models/step_previous.h"
#include "Core/check.h"
#include "Math/cholesky_decomposition.h"
#include "Util/datetime_helper.h"
#include "Util/day_count_convention.h"

namespace qavrek {
namespace {

using hjm_type = parameter_markovian_hjm_type;
using markovian_hjm_details::epsilon;
using markovian_hjm_details::phi;
using markovian_hjm_details::phi_cross;
using markovian_hjm_details::phi_square;

// (phi(a + b) - phi(a))/b: integral over [0, 1] of s e^{as} phi(bs) ds, phi_cross(a) when b = a.
// For |b| < 1/2 the Taylor series of phi around a, sum over m >= 1 of phi^(m)(a) b^(m-1)/m!, with
// phi^(m)(a) = mu_m(a) = integral over [0, 1] of s^m e^{as} ds <= mu_0(a): after 18 terms the weights are
// below 2^-18/19! < 1e-22. The moments follow mu_m = (e^a - m mu_(m-1))/a, run downward for |a| < 1 (from
// m = 36 and a start of 0, whose error shrinks by |a|/m at every step) and upward otherwise, where the
// growth of the error, up to m!/|a|^m, is absorbed by the weights 1/m!.
double phi_shift(double a, double b) {
  if (std::abs(b) >= 0.5) return (phi(a + b) - phi(a)) / b;
  constexpr int terms = 18;
  constexpr int downward_start = 36;
  std::array<double, terms + 1> moments{};
  const double growth = std::exp(a);
  if (std::abs(a) < 1.0) {
    double moment = 0.0;
    for (int m = downward_start; m > terms; --m) moment = (growth - a * moment) / m;
    moments[terms] = moment;
    for (int m = terms; m > 1; --m) moments[m - 1] = (growth - a * moments[m]) / m;
  } else {
    moments[0] = phi(a);
    for (int m = 1; m <= terms; ++m) moments[m] = (growth - m * moments[m - 1]) / a;
  }
  double sum = 0.0;
  double weight = 1.0;  // b^(m-1) / m!
  for (int m = 1; m <= terms; ++m) {
    weight /= m;
    sum += moments[m] * weight;
    weight *= b;
  }
  return sum;
}

// An empty owning vector becomes n zeros; any other must already hold n values.
void size_to_factors(vector<double>& out, size_t n, const char* what) {
  if (out.empty() && out.owner()) out.resize(n);
  QAVREK_CHECK(out.size() == n, what, " holds one value per factor (", n, "), not ", out.size());
}

void size_to_factors(matrix<double>& out, size_t n, const char* what) {
  if (out.empty() && out.owner()) out.resize(n, n);
  QAVREK_CHECK(out.rows() == n && out.columns() == n, what, " is ", n, " x ", n, ", not ", out.rows(), " x ",
               out.columns());
}

// In place, the lower factor of a positive semi-definite matrix whose plain Cholesky factorisation
// failed: a pivot that vanishes up to rounding gives a zero column, as a zero variance (the valuation
// date) or perfectly correlated factors do. A clearly negative pivot means an indefinite matrix.
void semidefinite_cholesky(matrix<double>& a) {
  const size_t n = a.rows();
  double scale = 0.0;
  for (size_t i = 0; i < n; ++i) scale = std::max(scale, std::abs(a(i, i)));
  const double tolerance = 64.0 * static_cast<double>(n) * epsilon * scale;
  for (size_t j = 0; j < n; ++j) {
    double pivot = a(j, j);
    for (size_t k = 0; k < j; ++k) pivot -= a(j, k) * a(j, k);
    QAVREK_CHECK(pivot >= -tolerance, "the covariance of the factor states is not positive semi-definite: pivot ",
                 pivot, " at factor ", j);
    if (pivot <= tolerance) {
      for (size_t i = j; i < n; ++i) a(i, j) = 0.0;
      continue;
    }
    const double diagonal = std::sqrt(pivot);
    a(j, j) = diagonal;
    for (size_t i = j + 1; i < n; ++i) {
      double value = a(i, j);
      for (size_t k = 0; k < j; ++k) value -= a(i, k) * a(j, k);
      a(i, j) = value / diagonal;
    }
  }
  for (size_t i = 0; i < n; ++i)
    for (size_t j = i + 1; j < n; ++j) a(i, j) = 0.0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Construction

model_markovian_hjm::model_markovian_hjm(const parameter_markovian_hjm& parameter, const datetime& valuation_date,
                                         const std::vector<datetime>& simulation_dates, bool full_covariance_flag,
                                         const std::vector<datetime>& extra_dates)
    : parameter_(&parameter),
      valuation_date_(valuation_date),
      simulation_dates_(simulation_dates),
      full_covariance_flag_(full_covariance_flag),
      extra_dates_(extra_dates) {
  QAVREK_CHECK(valuation_date_.is_valid(), "the model needs a valuation date");
  QAVREK_CHECK(number_of_factors() > 0, "the parameter set has no factor");
  if (!full_covariance_flag_) {
    // The step tables run from the valuation date through the simulation dates in order.
    for (size_t j = 0; j < simulation_dates_.size(); ++j) {
      const datetime& date = simulation_dates_[j];
      QAVREK_CHECK(date.is_valid(), "simulation date ", j, " is not set");
      QAVREK_CHECK(date >= valuation_date_, "simulation date ", j, " (", date, ") is before the valuation date (",
                   valuation_date_, ")");
      QAVREK_CHECK(j == 0 || simulation_dates_[j - 1] < date, "simulation date ", j, " (", date,
                   ") is not after the one before it");
    }
  }
  build_model_dates();
  build_indices();
  allocate_tables();
  fill();
}

void model_markovian_hjm::build_model_dates() {
  if (full_covariance_flag_) {
    model_dates_ = {valuation_date_};
  } else {
    model_dates_ = simulation_dates_;
    if (simulation_dates_.empty() || simulation_dates_.front() > valuation_date_) model_dates_.push_back(valuation_date_);
  }
  // Every table is measured from the valuation date: parameter and extra dates before it are no model
  // dates (their rows still apply through the index vectors).
  const auto from_valuation = [this](const std::vector<datetime>& dates) {
    std::vector<datetime> kept;
    std::copy_if(dates.begin(), dates.end(), std::back_inserter(kept),
                 [this](const datetime& date) { return !(date < valuation_date_); });
    return kept;
  };
  datetime_helper::merge_dates(from_valuation(parameter_->decays_dates()),
                               from_valuation(parameter_->volatilities_dates()), model_dates_);
  if (!extra_dates_.empty()) datetime_helper::merge_dates(from_valuation(extra_dates_), model_dates_, model_dates_);
}

void model_markovian_hjm::build_indices() {
  datetime_helper::interpolate_from_subset_dates(model_dates_, parameter_->decays_dates(), decays_index_);
  datetime_helper::interpolate_from_subset_dates(model_dates_, parameter_->volatilities_dates(), volatilities_index_);
  if (!full_covariance_flag_) datetime_helper::index_subset_dates(simulation_dates_, model_dates_, simulation_index_);
}

void model_markovian_hjm::allocate_tables() {
  const size_t m = model_dates_.size();
  const size_t n = number_of_factors();
  const size_t s = simulation_dates_.size();
  size_t count = state_parameters_size();

  decay_ = matrix<double>(m, n);
  integral_decay_ = matrix<double>(m, n);
  decay_offset_ = count;
  integral_decay_offset_ = count + m * n;
  count += 2 * m * n;
  set_state_parameters_size(count);
  set_initialized(true);

  if (!full_covariance_flag_) {
    incremental_volatility_sv_ = matrix<double>(s, n);
    incremental_volatility_mm_ = matrix<double>(s, n);
    incremental_volatility_sv_offset_ = count;
    incremental_volatility_mm_offset_ = count + s * n;
    count += 2 * s * n;
  }
  states_covariance_ = tensor<double>({m, n, n});
  state_drift_ = matrix<double>(m, n);
  states_covariance_offset_ = count;
  count += m * n * n;
  set_state_parameters_size(count);
  set_initialized(true);
}

void model_markovian_hjm::fill() {
  const size_t m = model_dates_.size();
  const size_t n = number_of_factors();
  decay_.fill(0.0);
  integral_decay_.fill(0.0);
  states_covariance_.fill(0.0);
  incremental_volatility_sv_.fill(0.0);
  incremental_volatility_mm_.fill(0.0);

  switch (parameter_->model_type()) {
    case hjm_type::HULL_WHITE:
      std::fill(decay_[0], decay_[0] + n, 1.0);
      break;
    case hjm_type::PICEWISE_CONSTANT:
      std::copy(parameter_->decays()[0], parameter_->decays()[0] + n, decay_[0]);
      break;
  }
  // Row 0 of the integrated decays stays 0: G is measured from the first model date.
  for (size_t i = 1; i < m; ++i) {
    vector<double> decay_row = decay_.row(i);
    decay(model_dates_[i], i - 1, decay_row);
    continue_integral_decay_into(model_dates_[i], i - 1, integral_decay_[i]);
    if (full_covariance_flag_) {
      matrix<double> slice = states_covariance_.get_matrix(i, 0, 0);
      continue_states_variable_covariance(model_dates_[i], i - 1, slice);
    }
  }
  if (!full_covariance_flag_ && !simulation_dates_.empty()) {
    incremental_volatility_sv(simulation_dates_, incremental_volatility_sv_);
    incremental_volatility_mm(simulation_dates_, incremental_volatility_mm_);
    fill_simulation_covariances();
  }
  fill_state_drift();
}

// The covariance at simulation date j is the sum of the step covariances sv_i rho sv_i, i <= j: the
// simulation draws one correlated Gaussian per factor and step.
void model_markovian_hjm::fill_simulation_covariances() {
  const size_t n = number_of_factors();
  const matrix<double>& rho = parameter_->correlation();
  for (size_t j = 0; j < simulation_dates_.size(); ++j) {
    matrix<double> slice = states_covariance_.get_matrix(simulation_index_[j], 0, 0);
    const double* sv = incremental_volatility_sv_[j];
    for (size_t a = 0; a < n; ++a)
      for (size_t b = 0; b < n; ++b) slice(a, b) = sv[a] * rho(a, b) * sv[b];
    if (j > 0) slice += states_covariance_.get_matrix(simulation_index_[j - 1], 0, 0);
  }
}

// ---------------------------------------------------------------------------------------------------
// Dates and parameter rows

size_t model_markovian_hjm::date_offset(const datetime& t) const {
  return datetime_helper::date_offset(t, model_dates_, true);
}

double model_markovian_hjm::year_fraction(const datetime& from, const datetime& to) const {
  return parameter_->day_convention()->fraction(from, to);
}


// ---------------------------------------------------------------------------------------------------
// Decay and integrated decay

void model_markovian_hjm::decay(const datetime& t, size_t i, vector<double>& out) const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(i < model_dates_.size(), "model date ", i, " does not exist: the model has ", model_dates_.size());
  size_to_factors(out, n, "a decay");
  std::copy(decay_[i], decay_[i] + n, out.data());
  if (!(t > model_dates_[i])) return;
  const double* kappa = parameter_->decays()[decays_row_after(i)];
  switch (parameter_->model_type()) {
    case hjm_type::HULL_WHITE: {
      const double tau = year_fraction(model_dates_[i], t);
      for (size_t k = 0; k < n; ++k) out[k] *= std::exp(-tau * kappa[k]);
      break;
    }
    case hjm_type::PICEWISE_CONSTANT:
      std::copy(kappa, kappa + n, out.data());
      break;
  }
}

void model_markovian_hjm::continue_integral_decay(const datetime& t, size_t i, vector<double>& out) const {
  QAVREK_CHECK(i < model_dates_.size(), "model date ", i, " does not exist: the model has ", model_dates_.size());
  size_to_factors(out, number_of_factors(), "an integrated decay");
  continue_integral_decay_into(t, i, out.data());
}

void model_markovian_hjm::integral_decay(const datetime& t, vector<double>& out) const {
  size_to_factors(out, number_of_factors(), "an integrated decay");
  integral_decay_into(t, out.data());
}

void model_markovian_hjm::continue_integral_decay_into(const datetime& t, size_t i, double* out) const {
  const size_t n = number_of_factors();
  std::copy(integral_decay_[i], integral_decay_[i] + n, out);
  if (!(model_dates_[i] < t)) return;
  const double tau = year_fraction(model_dates_[i], t);
  const double* kappa = parameter_->decays()[decays_row_after(i)];
  switch (parameter_->model_type()) {
    case hjm_type::HULL_WHITE: {
      // The integral of D_i exp(-kappa u) over [0, tau].
      const double* decay = decay_[i];
      for (size_t k = 0; k < n; ++k) out[k] += tau * decay[k] * phi(-tau * kappa[k]);
      break;
    }
    case hjm_type::PICEWISE_CONSTANT:
      for (size_t k = 0; k < n; ++k) out[k] += tau * kappa[k];
      break;
  }
}

void model_markovian_hjm::integral_decay_into(const datetime& t, double* out) const {
  const size_t i = date_offset(t);
  if (model_dates_[i] == t) {
    std::copy(integral_decay_[i], integral_decay_[i] + number_of_factors(), out);
  } else {
    continue_integral_decay_into(t, i, out);
  }
}

// ---------------------------------------------------------------------------------------------------
// Incremental volatilities

void model_markovian_hjm::add_incremental_variance_sv(size_t m, double* acc) const {
  const datetime& from = model_dates_[m];
  const datetime& to = model_dates_[m + 1];
  if (!(from < to)) return;
  const size_t n = number_of_factors();
  const double tau = year_fraction(from, to);
  const double* sigma = parameter_->volatilities()[volatilities_row_after(m)];
  const double* kappa = parameter_->decays()[decays_row_after(m)];
  const double* decay = decay_[m];
  switch (parameter_->model_type()) {
    case hjm_type::HULL_WHITE:
      // Integral of (sigma / (D e^{-kappa u}))^2 over [0, tau].
      for (size_t k = 0; k < n; ++k) {
        const double ratio = sigma[k] / decay[k];
        acc[k] += ratio * ratio * tau * phi(2.0 * kappa[k] * tau);
      }
      break;
    case hjm_type::PICEWISE_CONSTANT:
      for (size_t k = 0; k < n; ++k) acc[k] += tau * sigma[k] * sigma[k];
      break;
  }
}

void model_markovian_hjm::add_incremental_variance_mm(size_t m, double* acc) const {
  const datetime& from = model_dates_[m];
  const datetime& to = model_dates_[m + 1];
  if (!(from < to)) return;
  const size_t n = number_of_factors();
  const double tau = year_fraction(from, to);
  const double* sigma = parameter_->volatilities()[volatilities_row_after(m)];
  const double* kappa = parameter_->decays()[decays_row_after(m)];
  const double* decay = decay_[m];
  const double* integral = integral_decay_[m];
  switch (parameter_->model_type()) {
    case hjm_type::HULL_WHITE:
      // Integral of sigma^2 G(u)^2 / D(u)^2 with G(u)/D(u) = (G e^{xs} + D tau (e^{xs} - 1)/x) / D,
      // x = kappa tau, s = u / tau: expanded into three divided differences that stay exact as
      // kappa goes to 0 (where the sum is tau (G^2 + G J + J^2)/3, J = G + D tau).
      for (size_t k = 0; k < n; ++k) {
        const double ratio = sigma[k] / decay[k];
        const double x = kappa[k] * tau;
        const double g = integral[k];
        const double d = decay[k] * tau;
        acc[k] += ratio * ratio * tau * (g * g * phi(2.0 * x) + 2.0 * g * d * phi_cross(x) + d * d * phi_square(x));
      }
      break;
    case hjm_type::PICEWISE_CONSTANT:
      // Integral of sigma^2 (G + kappa u)^2.
      for (size_t k = 0; k < n; ++k) {
        const double g = integral[k];
        const double j = g + kappa[k] * tau;
        acc[k] += sigma[k] * sigma[k] * tau * (g * g + g * j + j * j) / 3.0;
      }
      break;
  }
}

template <class IntervalIncrement>
void model_markovian_hjm::incremental_volatility(const std::vector<datetime>& dates, matrix<double>& out,
                                                 IntervalIncrement add_interval) const {
  if (dates.empty()) return;
  const size_t n = number_of_factors();
  QAVREK_CHECK(out.columns() == n, "an incremental volatility table has one column per factor (", n, "), not ",
               out.columns());
  QAVREK_CHECK(out.rows() >= dates.size(), "an incremental volatility table has ", out.rows(), " rows for ",
               dates.size(), " dates");
  // The variance accumulated since the last matched date, summed interval by interval and restarted at
  // each match (rather than differenced from a running total, which would lose digits on long grids).
  factor_scratch variance(n);
  size_t row = 0;
  if (dates[0] == valuation_date_) {
    std::fill(out[0], out[0] + n, 0.0);
    row = 1;
  }
  for (size_t i = 1; i < model_dates_.size() && row < dates.size(); ++i) {
    if (model_dates_[i] > dates.back()) break;
    add_interval(i - 1, variance.data());
    if (!(model_dates_[i] == dates[row])) continue;
    for (size_t k = 0; k < n; ++k) {
      out(row, k) = std::sqrt(variance.data()[k]);
      variance.data()[k] = 0.0;
    }
    ++row;
  }
}

void model_markovian_hjm::incremental_volatility_sv(const std::vector<datetime>& dates, matrix<double>& out) const {
  incremental_volatility(dates, out, [this](size_t m, double* acc) { add_incremental_variance_sv(m, acc); });
}

void model_markovian_hjm::incremental_volatility_mm(const std::vector<datetime>& dates, matrix<double>& out) const {
  incremental_volatility(dates, out, [this](size_t m, double* acc) { add_incremental_variance_mm(m, acc); });
}

// ---------------------------------------------------------------------------------------------------
// State covariance

void model_markovian_hjm::states_variable_covariance(const datetime& t, matrix<double>& out) const {
  continue_states_variable_covariance(t, date_offset(t), out);
}

void model_markovian_hjm::continue_states_variable_covariance(const datetime& t, size_t m,
                                                              matrix<double>& out) const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(m < model_dates_.size(), "model date ", m, " does not exist: the model has ", model_dates_.size());
  size_to_factors(out, n, "a covariance");
  out = states_covariance_.get_matrix(m, 0, 0);
  if (!(t > model_dates_[m])) return;

  const double tau = year_fraction(model_dates_[m], t);
  const double* sigma = parameter_->volatilities()[volatilities_row_after(m)];
  const double* kappa = parameter_->decays()[decays_row_after(m)];
  const double* decay = decay_[m];
  const matrix<double>& rho = parameter_->correlation();
  switch (parameter_->model_type()) {
    case hjm_type::HULL_WHITE:
      // Integral of rho sigma_a sigma_b / (D_a(u) D_b(u)) over [0, tau].
      for (size_t a = 0; a < n; ++a) {
        const double ratio_a = sigma[a] / decay[a];
        for (size_t b = 0; b <= a; ++b)
          out(a, b) += ratio_a * (tau * phi(tau * (kappa[a] + kappa[b]))) * rho(a, b) * (sigma[b] / decay[b]);
      }
      break;
    case hjm_type::PICEWISE_CONSTANT:
      for (size_t a = 0; a < n; ++a)
        for (size_t b = 0; b <= a; ++b) out(a, b) += tau * sigma[a] * rho(a, b) * sigma[b];
      break;
  }
  for (size_t a = 0; a < n; ++a)
    for (size_t b = 0; b < a; ++b) out(b, a) = out(a, b);
}

void model_markovian_hjm::states_variable_covariance_cholesky(const datetime& t, matrix<double>& out) const {
  states_variable_covariance(t, out);
  const size_t n = number_of_factors();
  if (n < 2) {
    out(0, 0) = std::sqrt(out(0, 0));
    return;
  }
  // The factorisation leaves out untouched when it fails, which a semi-definite covariance does.
  if (!cholesky_decomposition(out.data(), static_cast<long long>(n), 'L')) semidefinite_cholesky(out);
}

// ---------------------------------------------------------------------------------------------------
// Conditional price, simulation step, drift, decomposition

void model_markovian_hjm::conditional_price(const matrix<double>& states, const datetime& t, const datetime& T,
                                            vector<double>& out) const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(states.rows() >= n, "the states have ", states.rows(), " rows for ", n, " factors");
  const size_t i = date_offset(t);
  factor_scratch scratch(2 * n);
  double* difference = scratch.block(0);  // G(T) - G(t)
  double* sum = scratch.block(n);         // G(T) + G(t)
  integral_decay_into(T, difference);
  const double* integral_t = integral_decay_[i];
  for (size_t k = 0; k < n; ++k) {
    sum[k] = difference[k] + integral_t[k];
    difference[k] -= integral_t[k];
  }
  const double q = bilinear_form(difference, states_covariance_.get_matrix(i, 0, 0), sum);
  out = -0.5 * q;
  for (size_t k = 0; k < n; ++k) out -= difference[k] * states.row(k);
}

void model_markovian_hjm::evolve(const change_of_measure& measure, size_t step, const matrix<double>& gaussians,
                                 matrix<double>& current, matrix<double>& next) const {
  QAVREK_CHECK(!full_covariance_flag_, "a model built with the full-covariance flag has no simulation tables");
  const size_t steps = simulation_dates_.size();
  QAVREK_CHECK(step >= 1 && step < steps, "step ", step, " does not move between two of the ", steps,
               " simulation dates");
  const size_t n = number_of_factors();
  QAVREK_CHECK(next.rows() >= n + 1, "the states have ", next.rows(), " rows, the model ", n + 1);
  QAVREK_CHECK(gaussians.rows() >= n, "the draws have ", gaussians.rows(), " rows for ", n, " factors");
  QAVREK_CHECK(gaussians.columns() == next.columns(), "the draws have ", gaussians.columns(), " paths, the states ",
               next.columns());
  const size_t paths = next.columns();
  copy_rows_the_step_skips(next, n + 1, current);

  const size_t start = simulation_index_[step - 1];
  const size_t end = simulation_index_[step];
  const double* sv = incremental_volatility_sv_[step];
  const double* mm = incremental_volatility_mm_[step];
  const double* integral_start = integral_decay_[start];
  const double* integral_end = integral_decay_[end];
  const matrix<double> covariance_start = states_covariance_.get_matrix(start, 0, 0);
  const matrix<double>& rho = parameter_->correlation();

  factor_scratch scratch(5 * n);
  double* increment = scratch.block(0);        // G_end - G_start
  double* sum = scratch.block(n);              // G_end + G_start
  double* integral_loading = scratch.block(2 * n);  // mm - G_end sv: the draws' weight in the integral
  double* drift = scratch.block(3 * n);        // sv (rho mm)
  double* shift = scratch.block(4 * n);        // the change of measure's shift of the draws
  for (size_t k = 0; k < n; ++k) {
    increment[k] = integral_end[k] - integral_start[k];
    sum[k] = integral_end[k] + integral_start[k];
    integral_loading[k] = mm[k] - integral_end[k] * sv[k];
    double rho_mm = 0.0;
    for (size_t j = 0; j < n; ++j) rho_mm += rho(k, j) * mm[j];
    drift[k] = sv[k] * rho_mm;
    shift[k] = measure.row_dot(step, k);
  }
  markovian_hjm_step_coefficients coefficients;
  coefficients.factors = n;
  coefficients.shifts = shift;
  coefficients.drifts = drift;
  coefficients.volatilities = sv;
  coefficients.increments = increment;
  coefficients.loadings = integral_loading;
  coefficients.half_q = 0.5 * (bilinear_form(integral_loading, rho, integral_loading) +
                               bilinear_form(sum, covariance_start, increment));
  markovian_hjm_step(coefficients, gaussians.data(), current.data(), next.data(), paths);
}

void model_markovian_hjm::state_drift(const datetime& t, vector<double>& out) const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(out.size() == n, "a state drift holds one value per factor (", n, "), not ", out.size());
  state_drift_into(t, date_offset(t), out.data());
}

void model_markovian_hjm::state_drift_into(const datetime& t, size_t j, double* out) const {
  std::copy(state_drift_[j], state_drift_[j] + number_of_factors(), out);
  // The drift starts at the first model date: nothing is added for a date before it.
  if (t > model_dates_[j]) add_state_drift(j, model_dates_[j], t, out);
}

void model_markovian_hjm::fill_state_drift() {
  const size_t n = number_of_factors();
  state_drift_.fill(0.0);
  for (size_t i = 1; i < model_dates_.size(); ++i) {
    std::copy(state_drift_[i - 1], state_drift_[i - 1] + n, state_drift_[i]);
    add_state_drift(i - 1, model_dates_[i - 1], model_dates_[i], state_drift_[i]);
  }
}

void model_markovian_hjm::add_state_drift(size_t m, const datetime& from, const datetime& to, double* out) const {
  const size_t n = number_of_factors();
  const double tau = year_fraction(from, to);
  const double* sigma = parameter_->volatilities()[volatilities_row_after(m)];
  const double* kappa = parameter_->decays()[decays_row_after(m)];
  const double* decay = decay_[m];
  const double* integral = integral_decay_[m];
  const matrix<double>& rho = parameter_->correlation();
  switch (parameter_->model_type()) {
    case hjm_type::HULL_WHITE:
      // With a = kappa_k tau, b = kappa_j tau: the integral over [0, tau] of e^{(kappa_k + kappa_j) u} G_j(u)
      // is tau (G_j phi(a + b) + D_j tau phi_shift(a, b)), G_j(u) = G_j + D_j (1 - e^{-kappa_j u}) / kappa_j.
      for (size_t k = 0; k < n; ++k) {
        double sum = 0.0;
        for (size_t j = 0; j < n; ++j) {
          if (rho(k, j) == 0.0) continue;
          const double a = kappa[k] * tau;
          const double b = kappa[j] * tau;
          sum += rho(k, j) * (sigma[j] / decay[j]) * (integral[j] * phi(a + b) + decay[j] * tau * phi_shift(a, b));
        }
        out[k] -= (sigma[k] / decay[k]) * tau * sum;
      }
      break;
    case hjm_type::PICEWISE_CONSTANT:
      // G_j(u) = G_j + kappa_j u.
      for (size_t k = 0; k < n; ++k) {
        double sum = 0.0;
        for (size_t j = 0; j < n; ++j) sum += rho(k, j) * sigma[j] * (integral[j] + 0.5 * kappa[j] * tau);
        out[k] -= sigma[k] * tau * sum;
      }
      break;
  }
}

void model_markovian_hjm::decompose(matrix<double>& out, const datetime& t, const std::vector<datetime>& dates,
                                    bool relative) const {
  const size_t n = number_of_factors();
  vector<double> origin(n);
  if (relative) continue_integral_decay_into(t, date_offset(t), origin.data());
  matrix<double> factor;
  states_variable_covariance_cholesky(t, factor);
  vector<double> g(n);
  loadings_into(out, factor, origin.data(), g.data(), dates);
}

void model_markovian_hjm::decompose(matrix<double>& out, matrix<double>& factor, const datetime& t,
                                    const std::vector<datetime>& dates, bool relative) const {
  const size_t n = number_of_factors();
  factor_scratch scratch(2 * n);
  double* origin = scratch.block(0);
  if (relative) continue_integral_decay_into(t, date_offset(t), origin);
  states_variable_covariance_cholesky(t, factor);
  loadings_into(out, factor, origin, scratch.block(n), dates);
}

void model_markovian_hjm::loadings_into(matrix<double>& out, const matrix<double>& factor, const double* origin,
                                        double* g, const std::vector<datetime>& dates) const {
  const size_t n = number_of_factors();
  if (dates.empty()) return;
  QAVREK_CHECK(out.columns() == n, "the loadings have one column per factor (", n, "), not ", out.columns());
  QAVREK_CHECK(out.rows() >= dates.size(), "the loadings have ", out.rows(), " rows for ", dates.size(), " dates");
  for (size_t r = 0; r < dates.size(); ++r) {
    integral_decay_into(dates[r], g);
    for (size_t a = 0; a < n; ++a) g[a] -= origin[a];
    for (size_t b = 0; b < n; ++b) {
      double loading = 0.0;
      for (size_t a = b; a < n; ++a) loading += g[a] * factor(a, b);
      out(r, b) = loading;
    }
  }
}

// ---------------------------------------------------------------------------------------------------
// State parameters

size_t model_markovian_hjm::get_state_parameters(double* out) const {
  double* next = std::copy(decay_.begin(), decay_.end(), out);
  next = std::copy(integral_decay_.begin(), integral_decay_.end(), next);
  next = std::copy(incremental_volatility_sv_.begin(), incremental_volatility_sv_.end(), next);
  next = std::copy(incremental_volatility_mm_.begin(), incremental_volatility_mm_.end(), next);
  next = std::copy(states_covariance_.begin(), states_covariance_.end(), next);
  return static_cast<size_t>(next - out);
}

size_t model_markovian_hjm::set_state_parameters(const double* in) {
  const double* next = in;
  const auto read = [&next](auto& table) {
    std::copy(next, next + table.size(), table.begin());
    next += table.size();
  };
  read(decay_);
  read(integral_decay_);
  read(incremental_volatility_sv_);
  read(incremental_volatility_mm_);
  read(states_covariance_);
  return static_cast<size_t>(next - in);
}

}  // namespace qavrek
