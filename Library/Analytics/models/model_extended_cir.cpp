#include "Analytics/models/model_extended_cir.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

#include "Analytics/models/extended_cir_step.h"
#include "Analytics/models/factor_scratch.h"
#include "Analytics/models/step_previous.h"
#include "Core/check.h"
#include "Util/datetime_helper.h"
#include "Util/day_count_convention.h"

namespace qavrek {
namespace {

constexpr double epsilon = std::numeric_limits<double>::epsilon();

// (e^x - 1)/x, 1 at x = 0.
double relative_growth(double x) { return std::abs(x) < epsilon ? 1.0 + 0.5 * x : std::expm1(x) / x; }

// -ln(1 - x)/x, 1 at x = 0.
double relative_log_loss(double x) { return std::abs(x) < epsilon ? 1.0 + 0.5 * x : -std::log1p(-x) / x; }

// Carries B and ln A of one factor back over tau years of constant parameters: `b` holds B at the end of the
// interval on entry and at its start on return; the result is the increase of ln A over the interval.
//
// With gamma = sqrt(kappa^2 + 2 sigma^2) and E = exp(-gamma tau), the Riccati equation gives
//   B = (b0 (1 + E) + (2 - kappa b0) L) / (1 + E + (kappa + sigma^2 b0) L),   L = (1 - E) / gamma,
// and the increase of ln A, the integral of sigma^2 theta B^2 / 2 = theta (1 - kappa B - B'), is
//   theta (tau + b0 - B - kappa I),   I = integral of B = 2 tau / (gamma + kappa) - 2 z l(sigma^2 z),
// z = (1 / (gamma + kappa) - b0 / 2) L and l(x) = -ln(1 - x)/x. Written so, nothing divides by sigma^2:
// a zero volatility gives the deterministic limit, and a zero speed (where I is not needed) its own.
double integrate_square_root_backwards(double kappa, double sigma, double theta, double tau, double& b) {
  const double b0 = b;
  const double sigma2 = sigma * sigma;
  const double gamma = std::sqrt(kappa * kappa + 2.0 * sigma2);
  const double decay = std::exp(-gamma * tau);
  const double length = tau * relative_growth(-gamma * tau);  // (1 - E) / gamma
  b = (b0 * (1.0 + decay) + (2.0 - kappa * b0) * length) / (1.0 + decay + (kappa + sigma2 * b0) * length);
  double reverted = 0.0;  // kappa I
  if (kappa != 0.0) {
    const double sum = gamma + kappa;
    const double z = (1.0 / sum - 0.5 * b0) * length;
    reverted = kappa * (2.0 * tau / sum - 2.0 * z * relative_log_loss(sigma2 * z));
  }
  return theta * (tau + b0 - b - reverted);
}

// An empty owning vector becomes n zeros; any other must already hold n values.
void size_to_factors(vector<double>& out, size_t n, const char* what) {
  if (out.empty() && out.owner()) out.resize(n);
  QAVREK_CHECK(out.size() == n, what, " holds one value per factor (", n, "), not ", out.size());
}

// The dates from `from` on.
std::vector<datetime> not_before(const std::vector<datetime>& dates, const datetime& from) {
  std::vector<datetime> kept;
  std::copy_if(dates.begin(), dates.end(), std::back_inserter(kept),
               [&from](const datetime& date) { return !(date < from); });
  return kept;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Construction

model_extended_cir::model_extended_cir(const parameter_extended_cir& parameter, const datetime& valuation_date,
                                       const std::vector<datetime>& dates, bool flag)
    : parameter_(&parameter), valuation_date_(valuation_date), dates_(dates), model_flag_(flag) {
  QAVREK_CHECK(valuation_date_.is_valid(), "the model needs a valuation date");
  check_parameters();
  if (!model_flag_) check_simulation_dates();
  build_model_dates();
  build_decays();
  if (!model_flag_) build_simulation_tables();
}

void model_extended_cir::check_parameters() const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(n > 0, "the parameter set has no factor");
  const auto check_block = [n](const matrix<double>& block, const char* name) {
    QAVREK_CHECK(block.rows() > 0, "the parameter set has no row of ", name);
    QAVREK_CHECK(block.columns() == n, "the ", name, " have ", block.columns(), " columns for ", n, " factors");
    for (size_t r = 0; r < block.rows(); ++r)
      for (size_t k = 0; k < n; ++k)
        QAVREK_CHECK(std::isfinite(block(r, k)) && block(r, k) >= 0.0, "the ", name, " of a square-root process ",
                     "are finite and not negative, but row ", r, " of factor ", k, " is ", block(r, k));
  };
  check_block(parameter_->mean_reversion_speeds(), "mean-reversion speeds");
  check_block(parameter_->volatilities(), "volatilities");
  check_block(parameter_->shifts(), "shifts");
}

void model_extended_cir::check_simulation_dates() const {
  for (size_t j = 0; j < dates_.size(); ++j) {
    const datetime& date = dates_[j];
    QAVREK_CHECK(date.is_valid(), "simulation date ", j, " is not set");
    QAVREK_CHECK(!(date < valuation_date_), "simulation date ", j, " (", date, ") is before the valuation date (",
                 valuation_date_, ")");
    QAVREK_CHECK(j == 0 || dates_[j - 1] < date, "simulation date ", j, " (", date, ") is not after the one before it");
  }
}

void model_extended_cir::build_model_dates() {
  if (model_flag_) {
    model_dates_ = {valuation_date_};
  } else {
    model_dates_ = dates_;
    if (dates_.empty() || valuation_date_ < dates_.front()) model_dates_.insert(model_dates_.begin(), valuation_date_);
  }
  // Every table is measured from the valuation date: a parameter date before it is no model date (the rows
  // in force after it still apply through the index vectors).
  datetime_helper::merge_dates(not_before(parameter_->volatilities_dates(), valuation_date_),
                               not_before(parameter_->mean_reversion_speed_dates(), valuation_date_), model_dates_);
  datetime_helper::merge_dates(not_before(parameter_->shifts_dates(), valuation_date_), model_dates_, model_dates_);

  datetime_helper::interpolate_from_subset_dates(model_dates_, parameter_->mean_reversion_speed_dates(),
                                                 mean_reversion_speeds_indices_);
  datetime_helper::interpolate_from_subset_dates(model_dates_, parameter_->shifts_dates(), shifts_indices_);
  datetime_helper::interpolate_from_subset_dates(model_dates_, parameter_->volatilities_dates(), volatilities_indices_);
}

void model_extended_cir::build_decays() {
  const size_t m = model_dates_.size();
  const size_t n = number_of_factors();
  cumulative_decays_ = matrix<double>(m, n);
  std::fill(cumulative_decays_[0], cumulative_decays_[0] + n, 1.0);
  for (size_t k = 1; k < m; ++k) {
    vector<double> row = cumulative_decays_.row(k);
    decay(model_dates_[k], k - 1, row);
  }
  // The variance integrals divide by D: a decay lost to underflow would make them infinite.
  for (size_t k = 0; k < n; ++k)
    QAVREK_CHECK(cumulative_decays_(m - 1, k) > 0.0, "the mean reversion of factor ", k,
                 " decays it below the smallest double by ", model_dates_[m - 1]);
  cumulative_decays_offset_ = state_parameters_size();
  set_state_parameters_size(cumulative_decays_offset_ + m * n);
  set_initialized(true);
}

void model_extended_cir::build_simulation_tables() {
  const size_t s = dates_.size();
  const size_t n = number_of_factors();
  if (s > 0) datetime_helper::interpolate_from_subset_dates(model_dates_, dates_, simulation_indices_);

  log_a_from_valuation_.assign(s, 0.0);
  factor_scratch scratch(n);
  vector<double> b = vector<double>::view(scratch.data(), n);
  for (size_t j = 0; j < s; ++j) {
    b.fill(0.0);
    affine_coefficients(0, date_offset(dates_[j]), valuation_date_, dates_[j], b, log_a_from_valuation_[j]);
  }

  variance_increments_ = matrix<double>(s, n);
  fill_variance_increments();

  log_a_from_valuation_offset_ = state_parameters_size();
  variance_increments_offset_ = log_a_from_valuation_offset_ + s;
  set_state_parameters_size(variance_increments_offset_ + s * n);
  set_initialized(true);
}

// ---------------------------------------------------------------------------------------------------
// Dates and parameter rows

size_t model_extended_cir::date_offset(const datetime& t) const {
  return datetime_helper::date_offset(t, model_dates_, true);
}

double model_extended_cir::year_fraction(const datetime& from, const datetime& to) const {
  return parameter_->day_convention()->fraction(from, to);
}

model_extended_cir::interval_parameters model_extended_cir::parameters_of_interval(size_t k) const noexcept {
  const auto row = [k](const std::vector<size_t>& indices, const matrix<double>& block) {
    return block[k < indices.size() ? indices[k] : block.rows() - 1];
  };
  return {row(mean_reversion_speeds_indices_, parameter_->mean_reversion_speeds()),
          row(volatilities_indices_, parameter_->volatilities()), row(shifts_indices_, parameter_->shifts())};
}

// ---------------------------------------------------------------------------------------------------
// Coefficients

void model_extended_cir::decay(const datetime& t, size_t k, vector<double>& out) const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(k < model_dates_.size(), "model date ", k, " does not exist: the model has ", model_dates_.size());
  size_to_factors(out, n, "a decay");
  std::copy(cumulative_decays_[k], cumulative_decays_[k] + n, out.data());
  if (!(t > model_dates_[k])) return;
  const double tau = year_fraction(model_dates_[k], t);
  const double* kappa = parameters_of_interval(k + 1).kappa;
  for (size_t i = 0; i < n; ++i) out[i] *= std::exp(-tau * kappa[i]);
}

void model_extended_cir::affine_coefficients(size_t first, size_t last, const datetime& t, const datetime& T,
                                             vector<double>& b, double& log_a) const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(b.size() == n, "B holds one value per factor (", n, "), not ", b.size());
  QAVREK_CHECK(first <= last && last < model_dates_.size(), "model intervals ", first + 1, " to ", last + 1,
               " do not run backwards from one of the ", model_dates_.size(), " model dates");
  datetime end = T;
  for (size_t k = last + 1; k > first; --k) {
    const datetime start = k == first + 1 ? t : model_dates_[k - 1];
    const double tau = year_fraction(start, end);
    if (tau != 0.0) {
      const interval_parameters p = parameters_of_interval(k);
      for (size_t i = 0; i < n; ++i)
        log_a += integrate_square_root_backwards(p.kappa[i], p.sigma[i], p.theta[i], tau, b[i]);
    }
    end = start;
  }
}

