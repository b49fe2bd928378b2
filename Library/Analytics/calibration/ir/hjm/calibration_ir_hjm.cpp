#include "Analytics/calibration/ir/hjm/calibration_ir_hjm.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <sstream>
#include <string>

#include "Analytics/calibration/common/calibration_convergence.h"
#include "Analytics/calibration/common/calibration_lm_parameters.h"
#include "Analytics/calibration/ir/hjm/calibration_ir_hjm_spread_option.h"
#include "Core/check.h"
#include "Core/interruption.h"
#include "Core/logger.h"
#include "Core/parallel_for.h"
#include "Core/workspace_pool.h"
#include "Core/text_format.h"
#include "Math/cholesky_decomposition.h"
#include "Math/levenberg_marquardt.h"
#include "Math/optimization_algorithm_output.h"
#include "Util/datetime_helper.h"

namespace qavrek {
namespace {

constexpr const char* source_file = "Library/Analytics/calibration/ir/hjm/calibration_ir_hjm";

// Residuals are volatility differences in units of 1e-6, so that a fit to a hundredth of a basis point
// is a residual of order one.
constexpr double residual_scale = 1000000.0;
// Correlation angles move through tanh(0.1 x), as the bounded parameters do.
constexpr double tanh_scale = parameter_bounds::tanh_scale;
// A correlation row whose off-diagonal entries reach unit length is shrunk to this squared length.
constexpr double maximum_row_norm = 0.999999;

// Root search of each target's pricing.
constexpr size_t pricing_iterations = 20;
constexpr double pricing_tolerance = 1e-10;

// The strict-lower position of correlation entry (i, j), j < i, in the angle block.
size_t angle_index(size_t i, size_t j) { return i * (i - 1) / 2 + j; }

// The unit-row lower factor L (n x n) that the angles x[first ..] describe, and each row's squared
// off-diagonal length before any shrinking.
void correlation_factor(const vector<double>& x, size_t first, size_t n, matrix<double>& L, std::vector<double>& s) {
  if (L.rows() != n || L.columns() != n) L.resize(n, n);
  L.fill(0.0);
  s.assign(n, 0.0);
  if (n == 0) return;
  L(0, 0) = 1.0;
  for (size_t i = 1; i < n; ++i) {
    for (size_t j = 0; j < i; ++j) {
      const double l = std::tanh(tanh_scale * x[first + angle_index(i, j)]);
      L(i, j) = l;
      s[i] += l * l;
    }
    if (s[i] < 1.0) {
      L(i, i) = std::sqrt(1.0 - s[i]);
    } else {
      const double c = std::sqrt(maximum_row_norm / s[i]);
      for (size_t j = 0; j < i; ++j) L(i, j) *= c;
      L(i, i) = std::sqrt(1.0 - maximum_row_norm);
    }
  }
}

}  // namespace

// ----------------------------------------------------------------------------------------------------------
// Construction

calibration_ir_hjm::calibration_ir_hjm(const datetime& valuation_date, const ptr_const<discount_curve>& curve,
                                       const ptr_const<calibration_ir_targets_configuration>& targets_config,
                                       const ptr_const<day_count_convention>& convention)
    : valuation_date_(valuation_date), convention_(convention) {
  QAVREK_CHECK_AT("calibration_ir_hjm", source_file, __LINE__, targets_config != nullptr,
                  "the targets configuration is missing");
  const auto& config = *targets_config;
  const tenor& frequency = config.frequency();
  std::set<double> starts;
  std::set<double> ends;
  auto add_target = [&](const datetime& start, const datetime& end) {
    swaptions_.push_back(std::make_shared<const calibration_ir_hjm_swaption>(curve, start, end, frequency, convention));
    starts.insert(start.serial());
    ends.insert(end.serial());
  };

  if (config.include_caplets()) {
    for (const tenor& e : config.expiries()) {
      const datetime start = datetime_helper::add_tenor(valuation_date, e, 1);
      add_target(start, datetime_helper::add_tenor(start, frequency, 1));
    }
  }
  if (config.include_coterminal()) {
    const datetime end = datetime_helper::add_tenor(valuation_date, config.coterminal(), 1);
    ends.insert(end.serial());
    for (const tenor& e : config.expiries()) {
      const datetime start = datetime_helper::add_tenor(valuation_date, e, 1);
      if (end > start) add_target(start, end);
    }
  }
  if (config.include_cms()) {
    for (const tenor& c : config.cms_tenors()) {
      for (const tenor& e : config.expiries()) {
        const datetime start = datetime_helper::add_tenor(valuation_date, e, 1);
        add_target(start, datetime_helper::add_tenor(start, c, 1));
      }
    }
  }

  for (double d : starts) expiry_dates_.push_back(datetime(d));
  std::vector<datetime> end_dates;
  for (double d : ends) end_dates.push_back(datetime(d));
  calibration_dates_ = datetime_helper::merge_dates(expiry_dates_, end_dates);
}

calibration_ir_hjm::~calibration_ir_hjm() = default;

// ----------------------------------------------------------------------------------------------------------
// Calibration

ptr_const<parameter_markovian_hjm> calibration_ir_hjm::calibrate(
    const ptr_const<ir_volatility_surface>& volatility_surface, const matrix<double>& correlation,
    const ptr_const<calibration_hjm_settings>& settings, const std::vector<double>& strikes,
    const ptr_const<parameter_markovian_hjm>& initial_parameter) const {
  problem run(*this, volatility_surface, correlation, settings, strikes, initial_parameter);

  lm_parameters parameters = calibration_lm_parameters(run.number_of_residuals(), run.number_of_unknowns(),
                                                         settings->max_iterations(), settings->tolerance());

  auto residual = [&run](const vector<double>& x, vector<double>& r) { run.residuals(x, r); };
  vector<double> x = run.initial_unknowns();
  optimization_algorithm_output output(run.number_of_unknowns());
  if (settings->jacobian_with_aad_flag()) {
    auto jacobian = [&run](const vector<double>& at, matrix<double>& J) { run.jacobian(at, J); };
    output = levenberg_marquardt(parameters, residual, jacobian)(x);
  } else {
    auto jacobian = [&run, &parameters](const vector<double>& at, matrix<double>& J) {
      run.finite_difference_jacobian(at, J, parameters);
    };
    output = levenberg_marquardt(parameters, residual, jacobian)(x);
  }
  if (settings->debug()) output.print();
  warn_unless_converged(output, "the HJM calibration");

  // The result is the optimiser's final point, whatever point a callback saw last; the model volatilities
  // of the report belong to it too.
  vector<double> final_residuals(run.number_of_residuals());
  run.residuals(x, final_residuals);
  if (settings->debug()) report(run);

  // A fresh set: independent of this run's model and adjoint layout.
  const parameter_markovian_hjm& fitted = run.parameter();
  return std::make_shared<const parameter_markovian_hjm>(fitted.decays(), fitted.volatilities(),
                                                         fitted.correlation(), fitted.decays_dates(),
                                                         fitted.volatilities_dates(), fitted.day_convention(),
                                                         fitted.model_type());
}

calibration_ir_hjm::problem::problem(const calibration_ir_hjm& driver,
                                     const ptr_const<ir_volatility_surface>& volatility_surface,
                                     const matrix<double>& correlation,
                                     const ptr_const<calibration_hjm_settings>& settings,
                                     const std::vector<double>& strikes,
                                     const ptr_const<parameter_markovian_hjm>& initial_parameter)
    : driver_(driver), settings_(settings) {
  const size_t targets = driver.swaptions_.size();
  QAVREK_CHECK_AT("calibrate", source_file, __LINE__, settings != nullptr, "the calibration settings are missing");
  QAVREK_CHECK_AT("calibrate", source_file, __LINE__, volatility_surface != nullptr,
                  "the volatility surface is missing");
  QAVREK_CHECK_AT("calibrate", source_file, __LINE__, strikes.empty() || strikes.size() >= targets,
                  "strike has different size than swaptions!");
  QAVREK_CHECK_AT("calibrate", source_file, __LINE__, correlation.rows() == correlation.columns(),
                  "correlation matrix is bad!");
  const size_t n = correlation.rows();
  bool symmetric = true;
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j < i; ++j)
      if (!(std::abs(correlation(i, j) - correlation(j, i)) < std::numeric_limits<double>::epsilon())) symmetric = false;
  QAVREK_CHECK_AT("calibrate", source_file, __LINE__, symmetric, "correlation matrix is bad!");
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < i; ++j)
      QAVREK_CHECK_AT("calibrate", source_file, __LINE__, std::abs(correlation(i, j)) <= 1.0,
                      "correlation matrix is bad!");
    QAVREK_CHECK_AT("calibrate", source_file, __LINE__,
                    std::abs(correlation(i, i) - 1.0) < std::numeric_limits<double>::epsilon(),
                    "correlation matrix is bad!");
  }
  QAVREK_CHECK_AT("calibrate", source_file, __LINE__, settings->number_of_factors() == n,
                  "Number of factors is inconsistent for the calibration!");
  {
    matrix<double> factor(correlation);
    QAVREK_CHECK_AT("calibrate", source_file, __LINE__,
                    cholesky_decomposition(factor.data(), static_cast<long long>(n), 'L'),
                    "the correlation matrix is not positive definite");
  }
  QAVREK_CHECK_AT("calibrate", source_file, __LINE__, targets > 0,
                  "the targets configuration gives no swaption to calibrate to");
  decay_bounds_ = parameter_bounds::read(settings->decay_bounds(), "decay");
  volatility_bounds_ = parameter_bounds::read(settings->volatility_bounds(), "volatility");

  if (!strikes.empty()) strikes_.assign(strikes.begin(), strikes.begin() + static_cast<std::ptrdiff_t>(targets));
  market_volatilities_.resize(targets);
  for (size_t i = 0; i < targets; ++i)
    market_volatilities_[i] = driver.swaptions_[i]->swaption()->implied_volatility(volatility_surface, strike(i));

  parameter_ = driver.build_initial_parameter(market_volatilities_, *settings, correlation, initial_parameter);
  model_ = std::make_unique<model_markovian_hjm>(*parameter_, driver.valuation_date_, std::vector<datetime>{}, true,
                                                 std::vector<datetime>{});

  number_of_unknowns_ = calibration_ir_hjm::number_of_unknowns(*parameter_, settings->calibrate_correlation_flag());
  const size_t fitted = driver.number_of_instruments(*settings, number_of_unknowns_);
  number_of_residuals_ = fitted + number_of_regularization_rows(*parameter_, settings->regularization_flag());
  model_volatilities_.assign(fitted, 0.0);

  // Starting roots at the starting parameters.
  model_->fill();
  roots_ = matrix<double>(fitted, n);
  for (size_t i = 0; i < fitted; ++i) {
    vector<double> root = roots_.row(i);
    driver.swaptions_[i]->initial_root(root, strike(i), *model_);
  }

  // Adjoint layout: the parameter set's state first, then the model's tables.
  size_t total = 0;
  if (!parameter_->is_registered()) {
    parameter_->register_at(0);
    if (parameter_->is_initialized()) total = parameter_->state_parameters_size();
  }
  if (!model_->is_registered()) {
    model_->register_at(total);
    if (model_->is_initialized()) total += model_->state_parameters_size();
  }
  adjoint_size_ = total;
  buffers_ = std::make_unique<workspace_pool<range_buffers>>(
      [this] { return std::make_unique<range_buffers>(adjoint_size_, roots_.columns()); });
  shifted_points_ = std::make_unique<workspace_pool<shifted_point>>([this] {
    return std::make_unique<shifted_point>(*parameter_, driver_.valuation_date_, roots_.rows(), roots_.columns(),
                                           number_of_unknowns_, number_of_residuals_);
  });
}

