#include "Analytics/settings/calibration_cheyette_settings.h"

#include <cstdint>

#include "Core/check.h"
#include "Serialization/serialization_impl.h"

namespace qavrek {

calibration_cheyette_settings::calibration_cheyette_settings(const std::vector<double>& volatility_bounds,
                                                             const std::vector<double>& decay_bounds,
                                                             const std::vector<double>& skew_bounds,
                                                             parameter_markovian_hjm_type type, bool debug,
                                                             int max_iterations, double tolerance)
    : volatility_bounds_(volatility_bounds),
      decay_bounds_(decay_bounds),
      skew_bounds_(skew_bounds),
      type_(type),
      tolerance_(tolerance),
      debug_(debug),
      max_iterations_(max_iterations) {
  initialize();
}

calibration_cheyette_settings::~calibration_cheyette_settings() = default;

void calibration_cheyette_settings::initialize() const {
  QAVREK_CHECK(is_known(type_), "unknown parameter_markovian_hjm_type ", static_cast<std::int32_t>(type_));
  // Without an iteration the optimiser would return its start as the calibrated set.
  QAVREK_CHECK(max_iterations_ > 0, "max_iterations: the optimiser needs at least one iteration, not ",
               max_iterations_);
}

template class serialization::persistable<calibration_cheyette_settings>;

QAVREK_REGISTER_PERSISTABLE(calibration_cheyette_settings, config_data);

}  // namespace qavrek
