#include "Analytics/calibration/ir/cheyette/calibration_ir_cheyette.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "Analytics/calibration/common/calibration_convergence.h"
#include "Analytics/calibration/common/calibration_lm_parameters.h"
#include "Core/check.h"
#include "Core/interruption.h"
#include "Math/levenberg_marquardt.h"
#include "Math/optimization_algorithm_output.h"
#include "Util/datetime_helper.h"
#include "Vectorization/matrix.h"

namespace qavrek {
namespace {

constexpr const char* source_file = "Library/Analytics/calibration/ir/cheyette/calibration_ir_cheyette";

// Residuals are volatility differences in basis points.
constexpr double residual_scale = 10000.0;
// A strike whose market volatility repeats the previous strike's to this relative difference has weight 0.
constexpr double repeated_volatility = 1e-4;
// The long-term skew level of the calibrated set.
constexpr double long_term_skew_level = -5.0;

// The interval of a settings' bounds vector, which must leave the parameter room to move.
parameter_bounds read_moving_bounds(const std::vector<double>& values, const char* name) {
  const parameter_bounds b = parameter_bounds::read(values, name);
  QAVREK_CHECK_AT("calibrate", source_file, __LINE__, b.lo < b.hi, "the ", name, " bounds ", b.lo, " and ", b.hi,
                  " are equal: the ", name, "s could not move");
  return b;
}

}  // namespace

calibration_ir_cheyette::calibration_ir_cheyette(const datetime& valuation_date, const ptr_const<discount_curve>& curve,
                                                 const ptr_const<calibration_ir_targets_configuration>& targets_config,
                                                 const ptr_const<day_count_convention>& convention)
    : valuation_date_(valuation_date), convention_(convention) {
  QAVREK_CHECK_AT("calibration_ir_cheyette", source_file, __LINE__, targets_config != nullptr,
                  "the targets configuration is missing");
  const calibration_ir_targets_configuration& config = *targets_config;
  const tenor& frequency = config.frequency();
  const std::vector<std::vector<double>>& strikes = config.strikes();
  swaptions_.reserve(config.expiries().size());
  // Each target takes the next strike row, caplets first.
  auto add_target = [&](const char* kind, const datetime& start, const datetime& end) {
    const size_t k = swaptions_.size();
    QAVREK_CHECK_AT("calibration_ir_cheyette", source_file, __LINE__, k < strikes.size(), "target ", k, " (the ", kind,
                    " from ", start, " to ", end, ") has no strike row: the targets configuration has ",
                    strikes.size());
    swaptions_.push_back(std::make_shared<const calibration_ir_cheyette_swaption>(true, curve, start, end, frequency,
                                                                                  convention, strikes[k], true));
  };
  if (config.include_caplets()) {
    for (const tenor& e : config.expiries()) {
      const datetime start = datetime_helper::add_tenor(valuation_date, e, 1);
      add_target("caplet", start, datetime_helper::add_tenor(start, frequency, 1));
    }
  }
  if (config.include_coterminal()) {
    const datetime end = datetime_helper::add_tenor(valuation_date, config.coterminal(), 1);
    for (const tenor& e : config.expiries()) {
      const datetime start = datetime_helper::add_tenor(valuation_date, e, 1);
      if (start < end) add_target("coterminal swaption", start, end);
    }
  }
}

calibration_ir_cheyette::~calibration_ir_cheyette() = default;

ptr_const<parameter_cheyette> calibration_ir_cheyette::calibrate(
    const ptr_const<ir_volatility_surface>& volatility_surface,
    const ptr_const<calibration_cheyette_settings>& settings,
    const ptr_const<parameter_markovian_hjm>& parameter_hjm) const {
  problem run(*this, volatility_surface, settings, parameter_hjm);

  lm_parameters parameters = calibration_lm_parameters(run.number_of_residuals(), run.number_of_unknowns(),
                                                         settings->max_iterations(), settings->tolerance());

  vector<double> x = run.initial_unknowns();
  optimization_algorithm_output output(parameters.number_of_unknowns);
  output =
      levenberg_marquardt(parameters, [&run](const vector<double>& at, vector<double>& r) { run.residuals(at, r); })(x);
  if (settings->debug()) output.print();
  warn_unless_converged(output, "the Cheyette calibration");
  // The optimiser's final point, whatever point the callback saw last.
  run.set_unknowns(x);
  return run.parameter();
}

calibration_ir_cheyette::problem::problem(const calibration_ir_cheyette& driver,
                                          const ptr_const<ir_volatility_surface>& volatility_surface,
                                          const ptr_const<calibration_cheyette_settings>& settings,
                                          const ptr_const<parameter_markovian_hjm>& parameter_hjm)
    : driver_(driver) {
  QAVREK_CHECK_AT("calibrate", source_file, __LINE__, volatility_surface != nullptr,
                  "the volatility surface is missing");
  QAVREK_CHECK_AT("calibrate", source_file, __LINE__, settings != nullptr, "the calibration settings are missing");
  QAVREK_CHECK_AT("calibrate", source_file, __LINE__, parameter_hjm != nullptr, "the HJM parameter set is missing");
  decay_bounds_ = read_moving_bounds(settings->decay_bounds(), "decay");
  volatility_bounds_ = read_moving_bounds(settings->volatility_bounds(), "volatility");
  skew_bounds_ = read_moving_bounds(settings->skew_bounds(), "skew");

  // Market volatilities, weights and starting skews.
  const size_t targets = driver.swaptions_.size();
  market_.resize(targets);
  model_volatilities_.resize(targets);
  weights_.resize(targets);
  offsets_.resize(targets);
  double weighted = 0.0;
  for (size_t i = 0; i < targets; ++i) {
    const instrument_ir_swaption& swaption = *driver.swaptions_[i]->swaptions();
    const std::vector<double> strikes = swaption.strikes();
    offsets_[i] = number_of_residuals_;
    market_[i].reserve(strikes.size());
    model_volatilities_[i].resize(strikes.size());
    double previous = 0.0;
    for (double strike : strikes) {
      const double volatility = swaption.swap()->implied_volatility(volatility_surface, strike);
      market_[i].push_back(volatility);
      weights_[i].push_back(std::abs(previous / volatility - 1.0) < repeated_volatility ? 0.0 : 1.0);
      weighted += weights_[i].back();
      ++number_of_residuals_;
      previous = volatility;
    }
    double target_weight = 0.0;
    for (double w : weights_[i]) target_weight += w;
    if (target_weight > 1.0) {
      const double first = market_[i].front(), last = market_[i].back();
      starting_skews_.push_back(2.0 * (first - last) / (first * (strikes.front() - strikes.back())));
    }
  }
  QAVREK_CHECK_AT("calibrate", source_file, __LINE__, weighted > 0.0,
                  "the targets give no weighted strike to calibrate to");
  const std::vector<datetime>& volatility_dates = parameter_hjm->volatilities_dates();
  const size_t s = starting_skews_.size();
  QAVREK_CHECK_AT("calibrate", source_file, __LINE__, s <= volatility_dates.size(), "the ", s,
                  " targets with more than one weighted strike give as many starting skews, more than the ",
                  volatility_dates.size(), " volatility dates of the HJM parameter set that would date them");
  for (size_t i = 0; i < targets; ++i) {
    const datetime expiry = driver.swaptions_[i]->expiry();
    QAVREK_CHECK_AT("calibrate", source_file, __LINE__,
                    std::binary_search(volatility_dates.begin(), volatility_dates.end(), expiry), "the expiry ", expiry,
                    " of target ", i,
                    " is not a volatility date of the HJM parameter set: the model has no variance there");
  }

  // The starting set around the caller's HJM set, and its model. Without a smile the skew stays zero: one row,
  // since the model needs a skew date, that is none of the unknowns. Every target's expiry being a volatility
  // date, there is one to date it.
  calibrates_skews_ = s > 0;
  double zero_skew = 0.0;
  const matrix<double> skews = calibrates_skews_ ? matrix<double>::view(starting_skews_.data(), s, 1)
                                                 : matrix<double>::view(&zero_skew, 1, 1);
  const std::vector<datetime> skew_dates(volatility_dates.begin(),
                                         volatility_dates.begin() + static_cast<std::ptrdiff_t>(skews.rows()));
  parameter_ = std::make_shared<parameter_cheyette>(parameter_hjm, skews, skew_dates, long_term_skew_level);
  model_ = std::make_shared<model_cheyette>(*parameter_, driver.valuation_date_, volatility_dates, true, false);
  number_of_unknowns_ = calibration_ir_cheyette::number_of_unknowns(*parameter_, calibrates_skews_);
}

vector<double> calibration_ir_cheyette::problem::initial_unknowns() const {
  vector<double> x(number_of_unknowns_);
  map_to_R(x, *parameter_, decay_bounds_, volatility_bounds_, skew_bounds_, calibrates_skews_);
  return x;
}

void calibration_ir_cheyette::problem::set_unknowns(const vector<double>& x) {
  map_from_R(x, *parameter_, decay_bounds_, volatility_bounds_, skew_bounds_, calibrates_skews_);
  model_->fill();
}

void calibration_ir_cheyette::problem::residuals(const vector<double>& x, vector<double>& residuals) {
  QAVREK_CHECK_AT("residuals", source_file, __LINE__, residuals.size() == number_of_residuals_, "out of range");
  interruption::point();
  set_unknowns(x);
  for (size_t i = 0; i < market_.size(); ++i) {
    const calibration_ir_cheyette_swaption& target = *driver_.swaptions_[i];
    target.values(model_volatilities_[i], model_, model_->variance(target.expiry()));
    double* row = residuals.data() + offsets_[i];
    for (size_t j = 0; j < market_[i].size(); ++j)
      row[j] = residual_scale * weights_[i][j] * (market_[i][j] - model_volatilities_[i][j]);
  }
}

size_t calibration_ir_cheyette::number_of_unknowns(const parameter_cheyette& parameter, bool with_skews) {
  const parameter_markovian_hjm& hjm = *parameter.parameters();
  return hjm.decays().size() + hjm.volatilities().size() + (with_skews ? parameter.skew_parameter().size() : 0);
}

void calibration_ir_cheyette::map_to_R(vector<double>& x, const parameter_cheyette& parameter,
                                       const bounds& decay_bounds, const bounds& volatility_bounds,
                                       const bounds& skew_bounds, bool with_skews) {
  QAVREK_CHECK_AT("map_to_R", source_file, 446, x.size() == number_of_unknowns(parameter, with_skews),
                  "out of range!");
  const parameter_markovian_hjm& hjm = *parameter.parameters();
  size_t k = 0;
  for (double p : hjm.decays()) x[k++] = decay_bounds.unbounded(p);
  for (double p : hjm.volatilities()) x[k++] = volatility_bounds.unbounded(p);
  if (!with_skews) return;
  for (double p : parameter.skew_parameter()) x[k++] = skew_bounds.unbounded(p);
}

void calibration_ir_cheyette::map_from_R(const vector<double>& x, const parameter_cheyette& parameter,
                                         const bounds& decay_bounds, const bounds& volatility_bounds,
                                         const bounds& skew_bounds, bool with_skews) {
  QAVREK_CHECK_AT("map_from_R", source_file, 404, x.size() == number_of_unknowns(parameter, with_skews),
                  "out of range!");
  const parameter_markovian_hjm& hjm = *parameter.parameters();
  size_t k = 0;
  matrix<double> decays = hjm.writable_decays();
  for (double& p : decays) p = decay_bounds.bounded(x[k++]);
  matrix<double> volatilities = hjm.writable_volatilities();
  for (double& p : volatilities) p = volatility_bounds.bounded(x[k++]);
  if (!with_skews) return;
  matrix<double> skews = parameter.writable_skew_parameter();
  for (double& p : skews) p = skew_bounds.bounded(x[k++]);
}

}  // namespace qavrek
