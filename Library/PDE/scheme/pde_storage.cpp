#include "PDE/scheme/pde_storage.h"

namespace qavrek {

pde_storage::pde_storage(size_t number_of_entries, size_t number_of_results, const std::vector<size_t>& sizes)
    : sizes_(sizes),
      number_of_results_(number_of_results),
      result_(sizes),
      previous_result_(sizes),
      entries_(number_of_entries) {
  for (size_t i = 0; i < entries_.size(); ++i) {
    entries_[i].assign(sizes_.size(), pde_boundary_config());
    boundary_configs_[entries_[i]].insert(i);
  }
}

}  // namespace qavrek
