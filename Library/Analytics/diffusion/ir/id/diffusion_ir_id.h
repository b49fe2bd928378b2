#pragma once

#include <cstddef>
#include <string>
#include <unordered_set>

#include "Analytics/diffusion/common/id/diffusion_id.h"
#include "Core/pointers.h"
#include "Market/discount_id.h"
#include "Serialization/common/persistable.h"
#include "Serialization/common/persistence_access.h"

namespace qavrek {

// The id of the interest-rate diffusion of one discount curve. It reads and hashes like its
// discount id's value, so ids built apart from equal discount ids are equal.
class diffusion_ir_id : public diffusion_id, public serialization::persistable<diffusion_ir_id> {
 public:
  // A null discount id is refused ("invalide discount_id!").
  explicit diffusion_ir_id(const ptr_const<discount_id>& id);
  diffusion_ir_id(const diffusion_ir_id&) = default;
  ~diffusion_ir_id() override;

  const ptr_const<discount_id>& id() const;

  // The discount id's text.
  std::string to_string() const override;
  // key::hash of "diffusion_ir_id" seeded with the discount id's hash.
  size_t hash() const override;
  // In the currency of `domestic` (compared by value): nothing. In another currency: `domestic`
  // itself and the exchange rate from the domestic curve to this one.
  void discovery(const ptr_const<diffusion_id>& domestic, const ptr_const<any_container>& container,
                 std::unordered_set<ptr_const<diffusion_id>>& needed) const override;

 protected:
  bool equals(const data_id& other) const override;

 private:
  friend struct serialization::persistence_access;

  // Used only by the loaders. One loaded from a null object has no discount id and refuses every
  // use that needs it.
  diffusion_ir_id() = default;
  void initialize() const;
  void validate() const;
  const discount_id& usable_id(const char* function) const;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("id", self.id_);
  }

  ptr_const<discount_id> id_;
};

}  // namespace qavrek
