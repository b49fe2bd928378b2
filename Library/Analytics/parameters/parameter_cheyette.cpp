#include "Analytics/parameters/parameter_cheyette.h"

#include <algorithm>

#include "Analytics/parameters/day_count_convention_form.h"
#include "Analytics/parameters/parameter_checks.h"
#include "Core/check.h"
#include "Serialization/common/matrix_form.h"
#include "Serialization/serialization_impl.h"

namespace qavrek {
namespace {

constexpr const char* source_file = "Library/Analytics/parameters/parameter_cheyette";

}  // namespace

parameter_cheyette::parameter_cheyette(const ptr_const<parameter_markovian_hjm>& parameters,
                                       const matrix<double>& skew_parameter,
                                       const std::vector<datetime>& skew_parameter_dates, double long_term_skew_level)
    : parameters_(parameters),
      skew_parameter_(skew_parameter),
      skew_parameter_dates_(skew_parameter_dates),
      long_term_skew_level_(long_term_skew_level) {
  initialize();
}

void parameter_cheyette::initialize() {
  validate();
  // The nested set's count is taken now; its shape never changes afterwards.
  skew_offset_ = parameters_->state_parameters_size();
  long_term_level_offset_ = skew_offset_ + skew_parameter_.size();
  set_state_parameters_size(long_term_level_offset_ + 1);
  set_initialized(true);
}

void parameter_cheyette::validate() const {
  QAVREK_CHECK_AT("validate", source_file, 149, skew_parameter_.rows() == skew_parameter_dates_.size(),
                  skew_parameter_.rows(), skew_parameter_dates_.size());
  // The nested set gives the factor count by which the skews are indexed; one loaded from a null
  // object has neither values nor a state layout.
  QAVREK_CHECK(parameters_ != nullptr, "the Cheyette parameter set needs its Markovian HJM parameter set");
  QAVREK_CHECK(parameters_->is_initialized(), "the Markovian HJM parameter set of a Cheyette set is not initialised");
  // No skews at all may be a 0 x 0 matrix; any other has one column per factor, rows or not.
  const bool no_skews = skew_parameter_.rows() == 0 && skew_parameter_.columns() == 0;
  QAVREK_CHECK(no_skews || skew_parameter_.columns() == parameters_->number_of_factors(), "the skews have ",
               skew_parameter_.columns(), " columns for ", parameters_->number_of_factors(), " factors");
  parameter_checks::check_values(skew_parameter_, "skews");
  parameter_checks::check_dates(skew_parameter_dates_, "skew dates");
  parameter_checks::check_value(long_term_skew_level_, "long-term skew level");
}

matrix<double> parameter_cheyette::writable_skew_parameter() const noexcept {
  return matrix<double>::view(skew_parameter_.data(), skew_parameter_.rows(), skew_parameter_.columns());
}

size_t parameter_cheyette::number_of_factors() const {
  QAVREK_CHECK(parameters_ != nullptr, "the Cheyette parameter set holds no Markovian HJM parameter set");
  return parameters_->number_of_factors();
}

const matrix<double>& parameter_cheyette::correlation() const {
  QAVREK_CHECK(parameters_ != nullptr, "the Cheyette parameter set holds no Markovian HJM parameter set");
  return parameters_->correlation();
}

void parameter_cheyette::finalize_aad(double*) const {}

size_t parameter_cheyette::get_state_parameters(double* out) const {
  QAVREK_CHECK(is_initialized(), "the Cheyette parameter set has no state: it was loaded from a null object");
  // Checked before anything is written, so that a wrong count never writes past the caller's array.
  const size_t nested = parameters_->state_parameters_size();
  const size_t offset = nested + skew_parameter_.size() + 1;
  QAVREK_CHECK_AT("get_state_parameters", source_file, 105, offset == state_parameters_size(),
                  "expect size parameter ", state_parameters_size(), " while provided ", offset);
  parameters_->get_state_parameters(out);
  double* next = std::copy(skew_parameter_.begin(), skew_parameter_.end(), out + nested);
  *next = long_term_skew_level_;
  return offset;
}

size_t parameter_cheyette::set_state_parameters(const double* in) {
  QAVREK_CHECK(is_initialized(), "the Cheyette parameter set has no state: it was loaded from a null object");
  const size_t nested = parameters_->state_parameters_size();
  const size_t offset = nested + skew_parameter_.size() + 1;
  QAVREK_CHECK_AT("set_state_parameters", source_file, 127, offset == state_parameters_size(),
                  "expect size parameter ", state_parameters_size(), " while provided ", offset);
  // The nested set is shared as const, yet its values are written: the HJM set keeps them in mutable
  // storage for exactly this, so the write is sound whatever the set was created as.
  const_cast<parameter_markovian_hjm&>(*parameters_).set_state_parameters(in);
  std::copy(in + nested, in + nested + skew_parameter_.size(), skew_parameter_.begin());
  long_term_skew_level_ = in[offset - 1];
  return offset;
}

void parameter_cheyette::skew_parameter_aad(const std::vector<double>& adjoint, size_t row,
                                            double* state_adjoints) const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(adjoint.size() >= n, "a row of skew adjoints has ", adjoint.size(), " values for ", n, " factors");
  for (size_t k = 0; k < n; ++k) update_state_parameters(adjoint[k], skew_offset_, row * n + k, state_adjoints);
}

void parameter_cheyette::long_term_skew_level_aad(double adjoint, double* state_adjoints) const {
  update_state_parameters(adjoint, long_term_level_offset_, 0, state_adjoints);
}

template class serialization::persistable<parameter_cheyette>;

}  // namespace qavrek
