#include "Core/demangle.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

namespace qavrek {

std::string demangle(const char* mangled_name) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> readable(abi::__cxa_demangle(mangled_name, nullptr, nullptr, &status),
                                                  std::free);
  return status == 0 && readable ? std::string(readable.get()) : std::string(mangled_name);
}

}  // namespace qavrek
