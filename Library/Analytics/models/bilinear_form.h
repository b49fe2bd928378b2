#pragma once

#include <cstddef>

#include "Vectorization/matrix.h"

namespace qavrek {

// a' M b for a row-major M, a holding M.rows() values and b M.columns() values.
inline double bilinear_form(const double* a, const matrix<double>& m, const double* b) {
  double sum = 0.0;
  for (size_t r = 0; r < m.rows(); ++r) {
    const double* row = m[r];
    double row_sum = 0.0;
    for (size_t c = 0; c < m.columns(); ++c) row_sum += row[c] * b[c];
    sum += a[r] * row_sum;
  }
  return sum;
}

}  // namespace qavrek