// The workspaces of a swaption and of the model's adjoints, an aligned adjoint array of the registered length,
// and the root of the target at hand: the search rewrites its root many times, and a row of the shared roots
// matrix would put the cache line it shares with its neighbours' rows through every thread's hands.
struct calibration_ir_hjm::problem::range_buffers {
  range_buffers(size_t adjoint_size, size_t factors) : adjoints(adjoint_size), root(factors) {}

  calibration_ir_hjm_swaption::workspace swaption;
  model_markovian_hjm::adjoint_workspace model;
  correlation_buffers correlation;
  vector<double> adjoints;
  vector<double> root;
};

// A parameter set and model of their own, with the roots, volatilities and residuals priced on them.
struct calibration_ir_hjm::problem::shifted_point {
  shifted_point(const parameter_markovian_hjm& start, const datetime& valuation_date, size_t targets, size_t factors,
                size_t unknowns, size_t residuals_size)
      : parameter(std::make_shared<parameter_markovian_hjm>(start.decays(), start.volatilities(), start.correlation(),
                                                            start.decays_dates(), start.volatilities_dates(),
                                                            start.day_convention(), start.model_type())),
        model(std::make_unique<model_markovian_hjm>(*parameter, valuation_date, std::vector<datetime>{}, true,
                                                    std::vector<datetime>{})),
        roots(targets, factors),
        x(unknowns),
        model_volatilities(targets),
        residuals(residuals_size),
        forward_residuals(residuals_size) {}

