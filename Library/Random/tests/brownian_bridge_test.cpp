#include "Random/brownian_bridge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "instruction_sets.h"

namespace qavrek {
namespace {

TEST(BrownianBridge, RanksFollowTheLevels) {
  struct order_case {
    size_t steps;
    std::vector<size_t> dates;
  };
  const order_case cases[] = {
      {1, {1}},
      {2, {2, 1}},
      {5, {5, 2, 1, 3, 4}},
      {8, {8, 4, 2, 6, 1, 3, 5, 7}},
  };
  for (const auto& c : cases) {
    const brownian_bridge bridge(c.steps);
    ASSERT_EQ(bridge.steps(), c.steps);
    for (size_t rank = 0; rank < c.steps; ++rank) EXPECT_EQ(bridge.date(rank), c.dates[rank]) << c.steps << " steps";
  }
}

TEST(BrownianBridge, IncrementsAreAnOrthogonalMapOfTheNormals) {
  // Independent standard normal increments on the unit grid, whatever the normals, need exactly an orthogonal
  // map A (increments = A normals): A A^T = I, here to rounding of the weights.
  for (size_t steps : {1, 2, 3, 4, 5, 7, 8, 12, 16, 33}) {
    brownian_bridge bridge(steps);
    std::vector<double> a(steps * steps);  // column j: the increments built from the j-th unit vector
    std::vector<double> unit(steps, 0.0);
    for (size_t j = 0; j < steps; ++j) {
      unit.assign(steps, 0.0);
      unit[j] = 1.0;
      bridge.increments(unit.data(), 1, &a[j], steps);
    }
    for (size_t r = 0; r < steps; ++r)
      for (size_t c = 0; c < steps; ++c) {
        double dot = 0.0;
        for (size_t j = 0; j < steps; ++j) dot += a[r * steps + j] * a[c * steps + j];
        EXPECT_NEAR(dot, r == c ? 1.0 : 0.0, 1e-13) << steps << " steps, entry " << r << ", " << c;
      }
  }
}

TEST(BrownianBridge, FirstNormalGivesTheTerminalValue) {
  // With only the first normal set, the path is the straight line to W(N) = sqrt(N) z: equal increments.
  const size_t steps = 9;
  brownian_bridge bridge(steps);
  std::vector<double> normals(steps, 0.0), increments(steps);
  normals[0] = 1.5;
  bridge.increments(normals.data(), 1, increments.data(), 1);
  for (double increment : increments) EXPECT_NEAR(increment, 1.5 / 3.0, 1e-15);
}

TEST(BrownianBridge, PlacingManyPathsGivesTheBitsOfTheIncrementsOnEveryInstructionSet) {
  // Rank by rank over 37 paths (vectors and a remainder), the increments of each path must be those that
  // `increments` builds from that path's normals alone.
  const size_t steps = 12, paths = 37;
  brownian_bridge bridge(steps);
  std::vector<double> normals(steps * paths);
  for (size_t i = 0; i < normals.size(); ++i) normals[i] = std::sin(1.7 * static_cast<double>(i) + 0.3) * 2.0;
  std::vector<double> expected(steps * paths);
  for (size_t p = 0; p < paths; ++p) bridge.increments(&normals[p], paths, &expected[p], paths);
  on_every_instruction_set([&](const char* target) {
    std::vector<double> w((steps + 1) * paths, 0.0);  // W(t) of path p at t * paths + p
    const auto at = [&](size_t date) { return date == 0 ? nullptr : &w[date * paths]; };
    for (size_t rank = 0; rank < steps; ++rank)
      bridge.place(rank, at(bridge.left(rank)), at(bridge.right(rank)), &normals[rank * paths],
                   &w[bridge.date(rank) * paths], paths);
    std::vector<double> increments(steps * paths);
    for (size_t t = 1; t <= steps; ++t)
      for (size_t p = 0; p < paths; ++p) increments[(t - 1) * paths + p] = w[t * paths + p] - w[(t - 1) * paths + p];
    EXPECT_EQ(std::memcmp(increments.data(), expected.data(), expected.size() * sizeof(double)), 0) << target;
  });
}

}  // namespace
}  // namespace qavrek
