#pragma once

#include <cstddef>
#include <vector>

#include "Analytics/parameters/day_count_convention_field.h"
#include "Analytics/parameters/parameter_markovian_hjm_type.h"
#include "Core/aad_state_parameters_manager.h"
#include "Core/pointers.h"
#include "Serialization/common/persistable.h"
#include "Serialization/common/persistence_access.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Vectorization/matrix.h"

namespace qavrek {

// Piecewise-constant parameters of the multi-factor Markovian HJM model: per factor (column) one decay
// per decay date and one volatility per volatility date (rows), the factor correlation, the day-count
// convention of the models' year fractions and how the models read the decays.
//
// Flat state, n factors: [decays row-major][volatilities row-major][correlation (i, j), i = 1 .. n-1,
// j < i]. set_state_parameters makes the correlation symmetric with a unit diagonal.
//
// A volatility may be negative. The models read volatilities through their squares and the products
// sigma_a rho_ab sigma_b of one row, so a row whose every volatility changes sign prices the same (a
// single factor in particular): there the sign is a convention. Changing the sign of one of several
// correlated factors is not one: the analytic covariances and drifts keep the products' signs while the
// simulation's step volatilities are square roots of variances, and the two then disagree.
//
// The values (never the shapes) may change through a const set: a calibration writes trial values into
// the matrices in place between model refreshes, and a Cheyette set writes its state through the HJM set
// it shares. The models read the matrices again at their next fill.
class parameter_markovian_hjm : public aad_state_parameters_manager,
                                public serialization::persistable<parameter_markovian_hjm> {
 public:
  // Copies the matrices and dates and shares the convention. Beyond the fixed checks (decays rows =
  // decays dates, volatilities rows = volatilities dates, square correlation, equal factor counts) the
  // correlation must be number_of_factors wide, the convention present and the model type known; the
  // values finite, the dates increasing and the correlation a correlation (parameter_checks.h).
  parameter_markovian_hjm(const matrix<double>& decays, const matrix<double>& volatilities,
                          const matrix<double>& correlation, const std::vector<datetime>& decays_dates,
                          const std::vector<datetime>& volatilities_dates,
                          const ptr_const<day_count_convention>& day_convention,
                          parameter_markovian_hjm_type model_type);
  parameter_markovian_hjm(const parameter_markovian_hjm&) = default;
  parameter_markovian_hjm& operator=(const parameter_markovian_hjm&) = default;
  ~parameter_markovian_hjm() override = default;

  const matrix<double>& decays() const noexcept { return decays_; }
  const matrix<double>& volatilities() const noexcept { return volatilities_; }
  const matrix<double>& correlation() const noexcept { return correlation_; }
  const std::vector<datetime>& decays_dates() const noexcept { return decays_dates_; }
  const std::vector<datetime>& volatilities_dates() const noexcept { return volatilities_dates_; }
  const ptr_const<day_count_convention>& day_convention() const noexcept { return day_convention_; }
  parameter_markovian_hjm_type model_type() const noexcept { return model_type_; }
  size_t number_of_factors() const noexcept { return decays_.columns(); }

  // Views over the set's own storage, for writing values in place; a view keeps its shape.
  matrix<double> writable_decays() const noexcept;
  matrix<double> writable_volatilities() const noexcept;
  matrix<double> writable_correlation() const noexcept;

  void finalize_aad(double* adjoints) const override;
  size_t get_state_parameters(double* out) const override;
  size_t set_state_parameters(const double* in) override;

  // Adjoint scatters into the shared adjoint array, at this set's state positions:
  // adjoints[decays offset + row * n + k] += adjoint[k] for k < n (no check of the row).
  void decays_aad(const std::vector<double>& adjoint, size_t row, double* state_adjoints) const;
  // The same on the volatilities block.
  void volatility_aad(const std::vector<double>& adjoint, size_t row, double* state_adjoints) const;
  // For i > j: adjoints[correlation offset + i (i - 1) / 2 + j] += adjoint(i, j) + adjoint(j, i); the
  // diagonal of the n x n adjoint is not read.
  void correlation_aad(const matrix<double>& adjoint, double* state_adjoints) const;

 private:
  friend struct serialization::persistence_access;

  // Used only by the loaders: empty, null convention, HULL_WHITE, no state.
  parameter_markovian_hjm() = default;
  // Checks, then lays out the state.
  void initialize();
  void validate() const;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("decays", self.decays_);
    field("volatilities", self.volatilities_);
    field("correlation", self.correlation_);
    field("decays_dates", self.decays_dates_);
    field("volatilities_dates", self.volatilities_dates_);
    auto convention = persisted_day_convention(self.day_convention_);
    field("day_convention", convention);
    field("model_type", self.model_type_);
  }

  // Mutable: see the class comment.
  mutable matrix<double> decays_;
  mutable matrix<double> volatilities_;
  mutable matrix<double> correlation_;
  std::vector<datetime> decays_dates_;
  std::vector<datetime> volatilities_dates_;
  ptr_const<day_count_convention> day_convention_;
  parameter_markovian_hjm_type model_type_ = parameter_markovian_hjm_type::HULL_WHITE;
  size_t decays_offset_ = 0;
  size_t volatilities_offset_ = 0;
  size_t correlation_offset_ = 0;
};

}  // namespace qavrek
