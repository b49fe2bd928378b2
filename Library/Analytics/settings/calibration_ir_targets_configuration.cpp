#include "Analytics/settings/calibration_ir_targets_configuration.h"

#include <utility>

#include "Serialization/serialization_impl.h"

namespace qavrek {

calibration_ir_targets_configuration::calibration_ir_targets_configuration(
    tenor frequency, std::vector<tenor>&& expiries, tenor coterminal, std::vector<tenor>&& cms_tenors,
    std::vector<std::vector<double>>&& strikes, bool include_caplets, bool include_coterminal, bool include_cms)
    : frequency_(std::move(frequency)),
      expiries_(std::move(expiries)),
      coterminal_(std::move(coterminal)),
      cms_tenors_(std::move(cms_tenors)),
      strikes_(std::move(strikes)),
      include_caplets_(include_caplets),
      include_coterminal_(include_coterminal),
      include_cms_(include_cms) {}

calibration_ir_targets_configuration::~calibration_ir_targets_configuration() = default;

void calibration_ir_targets_configuration::strikes(const std::vector<std::vector<double>>& strikes) {
  // Vector assignment already copes with self-assignment; the test only spares the copy.
  if (&strikes != &strikes_) strikes_ = strikes;
}

template class serialization::persistable<calibration_ir_targets_configuration>;

QAVREK_REGISTER_PERSISTABLE(calibration_ir_targets_configuration, config_data);

}  // namespace qavrek
