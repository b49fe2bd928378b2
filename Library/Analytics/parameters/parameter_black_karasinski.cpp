#include "Analytics/parameters/parameter_black_karasinski.h"

#include <algorithm>

#include "Analytics/parameters/day_count_convention_form.h"
#include "Analytics/parameters/parameter_checks.h"
#include "Core/check.h"
#include "Serialization/common/matrix_form.h"
#include "Serialization/serialization_impl.h"
#include "Util/datetime_helper.h"

namespace qavrek {
namespace {

constexpr const char* source_file = "Library/Analytics/parameters/parameter_black_karasinski";

}  // namespace

parameter_black_karasinski::parameter_black_karasinski(const ptr_mutable<parameter_markovian_hjm>& parameters,
                                                       const std::vector<double>& levels_parameter,
                                                       const std::vector<datetime>& levels_parameter_dates,
                                                       short time_step_in_days, short number_of_roots)
    : parameters_(parameters),
      levels_parameter_(levels_parameter),
      levels_parameter_dates_(levels_parameter_dates),
      time_step_in_days_(time_step_in_days),
      number_of_roots_(number_of_roots) {
  initialize();
}

void parameter_black_karasinski::initialize() {
  validate();
  // The nested set's count is taken now; its shape never changes afterwards.
  levels_offset_ = parameters_->state_parameters_size();
  set_state_parameters_size(levels_offset_ + levels_parameter_.size());
  set_initialized(true);
}

void parameter_black_karasinski::validate() const {
  // Without a nested set there is no factor count to check.
  QAVREK_CHECK(parameters_ != nullptr, "the Black-Karasinski parameter set needs its Markovian HJM parameter set");
  if (parameters_->number_of_factors() != 1)
    details::check_fail("validate", source_file, 153, "parameter_black_karasinski supports one factor");
  QAVREK_CHECK_AT("validate", source_file, 159, levels_parameter_.size() == levels_parameter_dates_.size(),
                  "bk levels size ", levels_parameter_.size(), " is differents from dates size ",
                  levels_parameter_dates_.size());
  parameter_checks::check_values(levels_parameter_, "levels");
  parameter_checks::check_dates(levels_parameter_dates_, "levels dates");
}

size_t parameter_black_karasinski::number_of_factors() const {
  QAVREK_CHECK(parameters_ != nullptr, "the Black-Karasinski parameter set holds no Markovian HJM parameter set");
  return parameters_->number_of_factors();
}

const matrix<double>& parameter_black_karasinski::correlation() const {
  QAVREK_CHECK(parameters_ != nullptr, "the Black-Karasinski parameter set holds no Markovian HJM parameter set");
  return parameters_->correlation();
}

double parameter_black_karasinski::mean_reversion() const {
  QAVREK_CHECK(parameters_ != nullptr && !parameters_->decays().empty(),
               "the Black-Karasinski parameter set has no mean reversion");
  return parameters_->decays()(0, 0);
}

size_t parameter_black_karasinski::levels_parameter_offset(const datetime& t) const {
  return datetime_helper::date_offset(t, levels_parameter_dates_, true);
}

void parameter_black_karasinski::finalize_aad(double*) const {}

size_t parameter_black_karasinski::get_state_parameters(double* out) const {
  // Checked before anything is written, so that a wrong count never writes past the caller's array.
  const size_t nested = parameters_ == nullptr ? 0 : parameters_->state_parameters_size();
  const size_t offset = nested + levels_parameter_.size();
  QAVREK_CHECK_AT("get_state_parameters", source_file, 117, offset == state_parameters_size(),
                  "expect size parameter ", state_parameters_size(), " while provided ", offset);
  if (parameters_ != nullptr) parameters_->get_state_parameters(out);
  std::copy(levels_parameter_.begin(), levels_parameter_.end(), out + nested);
  return offset;
}

size_t parameter_black_karasinski::set_state_parameters(const double* in) {
  const size_t nested = parameters_ == nullptr ? 0 : parameters_->state_parameters_size();
  const size_t offset = nested + levels_parameter_.size();
  QAVREK_CHECK_AT("set_state_parameters", source_file, 136, offset == state_parameters_size(),
                  "expect size parameter ", state_parameters_size(), " while provided ", offset);
  if (parameters_ != nullptr) parameters_->set_state_parameters(in);
  std::copy(in + nested, in + offset, levels_parameter_.begin());
  return offset;
}

void parameter_black_karasinski::levels_parameter_aad(double adjoint, size_t index, double* state_adjoints) const {
  update_state_parameters(adjoint, levels_offset_, index, state_adjoints);
}

template class serialization::persistable<parameter_black_karasinski>;

}  // namespace qavrek
