#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "Core/error.h"
#include "Math/cholesky_decomposition.h"

namespace qavrek {
namespace {

constexpr double epsilon = std::numeric_limits<double>::epsilon();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// A row-major square matrix for the tests.
struct square {
  size_t n = 0;
  std::vector<double> values;

  double operator()(size_t i, size_t j) const { return values[i * n + j]; }
  double& operator()(size_t i, size_t j) { return values[i * n + j]; }
};

square ar1_correlation(size_t n, double rho) {
  square a{n, std::vector<double>(n * n)};
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < n; ++j) a(i, j) = std::pow(rho, std::abs(double(i) - double(j)));
  }
  return a;
}

// B B^T + n I with variances spread over two orders of magnitude by a diagonal scaling.
square random_covariance(size_t n, unsigned seed) {
  std::mt19937 generator(seed);
  std::normal_distribution<double> gaussian;
  square b{n, std::vector<double>(n * n)};
  for (double& v : b.values) v = gaussian(generator);
  square a{n, std::vector<double>(n * n, 0.0)};
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < n; ++j) {
      for (size_t k = 0; k < n; ++k) a(i, j) += b(i, k) * b(j, k);
      if (i == j) a(i, j) += double(n);
    }
  }
  for (size_t i = 0; i < n; ++i) {
    const double scale_i = std::pow(10.0, -1.0 + 2.0 * double(i) / double(n));
    for (size_t j = 0; j < n; ++j) {
      const double scale_j = std::pow(10.0, -1.0 + 2.0 * double(j) / double(n));
      a(i, j) *= std::sqrt(scale_i * scale_j);
    }
  }
  return a;
}

struct spd_case {
  std::string name;
  square matrix;
};

void PrintTo(const spd_case& c, std::ostream* out) { *out << c.name; }

// Well enough conditioned for central finite differences to check derivatives to 1e-7.
std::vector<spd_case> conditioned_cases() {
  return {{"one_by_one", {1, {4.0}}},
          {"two_by_two", {2, {4.0, 2.0, 2.0, 3.0}}},
          {"covariance_6", random_covariance(6, 7)},
          {"correlation_10", ar1_correlation(10, 0.9)}};
}

std::vector<spd_case> spd_cases() {
  std::vector<spd_case> cases = conditioned_cases();
  cases.push_back({"nearly_singular_correlation", {2, {1.0, 0.999999, 0.999999, 1.0}}});
  return cases;
}

class CholeskyOfSpdMatrix : public ::testing::TestWithParam<spd_case> {};

TEST_P(CholeskyOfSpdMatrix, FactorIsLowerAndReproducesTheMatrix) {
  const square& a = GetParam().matrix;
  const size_t n = a.n;
  square l = a;
  ASSERT_TRUE(cholesky_decomposition(l.values.data(), static_cast<long long>(n), 'L'));

  for (size_t i = 0; i < n; ++i) {
    EXPECT_GT(l(i, i), 0.0);
    for (size_t j = i + 1; j < n; ++j) EXPECT_EQ(l(i, j), 0.0) << "upper entry " << i << "," << j;
  }
  // Cholesky is backward stable: |L L^T - A| <= gamma_(n+1) |L| |L^T| entrywise (Higham, Thm 10.3), and
  // (|L| |L^T|)_ij <= sqrt(a_ii a_jj) by Cauchy-Schwarz; the test's own product adds n roundings more.
  // For n <= 10 this is below 1e-14 relative to sqrt(a_ii a_jj).
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < n; ++j) {
      double product = 0.0;
      for (size_t k = 0; k < n; ++k) product += l(i, k) * l(j, k);
      const double bound = 2.0 * double(n + 1) * epsilon * std::sqrt(a(i, i) * a(j, j));
      EXPECT_NEAR(product, a(i, j), bound) << i << "," << j;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Table, CholeskyOfSpdMatrix, ::testing::ValuesIn(spd_cases()),
                         [](const auto& info) { return info.param.name; });

TEST(CholeskyDecomposition, MatchesClosedFormFactors) {
  // [[4, 2], [2, 3]] = [[2, 0], [1, sqrt 2]] [[2, 1], [0, sqrt 2]].
  std::vector<double> two = {4.0, 2.0, 2.0, 3.0};
  ASSERT_TRUE(cholesky_decomposition(two.data(), 2, 'L'));
  EXPECT_EQ(two[0], 2.0);
  EXPECT_EQ(two[2], 1.0);
  EXPECT_NEAR(two[3], std::sqrt(2.0), 2.0 * epsilon);  // one rounded square root

  // AR(1) correlation rho^|i-j|: column 0 is rho^i, then L_ij = rho^(i-j) sqrt(1 - rho^2). A few roundings per
  // entry of size one.
  const double rho = 0.9;
  square l = ar1_correlation(10, rho);
  ASSERT_TRUE(cholesky_decomposition(l.values.data(), 10, 'L'));
  const double c = std::sqrt(1.0 - rho * rho);
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_NEAR(l(i, 0), std::pow(rho, double(i)), 1e-14);
    for (size_t j = 1; j <= i; ++j) EXPECT_NEAR(l(i, j), std::pow(rho, double(i - j)) * c, 1e-14) << i << "," << j;
  }
}