void model_extended_cir::check_priced_from(const datetime& t, const char* query) const {
  QAVREK_CHECK(!model_flag_ && !dates_.empty(), "a model built with the flag or without simulation dates has no ",
               "simulation tables for ", query);
  const size_t k = date_offset(t);
  QAVREK_CHECK(model_dates_[k] == t && dates_[simulation_indices_[k]] == t, query, " is normalised at simulation ",
               "dates, and ", t, " is not one");
}

double model_extended_cir::normalized_log_a(const datetime& t, const datetime& T, vector<double>& b) const {
  check_priced_from(t, "normalized_log_a");
  QAVREK_CHECK(!(T < t), "a price is paid at ", T, ", before it is seen at ", t);
  const size_t n = number_of_factors();
  QAVREK_CHECK(b.size() == n, "B holds one value per factor (", n, "), not ", b.size());
  const size_t k_t = date_offset(t);
  b.fill(0.0);
  double log_a = 0.0;  // ln A(t, T)
  if (T != t) {
    size_t k_T = date_offset(T);
    if (model_dates_[k_T] == T) --k_T;  // T ends the interval (d_{k_T - 1}, d_{k_T}]
    affine_coefficients(k_t, k_T, t, T, b, log_a);
  }
  // Continued back to the valuation date: ln A(v, T).
  factor_scratch scratch(n);
  vector<double> b_from_valuation = vector<double>::view(scratch.data(), n);
  std::copy(b.begin(), b.end(), b_from_valuation.begin());
  double log_a_from_valuation = log_a;
  affine_coefficients(0, k_t, valuation_date_, t, b_from_valuation, log_a_from_valuation);
  return log_a - (log_a_from_valuation - log_a_from_valuation_[simulation_indices_[k_t]]);
}

