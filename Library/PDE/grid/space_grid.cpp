#include "PDE/grid/space_grid.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "Core/check.h"
#include "Math/discretization.h"

namespace qavrek {
namespace {

// Smoothing passes over an end region of a concentrated grid.
constexpr int smoothing_passes = 20;

std::vector<double> uniform_points(size_t n, double lower, double upper) {
  std::vector<double> points(n);
  discretization::uniform(points.data(), n, lower, upper, (lower + upper) * 0.5);
  return points;
}

void append(std::vector<double>& axis, const std::vector<double>& points) {
  axis.insert(axis.end(), points.begin(), points.end());
}

void sort_without_repeats(std::vector<double>& axis) {
  std::sort(axis.begin(), axis.end());
  axis.erase(std::unique(axis.begin(), axis.end()), axis.end());
}

void check_interval(size_t size, double lower, double upper) {
  QAVREK_CHECK(size > 0, "a space grid between bounds needs at least one point");
  QAVREK_CHECK(size <= space_grid::max_points, "a space grid of ", size, " points is refused: a grid has at most ",
               space_grid::max_points);
  QAVREK_CHECK(std::isfinite(lower) && std::isfinite(upper) && lower < upper, "space grid bounds ", lower, " and ",
               upper, " are not an interval");
  // The step sizes the segments of refined and concentrated grids: it must be a finite positive number.
  const double step = (upper - lower) / double(size);
  QAVREK_CHECK(std::isfinite(step) && step > 0.0, "space grid bounds ", lower, " and ", upper,
               " are too far apart or too close for ", size, " points");
}

void check_given(const std::vector<double>& points) {
  QAVREK_CHECK(points.size() <= space_grid::max_points, points.size(),
               " given points are refused: a grid has at most ", space_grid::max_points);
}

// Grids are searched and differentiated along: a point that is not finite, or no larger than the one before it
// (bounds beyond the range of doubles, a width below their resolution, a transformation out of its domain), would
// give rows on a zero or non-finite spacing.
void check_points(const std::vector<double>& axis) {
  for (size_t i = 0; i < axis.size(); ++i) {
    QAVREK_CHECK(std::isfinite(axis[i]), "space grid point ", i, " is ", axis[i], ": the points must be finite");
    QAVREK_CHECK(i == 0 || axis[i - 1] < axis[i], "space grid points ", i - 1, " and ", i, " (", axis[i - 1], " and ",
                 axis[i], ") are not strictly ascending");
  }
}

// The given points in the grid's coordinate; they are sorted, so none may be NaN.
std::vector<double> points_to_place(const space_grid_config& config, const std::vector<double>& points) {
  std::vector<double> placed = points;
  if (config.transform_start()) apply_transformation_to_axis(config.transformation(), placed);
  for (size_t i = 0; i < placed.size(); ++i) {
    QAVREK_CHECK(!std::isnan(placed[i]), "space grid point ", i, " (", points[i], ") is NaN in the grid's coordinate");
  }
  return placed;
}

void build_refined(size_t size, double lower, double upper, const std::vector<double>& points,
                   std::vector<double>& axis) {
  const double h = (upper - lower) / double(size);
  std::vector<double> values{lower, upper};
  for (double p : points) values.push_back(std::clamp(p, lower, upper));
  sort_without_repeats(values);

  // Every segment keeps both its ends, also when it is shorter than two steps.
  double previous = lower;
  for (double v : values) {
    const size_t count = std::max(size_t((v - previous) / h), size_t(2));
    append(axis, uniform_points(count, previous, v));
    previous = v;
  }
  sort_without_repeats(axis);
}

// Appends n - 1 points from x0 to x0 + length - d1 - d2 whose spacings follow a quadratic profile from d1 to d2
// (d1 and d2 themselves lie before x0 and after the last point), so that all n spacings add up to length.
void fill_between_brackets(size_t n, double d1, double d2, double length, double x0, std::vector<double>& out) {
  const double m = double(n);
  const double a_sum = m * (m - 1.0) / 2.0;
  const double b_sum = (2.0 * m * m * m + 3.0 * m * m + m) / 6.0 - m * m;
  const double a = (length - (m / 2.0) * (d1 + d2)) / (b_sum - (m / 2.0) * a_sum);
  const double b = (d1 - d2 - a * a_sum) / (m - 1.0);
  const double e = d2 - a * m;

  std::vector<double> increments(n);
  increments[0] = a + b;
  for (size_t i = 1; i + 1 < n; ++i) increments[i] = increments[i - 1] + a;
  increments[n - 1] = e - b + (a + increments[n - 2]);
  std::vector<double> spacings(n);
  double suffix = 0.0;
  for (size_t i = n; i-- > 0;) spacings[i] = suffix += increments[i];

  double x = x0;
  out.push_back(x);
  for (size_t i = 1; i + 1 < n; ++i) out.push_back(x += spacings[i]);
}

// Evens out the spacings of an ascending end region whose last spacing should approach `target`, keeping both ends.
void smooth_left_region(std::vector<double>& x, double target) {
  const size_t n = x.size();
  if (n < 2) return;
  const double first = x.front();
  const double span = x.back() - first;
  std::vector<double> spacings(n - 1);
  for (int pass = 0; pass < smoothing_passes; ++pass) {
    spacings[n - 2] = 0.5 * (x[n - 1] - x[n - 2]) + 0.5 * target;
    for (size_t i = 0; i + 2 < n; ++i) spacings[i] = 0.5 * (x[i + 1] - x[i]) + 0.5 * (x[i + 2] - x[i + 1]);
    double sum = 0.0;
    for (double s : spacings) sum += s;
    const double scale = span / sum;
    for (size_t j = n - 1; j >= 1; --j) x[j - 1] = x[j] - scale * spacings[j - 1];
    x.front() = first;
  }
}

// The mirror image: the first spacing approaches `target`.
void smooth_right_region(std::vector<double>& x, double target) {
  std::vector<double> mirrored(x.rbegin(), x.rend());
  for (double& v : mirrored) v = -v;
  smooth_left_region(mirrored, target);
  for (size_t i = 0; i < x.size(); ++i) x[i] = -mirrored[x.size() - 1 - i];
}

void build_concentrated(const space_grid_config& config, size_t size, double lower, double upper,
                        const std::vector<double>& points, std::vector<double>& axis) {
  const double width = upper - lower;
  const double centre_dx = config.center_dx();
  const double proportion = config.internal_proportion();

  // The critical points inside the bounds, each at least two half-widths above the previous one kept.
  std::vector<double> critical = points;
  std::sort(critical.begin(), critical.end());
  double dx = width / double(size) * centre_dx;
  std::vector<double> kept;
  for (double p : critical) {
    if (p < lower || p > upper) continue;
    if (!kept.empty() && p - dx < kept.back() + dx) continue;
    kept.push_back(p);
  }
  const size_t k = kept.size();
  QAVREK_CHECK(size >= 2 * k, "a concentrated grid of ", size, " points cannot hold ", k, " critical points");

  // The points left for the rest of the range, fewer when the critical points crowd a small part of it.
  size_t outer_count = size - 2 * k >= 11 ? size - 2 * k : 10;
  if (k > 0) {
    size_t spread = size_t((kept.back() - kept.front()) / (width / double(outer_count)));
    if (spread < 5) spread = 4;
    if (proportion * double(outer_count) > double(spread)) {
      size_t removed = size_t((1.0 - proportion) * double(outer_count));
      if (removed < 6) removed = 5;
      outer_count -= removed;
      if (outer_count < 6) outer_count = 5;
    }
  }
  const double h = width / double(outer_count);
  dx = h * centre_dx;

  std::vector<std::pair<double, double>> brackets;
  for (double p : kept) {
    if (!brackets.empty() && p - dx < brackets.back().second) continue;
    brackets.emplace_back(p - dx, p + dx);
  }

  if (brackets.empty()) {
    append(axis, uniform_points(size, lower, upper));
  } else {
    for (size_t i = 0; i + 1 < brackets.size(); ++i) {
      const double gap = brackets[i + 1].first - brackets[i].second;
      size_t steps = size_t(gap / h);
      if (steps < 5) steps = 4;
      fill_between_brackets(steps + 1, h * centre_dx, h * centre_dx, gap + 2.0 * centre_dx * h, brackets[i].second,
                            axis);
    }
    QAVREK_CHECK(axis.size() < size, "the bridges between ", brackets.size(), " critical points take ", axis.size(),
                 " of the ", size, " points of a concentrated grid");
    const size_t remaining = (size - axis.size()) / 2;
    const size_t region = remaining >= 16 ? remaining : 15;

    // A bracket that reaches a bound leaves no room for the region beyond it: the bound alone stands for it.
    const double target = h * 2.0 * centre_dx;
    if (brackets.front().first > lower) {
      std::vector<double> left = uniform_points(region, lower, brackets.front().first);
      smooth_left_region(left, target);
      append(axis, left);
    } else {
      axis.push_back(lower);
    }
    if (brackets.back().second < upper) {
      std::vector<double> right = uniform_points(region, brackets.back().second, upper);
      smooth_right_region(right, target);
      append(axis, right);
    } else {
      axis.push_back(upper);
    }
  }
  append(axis, points);
  sort_without_repeats(axis);
}

}  // namespace

space_grid::space_grid(const space_grid_config& config, size_t size, double lower, double upper, double shift,
                       const std::vector<double>& points)
    : transformation_(config.transformation()) {
  if (config.transform_start()) {
    apply_transformation(transformation_, upper);
    apply_transformation(transformation_, lower);
  }
  switch (config.type()) {
    case space_grid_type::GIVEN_POINTS:
      check_given(points);
      axis_ = points;
      break;
    case space_grid_type::UNIFORM:
      check_interval(size, lower, upper);
      axis_ = uniform_points(size, lower, upper);
      is_uniform_ = true;
      break;
    case space_grid_type::REFINED:
      check_interval(size, lower, upper);
      check_given(points);
      build_refined(size, lower, upper, points_to_place(config, points), axis_);
      break;
    case space_grid_type::CRITICAL_POINTS:
      check_interval(size, lower, upper);
      check_given(points);
      build_concentrated(config, size, lower, upper, points_to_place(config, points), axis_);
      break;
    default:
      break;
  }
  if (config.transform_end()) {
    apply_transformation_to_axis(transformation_, axis_);
    is_uniform_ = false;
  }
  // A NaN shift counts as one, and its points are refused below.
  if (!(shift == 0.0)) {
    for (double& v : axis_) v += shift;
  }
  check_points(axis_);
  size_ = axis_.size();
}

}  // namespace qavrek
