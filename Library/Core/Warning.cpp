#include "Core/Warning.h"

#include "Core/logger.h"

namespace qavrek {

void Warning::warn(const SourceLocation& location, const std::string& message) {
  const std::string line = "warning in " + location.function + ": " + message;
  logger::Log(0, location.file.c_str(), static_cast<unsigned>(location.line), line.c_str());
}

}  // namespace qavrek
