#include "Market/any_id.h"

#include "Core/check.h"

namespace qavrek {

void any_id::refuse_empty() const {
  const bool empty = std::visit([](const auto& id) { return id == nullptr; }, value_);
  if (empty) QAVREK_FAIL("invalide any_id!");
}

}  // namespace qavrek
