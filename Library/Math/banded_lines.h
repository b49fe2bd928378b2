#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>

#include "Core/check.h"
#include "Core/parallel_for.h"

// Shared by the tri- and pentadiagonal operations: a tensor of outer x n x inner values holds outer * inner lines of
// n points each, a line running along the middle dimension with stride inner.
namespace qavrek::details {

// Lines per task when a single outer block is split across threads.
constexpr size_t columns_per_task = 64;

// The number of points of an outer x n x inner tensor after checking the arguments: an error when it does not fit
// in memory or when values or bands are null while there are points.
inline size_t banded_points(const char* function, const void* values, const void* bands, size_t outer, size_t n,
                            size_t inner) {
  const size_t limit = ~size_t(0);
  QAVREK_CHECK_AT(function, __FILE__, __LINE__,
                  n == 0 || inner == 0 || outer == 0 || (n <= limit / inner && n * inner <= limit / outer),
                  "a tensor of ", outer, " x ", n, " x ", inner, " points is too large");
  const size_t total = outer * n * inner;
  QAVREK_CHECK_AT(function, __FILE__, __LINE__, total == 0 || (values != nullptr && bands != nullptr),
                  "null values or bands for ", total, " points");
  return total;
}

// A product writes out while it reads in: the two blocks of `total` values must not overlap.
inline void check_apart(const char* function, const double* out, const double* in, size_t total) {
  const std::less<const double*> before;
  QAVREK_CHECK_AT(function, __FILE__, __LINE__,
                  total == 0 || (in != nullptr && (!before(out, in + total) || !before(in, out + total))),
                  "the product needs an input apart from its output");
}

// Runs body(block, first_column, last_column) for the columns [first_column, last_column) of outer blocks of n x
// inner points starting at `block`, so that every line is met once; with `parallel` the calls run on Core's
// parallel loop, split over the outer blocks or, when there is only one, over its columns.
template <typename Body>
void for_each_block(size_t outer, size_t n, size_t inner, bool parallel, Body&& body) {
  if (outer == 0 || n == 0 || inner == 0) return;
  const size_t block = n * inner;
  auto blocks = [&](size_t first, size_t last, size_t first_column, size_t last_column) {
    for (size_t o = first; o < last; ++o) body(o * block, first_column, last_column);
  };
  if (!parallel) {
    blocks(0, outer, 0, inner);
  } else if (outer > 1) {
    parallel_for(outer, [&](int first, int last) { blocks(size_t(first), size_t(last), 0, inner); });
  } else {
    const size_t tasks = (inner + columns_per_task - 1) / columns_per_task;
    parallel_for(tasks, [&](int first, int last) {
      blocks(0, 1, size_t(first) * columns_per_task, std::min(inner, size_t(last) * columns_per_task));
    });
  }
}

// out += factor * A * in along the lines, A of 2 half_width + 1 bands: band k of the row of point p couples it with
// the point p + (k - half_width) * inner. Entries that would couple a point with one beyond its line are not read.
template <size_t half_width>
void banded_multiply(const char* function, double* out, const double* in, const double* bands, size_t outer,
                     size_t n, size_t inner, double factor, bool parallel) {
  constexpr size_t width = 2 * half_width + 1;
  const size_t total = banded_points(function, out, bands, outer, n, inner);
  check_apart(function, out, in, total);

  // The rows of one line near its ends, whose bands reach only part of the way.
  auto edge_row = [&](size_t base, size_t i, size_t first_column, size_t last_column) {
    const size_t k_first = i >= half_width ? 0 : half_width - i;
    const size_t k_last = std::min(width, n + half_width - i);
    const size_t row = base + i * inner;
    for (size_t j = first_column; j < last_column; ++j) {
      const size_t p = row + j;
      double sum = 0.0;
      for (size_t k = k_first; k < k_last; ++k) sum += bands[k * total + p] * in[p + k * inner - half_width * inner];
      out[p] += factor * sum;
    }
  };

  // Rows whose bands all stay inside the line, points [first, last): one vectorisable pass.
  auto interior = [&](size_t first, size_t last) {
    for (size_t p = first; p < last; ++p) {
      double sum = 0.0;
      for (size_t k = 0; k < width; ++k) sum += bands[k * total + p] * in[p + k * inner - half_width * inner];
      out[p] += factor * sum;
    }
  };

  const size_t interior_end = n > half_width ? n - half_width : 0;
  for_each_block(outer, n, inner, parallel, [&](size_t base, size_t first_column, size_t last_column) {
    for (size_t i = 0; i < std::min(half_width, n); ++i) edge_row(base, i, first_column, last_column);
    if (first_column == 0 && last_column == inner) {
      // The interior rows of a whole block are contiguous.
      if (interior_end > half_width) interior(base + half_width * inner, base + interior_end * inner);
    } else {
      for (size_t i = half_width; i < interior_end; ++i) {
        interior(base + i * inner + first_column, base + i * inner + last_column);
      }
    }
    for (size_t i = std::max(half_width, interior_end); i < n; ++i) edge_row(base, i, first_column, last_column);
  });
}

}  // namespace qavrek::details
