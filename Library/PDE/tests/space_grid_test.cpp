#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "Core/error.h"
#include "PDE/grid/space_grid.h"

namespace qavrek {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

space_grid_config config_of(space_grid_type type, bool transform_start = false, bool transform_end = false,
                            transformation_type transformation = transformation_type::NONE) {
  return space_grid_config(type, transform_start, transform_end, transformation, 1e-8, 2.0, 0.3);
}

TEST(SpaceGridConfig, ConstructorOrderOfTheDoublesAndFixedShares) {
  const space_grid_config config(space_grid_type::REFINED, true, false, transformation_type::SQRT, 1e-8, 2.0, 0.3);
  EXPECT_EQ(config.type(), space_grid_type::REFINED);
  EXPECT_TRUE(config.transform_start());
  EXPECT_FALSE(config.transform_end());
  EXPECT_EQ(config.transformation(), transformation_type::SQRT);
  EXPECT_EQ(config.tolerance(), 1e-8);
  EXPECT_EQ(config.scaling(), 2.0);
  EXPECT_EQ(config.bracket_fraction(), 0.3);
  EXPECT_EQ(config.center_dx(), 0.1);
  EXPECT_EQ(config.internal_proportion(), 0.7);
}

TEST(Transformation, ScalarAndAxisFormsAgree) {
  const std::vector<double> values{0.0, 0.25, 1.0, 2.0, 37.5, -1.0};
  for (int t : {0, 1, 2, 3, 9}) {
    const auto transformation = transformation_type(t);
    std::vector<double> axis = values;
    apply_transformation_to_axis(transformation, axis);
    for (size_t i = 0; i < values.size(); ++i) {
      double value = values[i];
      apply_transformation(transformation, value);
      const double expected = t == 1   ? std::log(values[i])
                              : t == 2 ? std::sqrt(values[i])
                              : t == 3 ? std::exp(values[i])
                                       : values[i];
      EXPECT_TRUE(value == expected || (std::isnan(value) && std::isnan(expected))) << t << " " << values[i];
      EXPECT_TRUE(axis[i] == expected || (std::isnan(axis[i]) && std::isnan(expected))) << t << " " << values[i];
    }
  }
}

struct grid_case {
  std::string name;
  space_grid_config config;
  size_t size;
  double lower, upper, shift;
  std::vector<double> points;
  std::vector<double> expected;
  bool uniform;
};

void PrintTo(const grid_case& c, std::ostream* out) { *out << c.name; }

class SpaceGridTypes : public ::testing::TestWithParam<grid_case> {};

TEST_P(SpaceGridTypes, BuildTheExpectedPoints) {
  const grid_case& c = GetParam();
  const space_grid grid(c.config, c.size, c.lower, c.upper, c.shift, c.points);
  ASSERT_EQ(grid.size(), c.expected.size());
  ASSERT_EQ(grid.axis().size(), c.expected.size());
  EXPECT_EQ(grid.is_uniform(), c.uniform);
  EXPECT_EQ(grid.transformation(), c.config.transformation());
  for (size_t i = 0; i < c.expected.size(); ++i) {
    // Points come from a step product, a transformation and a shift: a few roundings of values below 10.
    EXPECT_NEAR(grid.axis()[i], c.expected[i], 1e-14) << i;
  }
}

const double e = std::exp(1.0);
using T = space_grid_type;
using X = transformation_type;

INSTANTIATE_TEST_SUITE_P(
    Table, SpaceGridTypes,
    ::testing::Values(
        grid_case{"given_points_as_given", config_of(T::GIVEN_POINTS), 99, 5.0, 1.0, 0.0, {-1.0, 0.25, 2.0},
                  {-1.0, 0.25, 2.0}, false},
        // The start transformation touches the bounds alone, which the given points ignore.
        grid_case{"given_points_transformed_at_the_end_and_shifted",
                  config_of(T::GIVEN_POINTS, true, true, X::LOG), 0, 0.0, 0.0, 0.5, {1.0, e, e * e},
                  {0.5, 1.5, 2.5}, false},
        grid_case{"uniform", config_of(T::UNIFORM), 5, 0.0, 1.0, 0.0, {7.0}, {0.0, 0.25, 0.5, 0.75, 1.0}, true},
        grid_case{"uniform_in_transformed_bounds", config_of(T::UNIFORM, true, false, X::SQRT), 5, 0.0, 4.0, 0.0, {},
                  {0.0, 0.5, 1.0, 1.5, 2.0}, true},
        grid_case{"uniform_transformed_at_the_end", config_of(T::UNIFORM, false, true, X::EXP), 3, 0.0, 2.0, 0.0, {},
                  {1.0, e, e * e}, false},
        // The shift comes after the end transformation.
        grid_case{"uniform_transformed_then_shifted", config_of(T::UNIFORM, false, true, X::SQRT), 3, 0.0, 4.0, -1.0,
                  {}, {-1.0, std::sqrt(2.0) - 1.0, 1.0}, false},
        grid_case{"uniform_of_one_point", config_of(T::UNIFORM), 1, 2.0, 3.0, 0.0, {}, {2.0}, true},
        grid_case{"empty", config_of(T::EMPTY, true, true, X::LOG), 10, 0.0, 1.0, 0.0, {1.0, 2.0}, {}, false},
        grid_case{"unknown_type_is_empty", config_of(space_grid_type(9)), 10, 0.0, 1.0, 3.0, {1.0}, {}, false},
        // No point: a step of 1/4, so one segment of four points; the repeated lower bound is dropped.
        grid_case{"refined_without_points", config_of(T::REFINED), 4, 0.0, 1.0, 0.0, {},
                  {0.0, 1.0 / 3.0, 2.0 / 3.0, 1.0}, false},
        // Points outside the bounds move onto them; each half holds four steps of 1/8, so four points.
        grid_case{"refined_points_clamped", config_of(T::REFINED), 8, 0.0, 1.0, 0.0, {0.5, 1.7, -1.0},
                  {0.0, 1.0 / 6.0, 1.0 / 3.0, 0.5, 2.0 / 3.0, 5.0 / 6.0, 1.0}, false},
        // The last segment (0.7 to 1) holds 1.2 steps: it keeps its upper end.
        grid_case{"refined_short_last_segment_keeps_the_bound", config_of(T::REFINED), 4, 0.0, 1.0, 0.0, {0.7},
                  {0.0, 0.7, 1.0}, false},
        // sqrt at the start moves bounds and points (4 -> 2, 20 -> 4.47 clamped to 4); sqrt again at the end.
        grid_case{"refined_transformed_at_both_ends", config_of(T::REFINED, true, true, X::SQRT), 4, 0.0, 16.0, 0.0,
                  {4.0, 20.0}, {0.0, std::sqrt(2.0), 2.0}, false},
        grid_case{"refined_shifted", config_of(T::REFINED), 2, 0.0, 1.0, 10.0, {0.5}, {10.0, 10.5, 11.0}, false}),
    [](const auto& info) { return info.param.name; });

TEST(SpaceGrid, NanShiftCountsAsAShift) {
  // Its points are NaN, so the grid is refused; a grid without points has nothing to shift.
  EXPECT_THROW(space_grid(config_of(T::UNIFORM), 3, 0.0, 1.0, nan, {}), Error);
  EXPECT_EQ(space_grid(config_of(T::EMPTY), 3, 0.0, 1.0, nan, {}).size(), 0u);
}

TEST(SpaceGrid, BoundsThatAreNoIntervalAreRefused) {
  struct bad_case {
    std::string name;
    space_grid_config config;
    size_t size;
    double lower, upper;
    std::vector<double> points;
  };
  const std::vector<bad_case> cases{
      {"uniform_of_no_point", config_of(T::UNIFORM), 0, 0.0, 1.0, {}},
      {"refined_of_no_point", config_of(T::REFINED), 0, 0.0, 1.0, {}},
      {"concentrated_of_no_point", config_of(T::CRITICAL_POINTS), 0, 0.0, 1.0, {0.5}},
      {"reversed_bounds", config_of(T::UNIFORM), 5, 1.0, 0.0, {}},
      {"reversed_refined", config_of(T::REFINED), 5, 1.0, 0.0, {}},
      {"reversed_concentrated", config_of(T::CRITICAL_POINTS), 5, 1.0, 0.0, {}},
      {"equal_bounds", config_of(T::REFINED), 5, 1.0, 1.0, {}},
      {"log_of_a_negative_bound", config_of(T::UNIFORM, true, false, X::LOG), 5, -1.0, 1.0, {}},
      {"infinite_bound", config_of(T::CRITICAL_POINTS), 5, 0.0, std::numeric_limits<double>::infinity(), {}},
      {"nan_point_to_sort", config_of(T::REFINED), 5, 0.0, 1.0, {0.5, nan}},
      {"point_nan_once_transformed", config_of(T::CRITICAL_POINTS, true, false, X::LOG), 20, 1.0, 2.0, {-1.0}},
      // Finite bounds whose distance is not: the step would be infinite and the points -inf, inf and NaN.
      {"bounds_beyond_the_range_of_doubles", config_of(T::UNIFORM), 5, -1e308, 1e308, {}},
      {"refined_bounds_beyond_the_range_of_doubles", config_of(T::REFINED), 5, -1e308, 1e308, {0.0}},
      // Bounds one ulp apart cannot hold four distinct points.
      {"width_below_the_resolution", config_of(T::UNIFORM), 4, 1.0, 1.0 + 2.220446049250313e-16, {}},
  };
  for (const bad_case& c : cases) {
    EXPECT_THROW(space_grid(c.config, c.size, c.lower, c.upper, 0.0, c.points), Error) << c.name;
  }
  // Types that ignore the bounds and the size build regardless.
  EXPECT_NO_THROW(space_grid(config_of(T::GIVEN_POINTS), 0, 1.0, 0.0, 0.0, {1.0, 2.0}));
  EXPECT_NO_THROW(space_grid(config_of(T::EMPTY), 0, 1.0, 0.0, 0.0, {nan}));
}

// Every grid is searched and differentiated along: whatever its type, points that end up not finite or not
// strictly ascending are refused, rather than sorted or kept.
TEST(SpaceGrid, PointsThatAreNotFiniteAndAscendingAreRefused) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  struct bad_case {
    std::string name;
    space_grid_config config;
    size_t size;
    double lower, upper, shift;
    std::vector<double> points;
  };
  const std::vector<bad_case> cases{
      {"given_points_out_of_order", config_of(T::GIVEN_POINTS), 0, 0.0, 0.0, 0.0, {3.0, 1.0, 2.0}},
      {"given_points_repeated", config_of(T::GIVEN_POINTS), 0, 0.0, 0.0, 0.0, {1.0, 2.0, 2.0, 3.0}},
      {"given_nan", config_of(T::GIVEN_POINTS), 0, 0.0, 0.0, 0.0, {1.0, nan, 3.0}},
      {"given_infinity", config_of(T::GIVEN_POINTS), 0, 0.0, 0.0, 0.0, {1.0, 2.0, inf}},
      {"given_log_of_zero", config_of(T::GIVEN_POINTS, false, true, X::LOG), 0, 0.0, 0.0, 0.0, {0.0, 1.0}},
      {"uniform_log_of_negatives", config_of(T::UNIFORM, false, true, X::LOG), 5, -2.0, 2.0, 0.0, {}},
      {"uniform_exp_beyond_the_range", config_of(T::UNIFORM, false, true, X::EXP), 5, 0.0, 1000.0, 0.0, {}},
      // exp merges points far below 1 into 0.
      {"uniform_exp_merging_points", config_of(T::UNIFORM, false, true, X::EXP), 5, -1000.0, -800.0, 0.0, {}},
      // A shift far above the spacing rounds the points onto each other.
      {"shift_beyond_the_resolution", config_of(T::UNIFORM), 5, 0.0, 1e-6, 1e12, {}},
      {"infinite_shift", config_of(T::REFINED), 4, 0.0, 1.0, inf, {0.5}},
  };
  for (const bad_case& c : cases) {
    EXPECT_THROW(space_grid(c.config, c.size, c.lower, c.upper, c.shift, c.points), Error) << c.name;
  }
}

