#include "Analytics/parameters/parameter_extended_cir.h"

#include <algorithm>

#include "Analytics/parameters/day_count_convention_form.h"
#include "Analytics/parameters/parameter_checks.h"
#include "Core/check.h"
#include "Serialization/common/matrix_form.h"
#include "Serialization/serialization_impl.h"

namespace qavrek {
namespace {

constexpr const char* source_file = "Library/Analytics/parameters/parameter_extended_cir";

// A block of no values may be 0 x 0; any other has one column per factor, rows or not.
bool has_factor_columns(const matrix<double>& block, size_t number_of_factors) {
  return block.columns() == number_of_factors || (block.rows() == 0 && block.columns() == 0);
}

}  // namespace

parameter_extended_cir::parameter_extended_cir(const matrix<double>& mean_reversion_speeds,
                                               const matrix<double>& volatilities, const matrix<double>& shifts,
                                               const matrix<double>& correlation,
                                               const std::vector<datetime>& mean_reversion_speed_dates,
                                               const std::vector<datetime>& volatilities_dates,
                                               const std::vector<datetime>& shifts_dates,
                                               const ptr_const<day_count_convention>& day_convention)
    : mean_reversion_speeds_(mean_reversion_speeds),
      volatilities_(volatilities),
      shifts_(shifts),
      correlation_(correlation),
      mean_reversion_speed_dates_(mean_reversion_speed_dates),
      volatilities_dates_(volatilities_dates),
      shifts_dates_(shifts_dates),
      day_convention_(day_convention) {
  initialize();
}

void parameter_extended_cir::initialize() {
  validate();
  mean_reversion_offset_ = 0;
  volatility_offset_ = mean_reversion_offset_ + mean_reversion_speeds_.size();
  shift_offset_ = volatility_offset_ + volatilities_.size();
  set_state_parameters_size(shift_offset_ + shifts_.size());
  set_initialized(true);
}

void parameter_extended_cir::validate() const {
  QAVREK_CHECK_AT("validate", source_file, 230, mean_reversion_speeds_.rows() == mean_reversion_speed_dates_.size(),
                  "mean_reversion_speeds size ", mean_reversion_speeds_.rows(),
                  " is differents from mean_reversion_speeds dates size ", mean_reversion_speed_dates_.size());
  QAVREK_CHECK_AT("validate", source_file, 237, volatilities_.rows() == volatilities_dates_.size(),
                  "volatilities size ", volatilities_.rows(), " is differents from volatilities dates size ",
                  volatilities_dates_.size());
  QAVREK_CHECK_AT("validate", source_file, 244, shifts_.rows() == shifts_dates_.size(), "shifts size ",
                  shifts_.rows(), " is differents from shifts dates size ", shifts_dates_.size());
  QAVREK_CHECK_AT("validate", source_file, 251, correlation_.rows() == correlation_.columns(),
                  "correlation number of rows ", correlation_.rows(),
                  " is differents from correlation number of columns ", correlation_.columns());
  if (!parameter_checks::is_symmetric(correlation_))
    details::check_fail("validate", source_file, 253, "correlation matrix is not symetric");
  // Every block is indexed by the mean reversions' factor count, and the model takes every year
  // fraction from the convention.
  const size_t n = number_of_factors();
  QAVREK_CHECK(has_factor_columns(volatilities_, n), "the volatilities have ", volatilities_.columns(),
               " columns for ", n, " factors");
  QAVREK_CHECK(has_factor_columns(shifts_, n), "the shifts have ", shifts_.columns(), " columns for ", n, " factors");
  QAVREK_CHECK(correlation_.rows() == n, "the correlation is ", correlation_.rows(), " x ", correlation_.columns(),
               " for ", n, " factors");
  QAVREK_CHECK(day_convention_ != nullptr, "the parameter set needs a day-count convention");
  parameter_checks::check_values(mean_reversion_speeds_, "mean reversion speeds");
  parameter_checks::check_values(volatilities_, "volatilities");
  parameter_checks::check_values(shifts_, "shifts");
  parameter_checks::check_dates(mean_reversion_speed_dates_, "mean reversion speed dates");
  parameter_checks::check_dates(volatilities_dates_, "volatilities dates");
  parameter_checks::check_dates(shifts_dates_, "shifts dates");
  parameter_checks::check_correlation(correlation_);
}

size_t parameter_extended_cir::blocks_size() const noexcept {
  return mean_reversion_speeds_.size() + volatilities_.size() + shifts_.size();
}

void parameter_extended_cir::finalize_aad(double*) const {}

// The sizes are checked before anything is copied: the modifiable accessors could have reshaped a
// block, and a wrong count must never write past the caller's array or the blocks.
size_t parameter_extended_cir::get_state_parameters(double* out) const {
  const size_t offset = blocks_size();
  QAVREK_CHECK_AT("get_state_parameters", source_file, 181, offset == state_parameters_size(),
                  "expect size parameter ", state_parameters_size(), " while provided ", offset);
  double* next = std::copy(mean_reversion_speeds_.begin(), mean_reversion_speeds_.end(), out);
  next = std::copy(volatilities_.begin(), volatilities_.end(), next);
  std::copy(shifts_.begin(), shifts_.end(), next);
  return offset;
}

size_t parameter_extended_cir::set_state_parameters(const double* in) {
  const size_t offset = blocks_size();
  QAVREK_CHECK_AT("set_state_parameters", source_file, 208, offset == state_parameters_size(),
                  "expect size parameter ", state_parameters_size(), " while provided ", offset);
  for (matrix<double>* block : {&mean_reversion_speeds_, &volatilities_, &shifts_}) {
    std::copy(in, in + block->size(), block->begin());
    in += block->size();
  }
  return offset;
}

void parameter_extended_cir::scatter(const std::vector<double>& adjoint, size_t offset, size_t row,
                                     double* state_adjoints) const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(adjoint.size() >= n, "a row of adjoints has ", adjoint.size(), " values for ", n, " factors");
  for (size_t k = 0; k < n; ++k) update_state_parameters(adjoint[k], offset, row * n + k, state_adjoints);
}

void parameter_extended_cir::mean_reversion_speed_aad(const std::vector<double>& adjoint, size_t row,
                                                      double* state_adjoints) const {
  scatter(adjoint, mean_reversion_offset_, row, state_adjoints);
}

void parameter_extended_cir::volatility_aad(const std::vector<double>& adjoint, size_t row,
                                            double* state_adjoints) const {
  scatter(adjoint, volatility_offset_, row, state_adjoints);
}

void parameter_extended_cir::shift_aad(const std::vector<double>& adjoint, size_t row, double* state_adjoints) const {
  scatter(adjoint, shift_offset_, row, state_adjoints);
}

template class serialization::persistable<parameter_extended_cir>;

}  // namespace qavrek
