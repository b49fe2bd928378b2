#include "Analytics/simulation/simulation_helper.h"

#include <memory>
#include <variant>

#include "Analytics/change_of_measure/measure.h"
#include "Analytics/change_of_measure/measure_id.h"
#include "Analytics/diffusion/ir/id/diffusion_ir_id.h"
#include "Core/check.h"

namespace qavrek {

std::vector<any_id> simulation_helper::discovery(const std::vector<ptr_const<diffusion_id>>& ids,
                                                 const ptr_const<any_container>& container) {
  QAVREK_CHECK(container != nullptr, "the discovery of a simulation's diffusions needs the market container");
  for (size_t i = 0; i < ids.size(); ++i) QAVREK_CHECK(ids[i] != nullptr, "diffusion id ", i, " is null");

  const auto key = std::make_shared<const measure_id>();
  const any_container::value_type* stored = container->find(any_id(key));
  if (stored == nullptr) return {any_id(key)};

  const auto* configuration = std::get_if<ptr_const<config_data>>(stored);
  QAVREK_CHECK(configuration != nullptr, "the object stored under the measure id is not a configuration object");
  const auto* the_measure = dynamic_cast<const measure*>(configuration->get());
  QAVREK_CHECK(the_measure != nullptr, "the configuration stored under the measure id is not a measure");

  const ptr_const<diffusion_id> domestic = std::make_shared<const diffusion_ir_id>(the_measure->id());
  visited_ids visited;
  visited.set.insert(domestic);
  visited.in_order.push_back(domestic);
  for (const auto& id : ids) discover_dependencies(id, domestic, visited, container);

  std::vector<any_id> result;
  result.reserve(visited.in_order.size());
  for (const auto& id : visited.in_order) result.emplace_back(id);
  return result;
}

void simulation_helper::discover_dependencies(const ptr_const<diffusion_id>& id, const ptr_const<diffusion_id>& domestic,
                                              visited_ids& visited, const ptr_const<any_container>& container) {
  // Every call adds a new id before it recurses, and equal ids are added once: the recursion ends.
  if (!visited.set.insert(id).second) return;
  visited.in_order.push_back(id);

  std::unordered_set<ptr_const<diffusion_id>> needed;
  id->discovery(domestic, container, needed);
  for (const auto& dependency : needed)
    if (!visited.set.contains(dependency)) discover_dependencies(dependency, domestic, visited, container);
}

}  // namespace qavrek
