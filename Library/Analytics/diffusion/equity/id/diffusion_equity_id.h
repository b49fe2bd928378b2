#pragma once

#include <cstddef>
#include <string>
#include <unordered_set>

#include "Analytics/diffusion/common/id/diffusion_id.h"
#include "Analytics/diffusion/ir/id/diffusion_ir_id.h"
#include "Core/pointers.h"
#include "Market/discount_id.h"
#include "Serialization/common/persistable.h"
#include "Serialization/common/persistence_access.h"
#include "Util/key.h"

namespace qavrek {

// The id of the diffusion of one equity, named by a key and priced off a domestic discount curve.
class diffusion_equity_id : public diffusion_id, public serialization::persistable<diffusion_equity_id> {
 public:
  // Builds its own interest-rate id from the discount id; a null one is refused.
  diffusion_equity_id(const ptr_const<discount_id>& domestic_ir_id, key name);
  diffusion_equity_id(const diffusion_equity_id&) = default;
  ~diffusion_equity_id() override;

  const ptr_const<diffusion_ir_id>& diffusion_ir_id_domestic() const;
  const key& name() const noexcept { return name_; }

  // "<name>_<domestic>".
  std::string to_string() const override;
  // key::hash of the name seeded with the domestic interest-rate id's hash.
  size_t hash() const override;
  // The domestic interest-rate id.
  void discovery(const ptr_const<diffusion_id>& domestic, const ptr_const<any_container>& container,
                 std::unordered_set<ptr_const<diffusion_id>>& needed) const override;

 protected:
  bool equals(const data_id& other) const override;

 private:
  friend struct serialization::persistence_access;

  // Used only by the loaders. One loaded from a null object has no interest-rate id and refuses
  // every use that needs it.
  diffusion_equity_id() = default;
  void initialize() const;
  void validate() const;
  const diffusion_ir_id& usable_domestic(const char* function) const;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("diffusion_domestic_ir_id", self.domestic_);
    field("name", self.name_);
  }

  ptr_const<diffusion_ir_id> domestic_;
  key name_;
};

}  // namespace qavrek
