#pragma once

#include <cstddef>
#include <vector>

#include "Analytics/parameters/day_count_convention_field.h"
#include "Core/aad_state_parameters_manager.h"
#include "Core/pointers.h"
#include "Serialization/common/persistable.h"
#include "Serialization/common/persistence_access.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Vectorization/matrix.h"

namespace qavrek {

// Parameters of the multi-factor extended Cox-Ingersoll-Ross model: per factor (column) a mean-reversion
// speed, a volatility and a shift per date of their own date vectors (rows), the factor correlation
// and the day-count convention of the model's year fractions.
//
// Flat state: [mean-reversion speeds][volatilities][shifts], each row-major. The correlation is not
// part of it.
//
// A volatility may be negative here (a sign convention, or a calibration's trial value): the square-root
// model reads only its square, factor by factor, so the sign would change no price, but model_extended_cir
// refuses a negative volatility as it does a negative speed or shift.
class parameter_extended_cir : public aad_state_parameters_manager,
                               public serialization::persistable<parameter_extended_cir> {
 public:
  // Copies the matrices and dates and shares the convention. Beyond the fixed checks (rows = dates for
  // each block, square and symmetric correlation) every block must be number_of_factors wide (or 0 x 0),
  // the correlation number_of_factors square and the convention present; the values finite, the dates
  // increasing and the correlation a correlation (parameter_checks.h).
  parameter_extended_cir(const matrix<double>& mean_reversion_speeds, const matrix<double>& volatilities,
                         const matrix<double>& shifts, const matrix<double>& correlation,
                         const std::vector<datetime>& mean_reversion_speed_dates,
                         const std::vector<datetime>& volatilities_dates, const std::vector<datetime>& shifts_dates,
                         const ptr_const<day_count_convention>& day_convention);
  parameter_extended_cir(const parameter_extended_cir&) = default;
  parameter_extended_cir& operator=(const parameter_extended_cir&) = default;
  ~parameter_extended_cir() override = default;

  // The modifiable overloads let a caller change values in place; the shapes must stay as they are.
  const matrix<double>& mean_reversion_speeds() const noexcept { return mean_reversion_speeds_; }
  matrix<double>& mean_reversion_speeds() noexcept { return mean_reversion_speeds_; }
  const matrix<double>& volatilities() const noexcept { return volatilities_; }
  matrix<double>& volatilities() noexcept { return volatilities_; }
  const matrix<double>& shifts() const noexcept { return shifts_; }
  matrix<double>& shifts() noexcept { return shifts_; }
  const matrix<double>& correlation() const noexcept { return correlation_; }
  const std::vector<datetime>& mean_reversion_speed_dates() const noexcept { return mean_reversion_speed_dates_; }
  const std::vector<datetime>& volatilities_dates() const noexcept { return volatilities_dates_; }
  const std::vector<datetime>& shifts_dates() const noexcept { return shifts_dates_; }
  const ptr_const<day_count_convention>& day_convention() const noexcept { return day_convention_; }
  size_t number_of_factors() const noexcept { return mean_reversion_speeds_.columns(); }

  void finalize_aad(double* adjoints) const override;
  size_t get_state_parameters(double* out) const override;
  size_t set_state_parameters(const double* in) override;

  // adjoints[block offset + row * n + k] += adjoint[k] for k < n, on each block.
  void mean_reversion_speed_aad(const std::vector<double>& adjoint, size_t row, double* state_adjoints) const;
  void volatility_aad(const std::vector<double>& adjoint, size_t row, double* state_adjoints) const;
  void shift_aad(const std::vector<double>& adjoint, size_t row, double* state_adjoints) const;

 private:
  friend struct serialization::persistence_access;

  // Used only by the loaders: empty, null convention, no state.
  parameter_extended_cir() = default;
  void initialize();
  void validate() const;
  // The three blocks' total size as they are now.
  size_t blocks_size() const noexcept;
  void scatter(const std::vector<double>& adjoint, size_t offset, size_t row, double* state_adjoints) const;

  // The convention was added to the stored form after the other fields: a file without it loads with
  // ACT/365F.
  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("mean_reversion_speeds", self.mean_reversion_speeds_);
    field("volatilities", self.volatilities_);
    field("shifts", self.shifts_);
    field("correlation", self.correlation_);
    field("mean_reversion_speed_dates", self.mean_reversion_speed_dates_);
    field("volatilities_dates", self.volatilities_dates_);
    field("shifts_dates", self.shifts_dates_);
    auto convention = persisted_day_convention_or_default(self.day_convention_);
    field("day_convention", convention);
  }

  matrix<double> mean_reversion_speeds_;
  matrix<double> volatilities_;
  matrix<double> shifts_;
  matrix<double> correlation_;
  std::vector<datetime> mean_reversion_speed_dates_;
  std::vector<datetime> volatilities_dates_;
  std::vector<datetime> shifts_dates_;
  ptr_const<day_count_convention> day_convention_;
  size_t mean_reversion_offset_ = 0;
  size_t volatility_offset_ = 0;
  size_t shift_offset_ = 0;
};

}  // namespace qavrek
