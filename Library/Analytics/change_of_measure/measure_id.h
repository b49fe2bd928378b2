#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Market/config_data_id.h"
#include "Serialization/common/persistable.h"
#include "Serialization/common/persistence_access.h"

namespace qavrek {

// The id under which the simulation measure is kept among the configuration data. Every measure id
// has the same text and hash and equals every other, so a container holds at most one measure and a
// fresh id finds it.
class measure_id : public config_data_id, public serialization::persistable<measure_id> {
 public:
  measure_id() = default;
  measure_id(const measure_id&) = default;
  ~measure_id() override;

  // The empty string.
  std::string to_string() const override;
  // The hash of the key "measure_id".
  size_t hash() const override;

 protected:
  bool equals(const data_id& other) const override;

 private:
  friend struct serialization::persistence_access;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("state", self.state_);
  }

  // Persisted and read back; nothing else uses it.
  std::int32_t state_ = 0;
};

}  // namespace qavrek
