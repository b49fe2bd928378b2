#pragma once

#include <cstddef>
#include <string>
#include <utility>

#include "Util/key.h"

namespace qavrek {

namespace serialization {
class access;
}

// A currency, named by its code ("EUR").
// A plain value: it compares and hashes by its name.
class currency {
 public:
  // An empty name is refused.
  explicit currency(key name);

  const key& name() const noexcept { return name_; }

  std::string to_string() const { return name_.to_string(); }
  size_t hash() const noexcept;

  friend bool operator==(const currency& lhs, const currency& rhs) noexcept { return lhs.name_ == rhs.name_; }

 private:
  friend class serialization::access;

  // For loaders: an empty name, set with set_name and checked by initialize.
  currency() = default;
  void set_name(key name) { name_ = std::move(name); }
  void initialize() const;

  key name_;
};

}  // namespace qavrek
