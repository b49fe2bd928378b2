#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "Core/error.h"
#include "PDE/boundary/pde_boundary_config.h"
#include "PDE/boundary/pde_boundary_indices.h"
#include "PDE/grid/space_grid.h"

namespace qavrek {
namespace {

using kind = pde_boundary_config::boundary_conditions_type;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

TEST(BoundaryConfig, DefaultIsNoDiffusionWithoutFloatingEnds) {
  const pde_boundary_config config;
  EXPECT_EQ(config.up_type(), kind::NO_DIFFUSION);
  EXPECT_EQ(config.down_type(), kind::NO_DIFFUSION);
  EXPECT_FALSE(config.is_up_floating());
  EXPECT_FALSE(config.is_down_floating());

  const pde_boundary_config floating(kind::DIRICHLET, true, 2.5, kind(7), true, -1.5);
  EXPECT_EQ(floating.up_type(), kind::DIRICHLET);
  EXPECT_EQ(floating.down_type(), kind(7));
  EXPECT_EQ(floating.up_boundary(), 2.5);
  EXPECT_EQ(floating.down_boundary(), -1.5);
}

TEST(BoundaryConfig, LevelOfASideThatDoesNotFloatFailsAtItsLocation) {
  struct side_case {
    std::string function;
    int line;
    double (pde_boundary_config::*level)() const;
  };
  const pde_boundary_config config(kind::DIRICHLET, false, 1.0, kind::DIRICHLET, false, 2.0);
  for (const side_case& c : {side_case{"up_boundary", 50, &pde_boundary_config::up_boundary},
                             side_case{"down_boundary", 69, &pde_boundary_config::down_boundary}}) {
    try {
      (config.*c.level)();
      ADD_FAILURE() << c.function << " did not throw";
    } catch (const Error& error) {
      EXPECT_STREQ(error.what(), "boundary value exist onley for flaoting");
      EXPECT_EQ(error.location().function, c.function);
      EXPECT_EQ(error.location().file, "Library/PDE/boundary/pde_boundary_config");
      EXPECT_EQ(error.location().line, c.line);
    }
  }
}

// The map of the result storage needs a strict weak ordering: irreflexive, asymmetric, transitive, and with
// transitive equivalence. Configurations that differ in a single field, or in fields pulling opposite ways (neither
// dominating the other), must all be told apart.
TEST(BoundaryConfig, OrderIsAStrictWeakOrderingThatSeparatesEveryField) {
  const std::vector<pde_boundary_config> configs{
      pde_boundary_config(),
      {kind::DIRICHLET, false, 0.0, kind::NO_DIFFUSION, false, 0.0},
      {kind::NO_DIFFUSION, true, 0.0, kind::NO_DIFFUSION, false, 0.0},
      {kind::NO_DIFFUSION, false, 1.0, kind::NO_DIFFUSION, false, 0.0},
      {kind::NO_DIFFUSION, false, 0.0, kind::DIRICHLET, false, 0.0},
      {kind::NO_DIFFUSION, false, 0.0, kind::NO_DIFFUSION, true, 0.0},
      {kind::NO_DIFFUSION, false, 0.0, kind::NO_DIFFUSION, false, -1.0},
      {kind::DIRICHLET, true, 2.0, kind::DIRICHLET, true, 1.0},
      {kind::DIRICHLET, true, 1.0, kind::DIRICHLET, true, 2.0},  // neither this nor the previous dominates
      {kind(-3), true, 1.0, kind(9), false, 2.0},
      {kind::DIRICHLET, true, nan, kind::DIRICHLET, true, 2.0},
      {kind::DIRICHLET, true, std::numeric_limits<double>::infinity(), kind::DIRICHLET, true, 2.0},
  };
  auto equivalent = [](const pde_boundary_config& a, const pde_boundary_config& b) { return !(a < b) && !(b < a); };
  for (size_t i = 0; i < configs.size(); ++i) {
    EXPECT_FALSE(configs[i] < configs[i]) << i;
    for (size_t j = 0; j < configs.size(); ++j) {
      if (i != j) {
        EXPECT_FALSE(equivalent(configs[i], configs[j])) << i << " and " << j;
      }
      if (configs[i] < configs[j]) {
        EXPECT_FALSE(configs[j] < configs[i]) << i << " and " << j;
      }
      for (size_t k = 0; k < configs.size(); ++k) {
        if (configs[i] < configs[j] && configs[j] < configs[k]) {
          EXPECT_TRUE(configs[i] < configs[k]) << i << ", " << j << ", " << k;
        }
      }
    }
  }
  // -0 and +0 are one level.
  EXPECT_TRUE(equivalent(pde_boundary_config(kind::DIRICHLET, true, -0.0, kind::DIRICHLET, true, 0.0),
                         pde_boundary_config(kind::DIRICHLET, true, 0.0, kind::DIRICHLET, true, -0.0)));

  std::map<std::vector<pde_boundary_config>, int> keys;
  for (const pde_boundary_config& c : configs) keys[{c, pde_boundary_config()}] += 1;
  EXPECT_EQ(keys.size(), configs.size());
}

// A uniform grid 0, 0.1, ..., 1 (eleven points).
ptr_const<space_grid> unit_grid(transformation_type transformation = transformation_type::NONE) {
  const space_grid_config config(space_grid_type::UNIFORM, false, false, transformation, 0.0, 0.0, 0.0);
  return std::make_shared<const space_grid>(config, 11, 0.0, 1.0, 0.0, std::vector<double>{});
}

struct indices_case {
  std::string name;
  pde_boundary_config config;
  size_t lower_index;
  double lower_value;
  bool lower_at_grid_end;
  size_t upper_index;
  double upper_value;
  bool upper_at_grid_end;
  size_t last_index;  // of the domain
};

void PrintTo(const indices_case& c, std::ostream* out) { *out << c.name; }

class BoundaryIndices : public ::testing::TestWithParam<indices_case> {};

TEST_P(BoundaryIndices, ClampFloatingLevelsToTheGrid) {
  const indices_case& c = GetParam();
  const ptr_const<space_grid> grid = unit_grid();
  const std::vector<double>& axis = grid->axis();
  const pde_boundary_indices indices({grid}, {c.config});
  ASSERT_EQ(indices.lower_index.size(), 1u);
  EXPECT_EQ(indices.lower_index[0], c.lower_index);
  EXPECT_EQ(indices.lower_at_grid_end[0], c.lower_at_grid_end);
  EXPECT_EQ(indices.upper_index[0], c.upper_index);
  EXPECT_EQ(indices.upper_at_grid_end[0], c.upper_at_grid_end);
  // Levels are either a grid end or the configured level itself.
  EXPECT_EQ(indices.lower_value[0], std::isnan(c.lower_value) ? axis.front() : c.lower_value);
  EXPECT_EQ(indices.upper_value[0], std::isnan(c.upper_value) ? axis.back() : c.upper_value);
  EXPECT_EQ(indices.last_index(0, axis), c.last_index);
}

// NaN in the expected values stands for the grid end. The domain ends at the upper index, or at the point the
// upper level sits on.
INSTANTIATE_TEST_SUITE_P(
    Levels, BoundaryIndices,
    ::testing::Values(
        indices_case{"default_is_whole_grid", pde_boundary_config(), 0, nan, false, 10, nan, false, 10},
        // The down side is not consulted when the up side does not float.
        indices_case{"down_floating_alone_is_ignored", {kind::DIRICHLET, false, 0.5, kind::DIRICHLET, true, 0.35},
                     0, nan, false, 10, nan, false, 10},
        indices_case{"up_above_last_point", {kind::DIRICHLET, true, 1.5, kind::DIRICHLET, true, -1.0},
                     0, nan, true, 10, nan, true, 10},
        indices_case{"up_on_last_point", {kind::DIRICHLET, true, 1.0, kind::DIRICHLET, true, 0.0},
                     0, 0.0, false, 11, 1.0, false, 10},
        indices_case{"up_between_points_down_on_a_point", {kind::DIRICHLET, true, 0.55, kind::DIRICHLET, true, 0.5},
                     5, 0.5, false, 6, 0.55, false, 6},
        indices_case{"down_between_points_up_on_a_point", {kind::DIRICHLET, true, 0.5, kind::DIRICHLET, true, 0.35},
                     4, 0.35, false, 6, 0.5, false, 5},
        indices_case{"down_below_first_point", {kind::NO_DIFFUSION, true, 0.05, kind::NO_DIFFUSION, true, -0.1},
                     0, nan, true, 1, 0.05, false, 1}),
    [](const auto& info) { return info.param.name; });

TEST(BoundaryIndices, LevelsArePutThroughTheGridTransformation) {
  // A grid in log coordinates from -2 to 0; the levels are given in the model's variable.
  const space_grid_config config(space_grid_type::UNIFORM, true, false, transformation_type::LOG, 0.0, 0.0, 0.0);
  const auto grid = std::make_shared<const space_grid>(config, 5, std::exp(-2.0), 1.0, 0.0, std::vector<double>{});
  const pde_boundary_indices indices({grid}, {{kind::DIRICHLET, true, 0.5, kind::DIRICHLET, true, 0.2}});
  EXPECT_EQ(indices.lower_value[0], std::log(0.2));
  EXPECT_EQ(indices.upper_value[0], std::log(0.5));
  EXPECT_EQ(indices.lower_index[0], 1u);  // log 0.2 = -1.61 lies in (-2, -1.5]
  EXPECT_EQ(indices.upper_index[0], 3u);  // log 0.5 = -0.69 lies in (-1, -0.5)
}

TEST(BoundaryIndices, OneEntryPerGridAndClearFailures) {
  const pde_boundary_indices zeros(3);
  EXPECT_EQ(zeros.upper_index, std::vector<size_t>(3, 0));
  EXPECT_EQ(zeros.lower_value, std::vector<double>(3, 0.0));
  EXPECT_EQ(zeros.upper_at_grid_end, std::vector<bool>(3, false));

  EXPECT_TRUE(pde_boundary_indices({}, {}).upper_index.empty());
  // The storage's keys hold one configuration per stored dimension, the count of results included: extra
  // configurations are not read.
  const pde_boundary_indices two_grids({unit_grid(), unit_grid()},
                                       {pde_boundary_config(), pde_boundary_config(), pde_boundary_config()});
  EXPECT_EQ(two_grids.upper_index, std::vector<size_t>(2, 10));

  try {
    pde_boundary_indices({unit_grid()}, {{kind::DIRICHLET, true, 0.5, kind::DIRICHLET, false, 0.2}});
    ADD_FAILURE() << "a floating up side needs a floating down side";
  } catch (const Error& error) {
    EXPECT_EQ(error.location().line, 69);
  }
  EXPECT_THROW(pde_boundary_indices({unit_grid(), unit_grid()}, {pde_boundary_config()}), Error);
  const space_grid_config empty(space_grid_type::EMPTY, false, false, transformation_type::NONE, 0.0, 0.0, 0.0);
  const auto no_points = std::make_shared<const space_grid>(empty, 5, 0.0, 1.0, 0.0, std::vector<double>{});
  EXPECT_THROW(pde_boundary_indices({no_points}, {pde_boundary_config()}), Error);
  EXPECT_THROW(pde_boundary_indices({nullptr}, {pde_boundary_config()}), Error);
}

}  // namespace
}  // namespace qavrek
