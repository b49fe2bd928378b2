#include "Runtime/private_copies.h"

#include <utility>

#include "Runtime/long_call.h"

namespace qavrek::python {

std::shared_ptr<const void> private_copies::copy_of(const std::shared_ptr<const void>& original) const {
  const auto found = positions_.find(original.get());
  return found == positions_.end() ? nullptr : entries_[found->second].copy;
}

void private_copies::add(std::shared_ptr<const void> original, std::shared_ptr<const void> copy,
                         publish_function publish) {
  positions_.emplace(original.get(), entries_.size());
  entries_.push_back({std::move(original), std::move(copy), publish});
}

void private_copies::publish() const {
  if (entries_.empty()) return;
  long_call::exclusively([this] {
    for (const entry& item : entries_) item.publish(item.original.get(), item.copy.get());
  });
}

}  // namespace qavrek::python
