#pragma once

#include <cstddef>
#include <unordered_map>
#include <variant>

#include "Core/pointers.h"
#include "Market/any_id.h"
#include "Market/config_data.h"
#include "Market/life_cycle_data.h"
#include "Market/market_data.h"

namespace qavrek {

// The market objects, configuration objects and life-cycle states of a valuation, each stored
// under an id and found by the id's value: an id built apart from the one used to store finds
// the object.
class any_container {
 public:
  // Life-cycle states are kept mutable: valuations update them in place.
  using value_type = std::variant<ptr_const<market_data>, ptr_mutable<life_cycle_data>, ptr_const<config_data>>;

  any_container() = default;

  // Stores `object` under `id`, replacing what an equal id held; an empty object is refused.
  void add(const any_id& id, value_type object);

  bool contains(const any_id& id) const { return objects_.contains(id); }
  // The object stored under an id equal to `id`, or nullptr.
  const value_type* find(const any_id& id) const;
  // As find, but a missing object is an error.
  const value_type& at(const any_id& id) const;

  size_t size() const noexcept { return objects_.size(); }
  bool empty() const noexcept { return objects_.empty(); }

 private:
  std::unordered_map<any_id, value_type> objects_;
};

}  // namespace qavrek
