#pragma once

#include <cstddef>
#include <string>
#include <unordered_set>

#include "Core/pointers.h"
#include "Market/market_data_id.h"

namespace qavrek {

class any_container;

// The id of one simulated risk factor: an interest-rate curve, an equity, an exchange rate or a
// credit curve. Ids are values: equal ids (Market's data_id equality) hash alike, so a
// std::unordered_set<ptr_const<diffusion_id>> keys them by value through the hash and equality that
// Market declares for shared ids.
class diffusion_id : public market_data_id {
 public:
  ~diffusion_id() override;

  std::string to_string() const override = 0;
  size_t hash() const override = 0;

  // Inserts into `needed` the ids that a simulation of this one needs besides it, each only when
  // `needed` holds no equal id. `domestic` is the interest-rate id of the simulation's measure;
  // `container` is the market of the simulation.
  virtual void discovery(const ptr_const<diffusion_id>& domestic, const ptr_const<any_container>& container,
                         std::unordered_set<ptr_const<diffusion_id>>& needed) const = 0;

 protected:
  diffusion_id() = default;
  diffusion_id(const diffusion_id&) = default;
  diffusion_id& operator=(const diffusion_id&) = default;
};

}  // namespace qavrek
