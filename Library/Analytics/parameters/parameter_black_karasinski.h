#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Core/aad_state_parameters_manager.h"
#include "Core/pointers.h"
#include "Serialization/common/persistable.h"
#include "Serialization/common/persistence_access.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"

namespace qavrek {

// Parameters of the one-factor Black-Karasinski model: a one-factor Markovian HJM set for the mean
// reversion and the volatility of the Gaussian factor, a level per level date, and the time step and
// number of roots of the model's numerics.
//
// Flat state: the nested HJM set's state, then the levels. The nested set is shared and mutable, so
// set_state_parameters writes through to every holder of it.
class parameter_black_karasinski : public aad_state_parameters_manager,
                                   public serialization::persistable<parameter_black_karasinski> {
 public:
  // Shares `parameters` (which must be present and of one factor) and copies the rest; there must be
  // one level per level date, the levels finite and the dates increasing.
  parameter_black_karasinski(const ptr_mutable<parameter_markovian_hjm>& parameters,
                             const std::vector<double>& levels_parameter,
                             const std::vector<datetime>& levels_parameter_dates, short time_step_in_days = 10,
                             short number_of_roots = 8);
  parameter_black_karasinski(const parameter_black_karasinski&) = default;
  parameter_black_karasinski& operator=(const parameter_black_karasinski&) = default;
  ~parameter_black_karasinski() override = default;

  const ptr_mutable<parameter_markovian_hjm>& parameters() const noexcept { return parameters_; }
  const std::vector<double>& levels_parameter() const noexcept { return levels_parameter_; }
  // The levels, writable in place (a calibration fits them one date at a time); their count is fixed.
  std::span<double> levels_parameter() noexcept { return levels_parameter_; }
  const std::vector<datetime>& levels_parameter_dates() const noexcept { return levels_parameter_dates_; }
  short time_step_in_days() const noexcept { return time_step_in_days_; }
  short number_of_roots() const noexcept { return number_of_roots_; }

  // Forwarded to the nested set.
  size_t number_of_factors() const;
  const matrix<double>& correlation() const;
  // The nested set's decay (0, 0): the mean-reversion speed of the factor.
  double mean_reversion() const;

  // The index of the level in force at t: the last level date not after t (0 before the first).
  size_t levels_parameter_offset(const datetime& t) const;

  void finalize_aad(double* adjoints) const override;
  size_t get_state_parameters(double* out) const override;
  size_t set_state_parameters(const double* in) override;

  // adjoints[levels offset + index] += adjoint.
  void levels_parameter_aad(double adjoint, size_t index, double* state_adjoints) const;

 private:
  friend struct serialization::persistence_access;

  // Used only by the loaders: no nested set, no levels, zero settings, no state.
  parameter_black_karasinski() = default;
  void initialize();
  void validate() const;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("parameters", self.parameters_);
    field("levels_parameter", self.levels_parameter_);
    field("levels_parameter_dates", self.levels_parameter_dates_);
    field("time_step_in_days", self.time_step_in_days_);
    field("number_of_roots", self.number_of_roots_);
  }

  ptr_mutable<parameter_markovian_hjm> parameters_;
  std::vector<double> levels_parameter_;
  std::vector<datetime> levels_parameter_dates_;
  std::int16_t time_step_in_days_ = 0;
  std::int16_t number_of_roots_ = 0;
  size_t levels_offset_ = 0;
};

}  // namespace qavrek
