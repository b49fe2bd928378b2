#pragma once

#include <string>

namespace qavrek {

// The readable class name of a run-time type name (typeid(T).name()).
std::string demangle(const char* mangled_name);

}  // namespace qavrek
