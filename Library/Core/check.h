#pragma once

#include <sstream>
#include <string>

#include "Core/error.h"

namespace qavrek::details {

// Throw Error at the given source location; never returns.
[[noreturn]] void check_fail(const char* function, const char* file, int line, const char* message);
[[noreturn]] void check_fail(const char* function, const char* file, int line, const std::string& message);

// The detail of a failed check: its labels and values streamed one after the other.
template <typename... Args>
std::string concat(const Args&... args) {
  std::ostringstream out;
  (out << ... << args);
  return out.str();
}

}  // namespace qavrek::details

// QAVREK_CHECK(condition, detail...) fails with
// "Expected <condition> to be true, but got false.  <detail>".
#define QAVREK_CHECK_AT(function, file, line, condition, ...)                                      \
  do {                                                                                             \
    if (!(condition)) [[unlikely]] {                                                               \
      ::qavrek::details::check_fail(                                                               \
          function, file, line,                                                                    \
          ::qavrek::details::concat("Expected " #condition " to be true, but got false.  " __VA_OPT__(, ) __VA_ARGS__)); \
    }                                                                                              \
  } while (false)

#define QAVREK_CHECK(condition, ...) QAVREK_CHECK_AT(__func__, __FILE__, __LINE__, condition __VA_OPT__(, ) __VA_ARGS__)

// Fails unconditionally with the detail alone, for named validation failures.
#define QAVREK_FAIL(...) ::qavrek::details::check_fail(__func__, __FILE__, __LINE__, ::qavrek::details::concat(__VA_ARGS__))
