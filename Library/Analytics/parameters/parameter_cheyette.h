#pragma once

#include <cstddef>
#include <vector>

#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Core/aad_state_parameters_manager.h"
#include "Core/pointers.h"
#include "Serialization/common/persistable.h"
#include "Serialization/common/persistence_access.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"

namespace qavrek {

// Parameters of the Cheyette model: a Markovian HJM set for the decays, volatilities and correlation, a
// skew per factor (column) and per skew date (row), and one long-term skew level.
//
// Flat state: the nested HJM set's state, then the skews row-major, then the long-term level. The
// nested set is shared; set_state_parameters writes its values through to every holder of it, as a
// calibration that moves the HJM values and the skews together needs.
class parameter_cheyette : public aad_state_parameters_manager, public serialization::persistable<parameter_cheyette> {
 public:
  // Shares `parameters` (which must be present and initialised) and copies the rest. Beyond the fixed
  // check (skew rows = skew dates) the skews must be number_of_factors wide (or 0 x 0, no skews), the
  // values finite and the dates increasing.
  parameter_cheyette(const ptr_const<parameter_markovian_hjm>& parameters, const matrix<double>& skew_parameter,
                     const std::vector<datetime>& skew_parameter_dates, double long_term_skew_level);
  parameter_cheyette(const parameter_cheyette&) = default;
  parameter_cheyette& operator=(const parameter_cheyette&) = default;
  ~parameter_cheyette() override = default;

  const ptr_const<parameter_markovian_hjm>& parameters() const noexcept { return parameters_; }
  const matrix<double>& skew_parameter() const noexcept { return skew_parameter_; }
  const std::vector<datetime>& skew_parameter_dates() const noexcept { return skew_parameter_dates_; }
  double long_term_skew_level() const noexcept { return long_term_skew_level_; }

  // A view over the skews' own storage, for writing values in place through a const set (a
  // calibration's trial values); a view keeps its shape.
  matrix<double> writable_skew_parameter() const noexcept;

  // Forwarded to the nested set.
  size_t number_of_factors() const;
  const matrix<double>& correlation() const;

  void finalize_aad(double* adjoints) const override;
  size_t get_state_parameters(double* out) const override;
  size_t set_state_parameters(const double* in) override;

  // adjoints[skew offset + row * n + k] += adjoint[k] for k < n, n the nested set's factor count.
  void skew_parameter_aad(const std::vector<double>& adjoint, size_t row, double* state_adjoints) const;
  // adjoints[long-term level offset] += adjoint.
  void long_term_skew_level_aad(double adjoint, double* state_adjoints) const;

 private:
  friend struct serialization::persistence_access;

  // Used only by the loaders: no nested set, no skews, level 0, no state.
  parameter_cheyette() = default;
  void initialize();
  void validate() const;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("parameters", self.parameters_);
    field("skew_parameter", self.skew_parameter_);
    field("skew_parameter_dates", self.skew_parameter_dates_);
    field("long_term_skew_level", self.long_term_skew_level_);
  }

  ptr_const<parameter_markovian_hjm> parameters_;
  // Mutable: see writable_skew_parameter.
  mutable matrix<double> skew_parameter_;
  std::vector<datetime> skew_parameter_dates_;
  double long_term_skew_level_ = 0.0;
  size_t skew_offset_ = 0;
  size_t long_term_level_offset_ = 0;
};

}  // namespace qavrek
