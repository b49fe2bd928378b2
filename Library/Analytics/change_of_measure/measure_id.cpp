#include "Analytics/change_of_measure/measure_id.h"

#include "Serialization/serialization_impl.h"
#include "Util/key.h"

namespace qavrek {

measure_id::~measure_id() = default;

std::string measure_id::to_string() const { return {}; }

size_t measure_id::hash() const {
  static const key name("measure_id");
  return static_cast<size_t>(name.hash());
}

// All measure ids name the one measure of a simulation.
bool measure_id::equals(const data_id&) const { return true; }

template class serialization::persistable<measure_id>;

QAVREK_REGISTER_PERSISTABLE(measure_id, config_data_id);

}  // namespace qavrek