  std::shared_ptr<parameter_markovian_hjm> parameter;
  std::unique_ptr<model_markovian_hjm> model;
  matrix<double> roots;
  vector<double> x;
  std::vector<double> model_volatilities;
  vector<double> residuals;
  vector<double> forward_residuals;  // central differences: those of the forward point
  correlation_buffers correlation;
};

calibration_ir_hjm::problem::~problem() = default;

vector<double> calibration_ir_hjm::problem::initial_unknowns() const {
  vector<double> x(number_of_unknowns_, 0.0);
  map_to_R(x, *parameter_, decay_bounds_, volatility_bounds_, settings_->calibrate_correlation_flag());
  return x;
}

void calibration_ir_hjm::problem::set_unknowns(const vector<double>& x) {
  map_from_R(x, *parameter_, decay_bounds_, volatility_bounds_, settings_->calibrate_correlation_flag(),
             correlation_buffers_);
  model_->fill();
}

void calibration_ir_hjm::problem::price_targets() {
  parallel_for(number_of_targets(), [this](int first, int last) {
    const auto buffers = buffers_->acquire();
    price_range(*model_, roots_, model_volatilities_.data(), static_cast<size_t>(first), static_cast<size_t>(last),
                *buffers);
  });
}

void calibration_ir_hjm::problem::price_range(const model_markovian_hjm& model, matrix<double>& roots,
                                              double* volatilities, size_t first, size_t last,
                                              range_buffers& buffers) const {
  vector<double>& root = buffers.root;
  for (size_t i = first; i < last; ++i) {
    vector<double> row = roots.row(i);
    root = row;
    volatilities[i] = driver_.swaptions_[i]->implied_volatility(strike(i), model, root, pricing_iterations,
                                                                pricing_tolerance, buffers.swaption);
    row = root;
  }
}

