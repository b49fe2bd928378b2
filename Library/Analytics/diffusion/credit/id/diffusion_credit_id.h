#pragma once

#include <cstddef>
#include <string>
#include <unordered_set>

#include "Analytics/diffusion/common/id/diffusion_id.h"
#include "Core/pointers.h"
#include "Market/default_id.h"
#include "Serialization/common/persistable.h"
#include "Serialization/common/persistence_access.h"

namespace qavrek {

// The id of the diffusion of one credit curve. It reads and hashes like its default id's value.
class diffusion_credit_id : public diffusion_id, public serialization::persistable<diffusion_credit_id> {
 public:
  // A null default id is refused ("invalide default id!").
  explicit diffusion_credit_id(const ptr_const<default_id>& id);
  diffusion_credit_id(const diffusion_credit_id&) = default;
  ~diffusion_credit_id() override;

  const ptr_const<default_id>& id() const;

  // The default id's text.
  std::string to_string() const override;
  // key::hash of "diffusion_credit_id" seeded with the default id's hash.
  size_t hash() const override;
  // A credit curve needs nothing else.
  void discovery(const ptr_const<diffusion_id>& domestic, const ptr_const<any_container>& container,
                 std::unordered_set<ptr_const<diffusion_id>>& needed) const override;

 protected:
  bool equals(const data_id& other) const override;

 private:
  friend struct serialization::persistence_access;

  // Used only by the loaders. One loaded from a null object has no default id and refuses every
  // use that needs it.
  diffusion_credit_id() = default;
  void initialize() const;
  void validate() const;
  const default_id& usable_id(const char* function) const;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("id", self.id_);
  }

  ptr_const<default_id> id_;
};

}  // namespace qavrek
