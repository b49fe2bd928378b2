#pragma once

#include <cstddef>
#include <vector>

#include "Analytics/parameters/parameter_markovian_hjm_type.h"
#include "Market/config_data.h"
#include "Serialization/common/persistable.h"
#include "Serialization/common/persistence_access.h"

namespace qavrek {

// Settings of the least-squares calibration of the Markovian HJM model. A plain value holder: only the
// model type and a positive iteration cap are checked (when built and when loaded), nothing changes after
// construction.
//
// The number of factors must match the correlation the calibration is given. The calibration reads the
// first two entries of each bounds vector as the ends of an interval, in either order. The optimiser stops
// at `tolerance` or after max_iterations and, with jacobian_with_aad_flag, is given the adjoint Jacobian.
// regularization_flag adds Tikhonov residuals weighted by regularization_factor; calibrate_correlation_flag
// calibrates the factor correlations too; calibrate_to_all_target_flag gives every target a residual
// instead of at most one per unknown.
class calibration_hjm_settings : public config_data, public serialization::persistable<calibration_hjm_settings> {
 public:
  // The arguments after the model type come in another order than the stored fields; each goes to the
  // field of its name.
  calibration_hjm_settings(size_t mumber_of_factors, const std::vector<double>& volatility_bounds,
                           const std::vector<double>& decay_bounds, parameter_markovian_hjm_type type,
                           bool debug = false, int max_iterations = 200, bool jacobian_with_aad_flag = true,
                           bool calibrate_correlation_flag = false, double tolerance = 1.0e-6,
                           double regularization_factor = 0.0, bool regularization_flag = false,
                           bool calibrate_to_all_target_flag = false);
  calibration_hjm_settings(const calibration_hjm_settings&) = default;
  ~calibration_hjm_settings() override;

  size_t number_of_factors() const noexcept { return mumber_of_factors_; }
  const std::vector<double>& volatility_bounds() const noexcept { return volatility_bounds_; }
  const std::vector<double>& decay_bounds() const noexcept { return decay_bounds_; }
  parameter_markovian_hjm_type type() const noexcept { return type_; }
  double tolerance() const noexcept { return tolerance_; }
  double regularization_factor() const noexcept { return regularization_factor_; }
  bool regularization_flag() const noexcept { return regularization_flag_; }
  bool calibrate_correlation_flag() const noexcept { return calibrate_correlation_flag_; }
  bool jacobian_with_aad_flag() const noexcept { return jacobian_with_aad_flag_; }
  bool calibrate_to_all_target_flag() const noexcept { return calibrate_to_all_target_flag_; }
  bool debug() const noexcept { return debug_; }
  int max_iterations() const noexcept { return max_iterations_; }

 private:
  friend struct serialization::persistence_access;

  // Used only by the loaders; a null record keeps these values, so every field has one.
  calibration_hjm_settings() = default;
  // Refuses a model type that names none (a file may hold any integer) and an iteration cap below 1.
  void initialize() const;

  // The stored form's keys are these names, spellings included.
  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("mumber_of_factors", self.mumber_of_factors_);
    field("volatility_bounds", self.volatility_bounds_);
    field("decay_bounds", self.decay_bounds_);
    field("type", self.type_);
    field("tolerance", self.tolerance_);
    field("regularization_factor", self.regularization_factor_);
    field("regularization_flag", self.regularization_flag_);
    field("calibrate_correlation_flag", self.calibrate_correlation_flag_);
    field("jacobian_with_aad_flag", self.jacobian_with_aad_flag_);
    field("calibrate_to_all_target_flag", self.calibrate_to_all_target_flag_);
    field("debug", self.debug_);
    field("max_iterations", self.max_iterations_);
  }

  size_t mumber_of_factors_ = 0;
  std::vector<double> volatility_bounds_;
  std::vector<double> decay_bounds_;
  parameter_markovian_hjm_type type_ = parameter_markovian_hjm_type::HULL_WHITE;
  double tolerance_ = 1.0e-6;
  double regularization_factor_ = 0.0;
  bool regularization_flag_ = false;
  bool calibrate_correlation_flag_ = false;
  bool jacobian_with_aad_flag_ = true;
  bool calibrate_to_all_target_flag_ = false;
  bool debug_ = false;
  int max_iterations_ = 200;
};

}  // namespace qavrek