void calibration_ir_hjm::problem::residuals_from(const double* model_volatilities,
                                                 const parameter_markovian_hjm& parameter,
                                                 vector<double>& residuals) const {
  const size_t K = number_of_targets();
  for (size_t i = 0; i < K; ++i) residuals[i] = (market_volatilities_[i] - model_volatilities[i]) * residual_scale;
  if (settings_->regularization_flag())
    tikhonov_regularization(residuals, parameter, K, settings_->regularization_factor());
}

void calibration_ir_hjm::problem::shifted_residuals(const vector<double>& x, shifted_point& point,
                                                    range_buffers& buffers) const {
  map_from_R(x, *point.parameter, decay_bounds_, volatility_bounds_, settings_->calibrate_correlation_flag(),
             point.correlation);
  point.model->fill();
  std::copy(roots_.data(), roots_.data() + roots_.size(), point.roots.data());
  price_range(*point.model, point.roots, point.model_volatilities.data(), 0, number_of_targets(), buffers);
  residuals_from(point.model_volatilities.data(), *point.parameter, point.residuals);
}

void calibration_ir_hjm::problem::residuals(const vector<double>& x, vector<double>& residuals) {
  QAVREK_CHECK_AT("residuals", source_file, __LINE__, residuals.size() == number_of_residuals_, "out of range");
  // The optimiser calls back on the calling thread: a caller may stop the run between two evaluations.
  interruption::point();
  set_unknowns(x);
  price_targets();
  priced_at_ = x;
  residuals_from(model_volatilities_.data(), *parameter_, residuals);
  priced_residuals_ = residuals;
}

bool calibration_ir_hjm::problem::start_jacobian(const vector<double>& x, const matrix<double>& jacobian) const {
  QAVREK_CHECK_AT("jacobian", source_file, __LINE__,
                  jacobian.rows() == number_of_residuals_ && jacobian.columns() == number_of_unknowns_,
                  "out of range");
  interruption::point();
  return priced_at_.size() == x.size() && std::equal(x.begin(), x.end(), priced_at_.begin());
}

