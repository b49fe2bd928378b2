#include "Math/pentadiagonal_operations.h"

#include <cmath>

#include "Core/check.h"
#include "Math/banded_lines.h"

namespace qavrek {

void pentadiagonal_operations::multiply(double* out, const double* in, const double* bands, size_t outer, size_t n,
                                        size_t inner, double factor, bool parallel) {
  const size_t total = details::banded_total(__func__, outer, n, inner);
  details::check_banded_arguments(__func__, out, bands, total);
  details::check_apart(__func__, out, in, total);
  details::banded_multiply<2>(out, in, bands, outer, n, inner, factor, parallel);
}

void pentadiagonal_operations::decomposition(double* bands, size_t outer, size_t n, size_t inner, bool parallel) {
  const size_t total = details::banded_total(__func__, outer, n, inner);
  details::check_banded_arguments(__func__, bands, bands, total);
  if (total == 0) return;
  const size_t block = n * inner;
  details::for_each_lines(outer, inner, parallel, [&](size_t first_outer, size_t last_outer, size_t first_column,
                                                      size_t last_column) {
    bool singular = false;
    auto invert = [&singular](double d) {
      const double inverse = 1.0 / d;
      singular |= !(std::isfinite(d) && std::isfinite(inverse));
      return inverse;
    };
    for (size_t o = first_outer; o < last_outer; ++o) {
      double* two_back = bands + o * block;  // e, then the multiplier of row i - 2
      double* one_back = two_back + total;   // a, then the multiplier of row i - 1
      double* pivot = one_back + total;      // d, then 1 / u_ii
      double* next = pivot + total;          // c, then u_{i,i+1}
      const double* far = next + total;      // f = u_{i,i+2}
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
    }
    QAVREK_CHECK_AT("decomposition", __FILE__, __LINE__, !singular,
                    "pentadiagonal matrix with a zero or non-finite pivot");
  });
}

void pentadiagonal_operations::solve_decomposed(double* x, const double* bands, size_t outer, size_t n, size_t inner,
                                                bool parallel) {
  const size_t total = details::banded_total(__func__, outer, n, inner);
  details::check_banded_arguments(__func__, x, bands, total);
  if (total == 0) return;
  const size_t block = n * inner;
  details::for_each_lines(outer, inner, parallel, [&](size_t first_outer, size_t last_outer, size_t first_column,
                                                      size_t last_column) {
    for (size_t o = first_outer; o < last_outer; ++o) {
      const double* two_back = bands + o * block;
      const double* one_back = two_back + total;
      const double* pivot = one_back + total;
      const double* next = pivot + total;
      const double* far = next + total;
      double* values = x + o * block;
      if (inner == 1) {
        // One contiguous line: the sweeps are plain recurrences.
        if (n > 1) values[1] -= one_back[1] * values[0];
        for (size_t i = 2; i < n; ++i) values[i] -= one_back[i] * values[i - 1] + two_back[i] * values[i - 2];
        values[n - 1] *= pivot[n - 1];
        if (n > 1) values[n - 2] = (values[n - 2] - next[n - 2] * values[n - 1]) * pivot[n - 2];
        for (size_t i = n > 1 ? n - 2 : 0; i-- > 0;) {
          values[i] = (values[i] - next[i] * values[i + 1] - far[i] * values[i + 2]) * pivot[i];
        }
        continue;
      }
      // Lines side by side: each sweep step is one vectorisable pass over the columns.
      if (n > 1) {
        for (size_t j = first_column; j < last_column; ++j) values[inner + j] -= one_back[inner + j] * values[j];
      }
      for (size_t i = 2; i < n; ++i) {
        const size_t row = i * inner;
        for (size_t j = first_column; j < last_column; ++j) {
          values[row + j] -= one_back[row + j] * values[row - inner + j] + two_back[row + j] * values[row - 2 * inner + j];
        }
      }
      const size_t last = (n - 1) * inner;
      for (size_t j = first_column; j < last_column; ++j) values[last + j] *= pivot[last + j];
      if (n > 1) {
        const size_t row = last - inner;
        for (size_t j = first_column; j < last_column; ++j) {
          values[row + j] = (values[row + j] - next[row + j] * values[last + j]) * pivot[row + j];
        }
      }
      for (size_t i = n > 1 ? n - 2 : 0; i-- > 0;) {
        const size_t row = i * inner;
        for (size_t j = first_column; j < last_column; ++j) {
          values[row + j] = (values[row + j] - next[row + j] * values[row + inner + j] -
                             far[row + j] * values[row + 2 * inner + j]) *
                            pivot[row + j];
        }
      }
    }
  });
}

}  // namespace qavrek