// Sizes are capped before anything is allocated: a careless size must not take gigabytes.
TEST(SpaceGrid, SizesBeyondTheCeilingAreRefused) {
  const size_t most = space_grid::max_points;
  for (T type : {T::UNIFORM, T::REFINED, T::CRITICAL_POINTS}) {
    EXPECT_THROW(space_grid(config_of(type), most + 1, 0.0, 1.0, 0.0, {}), Error) << int(type);
    EXPECT_THROW(space_grid(config_of(type), size_t(3e8), 0.0, 1.0, 0.0, {}), Error) << int(type);
  }
  EXPECT_EQ(space_grid(config_of(T::UNIFORM), most, 0.0, 1.0, 0.0, {}).size(), most);
  std::vector<double> given(most + 1);
  for (size_t i = 0; i < given.size(); ++i) given[i] = double(i);
  for (T type : {T::GIVEN_POINTS, T::REFINED, T::CRITICAL_POINTS}) {
    EXPECT_THROW(space_grid(config_of(type), 10, 0.0, 1.0, 0.0, given), Error) << int(type);
  }
  given.pop_back();
  EXPECT_EQ(space_grid(config_of(T::GIVEN_POINTS), 0, 0.0, 0.0, 0.0, given).size(), most);
}

// Concentrated grids: ascending without repeats, holding both bounds and every given point, and nothing beyond them.
void expect_concentrated_shape(const space_grid& grid, double lower, double upper, const std::vector<double>& points) {
  const std::vector<double>& axis = grid.axis();
  ASSERT_FALSE(axis.empty());
  EXPECT_TRUE(std::adjacent_find(axis.begin(), axis.end(), std::greater_equal<>()) == axis.end())
      << "not ascending without repeats";
  EXPECT_TRUE(std::all_of(axis.begin(), axis.end(), [](double x) { return std::isfinite(x); }));
  std::vector<double> required = points;
  required.push_back(lower);
  required.push_back(upper);
  EXPECT_EQ(axis.front(), *std::min_element(required.begin(), required.end()));
  EXPECT_EQ(axis.back(), *std::max_element(required.begin(), required.end()));
  for (double p : required) EXPECT_TRUE(std::binary_search(axis.begin(), axis.end(), p)) << p;
}