void calibration_ir_hjm::problem::finite_difference_jacobian(const vector<double>& x, matrix<double>& jacobian,
                                                             const lm_parameters& settings) {
  const bool at_priced_point = start_jacobian(x, jacobian);
  if (!at_priced_point) {
    vector<double> scratch(number_of_residuals_);
    residuals(x, scratch);
  }
  const size_t M = number_of_residuals_;
  parallel_for(number_of_unknowns_, [&, this](int first, int last) {
    const auto point = shifted_points_->acquire();
    const auto buffers = buffers_->acquire();
    vector<double>& shifted = point->x;
    shifted = x;
    for (int column = first; column < last; ++column) {
      const size_t j = static_cast<size_t>(column);
      const double h = settings.finite_difference_increment(x[j]);
      shifted[j] = x[j] + h;
      const double forward = shifted[j] - x[j];
      shifted_residuals(shifted, *point, *buffers);
      if (settings.central_differences) {
        point->forward_residuals = point->residuals;
        shifted[j] = x[j] - h;
        const double backward = x[j] - shifted[j];
        shifted_residuals(shifted, *point, *buffers);
        for (size_t i = 0; i < M; ++i)
          jacobian(i, j) = (point->forward_residuals[i] - point->residuals[i]) / (forward + backward);
      } else {
        for (size_t i = 0; i < M; ++i) jacobian(i, j) = (point->residuals[i] - priced_residuals_[i]) / forward;
      }
      shifted[j] = x[j];
    }
  });
}

void calibration_ir_hjm::problem::jacobian(const vector<double>& x, matrix<double>& jacobian) {
  const bool at_priced_point = start_jacobian(x, jacobian);
  if (at_priced_point) {
    set_unknowns(x);
  } else {
    vector<double> scratch(number_of_residuals_);
    residuals(x, scratch);
  }
  const size_t K = number_of_targets();
  if (settings_->regularization_flag())
    tikhonov_regularization_aad(*parameter_, K, settings_->regularization_factor(), x, decay_bounds_,
                                volatility_bounds_, jacobian);

  const bool calibrate_correlation = settings_->calibrate_correlation_flag();
  parallel_for(K, [&, this](int first, int last) {
    // The range's adjoint array, cleared for each target.
    const auto buffers = buffers_->acquire();
    double* adjoints = buffers->adjoints.data();
    for (int k = first; k < last; ++k) {
      const size_t i = static_cast<size_t>(k);
      std::fill(adjoints, adjoints + adjoint_size_, 0.0);
      vector<double> root = roots_.row(i);
      driver_.swaptions_[i]->implied_volatility_aad(-residual_scale, model_volatilities_[i], strike(i), *model_, root,
                                                    adjoints, buffers->swaption);
      model_->fill_aad(adjoints, buffers->model);
      model_->finalize_aad(adjoints);
      map_from_R_aad(adjoints, x, *parameter_, decay_bounds_, volatility_bounds_, calibrate_correlation, jacobian[i],
                     buffers->correlation);
      parameter_->finalize_aad(adjoints);
    }
  });
}

// ----------------------------------------------------------------------------------------------------------
// Sizes and the starting point

std::shared_ptr<parameter_markovian_hjm> calibration_ir_hjm::build_initial_parameter(
    const std::vector<double>& market_volatilities, const calibration_hjm_settings& settings,
    const matrix<double>& correlation, const ptr_const<parameter_markovian_hjm>& initial_parameter) const {
  if (initial_parameter) {
    return std::make_shared<parameter_markovian_hjm>(initial_parameter->decays(), initial_parameter->volatilities(),
                                                     correlation, calibration_dates_, expiry_dates_, convention_,
                                                     settings.type());
  }
  const size_t n = correlation.rows();
  const bounds decay = parameter_bounds::read(settings.decay_bounds(), "decay");
  const matrix<double> decays(calibration_dates_.size(), n, 0.5 * (decay.lo + decay.hi));
  matrix<double> volatilities(expiry_dates_.size(), n);
  for (size_t r = 0; r < volatilities.rows(); ++r)
    for (size_t k = 0; k < n; ++k) volatilities(r, k) = market_volatilities[r];
  return std::make_shared<parameter_markovian_hjm>(decays, volatilities, correlation, calibration_dates_,
                                                   expiry_dates_, convention_, settings.type());
}

