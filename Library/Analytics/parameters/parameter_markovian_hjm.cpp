#include "Analytics/parameters/parameter_markovian_hjm.h"

#include <algorithm>
#include <cstdint>

#include "Analytics/parameters/day_count_convention_form.h"
#include "Analytics/parameters/parameter_checks.h"
#include "Core/check.h"
#include "Serialization/common/matrix_form.h"
#include "Serialization/serialization_impl.h"

namespace qavrek {
namespace {

constexpr const char* source_file = "Library/Analytics/parameters/parameter_markovian_hjm";

// Values of the strict lower triangle of an n x n correlation.
constexpr size_t lower_triangle_size(size_t n) noexcept { return n < 2 ? 0 : n * (n - 1) / 2; }

}  // namespace

parameter_markovian_hjm::parameter_markovian_hjm(const matrix<double>& decays, const matrix<double>& volatilities,
                                                 const matrix<double>& correlation,
                                                 const std::vector<datetime>& decays_dates,
                                                 const std::vector<datetime>& volatilities_dates,
                                                 const ptr_const<day_count_convention>& day_convention,
                                                 parameter_markovian_hjm_type model_type)
    : decays_(decays),
      volatilities_(volatilities),
      correlation_(correlation),
      decays_dates_(decays_dates),
      volatilities_dates_(volatilities_dates),
      day_convention_(day_convention),
      model_type_(model_type) {
  initialize();
}

void parameter_markovian_hjm::initialize() {
  validate();
  decays_offset_ = 0;
  volatilities_offset_ = decays_offset_ + decays_.size();
  correlation_offset_ = volatilities_offset_ + volatilities_.size();
  set_state_parameters_size(correlation_offset_ + lower_triangle_size(number_of_factors()));
  set_initialized(true);
}

void parameter_markovian_hjm::validate() const {
  QAVREK_CHECK_AT("validate", source_file, 111, decays_.rows() == decays_dates_.size(), "decays size ",
                  decays_.rows(), " is differents from decays dates size ", decays_dates_.size());
  QAVREK_CHECK_AT("validate", source_file, 118, volatilities_.rows() == volatilities_dates_.size(),
                  "volatilities size ", volatilities_.rows(), " is differents from volatilities dates size ",
                  volatilities_dates_.size());
  QAVREK_CHECK_AT("validate", source_file, 125, correlation_.rows() == correlation_.columns(),
                  "correlation number of rows ", correlation_.rows(),
                  " is differents from correlation number of columns ", correlation_.columns());
  QAVREK_CHECK_AT("validate", source_file, 132, volatilities_.columns() == decays_.columns(),
                  "volatilities number of factors ", volatilities_.columns(),
                  " is differents from decays number of factors ", decays_.columns());
  // The state layout and the models read an n x n correlation, and the models take every year
  // fraction from the convention.
  QAVREK_CHECK(correlation_.rows() == number_of_factors(), "the correlation is ", correlation_.rows(), " x ",
               correlation_.columns(), " for ", number_of_factors(), " factors");
  QAVREK_CHECK(day_convention_ != nullptr, "the parameter set needs a day-count convention");
  QAVREK_CHECK(is_known(model_type_), "unknown parameter_markovian_hjm_type ", static_cast<std::int32_t>(model_type_));
  parameter_checks::check_values(decays_, "decays");
  parameter_checks::check_values(volatilities_, "volatilities");
  parameter_checks::check_dates(decays_dates_, "decays dates");
  parameter_checks::check_dates(volatilities_dates_, "volatilities dates");
  parameter_checks::check_correlation(correlation_);
}

matrix<double> parameter_markovian_hjm::writable_decays() const noexcept {
  return matrix<double>::view(decays_.data(), decays_.rows(), decays_.columns());
}

matrix<double> parameter_markovian_hjm::writable_volatilities() const noexcept {
  return matrix<double>::view(volatilities_.data(), volatilities_.rows(), volatilities_.columns());
}

matrix<double> parameter_markovian_hjm::writable_correlation() const noexcept {
  return matrix<double>::view(correlation_.data(), correlation_.rows(), correlation_.columns());
}

void parameter_markovian_hjm::finalize_aad(double*) const {}

size_t parameter_markovian_hjm::get_state_parameters(double* out) const {
  const size_t n = number_of_factors();
  // Checked before anything is written, so that a wrong count never writes past the caller's array.
  const size_t offset = decays_.size() + volatilities_.size() + lower_triangle_size(n);
  QAVREK_CHECK_AT("get_state_parameters", source_file, 208, offset == state_parameters_size(),
                  "expect size parameter ", state_parameters_size(), " while provided ", offset);
  double* next = std::copy(decays_.begin(), decays_.end(), out);
  next = std::copy(volatilities_.begin(), volatilities_.end(), next);
  for (size_t i = 1; i < n; ++i)
    for (size_t j = 0; j < i; ++j) *next++ = correlation_(i, j);
  return offset;
}

size_t parameter_markovian_hjm::set_state_parameters(const double* in) {
  const size_t n = number_of_factors();
  const size_t offset = decays_.size() + volatilities_.size() + lower_triangle_size(n);
  QAVREK_CHECK_AT("set_state_parameters", source_file, 240, offset == state_parameters_size(),
                  "expect size parameter ", state_parameters_size(), " while provided ", offset);
  std::copy(in, in + decays_.size(), decays_.begin());
  in += decays_.size();
  std::copy(in, in + volatilities_.size(), volatilities_.begin());
  in += volatilities_.size();
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < i; ++j) {
      const double value = *in++;
      correlation_(i, j) = value;
      correlation_(j, i) = value;
    }
    correlation_(i, i) = 1.0;
  }
  return offset;
}

void parameter_markovian_hjm::decays_aad(const std::vector<double>& adjoint, size_t row,
                                         double* state_adjoints) const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(adjoint.size() >= n, "a row of decay adjoints has ", adjoint.size(), " values for ", n, " factors");
  for (size_t k = 0; k < n; ++k) update_state_parameters(adjoint[k], decays_offset_, row * n + k, state_adjoints);
}

void parameter_markovian_hjm::volatility_aad(const std::vector<double>& adjoint, size_t row,
                                             double* state_adjoints) const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(adjoint.size() >= n, "a row of volatility adjoints has ", adjoint.size(), " values for ", n,
               " factors");
  for (size_t k = 0; k < n; ++k)
    update_state_parameters(adjoint[k], volatilities_offset_, row * n + k, state_adjoints);
}

void parameter_markovian_hjm::correlation_aad(const matrix<double>& adjoint, double* state_adjoints) const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(adjoint.rows() == n && adjoint.columns() == n, "the correlation adjoint is ", adjoint.rows(), " x ",
               adjoint.columns(), " for ", n, " factors");
  for (size_t i = 1; i < n; ++i)
    for (size_t j = 0; j < i; ++j)
      update_state_parameters(adjoint(i, j) + adjoint(j, i), correlation_offset_, i * (i - 1) / 2 + j,
                              state_adjoints);
}

template class serialization::persistable<parameter_markovian_hjm>;

}  // namespace qavrek
