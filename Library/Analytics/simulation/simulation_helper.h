#pragma once

#include <unordered_set>
#include <vector>

#include "Analytics/diffusion/common/id/diffusion_id.h"
#include "Core/pointers.h"
#include "Market/any_container.h"
#include "Market/any_id.h"

namespace qavrek {

// Finds every diffusion that a simulation must carry: the ones named, the domestic rate of the measure, and
// what they depend on (a rate in another currency brings in the domestic rate and the exchange rate
// between the two).
class simulation_helper {
 public:
  simulation_helper() = delete;

  // The closed set of diffusion ids for `ids` under the measure stored in `container`, each once (ids are
  // compared by value), the domestic rate first and then in the order they were found. When the container
  // holds no measure the result is the measure id alone: the sign that the measure is missing. Anything but
  // a measure stored under the measure id is an Error.
  static std::vector<any_id> discovery(const std::vector<ptr_const<diffusion_id>>& ids,
                                       const ptr_const<any_container>& container);

 private:
  // Ids found so far, by value, with the order in which they were found.
  struct visited_ids {
    std::unordered_set<ptr_const<diffusion_id>> set;
    std::vector<ptr_const<diffusion_id>> in_order;
  };

  static void discover_dependencies(const ptr_const<diffusion_id>& id, const ptr_const<diffusion_id>& domestic,
                                    visited_ids& visited, const ptr_const<any_container>& container);
};

}  // namespace qavrek