size_t calibration_ir_hjm::number_of_instruments(const calibration_hjm_settings& settings,
                                                 size_t number_of_unknowns) const {
  if (settings.calibrate_to_all_target_flag()) return swaptions_.size();
  return std::min(number_of_unknowns, swaptions_.size());
}

size_t calibration_ir_hjm::number_of_unknowns(const parameter_markovian_hjm& parameter, bool calibrate_correlation) {
  const size_t n = parameter.number_of_factors();
  return parameter.decays().size() + parameter.volatilities().size() + (calibrate_correlation ? n * (n - 1) / 2 : 0);
}

size_t calibration_ir_hjm::number_of_regularization_rows(const parameter_markovian_hjm& parameter,
                                                         bool regularization) {
  if (!regularization) return 0;
  const size_t n = parameter.number_of_factors();
  return parameter.decays().size() + parameter.volatilities().size() - 2 * n;
}

// ----------------------------------------------------------------------------------------------------------
// The unbounded unknowns

void calibration_ir_hjm::map_to_R(vector<double>& x, const parameter_markovian_hjm& parameter,
                                  const bounds& decay_bounds, const bounds& volatility_bounds,
                                  bool calibrate_correlation) {
  const size_t n = parameter.number_of_factors();
  const size_t expected = number_of_unknowns(parameter, calibrate_correlation);
  QAVREK_CHECK_AT("map_to_R", source_file, __LINE__, x.size() == expected, "out of range!");
  size_t k = 0;
  for (double p : parameter.decays()) x[k++] = decay_bounds.unbounded(p);
  for (double p : parameter.volatilities()) x[k++] = volatility_bounds.unbounded(p);
  if (calibrate_correlation && n > 1) {
    matrix<double> L(parameter.correlation());
    QAVREK_CHECK_AT("map_to_R", source_file, __LINE__,
                    cholesky_decomposition(L.data(), static_cast<long long>(n), 'L'),
                    "the correlation matrix is not positive definite");
    for (size_t i = 1; i < n; ++i)
      for (size_t j = 0; j < i; ++j) x[k++] = parameter_bounds{-1.0, 1.0}.unbounded(L(i, j));
  }
}

void calibration_ir_hjm::map_from_R(const vector<double>& x, const parameter_markovian_hjm& parameter,
                                    const bounds& decay_bounds, const bounds& volatility_bounds,
                                    bool calibrate_correlation) {
  correlation_buffers buffers;
  map_from_R(x, parameter, decay_bounds, volatility_bounds, calibrate_correlation, buffers);
}

void calibration_ir_hjm::map_from_R(const vector<double>& x, const parameter_markovian_hjm& parameter,
                                    const bounds& decay_bounds, const bounds& volatility_bounds,
                                    bool calibrate_correlation, correlation_buffers& buffers) {
  const size_t n = parameter.number_of_factors();
  QAVREK_CHECK_AT("map_from_R", source_file, __LINE__,
                  x.size() == number_of_unknowns(parameter, calibrate_correlation), "out of range!");
  size_t k = 0;
  matrix<double> decays = parameter.writable_decays();
  for (double& p : decays) p = decay_bounds.bounded(x[k++]);
  matrix<double> volatilities = parameter.writable_volatilities();
  for (double& p : volatilities) p = volatility_bounds.bounded(x[k++]);
  if (!calibrate_correlation) return;

  matrix<double>& L = buffers.factor;
  correlation_factor(x, k, n, L, buffers.lengths);
  matrix<double> C = parameter.writable_correlation();
  for (size_t i = 0; i < n; ++i) {
    C(i, i) = 1.0;
    for (size_t j = 0; j < i; ++j) {
      double c = 0.0;
      for (size_t m = 0; m <= j; ++m) c += L(i, m) * L(j, m);
      C(i, j) = c;
      C(j, i) = c;
    }
  }
}

void calibration_ir_hjm::map_from_R_aad(const double* adjoints, const vector<double>& x,
                                        const parameter_markovian_hjm& parameter, const bounds& decay_bounds,
                                        const bounds& volatility_bounds, bool calibrate_correlation,
                                        double* jacobian_row) {
  correlation_buffers buffers;
  map_from_R_aad(adjoints, x, parameter, decay_bounds, volatility_bounds, calibrate_correlation, jacobian_row,
                 buffers);
}

