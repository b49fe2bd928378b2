#include "Market/any_container.h"

#include "Core/check.h"

namespace qavrek {

void any_container::add(const any_id& id, value_type object) {
  const bool has_object = std::visit([](const auto& held) { return held != nullptr; }, object);
  QAVREK_CHECK(has_object, "no object given for id ", id.to_string());
  objects_.insert_or_assign(id, std::move(object));
}

const any_container::value_type* any_container::find(const any_id& id) const {
  const auto found = objects_.find(id);
  return found == objects_.end() ? nullptr : &found->second;
}

const any_container::value_type& any_container::at(const any_id& id) const {
  const value_type* object = find(id);
  if (object == nullptr) QAVREK_FAIL("no object stored under id ", id.to_string());
  return *object;
}

}  // namespace qavrek
