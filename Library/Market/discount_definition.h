#pragma once

#include <cstddef>
#include <string>
#include <utility>

#include "Util/key.h"

namespace qavrek {

namespace serialization {
class access;
}

// What a discount curve discounts at within its currency ("OIS", "3M"), named by a key.
// A plain value: it compares and hashes by its name.
class discount_definition {
 public:
  // An empty name is refused.
  explicit discount_definition(key name);

  const key& name() const noexcept { return name_; }

  std::string to_string() const { return name_.to_string(); }
  size_t hash() const noexcept;

  friend bool operator==(const discount_definition& lhs, const discount_definition& rhs) noexcept { return lhs.name_ == rhs.name_; }

 private:
  friend class serialization::access;

  // For loaders: an empty name, set with set_name and checked by initialize.
  discount_definition() = default;
  void set_name(key name) { name_ = std::move(name); }
  void initialize() const;

  key name_;
};

}  // namespace qavrek
