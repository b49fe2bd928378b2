#pragma once

#include <memory>

namespace qavrek {

// Objects travel between subsystems as shared pointers, as a rule to const objects.
template <typename T>
using ptr_const = std::shared_ptr<const T>;

template <typename T>
using ptr_mutable = std::shared_ptr<T>;

}  // namespace qavrek
