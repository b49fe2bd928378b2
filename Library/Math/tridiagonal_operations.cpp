#include "Math/tridiagonal_operations.h"

#include <cmath>

#include "Core/check.h"
#include "Math/banded_lines.h"

namespace qavrek {

void tridiagonal_operations::multiply(double* out, const double* in, const double* bands, size_t outer, size_t n,
                                      size_t inner, double factor, bool parallel) {
  details::banded_multiply<1>(__func__, out, in, bands, outer, n, inner, factor, parallel);
}

void tridiagonal_operations::decomposition(double* bands, size_t outer, size_t n, size_t inner, bool parallel) {
  const size_t total = details::banded_points(__func__, bands, bands, outer, n, inner);
  details::for_each_block(outer, n, inner, parallel, [&](size_t block, size_t first_column, size_t last_column) {
    double* lower = bands + block;
    double* pivot = lower + total;
    const double* upper = pivot + total;
    bool singular = false;
    for (size_t j = first_column; j < last_column; ++j) {
      const double inverse = 1.0 / pivot[j];
      singular |= !(std::isfinite(pivot[j]) && std::isfinite(inverse));
      pivot[j] = inverse;
    }
    for (size_t i = 1; i < n; ++i) {
      const size_t row = i * inner;
      const size_t previous = row - inner;
      for (size_t j = first_column; j < last_column; ++j) {
        const double multiplier = lower[row + j] * pivot[previous + j];
        const double d = pivot[row + j] - multiplier * upper[previous + j];
        const double inverse = 1.0 / d;
        singular |= !(std::isfinite(d) && std::isfinite(inverse));
        lower[row + j] = multiplier;
        pivot[row + j] = inverse;
      }
    }
    QAVREK_CHECK_AT("decomposition", __FILE__, __LINE__, !singular,
                    "tridiagonal matrix with a zero or non-finite pivot");
  });
}

void tridiagonal_operations::solve_decomposed(double* x, const double* bands, size_t outer, size_t n, size_t inner,
                                              bool parallel) {
  const size_t total = details::banded_points(__func__, x, bands, outer, n, inner);
  details::for_each_block(outer, n, inner, parallel, [&](size_t block, size_t first_column, size_t last_column) {
    const double* lower = bands + block;
    const double* pivot = lower + total;
    const double* upper = pivot + total;
    double* values = x + block;
    if (inner == 1) {
      // One contiguous line: the sweeps are plain recurrences.
      for (size_t i = 1; i < n; ++i) values[i] -= lower[i] * values[i - 1];
      values[n - 1] *= pivot[n - 1];
      for (size_t i = n - 1; i-- > 0;) values[i] = (values[i] - upper[i] * values[i + 1]) * pivot[i];
      return;
    }
    // Lines side by side: each sweep step is one vectorisable pass over the columns.
    for (size_t i = 1; i < n; ++i) {
      const size_t row = i * inner;
      for (size_t j = first_column; j < last_column; ++j) values[row + j] -= lower[row + j] * values[row - inner + j];
    }
    const size_t last = (n - 1) * inner;
    for (size_t j = first_column; j < last_column; ++j) values[last + j] *= pivot[last + j];
    for (size_t i = n - 1; i-- > 0;) {
      const size_t row = i * inner;
      for (size_t j = first_column; j < last_column; ++j) {
        values[row + j] = (values[row + j] - upper[row + j] * values[row + inner + j]) * pivot[row + j];
      }
    }
  });
}

}  // namespace qavrek
