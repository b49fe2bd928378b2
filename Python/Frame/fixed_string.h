#pragma once

#include <algorithm>
#include <cstddef>

namespace qavrek::python {

// A string literal as a template argument, so that each generated wrapper knows its own name.
template <size_t N>
struct fixed_string {
  constexpr fixed_string(const char (&text)[N]) { std::copy_n(text, N, value); }  // NOLINT: implicit by design
  char value[N];
};

}  // namespace qavrek::python