TEST(CholeskyDecomposition, ReadsOnlyTheLowerTriangle) {
  square full = random_covariance(5, 11);
  square lower_only = full;
  for (size_t i = 0; i < 5; ++i) {
    for (size_t j = i + 1; j < 5; ++j) lower_only(i, j) = nan;
  }
  ASSERT_TRUE(cholesky_decomposition(full.values.data(), 5, 'L'));
  ASSERT_TRUE(cholesky_decomposition(lower_only.values.data(), 5, 'L'));
  EXPECT_EQ(lower_only.values, full.values);
}

struct failure_case {
  std::string name;
  square matrix;
};

void PrintTo(const failure_case& c, std::ostream* out) { *out << c.name; }

class CholeskyOfBadMatrix : public ::testing::TestWithParam<failure_case> {};

TEST_P(CholeskyOfBadMatrix, ReportsFailureAndLeavesTheMatrixAlone) {
  square a = GetParam().matrix;
  const square original = a;
  EXPECT_FALSE(cholesky_decomposition(a.values.data(), static_cast<long long>(a.n), 'L'));
  // Bitwise, so that NaN entries compare too.
  EXPECT_EQ(std::memcmp(a.values.data(), original.values.data(), a.values.size() * sizeof(double)), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CholeskyOfBadMatrix,
    ::testing::Values(failure_case{"zero", {1, {0.0}}}, failure_case{"negative", {1, {-1.0}}},
                      failure_case{"indefinite", {2, {1.0, 2.0, 2.0, 1.0}}},
                      failure_case{"singular", {2, {1.0, 1.0, 1.0, 1.0}}},
                      // Its lower triangle, the part that is read, makes it indefinite.
                      failure_case{"non_symmetric_indefinite", {2, {1.0, 0.0, 3.0, 1.0}}},
                      failure_case{"indefinite_late_pivot", {3, {2.0, 1.0, 1.0, 1.0, 2.0, 1.0, 1.0, 1.0, -5.0}}},
                      failure_case{"nan_entry", {2, {1.0, 0.5, nan, 1.0}}},
                      failure_case{"huge_off_diagonal", {2, {1e-200, 0.0, 1e200, 1.0}}}),
    [](const auto& info) { return info.param.name; });

TEST(CholeskyDecomposition, RejectsBadArguments) {
  std::vector<double> a = {1.0};
  EXPECT_THROW(cholesky_decomposition(a.data(), 1, 'U'), Error);
  EXPECT_THROW(cholesky_decomposition(a.data(), -1, 'L'), Error);
  EXPECT_THROW(cholesky_decomposition(nullptr, 1, 'L'), Error);
  EXPECT_TRUE(cholesky_decomposition(nullptr, 0, 'L'));
}

// Adjoint against central finite differences of phi(A) = sum_ij W_ij L_ij(A), where moving the lower entry
// (i, j) of the symmetric input moves A_ij and A_ji together.
class CholeskyAdjoint : public ::testing::TestWithParam<spd_case> {
 protected:
  static square factor(const square& a) {
    square l = a;
    EXPECT_TRUE(cholesky_decomposition(l.values.data(), static_cast<long long>(a.n), 'L'));
    return l;
  }

  static double weighted_factor(const square& a, const square& weights) {
    const square l = factor(a);
    double sum = 0.0;
    for (size_t i = 0; i < a.n; ++i) {
      for (size_t j = 0; j <= i; ++j) sum += weights(i, j) * l(i, j);
    }
    return sum;
  }
};

TEST_P(CholeskyAdjoint, MatchesCentralFiniteDifferences) {
  const square& a = GetParam().matrix;
  const size_t n = a.n;
  std::mt19937 generator(3);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  square weights{n, std::vector<double>(n * n)};
  for (double& w : weights.values) w = uniform(generator);

  double smallest_relative_pivot = 1.0;
  {
    const square pivots = factor(a);
    for (size_t k = 0; k < n; ++k) {
      smallest_relative_pivot = std::min(smallest_relative_pivot, pivots(k, k) * pivots(k, k) / a(k, k));
    }
  }
  // Only the lower triangles may be read: NaN above the diagonal of the factor and of its adjoint shows
  // any read of them.
  square l = factor(a);
  square l_bar = weights;
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = i + 1; j < n; ++j) l(i, j) = l_bar(i, j) = nan;
  }
  // The upper triangle of the result must stay as it was, and the lower one is added to.
  square a_bar{n, std::vector<double>(n * n, 0.25)};
  ASSERT_TRUE(cholesky_decomposition_aad(l_bar.values.data(), l.values.data(), static_cast<long long>(n), 'L',
                                         a_bar.values.data()));

  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < n; ++j) {
      if (j > i) {
        EXPECT_EQ(a_bar(i, j), 0.25) << "upper entry " << i << "," << j;
        continue;
      }
      // Central differences err by O(h^2) from the curvature and by eps |phi| / h from rounding. The step is
      // 1e-5 of the entry's scale, shrunk by the smallest relative pivot L_kk^2 / a_kk so that the perturbed
      // matrix stays positive definite and the curvature (which grows like the inverse pivots) stays small:
      // both errors then stay below 1e-7 of the derivative's size, (a_ii a_jj)^(-1/4) for phi ~ sqrt(A).
      const double scale = std::sqrt(a(i, i) * a(j, j));
      const double h = 1e-5 * scale * smallest_relative_pivot;
      square up = a, down = a;
      up(i, j) += h;
      down(i, j) -= h;
      if (i != j) {
        up(j, i) += h;
        down(j, i) -= h;
      }
      const double difference = (weighted_factor(up, weights) - weighted_factor(down, weights)) / (2.0 * h);
      const double adjoint = a_bar(i, j) - 0.25;
      EXPECT_NEAR(adjoint, difference, 1e-7 * (std::abs(difference) + 1.0 / std::sqrt(scale)))
          << i << "," << j;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Table, CholeskyAdjoint, ::testing::ValuesIn(conditioned_cases()),
                         [](const auto& info) { return info.param.name; });