void calibration_ir_hjm::map_from_R_aad(const double* adjoints, const vector<double>& x,
                                        const parameter_markovian_hjm& parameter, const bounds& decay_bounds,
                                        const bounds& volatility_bounds, bool calibrate_correlation,
                                        double* jacobian_row, correlation_buffers& buffers) {
  const size_t n = parameter.number_of_factors();
  const size_t N = number_of_unknowns(parameter, calibrate_correlation);
  QAVREK_CHECK_AT("map_from_R_aad", source_file, __LINE__, x.size() == N, "out of range!");
  // The parameter set sits at offset 0 and its state has the layout of the unknowns.
  size_t k = 0;
  for (size_t e = 0; e < parameter.decays().size(); ++e, ++k)
    jacobian_row[k] = adjoints[k] * decay_bounds.bounded_derivative(x[k]);
  for (size_t e = 0; e < parameter.volatilities().size(); ++e, ++k)
    jacobian_row[k] = adjoints[k] * volatility_bounds.bounded_derivative(x[k]);
  if (!calibrate_correlation || n < 2) return;

  // C(i, j) = sum over m <= j of L(i, m) L(j, m): the adjoints of L from those of C.
  const size_t first = k;
  matrix<double>& L = buffers.factor;
  std::vector<double>& s = buffers.lengths;
  correlation_factor(x, first, n, L, s);
  matrix<double>& A = buffers.factor_adjoint;
  if (A.rows() != n || A.columns() != n) A.resize(n, n);
  A.fill(0.0);
  for (size_t i = 1; i < n; ++i) {
    for (size_t j = 0; j < i; ++j) {
      const double a = adjoints[first + angle_index(i, j)];
      for (size_t m = 0; m <= j; ++m) {
        A(i, m) += a * L(j, m);
        A(j, m) += a * L(i, m);
      }
    }
  }
  // Each row of L from its own angles: l_j = tanh(0.1 x), then the diagonal (s < 1) or the shrinking (s >= 1).
  for (size_t i = 1; i < n; ++i) {
    double g;
    if (s[i] >= 1.0) {
      // L(i, j) = c l_j with c = sqrt(0.999999 / s): the fixed diagonal takes no adjoint.
      const double c = std::sqrt(maximum_row_norm / s[i]);
      double d = 0.0;
      for (size_t m = 0; m < i; ++m) d += A(i, m) * L(i, m);
      for (size_t m = 0; m < i; ++m) {
        A(i, m) *= c;
        L(i, m) /= c;
      }
      g = -d / s[i];
    } else {
      // L(i, i) = sqrt(1 - s): d L(i, i) / d l_j = -l_j / L(i, i).
      g = -A(i, i) / L(i, i);
    }
    for (size_t j = 0; j < i; ++j) {
      const size_t u = first + angle_index(i, j);
      const double t = std::tanh(tanh_scale * x[u]);
      jacobian_row[u] = (A(i, j) + g * L(i, j)) * tanh_scale * (1.0 - t * t);
    }
  }
}

// ----------------------------------------------------------------------------------------------------------
// Tikhonov rows: consecutive decay rows and consecutive volatility rows should differ little.

void calibration_ir_hjm::tikhonov_regularization(vector<double>& residuals, const parameter_markovian_hjm& parameter,
                                                 size_t first_row, double factor) {
  const size_t n = parameter.decays().columns();
  size_t row = first_row;
  for (const matrix<double>* block : {&parameter.decays(), &parameter.volatilities()}) {
    const matrix<double>& p = *block;
    for (size_t i = 1; i < p.rows(); ++i)
      for (size_t k = 0; k < n; ++k) {
        QAVREK_CHECK_AT("tikhonov_regularization", source_file, __LINE__, row < residuals.size(), "out of range");
        residuals[row++] = factor * (p(i, k) - p(i - 1, k));
      }
  }
  QAVREK_CHECK_AT("tikhonov_regularization", source_file, __LINE__, row == residuals.size(), "out of range");
}

