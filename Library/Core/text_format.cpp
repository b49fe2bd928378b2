#include "Core/text_format.h"

#include <iomanip>
#include <sstream>

namespace qavrek {

std::string center(const std::string& text, size_t width) {
  if (text.size() >= width) return text;
  const size_t left = (width - text.size()) / 2;
  return std::string(left, ' ') + text + std::string(width - text.size() - left, ' ');
}

std::string to_string(double value, int precision, size_t width) {
  std::ostringstream out;
  out << std::fixed << std::setprecision(precision) << std::setw(static_cast<int>(width)) << value;
  return out.str();
}

}  // namespace qavrek