TEST(ConcentratedGrid, WithoutCriticalPointsInsideItIsUniformPlusThePoints) {
  for (const std::vector<double>& points : {std::vector<double>{}, std::vector<double>{-2.0, 11.5}}) {
    const space_grid grid(config_of(T::CRITICAL_POINTS), 21, 0.0, 10.0, 0.0, points);
    std::vector<double> expected{0.0, 10.0};
    expected.insert(expected.end(), points.begin(), points.end());
    for (size_t i = 1; i < 20; ++i) expected.push_back(0.5 * double(i));
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(grid.size(), expected.size());
    // Uniform points are one product from an exact end.
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(grid.axis()[i], expected[i], 1e-14) << i;
  }
}

TEST(ConcentratedGrid, ContainsEveryCriticalPointAndBridgesThemSmoothly) {
  struct concentrated_case {
    size_t size;
    double lower, upper;
    std::vector<double> points;
  };
  for (const concentrated_case& c : {concentrated_case{100, 0.0, 10.0, {6.5, 2.0, 4.0}},
                                     concentrated_case{50, 0.0, 10.0, {3.0, 7.0}},
                                     concentrated_case{40, 0.0, 10.0, {1.0, 1.9, 2.8, 3.7, 4.6, 5.5, 6.4, 7.3, 8.2}},
                                     // Brackets reaching the bounds leave no end region.
                                     concentrated_case{60, -1.0, 1.0, {-1.0, 0.0, 1.0}},
                                     concentrated_case{60, -1.0, 1.0, {-0.999, 0.0}}}) {
    const space_grid grid(config_of(T::CRITICAL_POINTS), c.size, c.lower, c.upper, 0.0, c.points);
    expect_concentrated_shape(grid, c.lower, c.upper, c.points);
    const std::vector<double>& axis = grid.axis();

    // Between two neighbouring critical points the spacings follow one quadratic profile that starts and ends at
    // the bracket half-width: symmetric, with vanishing third differences.
    std::vector<double> sorted = c.points;
    std::sort(sorted.begin(), sorted.end());
    for (size_t i = 0; i + 1 < sorted.size(); ++i) {
      const auto first = std::lower_bound(axis.begin(), axis.end(), sorted[i]);
      const auto last = std::lower_bound(axis.begin(), axis.end(), sorted[i + 1]);
      std::vector<double> spacings;
      for (auto it = first; it != last; ++it) spacings.push_back(*(it + 1) - *it);
      ASSERT_GE(spacings.size(), 5u) << "bridge " << i;
      const double scale = sorted[i + 1] - sorted[i];
      // Spacings are differences of points accumulated over a dozen additions of values up to 10.
      const double tolerance = 1e-13 * std::max(1.0, std::abs(sorted[i + 1]));
      for (size_t j = 0; j < spacings.size(); ++j) {
        EXPECT_NEAR(spacings[j], spacings[spacings.size() - 1 - j], tolerance) << "bridge " << i << " spacing " << j;
      }
      for (size_t j = 0; j + 3 < spacings.size(); ++j) {
        const double third = spacings[j + 3] - 3.0 * spacings[j + 2] + 3.0 * spacings[j + 1] - spacings[j];
        EXPECT_NEAR(third, 0.0, 8.0 * tolerance) << "bridge " << i << " of length " << scale;
      }
    }
  }
}

