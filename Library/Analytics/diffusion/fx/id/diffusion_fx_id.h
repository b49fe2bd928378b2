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

namespace qavrek {

// The id of the diffusion of an exchange rate between the currencies of two discount curves, domestic
// first. It is directed: the rate from A to B and the rate from B to A are different ids.
class diffusion_fx_id : public diffusion_id, public serialization::persistable<diffusion_fx_id> {
 public:
  // Builds its own interest-rate ids from the two discount ids; a null one is refused.
  diffusion_fx_id(const ptr_const<discount_id>& diffusion_ir_id_domestic,
                  const ptr_const<discount_id>& diffusion_ir_id_foreign);
  diffusion_fx_id(const diffusion_fx_id&) = default;
  ~diffusion_fx_id() override;

  const ptr_const<diffusion_ir_id>& diffusion_ir_id_domestic() const;
  const ptr_const<diffusion_ir_id>& diffusion_ir_id_foreign() const;

  // "<domestic>_<foreign>".
  std::string to_string() const override;
  // domestic hash XOR (foreign hash * 2): swapping the curves changes it.
  size_t hash() const override;
  // Both interest-rate ids, domestic first.
  void discovery(const ptr_const<diffusion_id>& domestic, const ptr_const<any_container>& container,
                 std::unordered_set<ptr_const<diffusion_id>>& needed) const override;

 protected:
  bool equals(const data_id& other) const override;

 private:
  friend struct serialization::persistence_access;

  // Used only by the loaders. One loaded from a null object has no interest-rate ids and refuses
  // every use that needs them.
  diffusion_fx_id() = default;
  void initialize() const;
  void validate() const;
  void require_usable(const char* function) const;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("diffusion_ir_id_domestic", self.domestic_);
    field("diffusion_ir_id_foreign", self.foreign_);
  }

  ptr_const<diffusion_ir_id> domestic_;
  ptr_const<diffusion_ir_id> foreign_;
};

}  // namespace qavrek
