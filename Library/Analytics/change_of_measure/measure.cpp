#include "Analytics/change_of_measure/measure.h"

#include "Core/check.h"
#include "Serialization/serialization_impl.h"

namespace qavrek {

namespace {
constexpr const char* measures_file = "Library/Analytics/change_of_measure/measures";
constexpr int validate_line = 40;
}  // namespace

measure::measure(const ptr_const<discount_id>& id) : id_(id) { validate(); }

measure::~measure() = default;

const ptr_const<discount_id>& measure::id() const {
  // Only a measure loaded from a null object lacks its id; using it would build the domestic rate
  // of a simulation from nothing.
  if (!id_)
    details::check_fail("id", measures_file, __LINE__,
                        "invalide discount_id!  The measure was loaded from a null object and names no discount curve");
  return id_;
}

void measure::initialize() const { validate(); }

void measure::validate() const {
  if (!id_) details::check_fail("validate", measures_file, validate_line, "invalide discount_id!");
}

template class serialization::persistable<measure>;

QAVREK_REGISTER_PERSISTABLE(measure, config_data);

}  // namespace qavrek
