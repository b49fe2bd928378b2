#include "Random/inverse_normal_cdf.h"

#include <gtest/gtest.h>

#include <boost/math/distributions/normal.hpp>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace qavrek {
namespace {

double boost_quantile(double p) { return boost::math::quantile(boost::math::normal_distribution<double>(), p); }

// Probabilities from the deep lower tail through the centre to the upper tail, including the extreme
// midpoints of 32-bit words that the generators feed in.
std::vector<double> probabilities() {
  std::vector<double> p;
  for (int e = -300; e <= -1; ++e) p.push_back(std::pow(10.0, e));
  for (int i = 1; i < 1000; ++i) p.push_back(i / 1000.0 + 1e-4 * std::sin(i));  // not on a regular grid
  for (int e = -1; e >= -16; --e) p.push_back(1.0 - std::pow(10.0, e));
  p.push_back(word_to_open_uniform(0));
  p.push_back(word_to_open_uniform(0xffffffffu));
  p.push_back(0.5);
  return p;
}

TEST(InverseNormalCdf, MatchesBoostToFullPrecision) {
  for (double p : probabilities()) {
    const double expected = boost_quantile(p);
    // A few units in the last place: the final Halley step is exact up to the rounding of erfc and exp; near
    // the median the quantile is small and its error is measured against 1 instead.
    const double tolerance = 8.0 * std::numeric_limits<double>::epsilon() * std::max(1.0, std::abs(expected));
    EXPECT_NEAR(inverse_normal_cdf(p), expected, tolerance) << "p = " << p;
  }
}

TEST(InverseNormalCdf, IsExactlyOddAboutTheMedian) {
  // Opposite words give opposite Gaussians bit for bit, which keeps symmetric point sets exactly balanced.
  for (std::uint64_t w = 0; w < (std::uint64_t(1) << 32); w += 65537 * 13) {
    const auto word = static_cast<std::uint32_t>(w);
    EXPECT_EQ(inverse_normal_cdf(word_to_open_uniform(word)), -inverse_normal_cdf(word_to_open_uniform(~word)));
  }
  EXPECT_EQ(inverse_normal_cdf(0.5), 0.0);
}

TEST(InverseNormalCdf, EndsAndInvalidProbabilities) {
  EXPECT_EQ(inverse_normal_cdf(0.0), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(inverse_normal_cdf(1.0), std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(inverse_normal_cdf(-0.25)));
  EXPECT_TRUE(std::isnan(inverse_normal_cdf(1.25)));
  EXPECT_TRUE(std::isnan(inverse_normal_cdf(std::numeric_limits<double>::quiet_NaN())));
  EXPECT_TRUE(std::isfinite(inverse_normal_cdf(std::numeric_limits<double>::denorm_min())));
}

}  // namespace
}  // namespace qavrek
