#include "Analytics/models/model_markovian_hjm.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "Analytics/models/factor_scratch.h"
#include "Analytics/models/model_markovian_hjm_series.h"
#include "Core/check.h"
#include "Math/cholesky_decomposition.h"

namespace qavrek {
namespace {

using hjm_type = parameter_markovian_hjm_type;
using markovian_hjm_details::epsilon;
using markovian_hjm_details::phi;
using markovian_hjm_details::phi_cross;
using markovian_hjm_details::phi_square;
using markovian_hjm_details::series_bound;

// The slopes of the divided differences of model_markovian_hjm_series.h: each the term-by-term derivative
// of its series near 0 and the derivative of its closed form elsewhere, so that it differentiates exactly
// the function that the forward tables evaluate. The adjoints evaluate them for every interval a
// gradient walks, so their series take precomputed coefficients instead of dividing term by term.

// As many terms as exp_series sums. phi and phi' have the smallest weights, 1 and j + 1: for
// |x| < series_bound their terms from j = 20 on add up to less than 4e-20, against values of at least
// phi(-1) > 0.63 and phi'(-1) > 0.26, so they stop there.
constexpr size_t series_terms = 30;
constexpr size_t phi_slope_terms = 20;
template <size_t Terms>
using series_coefficients = std::array<double, Terms>;

// c_j = weight(j) / (j + shift)!, the coefficients of exp_series.
template <size_t Terms, class Weight>
constexpr series_coefficients<Terms> make_series_coefficients(int shift, Weight weight) {
  series_coefficients<Terms> c{};
  double factorial = 1.0;
  for (int i = 2; i <= shift; ++i) factorial *= i;
  for (int j = 0; j < static_cast<int>(Terms); ++j) {
    c[j] = weight(j) / factorial;
    factorial *= j + shift + 1;
  }
  return c;
}

constexpr double power_of_two(int exponent) {
  double value = 1.0;
  for (int i = 0; i < exponent; ++i) value *= 2.0;
  return value;
}

constexpr auto phi_series = make_series_coefficients<phi_slope_terms>(1, [](int) { return 1.0; });
constexpr auto phi_slope_series =
    make_series_coefficients<phi_slope_terms>(2, [](int j) { return j + 1.0; });
constexpr auto phi_cross_slope_series =
    make_series_coefficients<series_terms>(3, [](int j) { return (j + 1.0) * (power_of_two(j + 2) - 1.0); });
constexpr auto phi_square_slope_series =
    make_series_coefficients<series_terms>(4, [](int j) { return (j + 1.0) * (power_of_two(j + 3) - 2.0); });

// sum_j c_j x^j by Horner's rule on the even and the odd terms at once, which halves the chain of
// dependent multiply-adds.
template <size_t Terms>
double evaluate_series(const series_coefficients<Terms>& c, double x) {
  static_assert(Terms % 2 == 0 && Terms >= 4);
  const double square = x * x;
  double even = c[Terms - 2];
  double odd = c[Terms - 1];
  for (int j = static_cast<int>(Terms) - 4; j >= 0; j -= 2) {
    even = even * square + c[j];
    odd = odd * square + c[j + 1];
  }
  return even + x * odd;
}

// phi'(x) = (e^x - phi(x))/x = sum_j (j + 1) x^j / (j + 2)!.
double phi_slope(double x) {
  if (std::abs(x) < series_bound) return evaluate_series(phi_slope_series, x);
  return (std::exp(x) - phi(x)) / x;
}

// phi(x) and, into slope, phi'(x), sharing one exponential (none near 0, where both are summed as
// series, equal to expm1(x)/x up to rounding).
double phi_with_slope(double x, double& slope) {
  if (std::abs(x) < series_bound) {
    slope = evaluate_series(phi_slope_series, x);
    return evaluate_series(phi_series, x);
  }
  const double growth = std::expm1(x);
  const double value = growth / x;
  slope = (growth + 1.0 - value) / x;
  return value;
}

double phi_cross_slope(double x) {
  if (std::abs(x) < series_bound) return evaluate_series(phi_cross_slope_series, x);
  return (2.0 * phi_slope(2.0 * x) - phi_slope(x) - phi_cross(x)) / x;
}

double phi_square_slope(double x) {
  if (std::abs(x) < series_bound) return evaluate_series(phi_square_slope_series, x);
  return 2.0 * (phi_slope(2.0 * x) - phi_slope(x) - x * phi_square(x)) / (x * x);
}

// True when every one of the values is below DBL_EPSILON in size: such adjoints are dropped.
bool negligible(const double* values, size_t count) {
  return std::all_of(values, values + count, [](double value) { return std::abs(value) < epsilon; });
}

}  // namespace

void model_markovian_hjm::adjoint_workspace::prepare(size_t n) {
  kappa.assign(n, 0.0);
  sigma.assign(n, 0.0);
  storage_.reset(4 * n + 4 * n * n);
  log_decay = storage_.carve(n);
  ratio = storage_.carve(n);
  inverse_decay = storage_.carve(n);
  loading = storage_.carve(n);
  for (matrix<double>* m : {&correlation, &folded, &covariance, &factor}) storage_.carve(*m, n, n);
}

void model_markovian_hjm::adjoint_workspace::scatter_correlation(const parameter_markovian_hjm& parameter,
                                                                 double* adjoints) {
  if (negligible(correlation.data(), correlation.size())) return;
  parameter.correlation_aad(correlation, adjoints);
  correlation.fill(0.0);
}

void model_markovian_hjm::check_adjoint_layout() const {
  QAVREK_CHECK(is_registered(),
               "the model's adjoints have no place in the adjoint array: register the model after its parameter set");
  QAVREK_CHECK(adjoint_offset() >= parameter_->state_parameters_size(), "the model's adjoints from position ",
               adjoint_offset(), " overlap those of its parameter set, which take the first ",
               parameter_->state_parameters_size());
}

// --- Decay and integrated decay

void model_markovian_hjm::decay_aad(const vector<double>& adjoint, const vector<double>& decay, const datetime& t,
                                    size_t i, double* adjoints) const {
  const size_t n = number_of_factors();
  check_adjoint_layout();
  QAVREK_CHECK(i < model_dates_.size(), "model date ", i, " does not exist: the model has ", model_dates_.size());
  QAVREK_CHECK(adjoint.size() == n && decay.size() == n, "a decay adjoint takes one adjoint and one decay per factor (",
               n, "), not ", adjoint.size(), " and ", decay.size());
  if (negligible(adjoint.data(), n)) return;
  adjoint_workspace work(n);
  factor_scratch weighted(n);
  // Under HULL_WHITE the tables take the adjoint of log D: dF/dD D.
  const bool logarithmic = parameter_->model_type() == hjm_type::HULL_WHITE;
  for (size_t k = 0; k < n; ++k) weighted.data()[k] = logarithmic ? adjoint[k] * decay[k] : adjoint[k];
  decay_aad_at(weighted.data(), t, i, adjoints, work);
}

void model_markovian_hjm::decay_aad_at(const double* weighted_adjoint, const datetime& t, size_t i, double* adjoints,
                                       adjoint_workspace& work) const {
  const size_t n = number_of_factors();
  if (negligible(weighted_adjoint, n)) return;
  if (t > model_dates_[i]) {
    const size_t row = decays_row_after(i);
    switch (parameter_->model_type()) {
      case hjm_type::HULL_WHITE: {
        // log D(t) = log D_i - tau kappa.
        const double tau = year_fraction(model_dates_[i], t);
        for (size_t k = 0; k < n; ++k) work.kappa[k] = -tau * weighted_adjoint[k];
        parameter_->decays_aad(work.kappa, row, adjoints);
        break;
      }
      case hjm_type::PICEWISE_CONSTANT:
        // D(t) is the decays row itself: the cached row is not read.
        std::copy(weighted_adjoint, weighted_adjoint + n, work.kappa.begin());
        parameter_->decays_aad(work.kappa, row, adjoints);
        return;
    }
  }
  for (size_t k = 0; k < n; ++k) add_to_table(weighted_adjoint[k], decay_offset_, i * n + k, adjoints);
}

void model_markovian_hjm::integral_decay_aad(const vector<double>& adjoint, const datetime& t, double* adjoints) const {
  const size_t n = number_of_factors();
  check_adjoint_layout();
  QAVREK_CHECK(adjoint.size() == n, "an integrated-decay adjoint holds one value per factor (", n, "), not ",
               adjoint.size());
  if (negligible(adjoint.data(), n)) return;
  adjoint_workspace work(n);
  integral_decay_aad_into(adjoint.data(), t, adjoints, work);
}

void model_markovian_hjm::integral_decay_aad_into(const double* adjoint, const datetime& t, double* adjoints,
                                                  adjoint_workspace& work) const {
  const size_t i = date_offset(t);
  if (model_dates_[i] == t) {
    if (negligible(adjoint, number_of_factors())) return;
    for (size_t k = 0; k < number_of_factors(); ++k)
      add_to_table(adjoint[k], integral_decay_offset_, i * number_of_factors() + k, adjoints);
  } else {
    integral_decay_aad_at(adjoint, t, i, adjoints, work);
  }
}

void model_markovian_hjm::integral_decay_aad_at(const double* adjoint, const datetime& t, size_t i, double* adjoints,
                                                adjoint_workspace& work) const {
  const size_t n = number_of_factors();
  if (negligible(adjoint, n)) return;
  if (model_dates_[i] < t) {
    const double tau = year_fraction(model_dates_[i], t);
    const double* kappa = parameter_->decays()[decays_row_after(i)];
    switch (parameter_->model_type()) {
      case hjm_type::HULL_WHITE: {
        // G(t) = G_i + tau D_i phi(-tau kappa).
        const double* decay = decay_[i];
        for (size_t k = 0; k < n; ++k) {
          double slope = 0.0;
          const double growth = phi_with_slope(-tau * kappa[k], slope);
          work.kappa[k] = -adjoint[k] * tau * tau * decay[k] * slope;
          add_to_table(adjoint[k] * tau * decay[k] * growth, decay_offset_, i * n + k, adjoints);
        }
        parameter_->decays_aad(work.kappa, decays_row_after(i), adjoints);
        break;
      }
      case hjm_type::PICEWISE_CONSTANT:
        for (size_t k = 0; k < n; ++k) work.kappa[k] = tau * adjoint[k];
        parameter_->decays_aad(work.kappa, decays_row_after(i), adjoints);
        break;
    }
  }
  for (size_t k = 0; k < n; ++k) add_to_table(adjoint[k], integral_decay_offset_, i * n + k, adjoints);
}

// --- Incremental volatilities

void model_markovian_hjm::add_incremental_variance_sv_aad(size_t m, const double* w, double* adjoints,
                                                          adjoint_workspace& work) const {
  const datetime& from = model_dates_[m];
  const datetime& to = model_dates_[m + 1];
  const size_t n = number_of_factors();
  if (!(from < to) || negligible(w, n)) return;
  const double tau = year_fraction(from, to);
  const double* sigma = parameter_->volatilities()[volatilities_row_after(m)];
  const double* kappa = parameter_->decays()[decays_row_after(m)];
  const double* decay = decay_[m];
  switch (parameter_->model_type()) {
    case hjm_type::HULL_WHITE:
      // (sigma / D)^2 tau phi(2 kappa tau).
      for (size_t k = 0; k < n; ++k) {
        const double ratio = sigma[k] / decay[k];
        const double x = 2.0 * kappa[k] * tau;
        double slope = 0.0;
        const double growth = tau * phi_with_slope(x, slope);
        work.sigma[k] = w[k] * 2.0 * ratio / decay[k] * growth;
        work.kappa[k] = w[k] * ratio * ratio * 2.0 * tau * tau * slope;
        add_to_table(-2.0 * w[k] * ratio * ratio * growth, decay_offset_, m * n + k, adjoints);
      }
      parameter_->volatility_aad(work.sigma, volatilities_row_after(m), adjoints);
      parameter_->decays_aad(work.kappa, decays_row_after(m), adjoints);
      break;
    case hjm_type::PICEWISE_CONSTANT:
      for (size_t k = 0; k < n; ++k) work.sigma[k] = w[k] * 2.0 * tau * sigma[k];
      parameter_->volatility_aad(work.sigma, volatilities_row_after(m), adjoints);
      break;
  }
}

void model_markovian_hjm::add_incremental_variance_mm_aad(size_t m, const double* w, double* adjoints,
                                                          adjoint_workspace& work) const {
  const datetime& from = model_dates_[m];
  const datetime& to = model_dates_[m + 1];
  const size_t n = number_of_factors();
  if (!(from < to) || negligible(w, n)) return;
  const double tau = year_fraction(from, to);
  const double* sigma = parameter_->volatilities()[volatilities_row_after(m)];
  const double* kappa = parameter_->decays()[decays_row_after(m)];
  const double* decay = decay_[m];
  const double* integral = integral_decay_[m];
  switch (parameter_->model_type()) {
    case hjm_type::HULL_WHITE:
      // R^2 tau B with R = sigma / D, B = G^2 phi(2x) + 2 G d cross(x) + d^2 square(x), d = D tau, x = kappa tau.
      for (size_t k = 0; k < n; ++k) {
        const double ratio = sigma[k] / decay[k];
        const double x = kappa[k] * tau;
        const double g = integral[k];
        const double d = decay[k] * tau;
        const double growth = phi(2.0 * x);
        const double cross = phi_cross(x);
        const double square = phi_square(x);
        const double bracket = g * g * growth + 2.0 * g * d * cross + d * d * square;
        const double scale = w[k] * ratio * ratio * tau;
        work.sigma[k] = w[k] * 2.0 * ratio / decay[k] * tau * bracket;
        work.kappa[k] =
            scale * tau *
            (2.0 * g * g * phi_slope(2.0 * x) + 2.0 * g * d * phi_cross_slope(x) + d * d * phi_square_slope(x));
        add_to_table(scale * (2.0 * g * growth + 2.0 * d * cross), integral_decay_offset_, m * n + k, adjoints);
        // D enters R^2 as 1/D^2 and d as D: D dB/dD = 2 G d cross + 2 d^2 square.
        add_to_table(-scale * (2.0 * g * g * growth + 2.0 * g * d * cross), decay_offset_, m * n + k, adjoints);
      }
      parameter_->volatility_aad(work.sigma, volatilities_row_after(m), adjoints);
      parameter_->decays_aad(work.kappa, decays_row_after(m), adjoints);
      break;
    case hjm_type::PICEWISE_CONSTANT:
      // sigma^2 tau (G^2 + G J + J^2) / 3 with J = G + kappa tau.
      for (size_t k = 0; k < n; ++k) {
        const double g = integral[k];
        const double j = g + kappa[k] * tau;
        const double scale = w[k] * sigma[k] * sigma[k] * tau;
        work.sigma[k] = w[k] * 2.0 * sigma[k] * tau * (g * g + g * j + j * j) / 3.0;
        work.kappa[k] = scale * tau * (g + 2.0 * j) / 3.0;
        add_to_table(scale * (g + j), integral_decay_offset_, m * n + k, adjoints);
      }
      parameter_->volatility_aad(work.sigma, volatilities_row_after(m), adjoints);
      parameter_->decays_aad(work.kappa, decays_row_after(m), adjoints);
      break;
  }
}

// Walks the model intervals exactly as the forward table does: the intervals summed into row r take the
// weight d sqrt(V) / dV = 1 / (2 value) of that row. A row without variance (a zero value) has no
// derivative of its square root; it passes nothing on.
template <class IntervalAdjoint>
void model_markovian_hjm::incremental_volatility_aad(const matrix<double>& adjoint, const matrix<double>& values,
                                                     const std::vector<datetime>& dates,
                                                     IntervalAdjoint interval_adjoint) const {
  if (dates.empty()) return;
  const size_t n = number_of_factors();
  QAVREK_CHECK(adjoint.columns() == n && values.columns() == n,
               "incremental volatility adjoints and values have one column per factor (", n, "), not ",
               adjoint.columns(), " and ", values.columns());
  QAVREK_CHECK(adjoint.rows() >= dates.size() && values.rows() >= dates.size(),
               "incremental volatility adjoints and values have ", adjoint.rows(), " and ", values.rows(), " rows for ",
               dates.size(), " dates");
  if (negligible(adjoint.data(), dates.size() * n)) return;
  factor_scratch weight(n);
  size_t row = dates[0] == valuation_date_ ? 1 : 0;
  size_t first_interval = 0;
  for (size_t i = 1; i < model_dates_.size() && row < dates.size(); ++i) {
    if (model_dates_[i] > dates.back()) break;
    if (!(model_dates_[i] == dates[row])) continue;
    for (size_t k = 0; k < n; ++k) {
      const double value = values(row, k);
      weight.data()[k] = value > 0.0 ? 0.5 * adjoint(row, k) / value : 0.0;
    }
    for (size_t m = first_interval; m < i; ++m) interval_adjoint(m, weight.data());
    first_interval = i;
    ++row;
  }
}

void model_markovian_hjm::incremental_volatility_sv_aad(const matrix<double>& adjoint, const matrix<double>& values,
                                                        const std::vector<datetime>& dates, double* adjoints) const {
  check_adjoint_layout();
  adjoint_workspace work(number_of_factors());
  incremental_volatility_aad(adjoint, values, dates,
                             [&](size_t m, const double* w) { add_incremental_variance_sv_aad(m, w, adjoints, work); });
}

void model_markovian_hjm::incremental_volatility_mm_aad(const matrix<double>& adjoint, const matrix<double>& values,
                                                        const std::vector<datetime>& dates, double* adjoints) const {
  check_adjoint_layout();
  adjoint_workspace work(number_of_factors());
  incremental_volatility_aad(adjoint, values, dates,
                             [&](size_t m, const double* w) { add_incremental_variance_mm_aad(m, w, adjoints, work); });
}

// --- State covariance

void model_markovian_hjm::states_variable_covariance_aad(const matrix<double>& adjoint, const datetime& t,
                                                         double* adjoints) const {
  continue_states_variable_covariance_aad(adjoint, t, date_offset(t), adjoints);
}

void model_markovian_hjm::continue_states_variable_covariance_aad(const matrix<double>& adjoint, const datetime& t,
                                                                  size_t m, double* adjoints) const {
  const size_t n = number_of_factors();
  check_adjoint_layout();
  QAVREK_CHECK(m < model_dates_.size(), "model date ", m, " does not exist: the model has ", model_dates_.size());
  QAVREK_CHECK(adjoint.rows() == n && adjoint.columns() == n, "a covariance adjoint is ", n, " x ", n, ", not ",
               adjoint.rows(), " x ", adjoint.columns());
  if (negligible(adjoint.data(), n * n)) return;
  adjoint_workspace work(n);
  continue_covariance_aad(adjoint.data(), t, m, adjoints, work);
  work.scatter_correlation(*parameter_, adjoints);
}

void model_markovian_hjm::continue_covariance_aad(const double* adjoint, const datetime& t, size_t m, double* adjoints,
                                                  adjoint_workspace& work) const {
  const size_t n = number_of_factors();
  if (negligible(adjoint, n * n)) return;
  const size_t slice = m * n * n;
  if (!(t > model_dates_[m])) {
    // The slice is copied whole: each entry takes its own adjoint.
    for (size_t e = 0; e < n * n; ++e) add_to_table(adjoint[e], states_covariance_offset_, slice + e, adjoints);
    return;
  }
  // Beyond the slice only the lower triangle is computed; the upper one is its copy.
  matrix<double>& lower = work.folded;
  for (size_t a = 0; a < n; ++a) {
    for (size_t b = 0; b < a; ++b) lower(a, b) = adjoint[a * n + b] + adjoint[b * n + a];
    lower(a, a) = adjoint[a * n + a];
  }
  bool any = false;
  for (size_t a = 0; a < n && !any; ++a)
    for (size_t b = 0; b <= a; ++b) any = any || std::abs(lower(a, b)) >= epsilon;
  if (!any) return;

  const double tau = year_fraction(model_dates_[m], t);
  const size_t volatilities_row = volatilities_row_after(m);
  const size_t decays_row = decays_row_after(m);
  const double* sigma = parameter_->volatilities()[volatilities_row];
  const double* kappa = parameter_->decays()[decays_row];
  const double* decay = decay_[m];
  const matrix<double>& rho = parameter_->correlation();
  std::fill(work.sigma.begin(), work.sigma.end(), 0.0);
  std::fill(work.kappa.begin(), work.kappa.end(), 0.0);
  switch (parameter_->model_type()) {
    case hjm_type::HULL_WHITE: {
      // R_a tau phi(tau (kappa_a + kappa_b)) rho_ab R_b, R = sigma / D.
      double* log_decay = work.log_decay;
      double* ratio = work.ratio;
      double* inverse_decay = work.inverse_decay;
      for (size_t a = 0; a < n; ++a) {
        log_decay[a] = 0.0;
        inverse_decay[a] = 1.0 / decay[a];
        ratio[a] = sigma[a] * inverse_decay[a];
      }
      double* sigma_bar = work.sigma.data();
      double* kappa_bar = work.kappa.data();
      const double tau_squared = tau * tau;
      for (size_t a = 0; a < n; ++a) {
        const double ratio_a = ratio[a];
        for (size_t b = 0; b <= a; ++b) {
          const double w = lower(a, b);
          // A zero entry (the slices a target reads are often sparse) passes nothing on.
          if (w == 0.0) continue;
          const double ratio_b = ratio[b];
          double slope = 0.0;
          const double growth = tau * phi_with_slope(tau * (kappa[a] + kappa[b]), slope);
          const double coupling = w * rho(a, b);           // w rho_ab
          const double scaled = coupling * ratio_a * ratio_b;  // w rho_ab R_a R_b
          const double increment = scaled * growth;
          sigma_bar[a] += coupling * growth * ratio_b * inverse_decay[a];
          sigma_bar[b] += coupling * growth * ratio_a * inverse_decay[b];
          const double kappa_increment = scaled * tau_squared * slope;
          kappa_bar[a] += kappa_increment;
          kappa_bar[b] += kappa_increment;
          log_decay[a] -= increment;
          log_decay[b] -= increment;
          work.correlation(a, b) += w * ratio_a * growth * ratio_b;
        }
      }
      parameter_->volatility_aad(work.sigma, volatilities_row, adjoints);
      parameter_->decays_aad(work.kappa, decays_row, adjoints);
      for (size_t k = 0; k < n; ++k) add_to_table(log_decay[k], decay_offset_, m * n + k, adjoints);
      break;
    }
    case hjm_type::PICEWISE_CONSTANT:
      for (size_t a = 0; a < n; ++a) {
        for (size_t b = 0; b <= a; ++b) {
          const double w = lower(a, b);
          work.sigma[a] += w * tau * rho(a, b) * sigma[b];
          work.sigma[b] += w * tau * sigma[a] * rho(a, b);
          work.correlation(a, b) += w * tau * sigma[a] * sigma[b];
        }
      }
      parameter_->volatility_aad(work.sigma, volatilities_row, adjoints);
      break;
  }
  for (size_t a = 0; a < n; ++a)
    for (size_t b = 0; b <= a; ++b) add_to_table(lower(a, b), states_covariance_offset_, slice + a * n + b, adjoints);
}

void model_markovian_hjm::states_variable_covariance_cholesky_aad(const matrix<double>& factor_adjoint,
                                                                  const matrix<double>& factor, const datetime& t,
                                                                  double* adjoints) const {
  const size_t n = number_of_factors();
  check_adjoint_layout();
  QAVREK_CHECK(
      factor_adjoint.rows() == n && factor_adjoint.columns() == n && factor.rows() == n && factor.columns() == n,
      "a Cholesky factor and its adjoint are ", n, " x ", n, ", not ", factor.rows(), " x ", factor.columns(), " and ",
      factor_adjoint.rows(), " x ", factor_adjoint.columns());
  adjoint_workspace work(n);
  cholesky_aad(factor_adjoint, factor, t, adjoints, work);
  work.scatter_correlation(*parameter_, adjoints);
}

void model_markovian_hjm::cholesky_aad(const matrix<double>& factor_adjoint, const matrix<double>& factor,
                                       const datetime& t, double* adjoints, adjoint_workspace& work) const {
  const size_t n = number_of_factors();
  if (negligible(factor_adjoint.data(), n * n)) return;
  // The adjoint of the covariance's lower triangle, which is all the factorisation reads.
  matrix<double>& covariance_adjoint = work.covariance;
  covariance_adjoint.fill(0.0);
  if (n < 2) {
    if (factor(0, 0) > 0.0) covariance_adjoint(0, 0) = 0.5 * factor_adjoint(0, 0) / factor(0, 0);
  } else {
    cholesky_decomposition_aad(factor_adjoint.data(), factor.data(), static_cast<long long>(n), 'L',
                               covariance_adjoint.data());
  }
  continue_covariance_aad(covariance_adjoint.data(), t, date_offset(t), adjoints, work);
}

// --- Decomposition

void model_markovian_hjm::decompose_aad(const matrix<double>& adjoint, const datetime& t,
                                        const std::vector<datetime>& dates, double* adjoints, bool relative) const {
  const size_t n = number_of_factors();
  check_adjoint_layout();
  if (dates.empty()) return;
  QAVREK_CHECK(adjoint.columns() == n, "the loadings' adjoints have one column per factor (", n, "), not ",
               adjoint.columns());
  QAVREK_CHECK(adjoint.rows() >= dates.size(), "the loadings' adjoints have ", adjoint.rows(), " rows for ",
               dates.size(), " dates");
  if (negligible(adjoint.data(), dates.size() * n)) return;
  factor_scratch scratch(n * n);
  matrix<double> factor = matrix<double>::view(scratch.data(), n, n);
  states_variable_covariance_cholesky(t, factor);
  adjoint_workspace work(n);
  loadings_aad(adjoint, factor, t, dates, adjoints, relative, work);
}

void model_markovian_hjm::decompose_aad(const matrix<double>& adjoint, const matrix<double>& factor,
                                        const datetime& t, const std::vector<datetime>& dates, double* adjoints,
                                        bool relative) const {
  adjoint_workspace work;
  decompose_aad(adjoint, factor, t, dates, adjoints, relative, work);
}

void model_markovian_hjm::decompose_aad(const matrix<double>& adjoint, const matrix<double>& factor,
                                        const datetime& t, const std::vector<datetime>& dates, double* adjoints,
                                        bool relative, adjoint_workspace& work) const {
  const size_t n = number_of_factors();
  check_adjoint_layout();
  if (dates.empty()) return;
  QAVREK_CHECK(adjoint.columns() == n, "the loadings' adjoints have one column per factor (", n, "), not ",
               adjoint.columns());
  QAVREK_CHECK(adjoint.rows() >= dates.size(), "the loadings' adjoints have ", adjoint.rows(), " rows for ",
               dates.size(), " dates");
  QAVREK_CHECK(factor.rows() == n && factor.columns() == n, "a Cholesky factor is ", n, " x ", n, ", not ",
               factor.rows(), " x ", factor.columns());
  if (negligible(adjoint.data(), dates.size() * n)) return;
  work.prepare(n);
  loadings_aad(adjoint, factor, t, dates, adjoints, relative, work);
}

void model_markovian_hjm::loadings_aad(const matrix<double>& adjoint, const matrix<double>& factor,
                                       const datetime& t, const std::vector<datetime>& dates, double* adjoints,
                                       bool relative, adjoint_workspace& work) const {
  const size_t n = number_of_factors();
  // The forward quantities again: the origin g0 and, row by row, G(dates[r]) - g0.
  const size_t j = date_offset(t);
  factor_scratch scratch(3 * n);
  double* origin = scratch.block(0);
  double* g = scratch.block(n);
  double* g_bar = scratch.block(2 * n);
  if (relative) continue_integral_decay_into(t, j, origin);

  matrix<double>& factor_bar = work.factor;
  factor_bar.fill(0.0);
  double* origin_bar = work.loading;
  std::fill(origin_bar, origin_bar + n, 0.0);
  for (size_t r = dates.size(); r-- > 0;) {
    integral_decay_into(dates[r], g);
    for (size_t a = 0; a < n; ++a) g[a] -= origin[a];
    const double* loading_bar = adjoint[r];
    // out(r, b) = sum over a >= b of g_a L(a, b).
    for (size_t a = 0; a < n; ++a) {
      double sum = 0.0;
      for (size_t b = 0; b <= a; ++b) {
        factor_bar(a, b) += g[a] * loading_bar[b];
        sum += factor(a, b) * loading_bar[b];
      }
      g_bar[a] = sum;
    }
    integral_decay_aad_into(g_bar, dates[r], adjoints, work);
    for (size_t a = 0; a < n; ++a) origin_bar[a] -= g_bar[a];
  }
  cholesky_aad(factor_bar, factor, t, adjoints, work);
  if (relative) integral_decay_aad_at(origin_bar, t, j, adjoints, work);
  work.scatter_correlation(*parameter_, adjoints);
}

// --- The tables

// The covariance at simulation date j is sv_j rho sv_j plus that of date j - 1, entry by entry: each
// slice's adjoint flows into the sv row of its step, the correlation and the slice before.
void model_markovian_hjm::simulation_covariances_aad(double* adjoints, adjoint_workspace& work) const {
  const size_t n = number_of_factors();
  const matrix<double>& rho = parameter_->correlation();
  factor_scratch sv_bar(n);
  for (size_t j = simulation_dates_.size(); j-- > 0;) {
    const double* slice_bar = table_adjoint(states_covariance_offset_, simulation_index_[j] * n * n, adjoints);
    if (negligible(slice_bar, n * n)) continue;
    const double* sv = incremental_volatility_sv_[j];
    std::fill(sv_bar.data(), sv_bar.data() + n, 0.0);
    for (size_t a = 0; a < n; ++a) {
      for (size_t b = 0; b < n; ++b) {
        const double w = slice_bar[a * n + b];
        sv_bar.data()[a] += w * rho(a, b) * sv[b];
        sv_bar.data()[b] += w * sv[a] * rho(a, b);
        work.correlation(a, b) += w * sv[a] * sv[b];
      }
    }
    for (size_t k = 0; k < n; ++k)
      add_to_table(sv_bar.data()[k], incremental_volatility_sv_offset_, j * n + k, adjoints);
    if (j > 0) {
      const size_t previous = simulation_index_[j - 1] * n * n;
      for (size_t e = 0; e < n * n; ++e) add_to_table(slice_bar[e], states_covariance_offset_, previous + e, adjoints);
    }
  }
}

void model_markovian_hjm::fill_aad(double* adjoints) const {
  adjoint_workspace work;
  fill_aad(adjoints, work);
}

void model_markovian_hjm::fill_aad(double* adjoints, adjoint_workspace& work) const {
  check_adjoint_layout();
  if (negligible(table_adjoint(0, 0, adjoints), state_parameters_size())) return;
  const size_t n = number_of_factors();
  const size_t m = model_dates_.size();
  const size_t s = simulation_dates_.size();
  work.prepare(n);

  // The simulation tables read the decay and integrated-decay rows: their adjoints go first. With the
  // full-covariance flag false the slices come from the sv rows alone, never from the continuation.
  if (!full_covariance_flag_ && s > 0) {
    simulation_covariances_aad(adjoints, work);
    const matrix<double> sv_bar =
        matrix<double>::view(table_adjoint(incremental_volatility_sv_offset_, 0, adjoints), s, n);
    incremental_volatility_aad(
        sv_bar, incremental_volatility_sv_, simulation_dates_,
        [&](size_t interval, const double* w) { add_incremental_variance_sv_aad(interval, w, adjoints, work); });
    const matrix<double> mm_bar =
        matrix<double>::view(table_adjoint(incremental_volatility_mm_offset_, 0, adjoints), s, n);
    incremental_volatility_aad(
        mm_bar, incremental_volatility_mm_, simulation_dates_,
        [&](size_t interval, const double* w) { add_incremental_variance_mm_aad(interval, w, adjoints, work); });
  }

  // Row i came from row i - 1: going down, each row's adjoint is complete when its turn comes.
  for (size_t i = m; i-- > 1;) {
    if (full_covariance_flag_)
      continue_covariance_aad(table_adjoint(states_covariance_offset_, i * n * n, adjoints), model_dates_[i], i - 1,
                              adjoints, work);
    integral_decay_aad_at(table_adjoint(integral_decay_offset_, i * n, adjoints), model_dates_[i], i - 1, adjoints,
                          work);
    decay_aad_at(table_adjoint(decay_offset_, i * n, adjoints), model_dates_[i], i - 1, adjoints, work);
  }

  // Row 0 of the decays: HULL_WHITE's is the constant 1, PICEWISE_CONSTANT's the parameter's first row.
  if (parameter_->model_type() == hjm_type::PICEWISE_CONSTANT) {
    const double* row_bar = table_adjoint(decay_offset_, 0, adjoints);
    if (!negligible(row_bar, n)) {
      std::copy(row_bar, row_bar + n, work.kappa.begin());
      parameter_->decays_aad(work.kappa, 0, adjoints);
    }
  }
  work.scatter_correlation(*parameter_, adjoints);
}

void model_markovian_hjm::finalize_aad(double*) const {}

}  // namespace qavrek
