#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "Math/normal_distribution.h"

namespace qavrek {
namespace {

// References in long double (64-bit mantissa): eleven more bits than the values under test.
long double lower_tail(long double x) { return 0.5L * std::erfc(-x / std::sqrt(2.0L)); }
long double upper_tail(long double x) { return 0.5L * std::erfc(x / std::sqrt(2.0L)); }
long double density(long double x) { return std::exp(-0.5L * x * x) / std::sqrt(2.0L * 3.14159265358979323846264338L); }

TEST(NormalDistributionDensity, MatchesTheClosedFormIntoTheTails) {
  for (double x : {0.0, 0.5, -1.0, 2.0, -5.5, 10.0, 20.0, -30.0, 37.5}) {
    // exp turns the rounding of x^2 / 2 into a relative error of up to x^2 eps / 2 unless it is compensated;
    // 4 eps allows for exp's and the product's own roundings.
    const long double reference = density(static_cast<long double>(x));
    EXPECT_NEAR(normal_distribution::density(x), static_cast<double>(reference),
                4.0 * std::numeric_limits<double>::epsilon() * static_cast<double>(reference))
        << x;
  }
  EXPECT_EQ(normal_distribution::density(0.0), 0.3989422804014327);
  EXPECT_EQ(normal_distribution::density(-1.3), normal_distribution::density(1.3));
  EXPECT_EQ(normal_distribution::density(45.0), 0.0);
  EXPECT_EQ(normal_distribution::density(-std::numeric_limits<double>::infinity()), 0.0);
  EXPECT_TRUE(std::isnan(normal_distribution::density(std::numeric_limits<double>::quiet_NaN())));
}

TEST(NormalDistributionQuantile, InvertsTheDistributionFunctionToFullPrecision) {
  std::vector<double> probabilities = {1e-310, 1e-300, 1e-100, 1e-20, 1e-10, 1e-5,     0.001,    0.02425, 0.1,
                                       0.3,    0.5,    0.5 + 1e-12, 0.7,  0.97575, 0.999, 1.0 - 1e-10, 1.0 - 1e-16};
  for (int i = 1; i < 1000; ++i) probabilities.push_back(i / 1000.0);

  for (double p : probabilities) {
    const double x = normal_distribution::quantile(p);
    ASSERT_TRUE(std::isfinite(x)) << p;
    // One Newton step in long double from x lands on the exact quantile to far below double precision; the
    // upper half is measured through its complement, which is exact there. 1e-15 relative is about four
    // units in the last place of x.
    const long double x_ld = x;
    const long double residual = p <= 0.5 ? lower_tail(x_ld) - static_cast<long double>(p)
                                          : static_cast<long double>(1.0 - p) - upper_tail(x_ld);
    const long double exact = x_ld - residual / density(x_ld);
    EXPECT_NEAR(x, static_cast<double>(exact), 1e-15 * std::abs(static_cast<double>(exact))) << "p = " << p;
  }
}

TEST(NormalDistributionQuantile, IsOddAboutOneHalfAndHandlesTheEnds) {
  EXPECT_EQ(normal_distribution::quantile(0.5), 0.0);
  // Dyadic p, so that 1 - p is exact.
  for (double p : {std::ldexp(1.0, -40), 0.0078125, 0.25, 0.375}) {
    EXPECT_EQ(normal_distribution::quantile(1.0 - p), -normal_distribution::quantile(p)) << p;
  }
  EXPECT_EQ(normal_distribution::quantile(0.0), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(normal_distribution::quantile(1.0), std::numeric_limits<double>::infinity());
  for (double p : {-0.1, 1.1, std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_TRUE(std::isnan(normal_distribution::quantile(p))) << p;
  }
}

}  // namespace
}  // namespace qavrek