TEST(CholeskyDecompositionAad, OneByOneIsHalfTheAdjointOverTheRoot) {
  // L = sqrt(a): dL/da = 1 / (2 L).
  const double l = 3.0, l_bar = 1.5;
  double a_bar = 0.0;
  ASSERT_TRUE(cholesky_decomposition_aad(&l_bar, &l, 1, 'L', &a_bar));
  EXPECT_EQ(a_bar, 0.25);
}

TEST(CholeskyDecompositionAad, MatchesTheClosedFormOfANearlySingularTwoByTwo) {
  // Finite differences cannot resolve this one (its condition number is 2e6), so derive by hand:
  // L00 = sqrt(a), L10 = b / sqrt(a), L11 = sqrt(c - b^2 / a).
  const double a = 1.0, b = 0.999999, c = 1.0;
  const double l00 = std::sqrt(a), l11 = std::sqrt(c - b * b / a);
  const double w00 = 0.3, w10 = -0.7, w11 = 1.1;
  const double expected_a = w00 / (2.0 * l00) - w10 * b / (2.0 * a * l00) + w11 * b * b / (2.0 * a * a * l11);
  const double expected_b = w10 / l00 - w11 * b / (a * l11);
  const double expected_c = w11 / (2.0 * l11);

  std::vector<double> l = {a, b, b, c};
  ASSERT_TRUE(cholesky_decomposition(l.data(), 2, 'L'));
  EXPECT_NEAR(l[3], l11, 1e-9 * l11);  // the factor itself carries a forward error of about cond(A) eps
  const std::vector<double> l_bar = {w00, 0.0, w10, w11};
  std::vector<double> a_bar(4, 0.0);
  ASSERT_TRUE(cholesky_decomposition_aad(l_bar.data(), l.data(), 2, 'L', a_bar.data()));
  // The adjoint inherits that forward error, amplified once more through the solves with L: 1e-8 relative.
  EXPECT_NEAR(a_bar[0], expected_a, 1e-8 * std::abs(expected_a));
  EXPECT_NEAR(a_bar[2], expected_b, 1e-8 * std::abs(expected_b));
  EXPECT_NEAR(a_bar[3], expected_c, 1e-8 * std::abs(expected_c));
  EXPECT_EQ(a_bar[1], 0.0);
}

TEST(CholeskyDecompositionAad, RefusesAFactorWithoutPositiveDiagonal) {
  const std::vector<double> l = {1.0, 0.0, 0.5, 0.0};
  const std::vector<double> l_bar = {1.0, 0.0, 1.0, 1.0};
  std::vector<double> a_bar(4, 0.0);
  EXPECT_FALSE(cholesky_decomposition_aad(l_bar.data(), l.data(), 2, 'L', a_bar.data()));
  EXPECT_EQ(a_bar, std::vector<double>(4, 0.0));
  EXPECT_THROW(cholesky_decomposition_aad(l_bar.data(), l.data(), 2, 'U', a_bar.data()), Error);
  EXPECT_THROW(cholesky_decomposition_aad(l_bar.data(), l.data(), 2, 'L', nullptr), Error);
}

}  // namespace
}  // namespace qavrek