TEST(ConcentratedGrid, ClosePointsShareOneBracket) {
  // 3.03 lies within two initial half-widths (2 x 0.1 x 10 / 50) of 3: it is no critical point of its own, only a
  // point of the grid.
  const space_grid alone(config_of(T::CRITICAL_POINTS), 50, 0.0, 10.0, 0.0, {3.0});
  const space_grid pair(config_of(T::CRITICAL_POINTS), 50, 0.0, 10.0, 0.0, {3.0, 3.03});
  std::vector<double> expected = alone.axis();
  expected.push_back(3.03);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(pair.axis(), expected);

  // 3.05 keeps its own critical point at first, but the brackets widen with the step and the second one is dropped:
  // no bridge between the two.
  const space_grid wider(config_of(T::CRITICAL_POINTS), 50, 0.0, 10.0, 0.0, {3.0, 3.05});
  expect_concentrated_shape(wider, 0.0, 10.0, {3.0, 3.05});
  const auto between = std::upper_bound(wider.axis().begin(), wider.axis().end(), 3.0);
  EXPECT_LE(std::lower_bound(wider.axis().begin(), wider.axis().end(), 3.05) - between, 1);
}

TEST(ConcentratedGrid, TransformedAndShifted) {
  // Critical points and bounds in the model's variable, the grid in log coordinates.
  const std::vector<double> strikes{80.0, 100.0, 125.0};
  const space_grid grid(config_of(T::CRITICAL_POINTS, true, false, X::LOG), 60, 20.0, 500.0, 0.0, strikes);
  std::vector<double> logs;
  for (double k : strikes) logs.push_back(std::log(k));
  expect_concentrated_shape(grid, std::log(20.0), std::log(500.0), logs);

  const space_grid shifted(config_of(T::CRITICAL_POINTS, true, false, X::LOG), 60, 20.0, 500.0, 1.0, strikes);
  ASSERT_EQ(shifted.size(), grid.size());
  for (size_t i = 0; i < grid.size(); ++i) EXPECT_EQ(shifted.axis()[i], grid.axis()[i] + 1.0) << i;
}

