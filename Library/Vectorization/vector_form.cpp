#include "Vectorization/vector_form.h"

namespace qavrek {

std::string vector_form(std::span<const double> values) {
  std::ostringstream out;
  write_vector_form(out, values.data(), values.size());
  return out.str();
}

}  // namespace qavrek