// ---------------------------------------------------------------------------------------------------
// Prices and simulation

void model_extended_cir::conditional_price(const matrix<double>& states, const datetime& t, const datetime& T,
                                           vector<double>& out) const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(states.rows() >= n, "the states have ", states.rows(), " rows for ", n, " factors");
  factor_scratch scratch(n);
  vector<double> b = vector<double>::view(scratch.data(), n);
  const double log_a = normalized_log_a(t, T, b);
  out = log_a - b[0] * states.row(0);
  for (size_t i = 1; i < n; ++i) out -= b[i] * states.row(i);
}

void model_extended_cir::evolve(const change_of_measure&, size_t i, const matrix<double>& gaussians,
                                matrix<double>& previous, matrix<double>& states) const {
  QAVREK_CHECK(!model_flag_, "a model built with the flag has no simulation tables");
  QAVREK_CHECK(i >= 1 && i < dates_.size(), "step ", i, " does not move between two of the ", dates_.size(),
               " simulation dates");
  const size_t n = number_of_factors();
  QAVREK_CHECK(states.rows() >= n + 1, "the states have ", states.rows(), " rows, the model ", n + 1);
  QAVREK_CHECK(gaussians.rows() >= n, "the draws have ", gaussians.rows(), " rows for ", n, " factors");
  QAVREK_CHECK(gaussians.columns() == states.columns(), "the draws have ", gaussians.columns(), " paths, the states ",
               states.columns());
  const size_t paths = states.columns();
  copy_rows_the_step_skips(states, n + 1, previous);

  const datetime& t0 = dates_[i - 1];
  const datetime& t1 = dates_[i];
  const size_t k0 = date_offset(t0);
  const size_t k1 = date_offset(t1);
  const double* decay0 = cumulative_decays_[k0];
  const double* decay1 = cumulative_decays_[k1];
  const double* variance = variance_increments_[i];
  // In x the shift only sets the variance: dx = -kappa x dt + sigma sqrt(x + theta) dW, so E[x1] = R x0 with
  // R = D1 / D0, whatever the parameters do inside the step. The shift in force at the step's end turns x
  // into y before the draw and back after it, and the degrees of freedom d = theta (1 - R) / c, with c the
  // transition's scale, give the draw the mean c (d + lambda) that keeps E[x1] = R x0. For parameters
  // constant over the step d = 4 kappa theta / sigma^2 and the draw has the exact transition's two moments.
  const double* shifts = parameters_of_interval(k1).theta;

  factor_scratch scratch(4 * n);
  double* ratios = scratch.block(0);
  double* noncentralities = scratch.block(n);
  double* dofs = scratch.block(2 * n);
  double* scales = scratch.block(3 * n);
  for (size_t f = 0; f < n; ++f) {
    ratios[f] = decay1[f] / decay0[f];  // exp(-integral of kappa over the step)
    scales[f] = 0.25 * decay1[f] * variance[f];
    noncentralities[f] = ratios[f] / scales[f];
    dofs[f] = shifts[f] * (1.0 - ratios[f]) / scales[f];
    // No variance over the step: the deterministic limit of the draw, y1 = R y0+ + theta (1 - R).
    if (!(scales[f] > 0.0) || !std::isfinite(noncentralities[f]) || !std::isfinite(dofs[f])) scales[f] = 0.0;
  }
  extended_cir_step_coefficients coefficients;
  coefficients.factors = n;
  coefficients.ratios = ratios;
  coefficients.noncentralities = noncentralities;
  coefficients.shifts = shifts;
  coefficients.degrees_of_freedom = dofs;
  coefficients.scales = scales;
  coefficients.half_tau = 0.5 * year_fraction(t0, t1);
  coefficients.log_a_increase = log_a_from_valuation_[i] - log_a_from_valuation_[i - 1];
  extended_cir_step(coefficients, gaussians.data(), previous.data(), states.data(), paths);
}

