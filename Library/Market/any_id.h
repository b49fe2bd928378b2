#pragma once

#include <concepts>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include "Core/pointers.h"
#include "Market/config_data_id.h"
#include "Market/life_cycle_data_id.h"
#include "Market/market_data_id.h"

namespace qavrek {

// One id of any kind: a market data id, a life-cycle id or a configuration id. It keys the
// objects of an any_container and lists mixed ids, and compares and hashes by the held id's value.
class any_id {
 public:
  using value_type =
      std::variant<ptr_const<market_data_id>, ptr_const<life_cycle_data_id>, ptr_const<config_data_id>>;

  // From a shared id of any of the three kinds; implicit, like the alternatives of a variant.
  // An empty pointer is refused.
  template <typename Id, typename Held = std::remove_const_t<Id>>
    requires(std::derived_from<Held, market_data_id> + std::derived_from<Held, life_cycle_data_id> +
                 std::derived_from<Held, config_data_id> ==
             1)
  any_id(std::shared_ptr<Id> id) : value_(std::shared_ptr<const Held>(std::move(id))) {
    refuse_empty();
  }

  // The held id, whatever its kind.
  const data_id& id() const noexcept {
    return std::visit([](const auto& id) -> const data_id& { return *id; }, value_);
  }
  const value_type& value() const noexcept { return value_; }

  bool is_market_data_id() const noexcept { return value_.index() == 0; }
  bool is_life_cycle_data_id() const noexcept { return value_.index() == 1; }
  bool is_config_data_id() const noexcept { return value_.index() == 2; }

  // The held id as its kind; std::bad_variant_access when it is of another kind.
  const ptr_const<market_data_id>& market_id() const { return std::get<0>(value_); }
  const ptr_const<life_cycle_data_id>& life_cycle_id() const { return std::get<1>(value_); }
  const ptr_const<config_data_id>& config_id() const { return std::get<2>(value_); }

  std::string to_string() const { return id().to_string(); }
  size_t hash() const { return id().hash(); }

  friend bool operator==(const any_id& lhs, const any_id& rhs) { return lhs.id() == rhs.id(); }

 private:
  void refuse_empty() const;

  value_type value_;
};

}  // namespace qavrek

template <>
struct std::hash<qavrek::any_id> {
  size_t operator()(const qavrek::any_id& id) const { return id.hash(); }
};
