#pragma once

#include <vector>

#include "Market/config_data.h"
#include "Serialization/common/persistable.h"
#include "Serialization/common/persistence_access.h"
#include "Util/tenor.h"

namespace qavrek {

// Which instruments an interest-rate calibration fits. Targets start at valuation date + expiry:
// - caplets (include_caplets): one per expiry, `frequency` long;
// - coterminal swaptions (include_coterminal): one per expiry that starts before the common end
//   valuation date + coterminal;
// - CMS targets (include_cms, HJM calibration only): one per CMS tenor and expiry.
// `strikes` holds one row per target in the order the Cheyette calibration builds them (caplets first);
// the number of rows is not checked here.
class calibration_ir_targets_configuration : public config_data,
                                             public serialization::persistable<calibration_ir_targets_configuration> {
 public:
  // The three vectors are moved in.
  calibration_ir_targets_configuration(tenor frequency, std::vector<tenor>&& expiries, tenor coterminal,
                                       std::vector<tenor>&& cms_tenors, std::vector<std::vector<double>>&& strikes,
                                       bool include_caplets, bool include_coterminal, bool include_cms);
  calibration_ir_targets_configuration(const calibration_ir_targets_configuration&) = default;
  ~calibration_ir_targets_configuration() override;

  const tenor& frequency() const noexcept { return frequency_; }
  const std::vector<tenor>& expiries() const noexcept { return expiries_; }
  const tenor& coterminal() const noexcept { return coterminal_; }
  const std::vector<tenor>& cms_tenors() const noexcept { return cms_tenors_; }
  const std::vector<std::vector<double>>& strikes() const noexcept { return strikes_; }
  bool include_caplets() const noexcept { return include_caplets_; }
  bool include_coterminal() const noexcept { return include_coterminal_; }
  bool include_cms() const noexcept { return include_cms_; }

  // Replaces the strike rows by a copy; meant for use before the configuration is shared.
  void strikes(const std::vector<std::vector<double>>& strikes);

 private:
  friend struct serialization::persistence_access;

  // Used only by the loaders; a null record keeps these values, so every field has one.
  calibration_ir_targets_configuration() = default;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("frequency", self.frequency_);
    field("expiries", self.expiries_);
    field("coterminal", self.coterminal_);
    field("cms_tenors", self.cms_tenors_);
    field("strikes", self.strikes_);
    field("include_caplets", self.include_caplets_);
    field("include_coterminal", self.include_coterminal_);
    field("include_cms", self.include_cms_);
  }

  tenor frequency_;
  std::vector<tenor> expiries_;
  tenor coterminal_;
  std::vector<tenor> cms_tenors_;
  std::vector<std::vector<double>> strikes_;
  bool include_caplets_ = false;
  bool include_coterminal_ = false;
  bool include_cms_ = false;
};

}  // namespace qavrek
