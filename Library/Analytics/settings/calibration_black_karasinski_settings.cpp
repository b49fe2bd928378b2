#include "Analytics/settings/calibration_black_karasinski_settings.h"

#include <utility>

#include "Serialization/serialization_impl.h"

namespace qavrek {

calibration_black_karasinski_settings::calibration_black_karasinski_settings(
    tenor frequency, double mean_reversion_spead, bool backward, bool use_adjustement, size_t pde_grid_size,
    double pde_span, double level_lower_bound, double level_upper_bound, double tolerance, bool debug, double step,
    size_t period, double minimum_step, bool update_bounds)
    : frequency_(std::move(frequency)),
      mean_reversion_spead_(mean_reversion_spead),
      backward_(backward),
      use_adjustement_(use_adjustement),
      pde_grid_size_(pde_grid_size),
      pde_span_(pde_span),
      level_lower_bound_(level_lower_bound),
      level_upper_bound_(level_upper_bound),
      tolerance_(tolerance),
      debug_(debug),
      step_(step),
      period_(period),
      minimum_step_(minimum_step),
      update_bounds_(update_bounds) {}

calibration_black_karasinski_settings::~calibration_black_karasinski_settings() = default;

template class serialization::persistable<calibration_black_karasinski_settings>;

QAVREK_REGISTER_PERSISTABLE(calibration_black_karasinski_settings, config_data);

}  // namespace qavrek
