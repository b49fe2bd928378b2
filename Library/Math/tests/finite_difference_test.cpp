#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "Core/error.h"
#include "Math/finite_difference.h"
#include "stencil_forms.h"

namespace qavrek {
namespace {

using namespace test;

constexpr double epsilon = std::numeric_limits<double>::epsilon();

// The m-th derivative of (x - c)^d at x.
double monomial_derivative(size_t d, size_t m, double x, double c) {
  if (m > d) return 0.0;
  double factor = 1.0;
  for (size_t k = 0; k < m; ++k) factor *= double(d - k);
  return factor * std::pow(x - c, double(d - m));
}

// A weighted sum of values reproduces an exact derivative up to roundings of its largest terms: a few hundred ulps
// of sum |w f| covers the roundings of the weights (a handful per weight) and of the sum.
void expect_exact(const std::vector<double>& w, const std::vector<double>& f, double exact, const std::string& what) {
  double sum = 0.0, scale = 0.0;
  for (size_t k = 0; k < w.size(); ++k) {
    sum += w[k] * f[k];
    scale += std::abs(w[k] * f[k]);
  }
  EXPECT_NEAR(sum, exact, 500.0 * epsilon * std::max(scale, std::abs(exact))) << what;
}

struct axis_case {
  std::string name;
  std::vector<double> x;
};

void PrintTo(const axis_case& c, std::ostream* out) { *out << c.name; }

std::vector<double> stretched_axis(size_t n) {
  // Concentrated around 0.3 as a PDE axis around a strike: spacings vary by a factor of about 20.
  std::vector<double> x(n);
  for (size_t i = 0; i < n; ++i) x[i] = 0.3 + 0.2 * std::sinh(3.0 * (double(i) / double(n - 1) - 0.4));
  return x;
}

std::vector<double> jittered_axis(size_t n) {
  std::vector<double> x(n);
  for (size_t i = 0; i < n; ++i) x[i] = -1.0 + 0.25 * double(i) + 0.07 * std::sin(7.0 * double(i));
  return x;
}

class NonuniformDerivation : public ::testing::TestWithParam<axis_case> {};

// Each point's stencil is the axis points within width / 2 of it; its weights differentiate every polynomial of
// degree below the stencil's size exactly, and leave 0 where the band reaches past the axis.
TEST_P(NonuniformDerivation, IsExactOnPolynomialsUpToTheStencilOrder) {
  const std::vector<double>& x = GetParam().x;
  const size_t n = x.size();
  for (size_t width : {3u, 5u}) {
    const size_t half = width / 2;
    std::vector<double> first(n * width, 99.0), second(n * width, 99.0);
    finite_difference::nonuniform_derivation(x.data(), n, first.data(), second.data(), false, width);
    for (size_t i = 0; i < n; ++i) {
      const size_t lower = i >= half ? i - half : 0;
      const size_t upper = std::min(n - 1, i + half);
      const size_t count = upper - lower + 1;
      std::vector<double> w1(width), w2(width), f(width);
      for (size_t k = 0; k < width; ++k) {
        w1[k] = first[i * width + k];
        w2[k] = second[i * width + k];
        const bool on_axis = i + k >= lower + half && i + k <= upper + half;
        if (!on_axis) {
          EXPECT_EQ(w1[k], 0.0) << "width " << width << " point " << i << " band " << k;
          EXPECT_EQ(w2[k], 0.0) << "width " << width << " point " << i << " band " << k;
        }
      }
      for (size_t degree = 0; degree < count; ++degree) {
        for (size_t k = 0; k < width; ++k) {
          const bool on_axis = i + k >= lower + half && i + k <= upper + half;
          f[k] = on_axis ? monomial_derivative(degree, 0, x[i + k - half], 0.3) : 0.0;
        }
        const std::string what = "width " + std::to_string(width) + " point " + std::to_string(i) + " degree " +
                                 std::to_string(degree);
        expect_exact(w1, f, monomial_derivative(degree, 1, x[i], 0.3), "first, " + what);
        // Fewer than three points carry no second derivative: their weights are 0.
        const double second_exact = count >= 3 ? monomial_derivative(degree, 2, x[i], 0.3) : 0.0;
        expect_exact(w2, f, second_exact, "second, " + what);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Axes, NonuniformDerivation,
                         ::testing::Values(axis_case{"uniform", {0.0, 0.5, 1.0, 1.5, 2.0, 2.5, 3.0}},
                                           axis_case{"stretched", stretched_axis(41)},
                                           axis_case{"jittered", jittered_axis(12)},
                                           axis_case{"one_point", {2.0}}, axis_case{"two_points", {1.0, 1.3}},
                                           axis_case{"three_points", {-1.0, 0.1, 0.4}},
                                           axis_case{"four_points", {0.0, 0.2, 0.7, 0.75}},
                                           axis_case{"descending", {3.0, 2.2, 1.9, 1.0, 0.1, -0.4}}),
                         [](const auto& info) { return info.param.name; });

TEST(NonuniformDerivation, UniformInteriorWeightsAreTheClassicalStencils) {
  const double h = 0.25;
  std::vector<double> x(9);
  for (size_t i = 0; i < x.size(); ++i) x[i] = double(i) * h;
  std::vector<double> first(5 * x.size()), second(5 * x.size());
  finite_difference::nonuniform_derivation(x.data(), x.size(), first.data(), second.data(), false, 5);
  const std::array<double, 5> d1{1.0, -8.0, 0.0, 8.0, -1.0}, d2{-1.0, 16.0, -30.0, 16.0, -1.0};
  for (size_t k = 0; k < 5; ++k) {
    // Weights of size 1/h^2 from a handful of operations.
    EXPECT_NEAR(first[4 * 5 + k], d1[k] / (12.0 * h), 1e-13) << k;
    EXPECT_NEAR(second[4 * 5 + k], d2[k] / (12.0 * h * h), 1e-12) << k;
  }
}

TEST(NonuniformDerivation, DividedDifferenceChangesOnlyTheFirstDerivative) {
  const std::vector<double> x = stretched_axis(9);
  const size_t n = x.size();
  for (size_t width : {3u, 5u}) {
    const size_t half = width / 2;
    std::vector<double> first(n * width), second(n * width), plain_first(n * width), plain_second(n * width);
    finite_difference::nonuniform_derivation(x.data(), n, first.data(), second.data(), true, width);
    finite_difference::nonuniform_derivation(x.data(), n, plain_first.data(), plain_second.data(), false, width);
    EXPECT_EQ(second, plain_second);
    for (size_t i = 0; i < n; ++i) {
      const size_t left = i > 0 ? i - 1 : i;
      const size_t right = i + 1 < n ? i + 1 : i;
      const double slope = 1.0 / (x[right] - x[left]);
      for (size_t k = 0; k < width; ++k) {
        const size_t point = i + k - half;
        const double expected = point == left ? -slope : point == right ? slope : 0.0;
        EXPECT_EQ(first[i * width + k], expected) << "width " << width << " point " << i << " band " << k;
      }
    }
  }
}

TEST(NonuniformDerivation, RefusesBadInput) {
  std::vector<double> x{0.0, 1.0, 1.0, 2.0}, first(20), second(20);
  EXPECT_THROW(finite_difference::nonuniform_derivation(x.data(), 4, first.data(), second.data(), false, 5), Error)
      << "repeated point";
  x[2] = std::numeric_limits<double>::quiet_NaN();
  EXPECT_THROW(finite_difference::nonuniform_derivation(x.data(), 4, first.data(), second.data(), false, 3), Error)
      << "NaN point";
  x[2] = 1.5;
  for (size_t width : {0u, 1u, 4u, 7u}) {
    EXPECT_THROW(finite_difference::nonuniform_derivation(x.data(), 4, first.data(), second.data(), false, width),
                 Error)
        << width;
  }
  EXPECT_THROW(finite_difference::nonuniform_derivation(nullptr, 4, first.data(), second.data(), false, 3), Error);
  EXPECT_NO_THROW(finite_difference::nonuniform_derivation(nullptr, 0, nullptr, nullptr, false, 3));
}

// The small stencils of the rows at the ends of a band operator.
struct stencil_case {
  std::string name;
  std::vector<double> points;
  size_t index;
  bool has_second;
  stencil_form weights;
};

void PrintTo(const stencil_case& c, std::ostream* out) { *out << c.name; }

class BoundaryStencil : public ::testing::TestWithParam<stencil_case> {};

TEST_P(BoundaryStencil, IsBandCentredAndExactOnPolynomials) {
  const stencil_case& c = GetParam();
  const size_t count = c.points.size();
  std::array<double, 5> first, second;
  first.fill(99.0);
  second.fill(99.0);
  c.weights(c.points.data(), c.index, first.data(), second.data());
  for (size_t k = 0; k < 5; ++k) {
    if (k + c.index < 2 || k + c.index >= count + 2) {
      EXPECT_EQ(first[k], 0.0) << "band " << k << " has no point";
    }
  }
  if (!c.has_second) {
    EXPECT_TRUE(std::all_of(second.begin(), second.end(), [](double v) { return v == 99.0; }));
  }

  const double at = c.points[c.index];
  for (size_t degree = 0; degree < count; ++degree) {
    std::vector<double> w1, w2, f;
    for (size_t j = 0; j < count; ++j) {
      w1.push_back(first[2 + j - c.index]);
      w2.push_back(second[2 + j - c.index]);
      f.push_back(monomial_derivative(degree, 0, c.points[j], 0.2));
    }
    expect_exact(w1, f, monomial_derivative(degree, 1, at, 0.2), "first, degree " + std::to_string(degree));
    if (c.has_second) {
      expect_exact(w2, f, monomial_derivative(degree, 2, at, 0.2), "second, degree " + std::to_string(degree));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, BoundaryStencil,
    ::testing::Values(stencil_case{"three_mid", {0.1, 0.13, 0.3}, 1, true, three_mid},
                      stencil_case{"three_mid_at_level", {0.1, 0.13, 0.3}, 0, true, three_mid},
                      stencil_case{"five_mid", {-0.2, 0.05, 0.1, 0.4, 0.45}, 2, true, five_mid},
                      stencil_case{"five_0_lower_end", {0.1, 0.12, 0.35}, 0, false, five_0},
                      stencil_case{"five_0_upper_end", {0.1, 0.3, 0.31}, 2, false, five_0},
                      stencil_case{"five_1_lower", {0.1, 0.11, 0.3, 0.6}, 1, false, five_1},
                      stencil_case{"five_1_upper", {0.1, 0.3, 0.5, 0.52}, 2, false, five_1}),
    [](const auto& info) { return info.param.name; });

TEST(BoundaryStencil, MidFormsMatchTheAxisWeightsAtAnInteriorPoint) {
  const std::vector<double> x = jittered_axis(7);
  std::vector<double> first3(3 * 7), second3(3 * 7), first5(5 * 7), second5(5 * 7);
  finite_difference::nonuniform_derivation(x.data(), 7, first3.data(), second3.data(), false, 3);
  finite_difference::nonuniform_derivation(x.data(), 7, first5.data(), second5.data(), false, 5);
  std::array<double, 5> first, second;
  finite_difference::nonuniform_three_points_derivative_mid(x.data() + 2, 1, first.data(), second.data(), false);
  for (size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(first[k + 1], first3[3 * 3 + k]);
    EXPECT_EQ(second[k + 1], second3[3 * 3 + k]);
  }
  finite_difference::nonuniform_five_points_derivative_mid(x.data() + 1, 2, first.data(), second.data(), false);
  for (size_t k = 0; k < 5; ++k) {
    EXPECT_EQ(first[k], first5[3 * 5 + k]);
    EXPECT_EQ(second[k], second5[3 * 5 + k]);
  }
  // The divided difference of the mid form is the axis one.
  std::vector<double> divided(3 * 7), unused(3 * 7);
  finite_difference::nonuniform_derivation(x.data(), 7, divided.data(), unused.data(), true, 3);
  finite_difference::nonuniform_three_points_derivative_mid(x.data() + 2, 1, first.data(), second.data(), true);
  for (size_t k = 0; k < 3; ++k) EXPECT_EQ(first[k + 1], divided[3 * 3 + k]);
}

TEST(BoundaryStencil, RefusesStencilsOutsideTheBandAndRepeatedPoints) {
  const std::vector<double> p{0.0, 0.1, 0.2, 0.3, 0.4};
  std::array<double, 5> first, second;
  EXPECT_THROW(
      finite_difference::nonuniform_five_points_derivative_mid(p.data(), 1, first.data(), second.data(), false),
      Error);
  EXPECT_THROW(finite_difference::nonuniform_five_points_derivative_1(p.data(), 0, first.data()), Error);
  EXPECT_THROW(finite_difference::nonuniform_five_points_derivative_1(p.data(), 3, first.data()), Error);
  EXPECT_THROW(finite_difference::nonuniform_five_points_derivative_0(p.data(), 3, first.data()), Error);
  const std::vector<double> repeated{0.0, 0.1, 0.1};
  EXPECT_THROW(finite_difference::nonuniform_five_points_derivative_0(repeated.data(), 0, first.data()), Error);
  EXPECT_THROW(finite_difference::nonuniform_three_points_derivative_mid(p.data(), 1, first.data(), nullptr, false),
               Error);
}

}  // namespace
}  // namespace qavrek
