#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "Core/tests/test_names.h"
#include "Vectorization/normalcdf.h"
#include "Vectorization/vector.h"

namespace qavrek {
namespace {

constexpr double eps = std::numeric_limits<double>::epsilon();

struct reference_value {
  double x;
  double phi;
};

void PrintTo(const reference_value& r, std::ostream* out) { *out << "x = " << r.x; }

class NormalCdfReference : public ::testing::TestWithParam<reference_value> {};

// Reference values from a 50-digit multiple-precision evaluation of erfc(-x / sqrt(2)) / 2,
// rounded to 21 digits. erfc itself is good to about 1 ulp and the argument is repaired to
// first order, so 4 eps relative leaves room for the final halving and correction only.
TEST_P(NormalCdfReference, MatchesHighPrecisionValue) {
  const auto [x, phi] = GetParam();
  EXPECT_NEAR(normalcdf(x), phi, 4 * eps * phi) << "x = " << x;
}

INSTANTIATE_TEST_SUITE_P(
    AcrossTheRange, NormalCdfReference,
    ::testing::Values(reference_value{-37.0, 5.72557122252457682268e-300},
                      reference_value{-30.0, 4.90671392714818705953e-198},
                      reference_value{-20.0, 2.75362411860623369508e-89},
                      reference_value{-10.0, 7.61985302416052606597e-24},
                      reference_value{-8.0, 6.22096057427178412352e-16},
                      reference_value{-5.0, 2.86651571879193911674e-7},
                      reference_value{-3.0, 0.00134989803163009452665},
                      reference_value{-1.959963984540054, 0.0250000000000000108762},
                      reference_value{-1.0, 0.158655253931457051415},
                      reference_value{-0.5, 0.308537538725986896362},
                      reference_value{-1e-10, 0.49999999996010577196},
                      reference_value{0.0, 0.5},
                      reference_value{0.5, 0.691462461274013103638},
                      reference_value{1.0, 0.841344746068542948585},
                      reference_value{1.959963984540054, 0.974999999999999989124},
                      reference_value{3.0, 0.998650101968369905473}),
    [](const auto& info) { return "x_" + test_names::number(info.param.x); });

// Far lower tail against the asymptotic expansion of the Mills ratio,
// Phi(-x) = phi(x) / x * sum_k (-1)^k (2k - 1)!! / x^(2k). Eleven terms leave a truncation
// below 1e-18 for x >= 20; exp(-x^2 / 2) is exact in its argument for these x, so the sum
// and the density carry only a few ulps (8 eps).
TEST(NormalCdf, LowerTailFollowsTheAsymptoticSeries) {
  for (double x : {20.0, 25.0, 30.0, 35.0, 37.0}) {
    double term = 1.0, sum = 1.0;
    for (int k = 1; k <= 10; ++k) {
      term *= -(2.0 * k - 1.0) / (x * x);
      sum += term;
    }
    const double density = std::exp(-0.5 * x * x) / std::sqrt(2.0 * std::numbers::pi);
    const double expected = density / x * sum;
    EXPECT_NEAR(normalcdf(-x), expected, 8 * eps * expected) << "x = " << x;
  }
}

// Phi(x) + Phi(-x) = 1: each side is within an ulp or two of its value, and the sum of
// numbers at most 1 is rounded once more, hence 2 eps.
TEST(NormalCdf, IsSymmetric) {
  for (double x = -9.0; x <= 9.0; x += 0.37) EXPECT_NEAR(normalcdf(x) + normalcdf(-x), 1.0, 2 * eps) << "x = " << x;
}

TEST(NormalCdf, LimitsAndNaN) {
  EXPECT_EQ(normalcdf(-std::numeric_limits<double>::infinity()), 0.0);
  EXPECT_EQ(normalcdf(std::numeric_limits<double>::infinity()), 1.0);
  EXPECT_EQ(normalcdf(-40.0), 0.0);  // below the smallest double
  EXPECT_EQ(normalcdf(40.0), 1.0);
  EXPECT_TRUE(std::isnan(normalcdf(std::numeric_limits<double>::quiet_NaN())));
  EXPECT_EQ(normalcdf(0.0), 0.5);
}

TEST(NormalCdf, ElementwiseMatchesScalar) {
  const vector<double> x{-12.0, -2.5, -0.1, 0.0, 0.7, 4.0, 9.5};
  vector<double> out(x.size());
  out = normalcdf(x);
  for (size_t i = 0; i < x.size(); ++i) EXPECT_EQ(out[i], normalcdf(x[i]));
}

}  // namespace
}  // namespace qavrek
