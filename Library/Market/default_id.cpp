#include "Market/default_id.h"

#include <utility>

#include "Core/check.h"

namespace qavrek {

default_id::default_id(key name, const ptr_const<currency>& ccy, key seniority, key restructuring, key isda)
    : name_(std::move(name)),
      ccy_(ccy),
      seniority_(std::move(seniority)),
      restructuring_(std::move(restructuring)),
      isda_(std::move(isda)) {
  initialize();
}

// A missing currency happens only while a loader fills the id; text and hash then skip it.
std::string default_id::to_string() const {
  std::string text = name_.to_string();
  text += '_';
  if (ccy_) text += ccy_->to_string();
  for (const key* term : {&seniority_, &restructuring_, &isda_}) {
    text += '_';
    text += term->to_string();
  }
  return text;
}

size_t default_id::hash() const {
  static const key kind("default_id");
  std::uint64_t seed = key::hash(name_, kind.hash());
  if (ccy_) seed = key::hash(ccy_->name(), seed);
  for (const key* term : {&seniority_, &restructuring_, &isda_}) seed = key::hash(*term, seed);
  return static_cast<size_t>(seed);
}

bool default_id::equals(const data_id& other) const {
  const auto& that = static_cast<const default_id&>(other);
  return name_ == that.name_ && same_value(ccy_, that.ccy_) && seniority_ == that.seniority_ &&
         restructuring_ == that.restructuring_ && isda_ == that.isda_;
}

void default_id::initialize() const {
  if (name_.to_string().empty()) QAVREK_FAIL("invalide default_id name!");
  if (!ccy_) QAVREK_FAIL("invalide default_id currency!");
}

}  // namespace qavrek
