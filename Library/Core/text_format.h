#pragma once

#include <cstddef>
#include <string>

namespace qavrek {

// Report-table cells: `text` centred in a field of `width` characters (extra space goes to the right);
// a longer text is kept whole.
std::string center(const std::string& text, size_t width);

// `value` in fixed notation with `precision` decimals, right-aligned in a field of `width` characters.
std::string to_string(double value, int precision, size_t width);

}  // namespace qavrek
