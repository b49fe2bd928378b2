#include "Analytics/parameters/parameter_lognormal.h"

#include <algorithm>

#include "Analytics/parameters/day_count_convention_form.h"
#include "Analytics/parameters/parameter_checks.h"
#include "Core/check.h"
#include "Serialization/common/matrix_form.h"
#include "Serialization/serialization_impl.h"

namespace qavrek {
namespace {

constexpr const char* source_file = "Library/Analytics/parameters/parameter_lognormal";

constexpr size_t lower_triangle_size(size_t n) noexcept { return n < 2 ? 0 : n * (n - 1) / 2; }

}  // namespace

parameter_lognormal::parameter_lognormal(const matrix<double>& volatilities, const matrix<double>& correlation,
                                         const std::vector<datetime>& volatilities_dates,
                                         const ptr_const<day_count_convention>& day_convention)
    : volatilities_(volatilities),
      correlation_(correlation),
      volatilities_dates_(volatilities_dates),
      day_convention_(day_convention) {
  initialize();
}

void parameter_lognormal::initialize() {
  validate();
  volatility_offset_ = 0;
  correlation_offset_ = volatility_offset_ + volatilities_.size();
  set_state_parameters_size(correlation_offset_ + lower_triangle_size(number_of_factors()));
  set_initialized(true);
}

void parameter_lognormal::validate() const {
  QAVREK_CHECK_AT("validate", source_file, 171, volatilities_.rows() == volatilities_dates_.size(),
                  "volatilities size ", volatilities_.rows(), " is differents from volatilities dates size ",
                  volatilities_dates_.size());
  QAVREK_CHECK_AT("validate", source_file, 178, correlation_.rows() == correlation_.columns(),
                  "correlation number of rows ", correlation_.rows(),
                  " is differents from correlation number of columns ", correlation_.columns());
  if (!parameter_checks::is_symmetric(correlation_))
    details::check_fail("validate", source_file, 180, "correlation matrix is not symetric");
  // The state layout and volatility_aad index the volatilities by the correlation's size, and the
  // model takes every year fraction from the convention.
  // No volatilities may be a 0 x 0 matrix; any other has one column per factor, rows or not.
  const bool no_volatilities = volatilities_.rows() == 0 && volatilities_.columns() == 0;
  QAVREK_CHECK(no_volatilities || volatilities_.columns() == number_of_factors(), "the volatilities have ",
               volatilities_.columns(), " columns for ", number_of_factors(), " factors");
  QAVREK_CHECK(day_convention_ != nullptr, "the parameter set needs a day-count convention");
  parameter_checks::check_values(volatilities_, "volatilities");
  parameter_checks::check_dates(volatilities_dates_, "volatilities dates");
  parameter_checks::check_correlation_matrix(correlation_);
}

void parameter_lognormal::finalize_aad(double*) const {}

size_t parameter_lognormal::get_state_parameters(double* out) const {
  const size_t n = number_of_factors();
  // Checked before anything is written, so that a wrong count never writes past the caller's array.
  const size_t offset = volatilities_.size() + lower_triangle_size(n);
  QAVREK_CHECK_AT("get_state_parameters", source_file, 123, offset == state_parameters_size(),
                  "expect size parameter ", state_parameters_size(), " while provided ", offset);
  double* next = std::copy(volatilities_.begin(), volatilities_.end(), out);
  for (size_t i = 1; i < n; ++i)
    for (size_t j = 0; j < i; ++j) *next++ = correlation_(i, j);
  return offset;
}

size_t parameter_lognormal::set_state_parameters(const double* in) {
  const size_t n = number_of_factors();
  const size_t offset = volatilities_.size() + lower_triangle_size(n);
  QAVREK_CHECK_AT("set_state_parameters", source_file, 150, offset == state_parameters_size(),
                  "expect size parameter ", state_parameters_size(), " while provided ", offset);
  std::copy(in, in + volatilities_.size(), volatilities_.begin());
  in += volatilities_.size();
  for (size_t i = 1; i < n; ++i) {
    for (size_t j = 0; j < i; ++j) {
      const double value = *in++;
      correlation_(i, j) = value;
      correlation_(j, i) = value;
    }
  }
  return offset;
}

void parameter_lognormal::volatility_aad(const std::vector<double>& adjoint, size_t row,
                                         double* state_adjoints) const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(adjoint.size() >= n, "a row of volatility adjoints has ", adjoint.size(), " values for ", n,
               " factors");
  for (size_t k = 0; k < n; ++k) update_state_parameters(adjoint[k], volatility_offset_, row * n + k, state_adjoints);
}

void parameter_lognormal::correlation_aad(const matrix<double>& adjoint, double* state_adjoints) const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(adjoint.rows() == n && adjoint.columns() == n, "the correlation adjoint is ", adjoint.rows(), " x ",
               adjoint.columns(), " for ", n, " factors");
  for (size_t i = 1; i < n; ++i)
    for (size_t j = 0; j < i; ++j)
      update_state_parameters(adjoint(i, j) + adjoint(j, i), correlation_offset_, i * (i - 1) / 2 + j,
                              state_adjoints);
}

template class serialization::persistable<parameter_lognormal>;

}  // namespace qavrek
