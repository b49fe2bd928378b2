#include "Analytics/settings/calibration_black_karasinski_settings.h"

#include <cmath>
#include <utility>

#include "Core/check.h"
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
      update_bounds_(update_bounds) {
  initialize();
}

calibration_black_karasinski_settings::~calibration_black_karasinski_settings() = default;

void calibration_black_karasinski_settings::initialize() const {
  QAVREK_CHECK(std::isfinite(tolerance_) && tolerance_ >= 0.0,
               "the level tolerance must be a finite number >= 0, not ", tolerance_);
  QAVREK_CHECK(std::isfinite(pde_span_) && pde_span_ > 0.0, "the PDE span must be a finite number > 0, not ",
               pde_span_);
  QAVREK_CHECK(pde_grid_size_ <= max_pde_grid_size, "the PDE grid has at most ", max_pde_grid_size, " points, not ",
               pde_grid_size_);
  QAVREK_CHECK(period_ <= max_period, "the PDE time grid has at most ", max_period, " fine steps, not ", period_);
}

template class serialization::persistable<calibration_black_karasinski_settings>;

QAVREK_REGISTER_PERSISTABLE(calibration_black_karasinski_settings, config_data);

}  // namespace qavrek
