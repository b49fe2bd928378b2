#include "Analytics/models/model_black_karasinski.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <limits>
#include <numbers>

#include "Core/check.h"
#include "Math/gaussian_quadrature.h"
#include "Math/karhunen_loeve_expansion.h"
#include "Util/datetime_helper.h"
#include "Util/day_count_convention.h"

namespace qavrek {
namespace {

// The Gauss-Hermite roots are refined until a Newton step is below machine precision, 20 steps at most.
constexpr double root_tolerance = 2.220446049250313e-16;
constexpr size_t root_iterations = 20;

// The simulation step's loop is compiled twice where the compiler can dispatch at run time: for AVX2
// processors (x86-64-v3) and for the baseline. Not under ThreadSanitizer, which instruments the resolver that
// picks the clone, and that runs while the library is loaded, before the sanitizer is set up.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__) && !defined(__SANITIZE_THREAD__)
#define QAVREK_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define QAVREK_VECTOR_CLONES
#endif

// e^x within an ulp, in plain arithmetic that the compiler vectorises (std::exp stays a scalar call): x =
// k ln 2 + r with |r| <= ln 2 / 2, e^r by its Taylor series to r^13 (remainder below 1e-17), 2^k added to
// the exponent bits. Arguments saturate at -708 and 709, so the result stays a finite normal number; the
// saturation is written without comparisons, which would keep the loop from vectorising.
inline double vectorisable_exp(double x) {
  constexpr double lowest = -708.0, highest = 709.0;
  const double above = x - highest;
  x -= 0.5 * (above + std::abs(above));  // exact below the bound: above + |above| is then 0
  const double below = lowest - x;
  x += 0.5 * (below + std::abs(below));
  constexpr double log2e = 1.4426950408889634;
  constexpr double ln2_high = 0.693147180369123816490;  // 32 bits, so that k ln2_high is exact
  constexpr double ln2_low = 1.90821492927058770002e-10;
  constexpr double shifter = 6755399441055744.0;  // 1.5 * 2^52: adding it rounds to an integer k in the low bits
  const double shifted = x * log2e + shifter;
  const double k = shifted - shifter;
  const double r = (x - k * ln2_high) - k * ln2_low;
  double series = 1.0 / 6227020800.0;
  for (double factorial : {479001600.0, 39916800.0, 3628800.0, 362880.0, 40320.0, 5040.0, 720.0, 120.0, 24.0, 6.0,
                           2.0, 1.0, 1.0})
    series = series * r + 1.0 / factorial;
  const std::uint64_t scale = std::bit_cast<std::uint64_t>(shifted) << 52;
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(series) + scale);
}

// The factor's move and the trapezoid of the rate for every path of one step.
QAVREK_VECTOR_CLONES void step_paths(size_t paths, const double* __restrict draws, const double* __restrict before,
                                     double* __restrict factor, double* __restrict integral, double sigma, double drift,
                                     double level, double start_decay, double end_decay, double half_step) {
  for (size_t p = 0; p < paths; ++p) {
    const double after = factor[p] + (sigma * draws[p] - drift);
    factor[p] = after;
    integral[p] += half_step * (vectorisable_exp(level + start_decay * before[p]) +
                                vectorisable_exp(level + end_decay * after));
  }
}

bool has_one_mean_reversion(const parameter_markovian_hjm& hjm) {
  if (hjm.model_type() != parameter_markovian_hjm_type::HULL_WHITE) return false;
  const matrix<double>& decays = hjm.decays();
  return std::all_of(decays.begin(), decays.end(), [&](double kappa) { return kappa == decays(0, 0); });
}

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

  levels_offset_ = state_parameters_size() + hjm_model_->state_parameters_size();
  set_state_parameters_size(levels_offset_ + levels_times_.size());
  set_initialized(true);

  datetime_helper::interpolate_from_subset_dates(hjm_model_->model_dates(), parameter.levels_parameter_dates(),
                                                 levels_indices_);
  constant_mean_reversion_ = has_one_mean_reversion(hjm);
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
  previous = states;

  const datetime& start = simulation_dates[i - 1];
  const datetime& end = simulation_dates[i];
  const double sigma = hjm_model_->incremental_volatility_sv()(i, 0);
  const double start_decay = factor_decay(start);
  const double end_decay = factor_decay(end);
  // The level of the step's start serves both of its ends.
  const double level = parameter_->levels_parameter()[parameter_->levels_parameter_offset(start)];
  const double drift = sigma * measure_change.row_dot(i, 0);
  const double half_step = 0.5 * year_fraction(start, end);

  step_paths(states.columns(), gaussians[0], previous[0], states[0], states[n], sigma, drift, level, start_decay,
             end_decay, half_step);
}

void model_black_karasinski::discount_factors(const vector<double>& x, double decay, const datetime& t,
                                              const datetime& T, vector<double>& out) const {
  if (t == T) {
    out.fill(1.0);
    return;
  }
  QAVREK_CHECK(constant_mean_reversion_,
               "Black-Karasinski prices need HULL_WHITE decays of one mean reversion, the factor's reversion to its "
               "level");
  const karhunen_loeve_expansion expansion(year_fraction(valuation_date_, t), year_fraction(valuation_date_, T),
                                           parameter_->mean_reversion(), parameter_->levels_parameter(),
                                           levels_times_, squared_volatilities_, volatilities_times_, time_step_);
  expansion.survival_probability(x, decay, roots_, weights_, out);
}

void model_black_karasinski::conditional_price(const matrix<double>& states, const datetime& t, const datetime& T,
                                               vector<double>& out) const {
  QAVREK_CHECK(states.rows() >= 1, "the states hold no factor row");
  const vector<double> factor = states.row(0);
  discount_factors(factor, factor_decay(t), t, T, out);
  for (double& price : out) price = std::log(price);
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
