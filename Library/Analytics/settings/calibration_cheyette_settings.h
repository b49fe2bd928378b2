#pragma once

#include <vector>

#include "Analytics/parameters/parameter_markovian_hjm_type.h"
#include "Market/config_data.h"
#include "Serialization/common/persistable.h"
#include "Serialization/common/persistence_access.h"

namespace qavrek {

// Settings of the least-squares calibration of the Cheyette model. A plain value holder: only the model
// type and a positive iteration cap are checked (when built and when loaded), nothing changes after
// construction.
//
// The calibration reads the first two entries of each bounds vector as the ends of an interval, in either
// order; the optimiser stops at `tolerance` or after max_iterations, and prints its report under debug.
class calibration_cheyette_settings : public config_data,
                                      public serialization::persistable<calibration_cheyette_settings> {
 public:
  // The optional arguments come in the order debug, max_iterations, tolerance, unlike the stored fields.
  calibration_cheyette_settings(const std::vector<double>& volatility_bounds, const std::vector<double>& decay_bounds,
                                const std::vector<double>& skew_bounds, parameter_markovian_hjm_type type,
                                bool debug = false, int max_iterations = 200, double tolerance = 1.0e-6);
  calibration_cheyette_settings(const calibration_cheyette_settings&) = default;
  ~calibration_cheyette_settings() override;

  const std::vector<double>& volatility_bounds() const noexcept { return volatility_bounds_; }
  const std::vector<double>& decay_bounds() const noexcept { return decay_bounds_; }
  const std::vector<double>& skew_bounds() const noexcept { return skew_bounds_; }
  parameter_markovian_hjm_type type() const noexcept { return type_; }
  double tolerance() const noexcept { return tolerance_; }
  bool debug() const noexcept { return debug_; }
  int max_iterations() const noexcept { return max_iterations_; }

 private:
  friend struct serialization::persistence_access;

  // Used only by the loaders; a null record keeps these values, so every field has one.
  calibration_cheyette_settings() = default;
  // Refuses a model type that names none (a file may hold any integer) and an iteration cap below 1.
  void initialize() const;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("volatility_bounds", self.volatility_bounds_);
    field("decay_bounds", self.decay_bounds_);
    field("skew_bounds", self.skew_bounds_);
    field("type", self.type_);
    field("tolerance", self.tolerance_);
    field("debug", self.debug_);
    field("max_iterations", self.max_iterations_);
  }

  std::vector<double> volatility_bounds_;
  std::vector<double> decay_bounds_;
  std::vector<double> skew_bounds_;
  parameter_markovian_hjm_type type_ = parameter_markovian_hjm_type::HULL_WHITE;
  double tolerance_ = 1.0e-6;
  bool debug_ = false;
  int max_iterations_ = 200;
};

}  // namespace qavrek
