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

// Parameters of the multi-factor lognormal model of an equity or FX spot: a volatility per factor
// (column) and per volatility date (row), the factor correlation and the day-count convention of the
// model's year fractions. The number of factors is the correlation's size.
//
// Flat state: [volatilities row-major][correlation (i, j), i = 1 .. n-1, j < i]. set_state_parameters
// makes the correlation symmetric and keeps its diagonal (which the checks hold at 1).
//
// A volatility may be negative, and its sign matters: the lognormal model keeps it on a step within one
// volatility period (sqrt(tau) sigma) and takes the square root of the summed variances on a step across
// periods. A negative factor thus moves against its draws on the steps inside a period, which reverses its
// correlations with the other factors, with other diffusions and with a change of measure's shift; only a
// one-factor spot correlated with nothing else prices the same with either sign. The calibration with HJM
// rates can return a negative volatility for a period whose market variance is below what the rates and
// the earlier periods already give: the spot's move then offsets the rates'.
class parameter_lognormal : public aad_state_parameters_manager, public serialization::persistable<parameter_lognormal> {
 public:
  // Copies the matrices and dates and shares the convention. Beyond the fixed checks (volatility rows =
  // dates, square and symmetric correlation) the volatilities must be number_of_factors wide (or 0 x 0)
  // and the convention present; the values finite, the dates increasing and the correlation a
  // correlation matrix with a unit diagonal (parameter_checks.h).
  parameter_lognormal(const matrix<double>& volatilities, const matrix<double>& correlation,
                      const std::vector<datetime>& volatilities_dates,
                      const ptr_const<day_count_convention>& day_convention);
  parameter_lognormal(const parameter_lognormal&) = default;
  parameter_lognormal& operator=(const parameter_lognormal&) = default;
  ~parameter_lognormal() override = default;

  const matrix<double>& volatilities() const noexcept { return volatilities_; }
  const matrix<double>& correlation() const noexcept { return correlation_; }
  const std::vector<datetime>& volatilities_dates() const noexcept { return volatilities_dates_; }
  const ptr_const<day_count_convention>& day_convention() const noexcept { return day_convention_; }
  size_t number_of_factors() const noexcept { return correlation_.columns(); }

  void finalize_aad(double* adjoints) const override;
  size_t get_state_parameters(double* out) const override;
  size_t set_state_parameters(const double* in) override;

  // adjoints[volatility offset + row * n + k] += adjoint[k] for k < n (no check of the row).
  void volatility_aad(const std::vector<double>& adjoint, size_t row, double* state_adjoints) const;
  // For i > j: adjoints[correlation offset + i (i - 1) / 2 + j] += adjoint(i, j) + adjoint(j, i); the
  // diagonal of the n x n adjoint is not read.
  void correlation_aad(const matrix<double>& adjoint, double* state_adjoints) const;

 private:
  friend struct serialization::persistence_access;

  // Used only by the loaders: empty, null convention, no state.
  parameter_lognormal() = default;
  void initialize();
  void validate() const;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("volatilities", self.volatilities_);
    field("correlation", self.correlation_);
    field("volatilities_dates", self.volatilities_dates_);
    auto convention = persisted_day_convention(self.day_convention_);
    field("day_convention", convention);
  }

  matrix<double> volatilities_;
  matrix<double> correlation_;
  std::vector<datetime> volatilities_dates_;
  ptr_const<day_count_convention> day_convention_;
  size_t volatility_offset_ = 0;
  size_t correlation_offset_ = 0;
};

}  // namespace qavrek
