#include "Analytics/settings/calibration_hjm_settings.h"

#include <cstdint>

#include "Core/check.h"
#include "Serialization/serialization_impl.h"

namespace qavrek {

calibration_hjm_settings::calibration_hjm_settings(size_t mumber_of_factors,
                                                   const std::vector<double>& volatility_bounds,
                                                   const std::vector<double>& decay_bounds,
                                                   parameter_markovian_hjm_type type, bool debug, int max_iterations,
                                                   bool jacobian_with_aad_flag, bool calibrate_correlation_flag,
                                                   double tolerance, double regularization_factor,
                                                   bool regularization_flag, bool calibrate_to_all_target_flag)
    : mumber_of_factors_(mumber_of_factors),
      volatility_bounds_(volatility_bounds),
      decay_bounds_(decay_bounds),
      type_(type),
      tolerance_(tolerance),
      regularization_factor_(regularization_factor),
      regularization_flag_(regularization_flag),
      calibrate_correlation_flag_(calibrate_correlation_flag),
      jacobian_with_aad_flag_(jacobian_with_aad_flag),
      calibrate_to_all_target_flag_(calibrate_to_all_target_flag),
      debug_(debug),
      max_iterations_(max_iterations) {
  initialize();
}

calibration_hjm_settings::~calibration_hjm_settings() = default;

void calibration_hjm_settings::initialize() const {
  QAVREK_CHECK(is_known(type_), "unknown parameter_markovian_hjm_type ", static_cast<std::int32_t>(type_));
  // Without an iteration the optimiser would return its start as the calibrated set.
  QAVREK_CHECK(max_iterations_ > 0, "max_iterations: the optimiser needs at least one iteration, not ",
               max_iterations_);
}

template class serialization::persistable<calibration_hjm_settings>;

QAVREK_REGISTER_PERSISTABLE(calibration_hjm_settings, config_data);

}  // namespace qavrek