void calibration_ir_hjm::tikhonov_regularization_aad(const parameter_markovian_hjm& parameter, size_t first_row,
                                                     double factor, const vector<double>& x,
                                                     const bounds& decay_bounds, const bounds& volatility_bounds,
                                                     matrix<double>& jacobian) {
  const size_t n = parameter.decays().columns();
  size_t row = first_row;
  size_t offset = 0;
  auto block = [&](const matrix<double>& p, const bounds& b) {
    for (size_t i = 1; i < p.rows(); ++i)
      for (size_t k = 0; k < n; ++k) {
        QAVREK_CHECK_AT("tikhonov_regularization_aad", source_file, __LINE__, row < jacobian.rows(), "out of range");
        const size_t a = offset + i * n + k;
        const size_t c = offset + (i - 1) * n + k;
        jacobian(row, a) = factor * b.bounded_derivative(x[a]);
        jacobian(row, c) = -factor * b.bounded_derivative(x[c]);
        ++row;
      }
    offset += p.size();
  };
  block(parameter.decays(), decay_bounds);
  block(parameter.volatilities(), volatility_bounds);
  QAVREK_CHECK_AT("tikhonov_regularization_aad", source_file, __LINE__, row == jacobian.rows(), "out of range");
}

// ----------------------------------------------------------------------------------------------------------
// Report

void calibration_ir_hjm::report(const problem& run) const {
  const bool logging = logger::GetCurrentVerbosityCutoff() >= 0;
  if (logging)
    logger::LogF(0, source_file, __LINE__, " Calibration results for ir %d markovian hjm model:",
                 static_cast<int>(run.parameter().number_of_factors()));

  const std::vector<double>& market = run.market_volatilities();
  const std::vector<double>& model = run.model_volatilities();
  const size_t E = expiry_dates_.size();
  const size_t G = E == 0 ? 0 : market.size() / E;
  std::ostringstream text;
  text << '\n' << center("dates", 11) << " | ";
  for (size_t g = 0; g < G; ++g)
    text << center("market(bps):", 13) << " | " << center("model(bps):", 12) << " | " << center("diff(bps):", 11)
         << " | ";
  text << '\n';
  text << std::string(text.str().size(), '-') << '\n';
  const size_t shown = std::min(market.size(), model.size());
  for (size_t r = 0; r < E; ++r) {
    text << center(expiry_dates_[r].to_string(), 11) << " | ";
    for (size_t g = 0; g < G; ++g) {
      const size_t k = g * E + r;
      if (k >= shown) break;
      text << to_string(10000.0 * market[k], 2, 13) << " | " << to_string(10000.0 * model[k], 2, 12) << " | "
           << to_string(10000.0 * std::abs(market[k] - model[k]), 4, 11) << " | ";
    }
    text << '\n';
  }
  if (logging) logger::LogF(0, source_file, __LINE__, " %s", text.str().c_str());
}

double calibration_ir_hjm::cms_spread_pricing_experimental(const datetime& valuation_date, const datetime& expiry_date,
                                                           const ptr_const<parameter_markovian_hjm>& parameter,
                                                           const ptr_const<discount_curve>& discount_crv,
                                                           bool use_forward_measure) {
  // The boundary to 1e-13 of the spread, far below anything a price shows.
  constexpr size_t iterations = 20;
  constexpr double tolerance = 1e-13;
  QAVREK_CHECK(parameter != nullptr, "no parameter set");
  const auto convention = std::make_shared<const day_count_convention>();
  const datetime long_end = datetime_helper::add_tenor(expiry_date, tenor("10Y"), 1);
  const datetime short_end = datetime_helper::add_tenor(expiry_date, tenor("2Y"), 1);
  const auto option = std::make_shared<const calibration_ir_hjm_spread_option>(
      discount_crv, expiry_date, long_end, short_end, tenor("3M"), convention, 1.0, 1.0, use_forward_measure);
  const interest_rate_spread& spread = *option->calibration_spread_option();
  const double expiry = spread.long_swap()->expiry_double();
  const auto model =
      std::make_shared<const model_markovian_hjm>(*parameter, valuation_date, spread.all_dates(), false);
  const size_t factors = model->number_of_factors();

  vector<double> root(factors, 0.0);
  vector<double> direction(factors, 0.0);
  const double forward = option->spread(*model, root);
  option->initial_root(root, forward, *model);
  const double price = option->value(forward, *model, root, direction, true, iterations, tolerance);
  return calibration_ir_hjm_spread_option::normal_volatility(forward, forward, expiry, price, spread.dfs()[0], true);
}

}  // namespace qavrek
