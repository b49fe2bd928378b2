#pragma once

#include <cstddef>
#include <string>
#include <utility>

#include "Serialization/common/persistence_access.h"
#include "Util/key.h"

namespace qavrek {

// What a discount curve discounts at within its currency ("OIS", "3M"), named by a key.
// A plain value: it compares and hashes by its name.
class discount_definition : private serialization::null_envelope_mark {
 public:
  // An empty name is refused.
  explicit discount_definition(key name);

  const key& name() const noexcept { return name_; }

  std::string to_string() const { return name_.to_string(); }
  size_t hash() const noexcept;

  friend bool operator==(const discount_definition& lhs, const discount_definition& rhs) noexcept { return lhs.name_ == rhs.name_; }

 private:
  friend struct serialization::persistence_access;

  // For loaders: an empty name, filled through persisted_fields and checked by initialize.
  discount_definition() = default;
  void initialize() const;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("id", self.name_);
  }

  key name_;
};

}  // namespace qavrek
