#pragma once

#include <cstddef>
#include <string>
#include <utility>

#include "Core/pointers.h"
#include "Market/currency.h"
#include "Market/market_data_id.h"
#include "Serialization/common/persistence_access.h"
#include "Util/key.h"

namespace qavrek {

// Id of a credit curve: the reference entity and the terms of the protection on it (currency,
// seniority of the debt, restructuring clause, ISDA definitions). Ids with equal fields are equal.
class default_id : public market_data_id, private serialization::null_envelope_mark {
 public:
  // The name and the currency are required; the terms may be empty keys.
  default_id(key name, const ptr_const<currency>& ccy, key seniority, key restructuring, key isda);

  const key& name() const noexcept { return name_; }
  const ptr_const<currency>& ccy() const noexcept { return ccy_; }
  const key& seniority() const noexcept { return seniority_; }
  const key& restructuring() const noexcept { return restructuring_; }
  const key& isda() const noexcept { return isda_; }

  // The fields joined by "_" in order, e.g. "ACME_USD_SNRFOR_XR14_2014".
  std::string to_string() const override;
  size_t hash() const override;

 protected:
  bool equals(const data_id& other) const override;

 private:
  friend struct serialization::persistence_access;

  // For loaders: empty fields, filled through persisted_fields and checked by initialize.
  default_id() = default;
  void initialize() const;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("name", self.name_);
    field("ccy", self.ccy_);
    field("seniority", self.seniority_);
    field("restructuring", self.restructuring_);
    field("isda", self.isda_);
  }

  key name_;
  ptr_const<currency> ccy_;
  key seniority_;
  key restructuring_;
  key isda_;
};

}  // namespace qavrek
