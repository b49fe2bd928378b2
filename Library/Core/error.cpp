#include "Core/error.h"

#include <utility>

namespace qavrek {

Error::Error(SourceLocation location, std::string message)
    : location_(std::move(location)), message_(std::move(message)) {}

}  // namespace qavrek
