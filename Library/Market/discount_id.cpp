#include "Market/discount_id.h"

#include "Core/check.h"

namespace qavrek {

discount_id::discount_id(const ptr_const<discount_definition>& definition, const ptr_const<currency>& ccy)
    : definition_(definition), ccy_(ccy) {
  initialize();
}

// An id is only ever incomplete while a loader fills it; text and hash then skip the missing part.
std::string discount_id::to_string() const {
  std::string text = definition_ ? definition_->to_string() : std::string();
  text += '_';
  if (ccy_) text += ccy_->to_string();
  return text;
}

size_t discount_id::hash() const {
  static const key kind("discount_id");
  std::uint64_t seed = kind.hash();
  if (definition_) seed = key::hash(definition_->name(), seed);
  if (ccy_) seed = key::hash(ccy_->name(), seed);
  return static_cast<size_t>(seed);
}

bool discount_id::equals(const data_id& other) const {
  const auto& that = static_cast<const discount_id&>(other);
  return same_value(definition_, that.definition_) && same_value(ccy_, that.ccy_);
}

void discount_id::initialize() const {
  if (!definition_) QAVREK_FAIL("invalide discount_id definition!");
  if (!ccy_) QAVREK_FAIL("invalide discount_id currency!");
}

}  // namespace qavrek
