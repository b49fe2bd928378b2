#include "Market/currency.h"

#include <utility>

#include "Core/check.h"

namespace qavrek {

currency::currency(key name) : name_(std::move(name)) { initialize(); }

size_t currency::hash() const noexcept {
  static const key kind("currency");
  return static_cast<size_t>(key::hash(name_, kind.hash()));
}

void currency::initialize() const {
  if (name_.to_string().empty()) QAVREK_FAIL("invalide currency!");
}

}  // namespace qavrek
