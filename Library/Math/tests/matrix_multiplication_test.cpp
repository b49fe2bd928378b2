#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "Core/error.h"
#include "Math/matrix_multiplication.h"

namespace qavrek {
namespace {

constexpr double epsilon = std::numeric_limits<double>::epsilon();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
// Fills the padding beyond each stored row; the product must never write it.
constexpr double padding = -777.0;

struct gemm_case {
  std::string name;
  char transpose_a, transpose_b;
  size_t m, n, k;
  double alpha, beta;
  size_t pad_a, pad_b, pad_c;  // leading dimension minus stored row length
};

void PrintTo(const gemm_case& c, std::ostream* out) { *out << c.name; }

// A stored operand with random entries in its rows and `padding` past them.
std::vector<double> stored(size_t rows, size_t cols, size_t leading, std::mt19937& generator) {
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::vector<double> values(rows * leading, padding);
  for (size_t i = 0; i < rows; ++i) {
    for (size_t j = 0; j < cols; ++j) values[i * leading + j] = uniform(generator);
  }
  return values;
}

double entry(const std::vector<double>& data, size_t leading, bool transposed, size_t i, size_t j) {
  return transposed ? data[j * leading + i] : data[i * leading + j];
}

class MatrixMultiplication : public ::testing::TestWithParam<gemm_case> {};

TEST_P(MatrixMultiplication, AgreesWithTheNaiveTripleLoop) {
  const gemm_case& p = GetParam();
  const bool ta = std::toupper(p.transpose_a) == 'T', tb = std::toupper(p.transpose_b) == 'T';
  const size_t a_rows = ta ? p.k : p.m, a_cols = ta ? p.m : p.k, lda = a_cols + p.pad_a;
  const size_t b_rows = tb ? p.n : p.k, b_cols = tb ? p.k : p.n, ldb = b_cols + p.pad_b;
  const size_t ldc = p.n + p.pad_c;
  std::mt19937 generator(17);
  const std::vector<double> a = stored(a_rows, a_cols, lda, generator);
  const std::vector<double> b = stored(b_rows, b_cols, ldb, generator);
  std::vector<double> c = stored(p.m, p.n, ldc, generator);
  if (p.beta == 0.0) {
    for (size_t i = 0; i < p.m; ++i) {
      for (size_t j = 0; j < p.n; ++j) c[i * ldc + j] = nan;  // must not be read
    }
  }
  const std::vector<double> c_before = c;

  matrix_multiplication(p.transpose_a, p.transpose_b, p.m, p.n, p.k, p.alpha, a.data(), lda, b.data(), ldb, p.beta,
                        c.data(), ldc);

  for (size_t i = 0; i < p.m; ++i) {
    for (size_t j = 0; j < ldc; ++j) {
      if (j >= p.n) {
        EXPECT_EQ(c[i * ldc + j], padding) << "padding " << i << "," << j;
        continue;
      }
      double sum = 0.0, magnitude = 0.0;
      for (size_t l = 0; l < p.k; ++l) {
        const double term = entry(a, lda, ta, i, l) * entry(b, ldb, tb, l, j);
        sum += term;
        magnitude += std::abs(term);
      }
      const double old_c = p.beta == 0.0 ? 0.0 : c_before[i * ldc + j];
      const double expected = p.alpha * sum + p.beta * old_c;
      // Both sides are dot products of length k in different orders: each within gamma_k of the exact value
      // relative to the sum of |terms| (Higham, 3.1), plus a rounding of the beta term.
      const double bound =
          2.0 * double(p.k + 2) * epsilon * (std::abs(p.alpha) * magnitude + std::abs(p.beta * old_c)) + 1e-300;
      EXPECT_NEAR(c[i * ldc + j], expected, bound) << i << "," << j;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, MatrixMultiplication,
    ::testing::Values(gemm_case{"plain_square", 'N', 'N', 7, 7, 7, 1.0, 0.0, 0, 0, 0},
                      gemm_case{"b_transposed", 'N', 'T', 5, 9, 4, 1.0, 0.0, 0, 0, 0},
                      gemm_case{"a_transposed", 'T', 'N', 6, 3, 8, -2.0, 0.0, 0, 0, 0},
                      gemm_case{"both_transposed", 'T', 'T', 4, 5, 6, 0.5, 1.0, 0, 0, 0},
                      gemm_case{"lower_case_letters", 'n', 't', 3, 4, 2, 1.0, 0.0, 0, 0, 0},
                      gemm_case{"alpha_beta_padded", 'N', 'N', 8, 11, 13, 1.5, -0.75, 3, 2, 5},
                      gemm_case{"transposed_padded", 'T', 'T', 9, 6, 10, -1.0, 2.0, 1, 4, 2},
                      gemm_case{"row_vector", 'N', 'N', 1, 17, 3, 1.0, 0.0, 0, 0, 0},
                      gemm_case{"inner_product_one", 'N', 'N', 4, 4, 1, 1.0, 0.5, 0, 0, 0},
                      // Correlating Gaussians: factor (factors x factors) times a block (factors x paths).
                      gemm_case{"correlation_step", 'N', 'N', 4, 1000, 4, 1.0, 0.0, 0, 0, 0},
                      gemm_case{"few_terms_alpha_beta_padded", 'N', 'N', 3, 50, 5, -1.5, 0.25, 2, 3, 1},
                      // A short inner dimension over several column tiles, the last one partial.
                      gemm_case{"short_depth_tiles", 'N', 'N', 3, 1100, 8, -0.5, 2.0, 1, 3, 2},
                      gemm_case{"large_blocked", 'N', 'T', 70, 65, 300, 1.0, 0.0, 0, 0, 0}),
    [](const auto& info) { return info.param.name; });

TEST(MatrixMultiplicationShortDepth, EveryInstructionSetGivesTheSameBits) {
  // A correlation step with a tail of columns that fills no whole vector, with and without beta.
  constexpr size_t m = 3, n = 1027, k = 3;
  std::mt19937 generator(5);
  const std::vector<double> a = stored(m, k, k, generator), b = stored(k, n, n, generator);
  const std::vector<double> c_before = stored(m, n, n, generator);
  for (double beta : {0.0, 0.5}) {
    std::vector<double> first;
    for (const std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
      hwy::SetSupportedTargetsForTest(target);
      std::vector<double> c = c_before;
      matrix_multiplication('N', 'N', m, n, k, 1.25, a.data(), k, b.data(), n, beta, c.data(), n);
      if (first.empty()) first = c;
      EXPECT_EQ(std::memcmp(c.data(), first.data(), c.size() * sizeof(double)), 0) << hwy::TargetName(target);
    }
    hwy::SetSupportedTargetsForTest(0);
  }
}

TEST(MatrixMultiplicationShortDepth, ATriangularFactorGivesTheBitsOfTheFullSum) {
  // A correlation step with a lower Cholesky factor: the zeros above the diagonal add nothing, so every entry
  // equals the full in-order sum of its k products exactly.
  constexpr size_t k = 4, n = 1000;
  std::mt19937 generator(11);
  std::vector<double> l = stored(k, k, k, generator);
  for (size_t i = 0; i < k; ++i) {
    for (size_t j = i + 1; j < k; ++j) l[i * k + j] = 0.0;
  }
  const std::vector<double> b = stored(k, n, n, generator);
  std::vector<double> c(k * n, nan);
  matrix_multiplication('N', 'N', k, n, k, l.data(), k, b.data(), n, c.data(), n);
  for (size_t i = 0; i < k; ++i) {
    for (size_t j = 0; j < n; ++j) {
      double sum = l[i * k] * b[j];
      for (size_t m = 1; m < k; ++m) sum = sum + l[i * k + m] * b[m * n + j];
      ASSERT_EQ(c[i * n + j], sum) << i << "," << j;
    }
  }
}

TEST(MatrixMultiplicationEdges, NothingToAddScalesCWithoutReadingTheOperands) {
  // alpha = 0: A and B (NaN here) are not read; k = 0: the sum is empty. Either way C = beta C.
  const std::vector<double> poisoned(4, nan);
  std::vector<double> c = {1.0, 2.0, 3.0, 4.0};
  matrix_multiplication('N', 'N', 2, 2, 2, 0.0, poisoned.data(), 2, poisoned.data(), 2, 3.0, c.data(), 2);
  EXPECT_EQ(c, (std::vector<double>{3.0, 6.0, 9.0, 12.0}));
  matrix_multiplication('N', 'N', 2, 2, 0, 1.0, nullptr, 0, nullptr, 2, 0.0, c.data(), 2);
  EXPECT_EQ(c, std::vector<double>(4, 0.0));
  // An empty output is no work at all, whatever the pointers.
  matrix_multiplication('N', 'N', 0, 5, 3, nullptr, 3, nullptr, 5, nullptr, 5);
}

TEST(MatrixMultiplicationEdges, OutputOverlappingAnInputIsFormedInATemporary) {
  // C = L C in place, as when a block of normals is correlated where it lies.
  const std::vector<double> l = {2.0, 0.0, 1.0, 3.0};
  std::vector<double> block = {1.0, 2.0, 3.0, 4.0, 5.0, 6.0};
  matrix_multiplication('N', 'N', 2, 3, 2, l.data(), 2, block.data(), 3, block.data(), 3);
  EXPECT_EQ(block, (std::vector<double>{2.0, 4.0, 6.0, 13.0, 17.0, 21.0}));
}

TEST(MatrixMultiplicationEdges, ZeroRowsOfATriangularFactorStillSetTheirRow) {
  // A row of A without a non-zero entry gives beta C: zeros over NaN with beta = 0, twice C with beta = 2.
  const std::vector<double> l = {0.0, 0.0, 0.5, 0.0};
  const std::vector<double> block = {1.0, 2.0, 3.0, 4.0, 5.0, 6.0};
  std::vector<double> c(6, nan);
  matrix_multiplication('N', 'N', 2, 3, 2, l.data(), 2, block.data(), 3, c.data(), 3);
  EXPECT_EQ(c, (std::vector<double>{0.0, 0.0, 0.0, 0.5, 1.0, 1.5}));
  c = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
  matrix_multiplication('N', 'N', 2, 3, 2, 1.0, l.data(), 2, block.data(), 3, 2.0, c.data(), 3);
  EXPECT_EQ(c, (std::vector<double>{2.0, 2.0, 2.0, 2.5, 3.0, 3.5}));
}

TEST(MatrixMultiplicationEdges, RejectsBadArguments) {
  std::vector<double> a(6, 1.0), b(6, 1.0), c(4, 0.0);
  EXPECT_THROW(matrix_multiplication('X', 'N', 2, 2, 3, a.data(), 3, b.data(), 2, c.data(), 2), Error);
  EXPECT_THROW(matrix_multiplication('N', 'N', 2, 2, 3, a.data(), 2, b.data(), 2, c.data(), 2), Error);  // lda < k
  EXPECT_THROW(matrix_multiplication('N', 'T', 2, 2, 3, a.data(), 3, b.data(), 2, c.data(), 2), Error);  // ldb < k
  EXPECT_THROW(matrix_multiplication('N', 'N', 2, 2, 3, a.data(), 3, b.data(), 2, c.data(), 1), Error);  // ldc < n
  EXPECT_THROW(matrix_multiplication('N', 'N', 2, 2, 3, nullptr, 3, b.data(), 2, c.data(), 2), Error);
  EXPECT_THROW(matrix_multiplication('N', 'N', 2, 2, 3, a.data(), 3, b.data(), 2, nullptr, 2), Error);
}

}  // namespace
}  // namespace qavrek
