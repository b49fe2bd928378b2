#include "Market/discount_definition.h"

#include <utility>

#include "Core/check.h"

namespace qavrek {

discount_definition::discount_definition(key name) : name_(std::move(name)) { initialize(); }

size_t discount_definition::hash() const noexcept {
  static const key kind("discount_definition");
  return static_cast<size_t>(key::hash(name_, kind.hash()));
}

void discount_definition::initialize() const {
  if (name_.to_string().empty()) QAVREK_FAIL("invalide discount_definition!");
}

}  // namespace qavrek
