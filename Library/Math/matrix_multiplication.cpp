// The general product over Eigen; short inner dimensions (a correlation step) as passes over columns on the
// widest vector instructions of the machine, chosen at run time: this file is compiled once per instruction set.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "Math/matrix_multiplication.cpp"
#include <hwy/foreach_target.h>  // re-includes this file once per instruction set
#include <hwy/highway.h>

#ifndef QAVREK_MATH_MATRIX_MULTIPLICATION_SHARED
#define QAVREK_MATH_MATRIX_MULTIPLICATION_SHARED

#include <Eigen/Dense>

#include <algorithm>
#include <functional>

#include "Core/check.h"
#include "Math/matrix_multiplication.h"

namespace qavrek {
namespace matrix_product {

// Up to this inner dimension an untransposed product runs as passes over columns, packing nothing.
constexpr size_t short_depth = 16;
// Columns per pass: the tile of every row of B stays in the first-level cache.
constexpr size_t tile_columns = 512;

}  // namespace matrix_product
}  // namespace qavrek

#endif  // QAVREK_MATH_MATRIX_MULTIPLICATION_SHARED

HWY_BEFORE_NAMESPACE();
namespace qavrek {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;
using namespace matrix_product;

// C = alpha A B + beta C, A (m x k) and B (k x n) untransposed and apart from C, k >= 1. Each entry is the
// sum of its products in order, then scaled, with separate multiplications and additions (the file is
// compiled without contraction), so every instruction set gives the same bits. The trailing zeros of a row
// of A are left out, as reference BLAS leaves out zero factors: a lower-triangular A (a Cholesky factor)
// costs half the products.
void multiply_short_depth(size_t m, size_t n, size_t k, double alpha, const double* HWY_RESTRICT a, size_t lda,
                          const double* HWY_RESTRICT b, size_t ldb, double beta, double* HWY_RESTRICT c, size_t ldc) {
  const hn::ScalableTag<double> d;
  const size_t N = hn::Lanes(d);
  for (size_t first = 0; first < n; first += tile_columns) {
    const size_t last = std::min(first + tile_columns, n);
    for (size_t i = 0; i < m; ++i) {
      const double* a_row = a + i * lda;
      size_t depth = k;
      while (depth > 1 && a_row[depth - 1] == 0.0) --depth;
      double* out = c + i * ldc;
      size_t p = first;
      for (; p + N <= last; p += N) {
        auto sum = hn::Mul(hn::Set(d, a_row[0]), hn::LoadU(d, b + p));
        for (size_t l = 1; l < depth; ++l)
          sum = hn::Add(sum, hn::Mul(hn::Set(d, a_row[l]), hn::LoadU(d, b + l * ldb + p)));
        auto result = hn::Mul(hn::Set(d, alpha), sum);
        if (beta != 0.0) result = hn::Add(result, hn::Mul(hn::Set(d, beta), hn::LoadU(d, out + p)));
        hn::StoreU(result, d, out + p);
      }
      for (; p < last; ++p) {
        double sum = a_row[0] * b[p];
        for (size_t l = 1; l < depth; ++l) sum = sum + a_row[l] * b[l * ldb + p];
        out[p] = beta != 0.0 ? alpha * sum + beta * out[p] : alpha * sum;
      }
    }
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace qavrek
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace qavrek {

HWY_EXPORT(multiply_short_depth);

namespace {

using row_matrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
using stride = Eigen::OuterStride<>;
using const_view = Eigen::Map<const row_matrix, Eigen::Unaligned, stride>;
using mutable_view = Eigen::Map<row_matrix, Eigen::Unaligned, stride>;

constexpr const char* function = "matrix_multiplication";

bool is_transposed(char letter) {
  switch (letter) {
    case 'N':
    case 'n':
      return false;
    case 'T':
    case 't':
      return true;
    default:
      details::check_fail(function, __FILE__, __LINE__,
                          details::concat("unknown transposition '", letter, "': expected 'N' or 'T'"));
  }
}

// A non-empty stored operand of `rows` x `cols`.
const_view stored_operand(const char* name, const double* data, size_t rows, size_t cols, size_t leading) {
  QAVREK_CHECK_AT(function, __FILE__, __LINE__, data != nullptr, "null operand ", name);
  QAVREK_CHECK_AT(function, __FILE__, __LINE__, leading >= cols, "leading dimension of ", name, " (", leading,
                  ") is shorter than a stored row (", cols, ")");
  return const_view(data, Eigen::Index(rows), Eigen::Index(cols), stride(Eigen::Index(leading)));
}

// The memory span of a stored operand, to detect an output that overlaps an input.
bool overlaps(const double* a, size_t a_rows, size_t a_cols, size_t lda, const double* c, size_t c_rows,
              size_t c_cols, size_t ldc) {
  const double* a_end = a + (a_rows - 1) * lda + a_cols;
  const double* c_end = c + (c_rows - 1) * ldc + c_cols;
  std::less<const double*> before;
  return before(a, c_end) && before(c, a_end);
}

template <typename OperandA, typename OperandB>
void multiply_into(const OperandA& a, const OperandB& b, double alpha, double beta, mutable_view& c, bool aliased) {
  if (aliased) {
    const row_matrix product = alpha * a * b;
    if (beta == 0.0) {
      c = product;
    } else {
      c = beta * c + product;
    }
    return;
  }
  if (beta == 0.0) {
    c.noalias() = alpha * a * b;
    return;
  }
  if (beta != 1.0) c *= beta;
  c.noalias() += alpha * a * b;
}

}  // namespace

void matrix_multiplication(char transpose_a, char transpose_b, size_t m, size_t n, size_t k, double alpha,
                           const double* a, size_t lda, const double* b, size_t ldb, double beta, double* c,
                           size_t ldc) {
  const bool a_transposed = is_transposed(transpose_a);
  const bool b_transposed = is_transposed(transpose_b);
  if (m == 0 || n == 0) return;
  QAVREK_CHECK(c != nullptr, "null output C");
  QAVREK_CHECK(ldc >= n, "leading dimension of C (", ldc, ") is shorter than a row (", n, ")");
  mutable_view c_view(c, Eigen::Index(m), Eigen::Index(n), stride(Eigen::Index(ldc)));

  // BLAS convention: with nothing to add, A and B are not read and beta = 0 clears C whatever it held.
  if (alpha == 0.0 || k == 0) {
    if (beta == 0.0) {
      c_view.setZero();
    } else if (beta != 1.0) {
      c_view *= beta;
    }
    return;
  }

  const size_t a_rows = a_transposed ? k : m, a_cols = a_transposed ? m : k;
  const size_t b_rows = b_transposed ? n : k, b_cols = b_transposed ? k : n;
  const const_view a_view = stored_operand("A", a, a_rows, a_cols, lda);
  const const_view b_view = stored_operand("B", b, b_rows, b_cols, ldb);
  const bool aliased = overlaps(a, a_rows, a_cols, lda, c, m, n, ldc) || overlaps(b, b_rows, b_cols, ldb, c, m, n, ldc);

  if (!a_transposed && !b_transposed && k <= matrix_product::short_depth && !aliased) {
    HWY_DYNAMIC_DISPATCH(multiply_short_depth)(m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
  } else if (!a_transposed && !b_transposed) {
    multiply_into(a_view, b_view, alpha, beta, c_view, aliased);
  } else if (!a_transposed) {
    multiply_into(a_view, b_view.transpose(), alpha, beta, c_view, aliased);
  } else if (!b_transposed) {
    multiply_into(a_view.transpose(), b_view, alpha, beta, c_view, aliased);
  } else {
    multiply_into(a_view.transpose(), b_view.transpose(), alpha, beta, c_view, aliased);
  }
}

void matrix_multiplication(char transpose_a, char transpose_b, size_t m, size_t n, size_t k, const double* a,
                           size_t lda, const double* b, size_t ldb, double* c, size_t ldc) {
  matrix_multiplication(transpose_a, transpose_b, m, n, k, 1.0, a, lda, b, ldb, 0.0, c, ldc);
}

}  // namespace qavrek
#endif  // HWY_ONCE
