#pragma once

#include "Core/pointers.h"
#include "Market/config_data.h"
#include "Market/discount_id.h"
#include "Serialization/common/persistable.h"
#include "Serialization/common/persistence_access.h"

namespace qavrek {

// The measure of a simulation: its numeraire is the interest rate of the discount curve it names,
// which becomes the domestic rate of the simulation. Kept among the configuration data under a
// measure_id.
class measure : public config_data, public serialization::persistable<measure> {
 public:
  // A null id is refused ("invalide discount_id!").
  explicit measure(const ptr_const<discount_id>& id);
  measure(const measure&) = default;
  ~measure() override;

  // Never null: a measure loaded from a null object has no discount id and refuses to be used.
  const ptr_const<discount_id>& id() const;

 private:
  friend struct serialization::persistence_access;

  // Used only by the loaders.
  measure() = default;
  void initialize() const;
  void validate() const;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("id", self.id_);
  }

  ptr_const<discount_id> id_;
};

}  // namespace qavrek
