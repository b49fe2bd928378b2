#pragma once

#include <string>

#include "Core/error.h"

namespace qavrek {

// Soft, non-fatal conditions: logged at verbosity 0 with their source location.
class Warning {
 public:
  static void warn(const SourceLocation& location, const std::string& message);
};

}  // namespace qavrek
