#pragma once

#include <algorithm>
#include <cstddef>
#include <ostream>
#include <span>
#include <sstream>
#include <string>
#include <vector>

namespace qavrek {

// The text form of a vector: "[", the values separated by ",\n ", each right-aligned to
// the width of the widest value as the stream prints it, then "]".
template <typename T>
void write_vector_form(std::ostream& out, const T* values, size_t size) {
  std::vector<std::string> printed(size);
  size_t width = 0;
  for (size_t i = 0; i < size; ++i) {
    std::ostringstream item;
    item.flags(out.flags());
    item.precision(out.precision());
    item << values[i];
    printed[i] = item.str();
    width = std::max(width, printed[i].size());
  }
  out.width(0);
  out << '[';
  for (size_t i = 0; i < size; ++i) {
    if (i > 0) out << ",\n ";
    out << std::string(width - printed[i].size(), ' ') << printed[i];
  }
  out << ']';
}

// The same with the default stream format, for logs and reports.
std::string vector_form(std::span<const double> values);

}  // namespace qavrek