// ---------------------------------------------------------------------------------------------------
// Variance increments

void model_extended_cir::accumulate_variance(size_t j, double* accumulator) const {
  const datetime& from = model_dates_[j];
  const datetime& to = model_dates_[j + 1];
  if (!(to > from)) return;
  const size_t n = number_of_factors();
  const double tau = year_fraction(from, to);
  const interval_parameters p = parameters_of_interval(j + 1);
  const double* decay = cumulative_decays_[j];
  // sigma^2 / D(from) times the integral of exp(kappa u) over [0, tau].
  for (size_t i = 0; i < n; ++i)
    accumulator[i] += p.sigma[i] * p.sigma[i] / decay[i] * tau * relative_growth(p.kappa[i] * tau);
}

void model_extended_cir::fill_variance_increments() {
  const size_t s = dates_.size();
  const size_t n = number_of_factors();
  variance_increments_.fill(0.0);
  factor_scratch scratch(n);
  double* step = scratch.data();
  size_t m = 0;  // the next simulation date
  for (size_t k = 0; k < model_dates_.size() && m < s; ++k) {
    if (k > 0) accumulate_variance(k - 1, step);
    if (model_dates_[k] != dates_[m]) continue;
    // Row 0 stays zero: the states start at the first simulation date.
    if (m > 0) std::copy(step, step + n, variance_increments_[m]);
    std::fill(step, step + n, 0.0);
    ++m;
  }
}

// ---------------------------------------------------------------------------------------------------
// State parameters

void model_extended_cir::finalize_aad(double*) const {}

size_t model_extended_cir::get_state_parameters(double* out) const {
  double* next = std::copy(cumulative_decays_.begin(), cumulative_decays_.end(), out);
  next = std::copy(log_a_from_valuation_.begin(), log_a_from_valuation_.end(), next);
  next = std::copy(variance_increments_.begin(), variance_increments_.end(), next);
  return static_cast<size_t>(next - out);
}

size_t model_extended_cir::set_state_parameters(const double* in) {
  const double* next = in;
  const auto read = [&next](auto& table) {
    std::copy(next, next + table.size(), table.begin());
    next += table.size();
  };
  read(cumulative_decays_);
  read(log_a_from_valuation_);
  read(variance_increments_);
  return static_cast<size_t>(next - in);
}

}  // namespace qavrek
