#pragma once

#include <cstddef>
#include <string>

#include "Core/pointers.h"
#include "Market/currency.h"
#include "Market/discount_definition.h"
#include "Market/market_data_id.h"
#include "Serialization/common/persistence_access.h"

namespace qavrek {

// Id of a discount curve: what it discounts at (its definition) in which currency.
// Equal definitions and currencies make equal ids, whichever objects hold them.
class discount_id : public market_data_id, private serialization::null_envelope_mark {
 public:
  // Both parts are required.
  discount_id(const ptr_const<discount_definition>& definition, const ptr_const<currency>& ccy);

  const ptr_const<discount_definition>& definition() const noexcept { return definition_; }
  const ptr_const<currency>& ccy() const noexcept { return ccy_; }

  // "<definition>_<currency>", e.g. "OIS_EUR".
  std::string to_string() const override;
  size_t hash() const override;

 protected:
  bool equals(const data_id& other) const override;

 private:
  friend struct serialization::persistence_access;

  // For loaders: both parts empty, filled through persisted_fields and checked by initialize.
  discount_id() = default;
  void initialize() const;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("id", self.definition_);
    field("ccy", self.ccy_);
  }

  ptr_const<discount_definition> definition_;
  ptr_const<currency> ccy_;
};

}  // namespace qavrek
