#include "Math/pentadiagonal_operations.h"

#include <cmath>

#include "Core/check.h"
#include "Math/banded_lines.h"

namespace qavrek {

void pentadiagonal_operations::multiply(double* out, const double* in, const double* bands, size_t outer, size_t n,
                                        size_t inner, double factor, bool parallel) {
  details::banded_multiply<2>(__func__, out, in, bands, outer, n, inner, factor, parallel);
}

void pentadiagonal_operations::decomposition(double* bands, size_t outer, size_t n, size_t inner, bool parallel) {
  const size_t total = details::banded_points(__func__, bands, bands, outer, n, inner);
  details::for_each_block(outer, n, inner, parallel, [&](size_t block, size_t first_column, size_t last_column) {
    double* two_back = bands + block;     // e, then the multiplier of row i - 2
    double* one_back = two_back + total;  // a, then the multiplier of row i - 1
    double* pivot = one_back + total;     // d, then 1 / u_ii
    double* next = pivot + total;         // c, then u_{i,i+1}
    const double* far = next + total;     // f = u_{i,i+2}
    bool singular = false;
    auto invert = [&singular](double d) {
      const double inverse = 1.0 / d;
      singular |= !(std::isfinite(d) && std::isfinite(inverse));
      return inverse;
    };
    for (size_t j = first_column; j < last_column; ++j) pivot[j] = invert(pivot[j]);
    if (n > 1) {
      const size_t row = inner;
      for (size_t j = first_column; j < last_column; ++j) {
        const double alpha = one_back[row + j] * pivot[j];
        one_back[row + j] = alpha;
        pivot[row + j] = invert(pivot[row + j] - alpha * next[j]);
        if (n > 2) next[row + j] -= alpha * far[j];
      }
    }
    for (size_t i = 2; i < n; ++i) {
      const size_t row = i * inner;
      const size_t back1 = row - inner;
      const size_t back2 = back1 - inner;
      const bool has_next = i + 1 < n;
      for (size_t j = first_column; j < last_column; ++j) {
        const double beta = two_back[row + j] * pivot[back2 + j];
        const double alpha = (one_back[row + j] - beta * next[back2 + j]) * pivot[back1 + j];
        two_back[row + j] = beta;
        one_back[row + j] = alpha;
        pivot[row + j] = invert(pivot[row + j] - beta * far[back2 + j] - alpha * next[back1 + j]);
        if (has_next) next[row + j] -= alpha * far[back1 + j];
      }
    }
    QAVREK_CHECK_AT("decomposition", __FILE__, __LINE__, !singular,
                    "pentadiagonal matrix with a zero or non-finite pivot");
  });
}

void pentadiagonal_operations::solve_decomposed(double* x, const double* bands, size_t outer, size_t n, size_t inner,
                                                bool parallel) {
  const size_t total = details::banded_points(__func__, x, bands, outer, n, inner);
  details::for_each_block(outer, n, inner, parallel, [&](size_t block, size_t first_column, size_t last_column) {
    const double* two_back = bands + block;
    const double* one_back = two_back + total;
    const double* pivot = one_back + total;
    const double* next = pivot + total;
    const double* far = next + total;
    double* values = x + block;
    if (inner == 1) {
      // One contiguous line: the sweeps are plain recurrences.
      if (n > 1) values[1] -= one_back[1] * values[0];
      for (size_t i = 2; i < n; ++i) values[i] -= one_back[i] * values[i - 1] + two_back[i] * values[i - 2];
      values[n - 1] *= pivot[n - 1];
      if (n > 1) values[n - 2] = (values[n - 2] - next[n - 2] * values[n - 1]) * pivot[n - 2];
      for (size_t i = n > 1 ? n - 2 : 0; i-- > 0;) {
        values[i] = (values[i] - next[i] * values[i + 1] - far[i] * values[i + 2]) * pivot[i];
      }
      return;
    }
    // Lines side by side: each sweep step is one vectorisable pass over the columns.
    auto rows = [&](size_t i, auto&& update) {
      for (size_t p = i * inner + first_column; p < i * inner + last_column; ++p) update(p);
    };
    if (n > 1) rows(1, [&](size_t p) { values[p] -= one_back[p] * values[p - inner]; });
    for (size_t i = 2; i < n; ++i) {
      rows(i, [&](size_t p) { values[p] -= one_back[p] * values[p - inner] + two_back[p] * values[p - 2 * inner]; });
    }
    rows(n - 1, [&](size_t p) { values[p] *= pivot[p]; });
    if (n > 1) rows(n - 2, [&](size_t p) { values[p] = (values[p] - next[p] * values[p + inner]) * pivot[p]; });
    for (size_t i = n > 1 ? n - 2 : 0; i-- > 0;) {
      rows(i, [&](size_t p) {
        values[p] = (values[p] - next[p] * values[p + inner] - far[p] * values[p + 2 * inner]) * pivot[p];
      });
    }
  });
}

}  // namespace qavrek
