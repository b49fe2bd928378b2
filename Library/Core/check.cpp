#include "Core/check.h"

namespace qavrek::details {

void check_fail(const char* function, const char* file, int line, const char* message) {
  throw Error(SourceLocation{function, file, line}, message);
}

void check_fail(const char* function, const char* file, int line, const std::string& message) {
  throw Error(SourceLocation{function, file, line}, message);
}

}  // namespace qavrek::details