TEST(ConcentratedGrid, CountsThatWouldNotFitAreRefused) {
  // Two critical points need at least four points, and more than the four of the bridge between them.
  EXPECT_THROW(space_grid(config_of(T::CRITICAL_POINTS), 3, 0.0, 10.0, 0.0, {3.0, 7.0}), Error);
  EXPECT_THROW(space_grid(config_of(T::CRITICAL_POINTS), 4, 0.0, 10.0, 0.0, {3.0, 7.0}), Error);
  expect_concentrated_shape(space_grid(config_of(T::CRITICAL_POINTS), 5, 0.0, 10.0, 0.0, {3.0, 7.0}), 0.0, 10.0,
                            {3.0, 7.0});
  // Ten critical points 0.9 apart: their nine bridges of at least four points each overflow 30 points.
  std::vector<double> crowded;
  for (int i = 0; i < 10; ++i) crowded.push_back(1.0 + 0.9 * i);
  EXPECT_THROW(space_grid(config_of(T::CRITICAL_POINTS), 30, 0.0, 10.0, 0.0, crowded), Error);
  EXPECT_NO_THROW(space_grid(config_of(T::CRITICAL_POINTS), 40, 0.0, 10.0, 0.0, crowded));
}

}  // namespace
}  // namespace qavrek
