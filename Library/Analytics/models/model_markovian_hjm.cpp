#include "Analytics/models/model_markovian_hjm.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <limits>

#include "Analytics/models/bilinear_form.h"
#include "Analytics/models/factor_scratch.h"
#include "Core/check.h"
#include "Math/cholesky_decomposition.h"
#include "PDE/grid/space_grid.h"
#include "PDE/scheme/pde_model_coefficients.h"
#include "Util/datetime_helper.h"
#include "Util/day_count_convention.h"

namespace qavrek {
namespace {

using hjm_type = parameter_markovian_hjm_type;

// 2^-52: below it an exponent is treated as zero in expm1(x)/x.
constexpr double epsilon = std::numeric_limits<double>::epsilon();

// Below this size of x the divided differences of exp below are summed as series: their closed forms
// cancel there, catastrophically as x goes to 0 (a mean reversion of 1e-8 would lose every digit).
constexpr double series_bound = 1.0;

// (e^x - 1)/x = sum_j x^j / (j + 1)!.
double phi(double x) { return std::abs(x) >= epsilon ? std::expm1(x) / x : 1.0 + 0.5 * x; }

// Sum over j of weight(j) x^j / (j + shift)!, for |x| < series_bound and the weights used here (at most
// (j + 1) 2^(j + 3), and shift >= 2): 30 terms leave a remainder below 1e-25.
template <class Weight>
double exp_series(double x, int shift, Weight weight) {
  double factorial = 1.0;
  for (int i = 2; i <= shift; ++i) factorial *= i;
  double power = 1.0;
  double sum = 0.0;
  for (int j = 0; j < 30; ++j) {
    sum += weight(j) * power / factorial;
    power *= x;
    factorial *= j + shift + 1;
  }
  return sum;
}

// (phi(2x) - phi(x))/x: integral over [0, 1] of e^{xs} (e^{xs} - 1)/x ds.
double phi_cross(double x) {
  if (std::abs(x) < series_bound) return exp_series(x, 2, [](int j) { return std::ldexp(2.0, j) - 1.0; });
  return (phi(2.0 * x) - phi(x)) / x;
}

// (phi(2x) - 2 phi(x) + 1)/x^2: integral over [0, 1] of ((e^{xs} - 1)/x)^2 ds.
double phi_square(double x) {
  if (std::abs(x) < series_bound) return exp_series(x, 3, [](int j) { return std::ldexp(4.0, j) - 2.0; });
  return (phi(2.0 * x) - 2.0 * phi(x) + 1.0) / (x * x);
}

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

// The slopes of the divided differences above, for the adjoints: each the term-by-term derivative of
// its series near 0 and the derivative of its closed form elsewhere, so that it differentiates exactly
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

// Read-only vector view over a grid axis, so that the element-wise evaluator checks its size.
const vector<double> axis_view(const std::vector<double>& axis) {
  return vector<double>::view(const_cast<double*>(axis.data()), axis.size());
}

// Where a factor's points sit in a tensor of `count` values: one value per point of its grid (count equals its
// size), or one per node of the product of the grids, grid 0 outermost, where each point of grid i is repeated
// over `inner` nodes and the block of its points over `outer` blocks. size_of(j) is the size of grid j.
struct factor_layout {
  size_t outer = 1;
  size_t inner = 1;
};

template <class Size>
factor_layout layout_on_grids(size_t count, size_t factors, size_t i, const Size& size_of) {
  const size_t points = size_of(i);
  if (count == points) return {};
  factor_layout layout;
  for (size_t j = 0; j < i; ++j) layout.outer *= size_of(j);
  for (size_t j = i + 1; j < factors; ++j) layout.inner *= size_of(j);
  QAVREK_CHECK(count == layout.outer * points * layout.inner, "a coefficient tensor of ", count,
               " values holds neither the ", points, " points of factor ", i, "'s grid nor the ",
               layout.outer * points * layout.inner, " nodes of the product of the grids");
  return layout;
}

// The coefficients of one factor over the step: diffusion 1/2 variance, no convection, and the reaction
// level + slope x at every node of the factor's point x.
template <class Size>
void write_factor_coefficients(tensor<double>& diffusion, tensor<double>& convection, tensor<double>& reaction,
                               const std::vector<double>& axis, size_t factors, size_t i, const Size& size_of,
                               double variance, double level, double slope) {
  const size_t count = reaction.size();
  QAVREK_CHECK(diffusion.size() == count && convection.size() == count, "the coefficient tensors of factor ", i,
               " hold ", diffusion.size(), ", ", convection.size(), " and ", count, " values");
  const factor_layout layout = layout_on_grids(count, factors, i, size_of);
  const size_t points = axis.size();
  double* values = reaction.data();
  if (layout.inner == 1) {
    for (size_t block = 0; block < layout.outer; ++block, values += points)
      for (size_t p = 0; p < points; ++p) values[p] = level + slope * axis[p];
  } else {
    for (size_t block = 0; block < layout.outer; ++block) {
      for (size_t p = 0; p < points; ++p) {
        double* nodes = values + (block * points + p) * layout.inner;
        std::fill(nodes, nodes + layout.inner, level + slope * axis[p]);
      }
    }
  }
  convection.fill(0.0);
  diffusion.fill(0.5 * variance);
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
  current = next;

  const size_t start = simulation_index_[step - 1];
  const size_t end = simulation_index_[step];
  const double* sv = incremental_volatility_sv_[step];
  const double* mm = incremental_volatility_mm_[step];
  const double* integral_start = integral_decay_[start];
  const double* integral_end = integral_decay_[end];
  const matrix<double> covariance_start = states_covariance_.get_matrix(start, 0, 0);
  const matrix<double>& rho = parameter_->correlation();

  factor_scratch scratch(4 * n);
  double* increment = scratch.block(0);        // G_end - G_start
  double* sum = scratch.block(n);              // G_end + G_start
  double* integral_loading = scratch.block(2 * n);  // mm - G_end sv: the draws' weight in the integral
  double* drift = scratch.block(3 * n);        // sv (rho mm)
  for (size_t k = 0; k < n; ++k) {
    increment[k] = integral_end[k] - integral_start[k];
    sum[k] = integral_end[k] + integral_start[k];
    integral_loading[k] = mm[k] - integral_end[k] * sv[k];
    double rho_mm = 0.0;
    for (size_t j = 0; j < n; ++j) rho_mm += rho(k, j) * mm[j];
    drift[k] = sv[k] * rho_mm;
  }
  const double half_q = 0.5 * (bilinear_form(integral_loading, rho, integral_loading) +
                               bilinear_form(sum, covariance_start, increment));

  const size_t paths = next.columns();
  double* __restrict integral_row = next[n];
  for (size_t k = 0; k < n; ++k) {
    const double shift = measure.row_dot(step, k);
    const double constant = k == 0 ? half_q : 0.0;
    const double b = drift[k];
    const double volatility = sv[k];
    const double d_g = increment[k];
    const double loading = integral_loading[k];
    const double* __restrict previous = current[k];
    const double* __restrict draws = gaussians[k];
    double* __restrict state = next[k];
    for (size_t p = 0; p < paths; ++p) {
      const double draw = draws[p] - shift;
      state[p] -= b + volatility * draw;
      integral_row[p] += constant + d_g * previous[p] + loading * draw;
    }
  }
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
// PDE

bool model_markovian_hjm::has_covariance_at(const datetime& t) const {
  if (!t.is_valid()) return false;
  if (full_covariance_flag_ || t == valuation_date_) return true;
  // Equality, not equivalence: lower_bound alone would take an unset date for any.
  const auto found = std::lower_bound(simulation_dates_.begin(), simulation_dates_.end(), t);
  return found != simulation_dates_.end() && *found == t;
}

void model_markovian_hjm::check_covariance_date(const datetime& t, const char* operation) const {
  QAVREK_CHECK(has_covariance_at(t), operation, " at ", t,
               " needs the covariance of the states there, which a simulation model tabulates at the valuation date "
               "and its simulation dates only");
}

void model_markovian_hjm::pde_step_terms(const datetime& t, const datetime& T, double* work) const {
  check_covariance_date(t, "the PDE coefficients");
  check_covariance_date(T, "the PDE coefficients");
  QAVREK_CHECK(!(T < t), "the PDE coefficients need the step's dates in time order, not ", t, " then ", T);
  const size_t n = number_of_factors();
  const size_t k_t = date_offset(t);
  const size_t k_end = date_offset(T);
  double* variance = work;
  double* level = work + n;
  double* slope = work + 2 * n;
  double* rest = work + 3 * n;
  matrix<double> covariance_t = matrix<double>::view(rest, n, n);
  matrix<double> covariance_end = matrix<double>::view(rest + n * n, n, n);
  vector<double> decay_t = vector<double>::view(rest + 2 * n * n, n);
  vector<double> decay_end = vector<double>::view(rest + 2 * n * n + n, n);
  double* drift_t = rest + 2 * n * n + 2 * n;
  double* drift_end = rest + 2 * n * n + 3 * n;
  double* integral_t = rest + 2 * n * n + 4 * n;
  double* integral_end = rest + 2 * n * n + 5 * n;
  continue_states_variable_covariance(t, k_t, covariance_t);
  continue_states_variable_covariance(T, k_end, covariance_end);
  decay(t, k_t, decay_t);
  decay(T, k_end, decay_end);
  continue_integral_decay_into(t, k_t, integral_t);
  continue_integral_decay_into(T, k_end, integral_end);
  state_drift_into(t, k_t, drift_t);
  state_drift_into(T, k_end, drift_end);

  const double half_dt = 0.5 * year_fraction(t, T);
  for (size_t i = 0; i < n; ++i) {
    // The factor's share of the short rate is D_i (x_i + (S G)_i), x_i = mu_i + the grid point.
    double covariance_term_t = 0.0;
    double covariance_term_end = 0.0;
    for (size_t j = 0; j < n; ++j) {
      covariance_term_t += covariance_t(i, j) * integral_t[j];
      covariance_term_end += covariance_end(i, j) * integral_end[j];
    }
    variance[i] = std::max(covariance_end(i, i) - covariance_t(i, i), 0.0);
    level[i] = -half_dt * (decay_t[i] * (drift_t[i] + covariance_term_t) +
                           decay_end[i] * (drift_end[i] + covariance_term_end));
    slope[i] = -half_dt * (decay_t[i] + decay_end[i]);
  }
}

void model_markovian_hjm::coefficients(std::span<tensor<double>> diffusions, std::span<tensor<double>> convections,
                                       std::span<tensor<double>> reactions, std::span<const std::vector<double>> axes,
                                       const datetime& t, const datetime& T) const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(diffusions.size() == n && convections.size() == n && reactions.size() == n && axes.size() == n,
               "the PDE coefficients need one grid and three coefficient tensors per factor (", n, ")");
  factor_scratch terms(pde_step_work_size(n));
  pde_step_terms(t, T, terms.data());
  const auto size_of = [&axes](size_t j) { return axes[j].size(); };
  for (size_t i = 0; i < n; ++i)
    write_factor_coefficients(diffusions[i], convections[i], reactions[i], axes[i], n, i, size_of,
                              terms.block(0)[i], terms.block(n)[i], terms.block(2 * n)[i]);
}

void model_markovian_hjm::coefficients(std::span<const std::shared_ptr<pde_model_coefficients>> coefficients,
                                       std::span<const ptr_const<space_grid>> grids, const datetime& t,
                                       const datetime& T) const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(coefficients.size() >= n && grids.size() >= n,
               "the PDE coefficients need one grid and one coefficient set per factor (", n, "), not ", grids.size(),
               " and ", coefficients.size());
  for (size_t i = 0; i < n; ++i)
    QAVREK_CHECK(coefficients[i] != nullptr && grids[i] != nullptr, "factor ", i, " has no grid or coefficient set");
  factor_scratch terms(pde_step_work_size(n));
  pde_step_terms(t, T, terms.data());
  const auto size_of = [&grids](size_t j) { return grids[j]->size(); };
  for (size_t i = 0; i < n; ++i) {
    pde_model_coefficients& set = *coefficients[i];
    write_factor_coefficients(set.diffusion(), set.convection(), set.reaction(), grids[i]->axis(), n, i, size_of,
                              terms.block(0)[i], terms.block(n)[i], terms.block(2 * n)[i]);
  }
}

template <class Axis>
void model_markovian_hjm::grid_conditional_price(double* out, size_t size, const Axis& axis, const datetime& t,
                                                 const datetime& T) const {
  check_covariance_date(t, "the grid price");
  const size_t n = number_of_factors();
  factor_scratch scratch(n * n + 4 * n);
  matrix<double> covariance = matrix<double>::view(scratch.block(0), n, n);
  double* integral_t = scratch.block(n * n);
  double* difference = scratch.block(n * n + n);  // G(T) - G(t)
  double* sum = scratch.block(n * n + 2 * n);     // G(T) + G(t)
  vector<double> drift = vector<double>::view(scratch.block(n * n + 3 * n), n);
  states_variable_covariance(t, covariance);
  integral_decay_into(t, integral_t);
  integral_decay_into(T, difference);
  for (size_t k = 0; k < n; ++k) {
    sum[k] = difference[k] + integral_t[k];
    difference[k] -= integral_t[k];
  }
  const double q = bilinear_form(difference, covariance, sum);
  state_drift(t, drift);

  vector<double> values = vector<double>::view(out, size);
  values = -0.5 * q;
  for (size_t i = 0; i < n; ++i) values -= difference[i] * (drift[i] + axis_view(axis(i)));
}

void model_markovian_hjm::conditional_price(double* out, std::span<const std::vector<double>> axes,
                                            const datetime& t, const datetime& T) const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(axes.size() == n, "the grid price needs one grid per factor (", n, "), not ", axes.size());
  grid_conditional_price(out, axes[0].size(), [&axes](size_t i) -> const std::vector<double>& { return axes[i]; },
                         t, T);
}

void model_markovian_hjm::conditional_price(double* out, std::span<const ptr_const<space_grid>> grids,
                                            const datetime& t, const datetime& T) const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(grids.size() >= n, "the grid price needs one grid per factor (", n, "), not ", grids.size());
  for (size_t i = 0; i < n; ++i) QAVREK_CHECK(grids[i] != nullptr, "factor ", i, " has no grid");
  grid_conditional_price(out, grids[0]->size(),
                         [&grids](size_t i) -> const std::vector<double>& { return grids[i]->axis(); }, t, T);
}

// ---------------------------------------------------------------------------------------------------
// Adjoints

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

// ---------------------------------------------------------------------------------------------------
// State parameters

void model_markovian_hjm::finalize_aad(double*) const {}

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
