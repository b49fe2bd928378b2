#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "Core/error.h"
#include "Math/discretization.h"

namespace qavrek {
namespace {

constexpr double epsilon = std::numeric_limits<double>::epsilon();

struct grid_case {
  std::string name;
  size_t n;
  double lower, upper, centre;
};

void PrintTo(const grid_case& c, std::ostream* out) { *out << c.name; }

class UniformGrid : public ::testing::TestWithParam<grid_case> {};

TEST_P(UniformGrid, HasExactEndsAndEqualSteps) {
  const grid_case& c = GetParam();
  std::vector<double> grid(c.n);
  discretization::uniform(grid.data(), c.n, c.lower, c.upper, c.centre);

  EXPECT_EQ(grid.front(), c.lower);
  EXPECT_EQ(grid.back(), c.upper);
  const double step = (c.upper - c.lower) / double(c.n - 1);
  // Every point is one product and one sum away from an exact end: a few roundings of the largest magnitude.
  const double tolerance = 4.0 * epsilon * std::max(std::abs(c.lower), std::abs(c.upper));
  for (size_t i = 0; i < c.n; ++i) {
    EXPECT_NEAR(grid[i], c.lower + double(i) * step, tolerance) << i;
    if (i > 0) {
      EXPECT_GT((grid[i] - grid[i - 1]) * step, 0.0) << "not monotone at " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, UniformGrid,
    ::testing::Values(grid_case{"two_points", 2, 0.3, 0.7, 0.5}, grid_case{"odd_unit", 5, 0.0, 1.0, 0.5},
                      grid_case{"pde_axis", 128, 0.1, 7.3, 3.7}, grid_case{"symmetric_states", 101, -3.7, 3.7, 0.0},
                      grid_case{"wide_range", 7, 1e-3, 2.9e3, 1450.0005}, grid_case{"descending", 6, 1.0, -0.5, 0.25},
                      grid_case{"centre_outside", 9, 0.0, 1.0, 5.0},
                      grid_case{"centre_nan", 9, 0.0, 1.0, std::numeric_limits<double>::quiet_NaN()},
                      grid_case{"inexact_ends", 200, 0.1, 0.7, 0.4}),
    [](const auto& info) { return info.param.name; });

TEST(UniformGridCentre, SymmetricGridIsExactlySymmetricAndHitsItsCentre) {
  // The survival solver's state axis from -L to L: the middle state must be exactly 0 (exp(0) = 1).
  for (size_t n : {3u, 64u, 129u, 1001u}) {
    const double half_width = 4.123456789;
    std::vector<double> grid(n);
    discretization::uniform(grid.data(), n, -half_width, half_width, 0.0);
    for (size_t i = 0; i < n; ++i) EXPECT_EQ(grid[i], -grid[n - 1 - i]) << n << ": " << i;
    if (n % 2 == 1) {
      EXPECT_EQ(grid[n / 2], 0.0) << n;
    }
  }
  std::vector<double> grid(9);
  discretization::uniform(grid.data(), 9, 0.1, 0.7, 0.4);
  EXPECT_EQ(grid[4], 0.4);
}

TEST(UniformGridEdges, DegenerateSizes) {
  std::vector<double> grid = {-1.0, -1.0};
  discretization::uniform(grid.data(), 0, 2.0, 3.0, 2.5);
  EXPECT_EQ(grid, (std::vector<double>{-1.0, -1.0}));
  discretization::uniform(grid.data(), 1, 2.0, 3.0, 2.5);
  EXPECT_EQ(grid, (std::vector<double>{2.0, -1.0}));
  discretization::uniform(grid.data(), 2, 1.5, 1.5, 1.5);
  EXPECT_EQ(grid, (std::vector<double>{1.5, 1.5}));
  EXPECT_THROW(discretization::uniform(nullptr, 3, 0.0, 1.0, 0.5), Error);
}

}  // namespace
}  // namespace qavrek
