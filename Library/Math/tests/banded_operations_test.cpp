#include <gtest/gtest.h>

#include <Eigen/Dense>

#include <cmath>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "Core/error.h"
#include "Math/pentadiagonal_operations.h"
#include "Math/tridiagonal_operations.h"

namespace qavrek {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// The operations of one band width behind one interface.
struct banded {
  size_t width;
  void (*multiply)(double*, const double*, const double*, size_t, size_t, size_t, double, bool);
  void (*decomposition)(double*, size_t, size_t, size_t, bool);
  void (*solve_decomposed)(double*, const double*, size_t, size_t, size_t, bool);
};

const banded tridiagonal{3, tridiagonal_operations::multiply, tridiagonal_operations::decomposition,
                         tridiagonal_operations::solve_decomposed};
const banded pentadiagonal{5, pentadiagonal_operations::multiply, pentadiagonal_operations::decomposition,
                           pentadiagonal_operations::solve_decomposed};

// One dimension of a row-major tensor seen as outer x n x inner.
struct layout {
  size_t outer, n, inner;
  size_t total() const { return outer * n * inner; }
  size_t point(size_t o, size_t i, size_t j) const { return (o * n + i) * inner + j; }
};

std::vector<layout> layouts_of(const std::vector<size_t>& shape) {
  std::vector<layout> result;
  for (size_t d = 0; d < shape.size(); ++d) {
    layout l{1, shape[d], 1};
    for (size_t e = 0; e < d; ++e) l.outer *= shape[e];
    for (size_t e = d + 1; e < shape.size(); ++e) l.inner *= shape[e];
    result.push_back(l);
  }
  return result;
}

// Bands of diagonally dominant matrices (as implicit diffusion steps give), a different one on every line; the
// entries that would couple a point with one beyond its line hold NaN, so reading them would show.
std::vector<double> random_bands(const layout& l, size_t width, std::mt19937& generator) {
  std::uniform_real_distribution<double> off(-1.0, 1.0), diagonal(4.5, 6.0);
  const size_t half = width / 2;
  std::vector<double> bands(width * l.total());
  for (size_t o = 0; o < l.outer; ++o) {
    for (size_t i = 0; i < l.n; ++i) {
      for (size_t j = 0; j < l.inner; ++j) {
        for (size_t k = 0; k < width; ++k) {
          const bool inside = i + k >= half && i + k < l.n + half;
          const double value = k == half ? diagonal(generator) : off(generator);
          bands[k * l.total() + l.point(o, i, j)] = inside ? value : nan;
        }
      }
    }
  }
  return bands;
}

std::vector<double> random_values(size_t count, std::mt19937& generator) {
  std::uniform_real_distribution<double> value(-2.0, 2.0);
  std::vector<double> values(count);
  for (double& v : values) v = value(generator);
  return values;
}

// The dense matrix of the line (o, j).
Eigen::MatrixXd dense_line(const std::vector<double>& bands, const layout& l, size_t width, size_t o, size_t j) {
  const size_t half = width / 2;
  Eigen::MatrixXd a = Eigen::MatrixXd::Zero(long(l.n), long(l.n));
  for (size_t i = 0; i < l.n; ++i) {
    for (size_t k = 0; k < width; ++k) {
      if (i + k < half || i + k >= l.n + half) continue;
      a(long(i), long(i + k - half)) = bands[k * l.total() + l.point(o, i, j)];
    }
  }
  return a;
}

Eigen::VectorXd line_of(const std::vector<double>& values, const layout& l, size_t o, size_t j) {
  Eigen::VectorXd v(long(l.n));
  for (size_t i = 0; i < l.n; ++i) v(long(i)) = values[l.point(o, i, j)];
  return v;
}

struct shape_case {
  std::string name;
  std::vector<size_t> shape;
};

void PrintTo(const shape_case& c, std::ostream* out) { *out << c.name; }

class BandedAlongEachDimension : public ::testing::TestWithParam<shape_case> {};

// Values of size 2 against matrices whose entries are at most 6 and whose inverses are bounded by the diagonal
// dominance (|A^-1| <= 1 / 2.5): products and solves carry a few dozen roundings of values of that size, far below
// the 1e-12 allowed.
constexpr double tolerance = 1e-12;

TEST_P(BandedAlongEachDimension, ProductAccumulatesAsTheDenseProduct) {
  std::mt19937 generator(17);
  for (const banded& ops : {tridiagonal, pentadiagonal}) {
    for (const layout& l : layouts_of(GetParam().shape)) {
      const std::vector<double> bands = random_bands(l, ops.width, generator);
      const std::vector<double> in = random_values(l.total(), generator);
      const std::vector<double> start = random_values(l.total(), generator);
      std::vector<double> out = start;
      const double factor = -0.75;
      ops.multiply(out.data(), in.data(), bands.data(), l.outer, l.n, l.inner, factor, false);
      for (size_t o = 0; o < l.outer; ++o) {
        for (size_t j = 0; j < l.inner; ++j) {
          const Eigen::VectorXd expected =
              line_of(start, l, o, j) + factor * dense_line(bands, l, ops.width, o, j) * line_of(in, l, o, j);
          const Eigen::VectorXd actual = line_of(out, l, o, j);
          for (long i = 0; i < expected.size(); ++i) {
            ASSERT_NEAR(actual(i), expected(i), tolerance)
                << "width " << ops.width << " n " << l.n << " inner " << l.inner << " line " << o << "," << j;
          }
        }
      }
    }
  }
}

TEST_P(BandedAlongEachDimension, OneFactorisationSolvesSeveralRightHandSides) {
  std::mt19937 generator(29);
  for (const banded& ops : {tridiagonal, pentadiagonal}) {
    for (const layout& l : layouts_of(GetParam().shape)) {
      const std::vector<double> bands = random_bands(l, ops.width, generator);
      std::vector<double> factors = bands;
      ops.decomposition(factors.data(), l.outer, l.n, l.inner, false);
      for (int rhs = 0; rhs < 2; ++rhs) {
        const std::vector<double> b = random_values(l.total(), generator);
        std::vector<double> x = b;
        ops.solve_decomposed(x.data(), factors.data(), l.outer, l.n, l.inner, false);
        for (size_t o = 0; o < l.outer; ++o) {
          for (size_t j = 0; j < l.inner; ++j) {
            const Eigen::MatrixXd a = dense_line(bands, l, ops.width, o, j);
            const Eigen::VectorXd expected = a.partialPivLu().solve(line_of(b, l, o, j));
            const Eigen::VectorXd actual = line_of(x, l, o, j);
            for (long i = 0; i < expected.size(); ++i) {
              ASSERT_NEAR(actual(i), expected(i), tolerance)
                  << "width " << ops.width << " n " << l.n << " inner " << l.inner << " right-hand side " << rhs;
            }
          }
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Tensors, BandedAlongEachDimension,
                         ::testing::Values(shape_case{"three_dimensions", {4, 9, 6}},
                                           shape_case{"short_lines", {1, 2, 3}},
                                           shape_case{"lines_of_one_to_four", {4, 1, 3, 2}},
                                           shape_case{"one_line", {11}}),
                         [](const auto& info) { return info.param.name; });

// Splitting the lines over threads changes nothing, whether the split runs over the outer blocks or, in a single
// block, over its columns.
TEST(BandedOperations, ParallelLinesGiveTheSameNumbers) {
  std::mt19937 generator(5);
  for (const banded& ops : {tridiagonal, pentadiagonal}) {
    for (const layout& l : layouts_of({9, 150})) {
      const std::vector<double> bands = random_bands(l, ops.width, generator);
      const std::vector<double> in = random_values(l.total(), generator);
      std::vector<double> sequential(l.total(), 1.0), parallel(l.total(), 1.0);
      ops.multiply(sequential.data(), in.data(), bands.data(), l.outer, l.n, l.inner, 0.5, false);
      ops.multiply(parallel.data(), in.data(), bands.data(), l.outer, l.n, l.inner, 0.5, true);
      EXPECT_EQ(sequential, parallel);

      std::vector<double> factors = bands, parallel_factors = bands;
      ops.decomposition(factors.data(), l.outer, l.n, l.inner, false);
      ops.decomposition(parallel_factors.data(), l.outer, l.n, l.inner, true);
      for (size_t p = 0; p < factors.size(); ++p) {
        if (!std::isnan(bands[p])) {
          ASSERT_EQ(factors[p], parallel_factors[p]) << p;
        }
      }
      ops.solve_decomposed(sequential.data(), factors.data(), l.outer, l.n, l.inner, false);
      ops.solve_decomposed(parallel.data(), factors.data(), l.outer, l.n, l.inner, true);
      EXPECT_EQ(sequential, parallel);
    }
  }
}

TEST(BandedOperations, RefuseSingularPivotsAndOverlappingProducts) {
  for (const banded& ops : {tridiagonal, pentadiagonal}) {
    const size_t n = 4;
    std::vector<double> bands(ops.width * n, 0.0);
    for (size_t i = 0; i < n; ++i) bands[(ops.width / 2) * n + i] = 1.0;
    bands[(ops.width / 2) * n + 2] = 0.0;
    std::vector<double> singular = bands;
    EXPECT_THROW(ops.decomposition(singular.data(), 1, n, 1, false), Error) << ops.width;
    bands[(ops.width / 2) * n + 2] = nan;
    EXPECT_THROW(ops.decomposition(bands.data(), 1, n, 1, false), Error) << ops.width;

    std::vector<double> values(n, 1.0);
    EXPECT_THROW(ops.multiply(values.data(), values.data() + 1, bands.data(), 1, n, 1, 1.0, false), Error);
    EXPECT_THROW(ops.solve_decomposed(nullptr, bands.data(), 1, n, 1, false), Error);
    EXPECT_NO_THROW(ops.solve_decomposed(nullptr, nullptr, 3, 0, 2, false));
  }
}

}  // namespace
}  // namespace qavrek
