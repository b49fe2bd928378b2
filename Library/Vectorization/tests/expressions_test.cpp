#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "Core/error.h"
#include "Vectorization/matrix.h"
#include "Vectorization/normalcdf.h"
#include "Vectorization/tensor.h"
#include "Vectorization/vector.h"

namespace qavrek {
namespace {

// 37 elements: not a multiple of any SIMD width, so vectorised loops also run their tails.
constexpr size_t n = 37;

vector<double> sample(double start, double step) {
  vector<double> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = start + step * static_cast<double>(i);
  return v;
}

struct elementwise_case {
  std::string name;
  std::function<vector<double>(const vector<double>&, const vector<double>&, const vector<double>&)> expression;
  std::function<double(double, double, double)> element;
};

void PrintTo(const elementwise_case& c, std::ostream* out) { *out << c.name; }

class Elementwise : public ::testing::TestWithParam<elementwise_case> {};

// Each expression against the same formula written for one element. Both sides round the
// same operations; EXPECT_DOUBLE_EQ allows 4 ulps for a library exp or pow that might
// differ between its vector and scalar paths.
TEST_P(Elementwise, MatchesTheFormulaElementByElement) {
  const vector<double> a = sample(0.25, 0.5), b = sample(-3.0, 0.25), c = sample(1.0, 0.125);
  const vector<double> result = GetParam().expression(a, b, c);
  ASSERT_EQ(result.size(), n);
  for (size_t i = 0; i < n; ++i) EXPECT_DOUBLE_EQ(result[i], GetParam().element(a[i], b[i], c[i])) << "element " << i;
}

using V = const vector<double>&;
INSTANTIATE_TEST_SUITE_P(
    Operations, Elementwise,
    ::testing::Values(
        elementwise_case{"Sum", [](V a, V b, V) { return vector<double>(a + b); },
                         [](double a, double b, double) { return a + b; }},
        elementwise_case{"Difference", [](V a, V b, V) { return vector<double>(a - b); },
                         [](double a, double b, double) { return a - b; }},
        elementwise_case{"Product", [](V a, V b, V) { return vector<double>(a * b); },
                         [](double a, double b, double) { return a * b; }},
        elementwise_case{"Quotient", [](V a, V, V c) { return vector<double>(a / c); },
                         [](double a, double, double c) { return a / c; }},
        elementwise_case{"Negation", [](V a, V b, V) { return vector<double>(-(a + b)); },
                         [](double a, double b, double) { return -(a + b); }},
        elementwise_case{"ScalarsOnBothSides", [](V a, V, V) { return vector<double>(2 * a - 1.5 + a / 4.0); },
                         [](double a, double, double) { return 2.0 * a - 1.5 + a / 4.0; }},
        elementwise_case{"ScalarOnTheLeft", [](V a, V, V) { return vector<double>(1.0 - 3.0 / a); },
                         [](double a, double, double) { return 1.0 - 3.0 / a; }},
        elementwise_case{"ExpOfAffine", [](V a, V b, V c) { return vector<double>(exp(b * c + a)); },
                         [](double a, double b, double c) { return std::exp(b * c + a); }},
        elementwise_case{"Expm1", [](V, V b, V) { return vector<double>(expm1(b * 1e-9)); },
                         [](double, double b, double) { return std::expm1(b * 1e-9); }},
        elementwise_case{"Log", [](V a, V, V c) { return vector<double>(log(a * c)); },
                         [](double a, double, double c) { return std::log(a * c); }},
        elementwise_case{"Log1p", [](V a, V, V) { return vector<double>(log1p(a)); },
                         [](double a, double, double) { return std::log1p(a); }},
        elementwise_case{"Sqrt", [](V a, V, V) { return vector<double>(sqrt(a)); },
                         [](double a, double, double) { return std::sqrt(a); }},
        elementwise_case{"Abs", [](V, V b, V) { return vector<double>(abs(b)); },
                         [](double, double b, double) { return std::abs(b); }},
        elementwise_case{"PowerOfScalar", [](V a, V, V) { return vector<double>(pow(a, 2.5)); },
                         [](double a, double, double) { return std::pow(a, 2.5); }},
        elementwise_case{"PowerOfExpressions", [](V a, V, V c) { return vector<double>(pow(a, c - 1.0)); },
                         [](double a, double, double c) { return std::pow(a, c - 1.0); }},
        elementwise_case{"NormalCdf", [](V, V b, V) { return vector<double>(normalcdf(-b)); },
                         [](double, double b, double) { return normalcdf(-b); }}),
    [](const auto& info) { return info.param.name; });

TEST(Expressions, CompoundAssignmentsUpdateInPlace) {
  const vector<double> a = sample(1.0, 1.0);
  vector<double> x(n, 2.0);
  x += a;      // 2 + a
  x *= 3;      // 3 (2 + a)
  x -= a * a;  // 3 (2 + a) - a^2
  x /= 2.0;
  for (size_t i = 0; i < n; ++i) EXPECT_DOUBLE_EQ(x[i], (3.0 * (2.0 + a[i]) - a[i] * a[i]) / 2.0);

  x = 4.0;  // a number fills
  for (double value : x) EXPECT_EQ(value, 4.0);
}

// The destination may appear in its own expression: each element reads only itself.
TEST(Expressions, DestinationMayAppearInTheExpression) {
  vector<double> x = sample(1.0, 0.5);
  const vector<double> d = sample(0.0, 0.25);
  const vector<double> original = x;
  x = 0.5 * x + 0.5 * (x - d);
  for (size_t i = 0; i < n; ++i) EXPECT_DOUBLE_EQ(x[i], original[i] - 0.5 * d[i]);
}

TEST(Expressions, RowsAndWholeMatricesAndTensors) {
  matrix<double> m{{0.0, 1.0, 2.0}, {0.0, 0.0, 0.0}};
  m.row(1) = exp(m.row(0)) - 1.0;
  EXPECT_EQ(m(1, 0), 0.0);
  EXPECT_DOUBLE_EQ(m(1, 2), std::exp(2.0) - 1.0);

  const matrix<double> twice = matrix<double>(2, 3, 2.0);
  m *= twice;
  EXPECT_EQ(m(0, 2), 4.0);

  tensor<double> t({2, 2, 2}, 1.0);
  const tensor<double> u({2, 2, 2}, 3.0);
  t = t + u * u;
  for (double value : t) EXPECT_EQ(value, 10.0);
}

struct mismatch_case {
  std::string name;
  std::function<void()> run;
  std::string message;
  int line;  // vectors and matrices report one line, tensors another
};

void PrintTo(const mismatch_case& c, std::ostream* out) { *out << c.name; }

class SizeMismatch : public ::testing::TestWithParam<mismatch_case> {};

TEST_P(SizeMismatch, FailsInRunWithBothSizes) {
  try {
    GetParam().run();
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.message(), GetParam().message);
    EXPECT_EQ(error.location().function, "run");
    EXPECT_EQ(error.location().file, "Library/Vectorization/expressions/expressions_evaluator");
    EXPECT_EQ(error.location().line, GetParam().line);
  }
}

const std::string expected_prefix = "Expected expr.size() == rhs.size() to be true, but got false.  ";

INSTANTIATE_TEST_SUITE_P(
    Destinations, SizeMismatch,
    ::testing::Values(
        mismatch_case{"LongerExpression",
                      [] {
                        vector<double> out(3);
                        out = exp(vector<double>(5));
                      },
                      expected_prefix + "expression has diferrent size 5 than destination 3", 68},
        mismatch_case{"SecondOperandReportsItsOwnSize",
                      [] {
                        vector<double> out(3);
                        const vector<double> a(3), b(4);
                        out = a + 2.0 * b;
                      },
                      expected_prefix + "expression has diferrent size 4 than destination 3", 68},
        mismatch_case{"CompoundAssignment",
                      [] {
                        vector<double> out(6);
                        out -= vector<double>(2);
                      },
                      expected_prefix + "expression has diferrent size 2 than destination 6", 68},
        mismatch_case{"MatrixRowFromColumns",
                      [] {
                        const matrix<double> states(2, 8);
                        matrix<double> previous(2, 5);
                        previous.row(1) = states.row(0);
                      },
                      expected_prefix + "expression has diferrent size 8 than destination 5", 68},
        mismatch_case{"Tensor",
                      [] {
                        tensor<double> values({2, 3});
                        const tensor<double> previous({7});
                        values = 2.4142135623730945 * values - 1.4142135623730945 * previous;
                      },
                      expected_prefix + "expression has diferrent size 7 than destination 6", 30}),
    [](const auto& info) { return info.param.name; });

TEST(Expressions, FailedCheckWritesNothing) {
  vector<double> out(3, 1.0);
  const vector<double> a(3, 2.0), b(4, 2.0);
  EXPECT_THROW(out += a * b, Error);
  for (double value : out) EXPECT_EQ(value, 1.0);
}

}  // namespace
}  // namespace qavrek
