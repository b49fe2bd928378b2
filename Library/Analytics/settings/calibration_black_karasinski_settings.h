#pragma once

#include <cstddef>

#include "Market/config_data.h"
#include "Serialization/common/persistable.h"
#include "Serialization/common/persistence_access.h"
#include "Util/tenor.h"

namespace qavrek {

// Numerical settings of the credit Black-Karasinski level calibration and of its survival-probability PDE.
// A value holder: nothing changes after construction.
//
// The level calibration searches each date's level in [level_lower_bound, level_upper_bound] (or, with
// update_bounds, in a bracket around a guess) to the given tolerance, applying the rates/credit adjustment
// when use_adjustement is set. The PDE runs on pde_grid_size points spanning pde_span, backward in time when
// backward is set, on a time grid of coarse steps of `step` days refined into `period` steps of at least
// minimum_step days. The frequency is only stored.
//
// The constructor and the loaders refuse values that no calibration could use: a tolerance that is not a finite
// number >= 0 (a JSON null reads as NaN, which would match every date), a span that is not a finite number > 0,
// and sizes beyond their ceilings: at most max_pde_grid_size (65,536) grid points and max_period (65,536) fine
// steps, far beyond any calibration's (129 and 10 by default), so that a stored value cannot ask for gigabytes.
// The other values are stored as given; the calibration refuses non-finite level bounds and the time grid
// non-finite or negative steps when they are used.
class calibration_black_karasinski_settings : public config_data,
                                              public serialization::persistable<calibration_black_karasinski_settings> {
 public:
  calibration_black_karasinski_settings(tenor frequency, double mean_reversion_spead, bool backward = true,
                                        bool use_adjustement = true, size_t pde_grid_size = 129, double pde_span = 3.,
                                        double level_lower_bound = -50, double level_upper_bound = 50,
                                        double tolerance = 1.e-13, bool debug = false, double step = 30.,
                                        size_t period = 10, double minimum_step = 1., bool update_bounds = true);
  calibration_black_karasinski_settings(const calibration_black_karasinski_settings&) = default;

  static constexpr size_t max_pde_grid_size = size_t(1) << 16;
  static constexpr size_t max_period = size_t(1) << 16;
  ~calibration_black_karasinski_settings() override;

  double mean_reversion_spead() const noexcept { return mean_reversion_spead_; }
  bool backward() const noexcept { return backward_; }
  bool use_adjustement() const noexcept { return use_adjustement_; }
  size_t pde_grid_size() const noexcept { return pde_grid_size_; }
  double pde_span() const noexcept { return pde_span_; }
  double level_lower_bound() const noexcept { return level_lower_bound_; }
  double level_upper_bound() const noexcept { return level_upper_bound_; }
  double tolerance() const noexcept { return tolerance_; }
  bool debug() const noexcept { return debug_; }
  double step() const noexcept { return step_; }
  size_t period() const noexcept { return period_; }
  double minimum_step() const noexcept { return minimum_step_; }
  bool update_bounds() const noexcept { return update_bounds_; }

 private:
  friend struct serialization::persistence_access;

  // Used only by the loaders; a null record keeps these values, so every field has one.
  calibration_black_karasinski_settings() = default;
  // Refuses what no calibration could use (see the class comment).
  void initialize() const;

  // The stored form's keys are these names, spellings included.
  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("frequency", self.frequency_);
    field("mean_reversion_spead", self.mean_reversion_spead_);
    field("backward", self.backward_);
    field("use_adjustement", self.use_adjustement_);
    field("pde_grid_size", self.pde_grid_size_);
    field("pde_span", self.pde_span_);
    field("level_lower_bound", self.level_lower_bound_);
    field("level_upper_bound", self.level_upper_bound_);
    field("tolerance", self.tolerance_);
    field("debug", self.debug_);
    field("step", self.step_);
    field("period", self.period_);
    field("minimum_step", self.minimum_step_);
    field("update_bounds", self.update_bounds_);
  }

  tenor frequency_;
  double mean_reversion_spead_ = 0.0;
  bool backward_ = true;
  bool use_adjustement_ = true;
  size_t pde_grid_size_ = 129;
  double pde_span_ = 3.0;
  double level_lower_bound_ = -50.0;
  double level_upper_bound_ = 50.0;
  double tolerance_ = 1.e-13;
  bool debug_ = false;
  double step_ = 30.0;
  size_t period_ = 10;
  double minimum_step_ = 1.0;
  bool update_bounds_ = true;
};

}  // namespace qavrek
