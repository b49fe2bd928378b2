#include "Vectorization/exp_batch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace qavrek {
namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// |y - reference| in units of the last place of the reference (subnormal spacing below the normal range).
double ulps(double y, double reference) {
  const double spacing = std::nextafter(reference, infinity) - reference;
  return std::abs(y - reference) / spacing;
}

// std::exp is correctly rounded in all but rare cases (within 0.5 ulp plus a hair), so 2.5 ulps from it
// bound the batch's own error of 2 ulps.
TEST(ExpBatch, AgreesWithTheLibraryExponentialOverTheWholeRange) {
  std::mt19937_64 generator(7);
  std::vector<double> x;
  for (const auto& [low, high] : {std::pair{-745.1, 709.7}, std::pair{-1.0, 1.0}, std::pair{-1e-6, 1e-6},
                                  std::pair{-745.13, -708.0}, std::pair{700.0, 709.78}}) {
    std::uniform_real_distribution<double> uniform(low, high);
    for (int i = 0; i < 20000; ++i) x.push_back(uniform(generator));
  }
  // Multiples of ln 2 and their neighbours, where the reduction changes its integer part.
  for (int k = -1074; k <= 1023; k += 7) {
    const double t = k * 0.6931471805599453;
    x.insert(x.end(), {t, std::nextafter(t, -infinity), std::nextafter(t, infinity), t + 0.34657359027997264});
  }
  std::vector<double> y(x.size());
  exp_batch(x.data(), y.data(), x.size());
  for (size_t i = 0; i < x.size(); ++i) {
    ASSERT_LE(ulps(y[i], std::exp(x[i])), 2.5) << "exp(" << x[i] << ") = " << y[i] << " against " << std::exp(x[i]);
  }
}

TEST(ExpBatch, EndsOfTheRangeAndSpecialValues) {
  const std::vector<double> x{0.0, -0.0, infinity, -infinity, nan, 709.79, 1000.0, -745.14, -1e4, 709.78, -745.13};
  std::vector<double> y = x;
  exp_batch(y.data(), y.data(), y.size());  // in place
  EXPECT_EQ(y[0], 1.0);
  EXPECT_EQ(y[1], 1.0);
  EXPECT_EQ(y[2], infinity);
  EXPECT_EQ(y[3], 0.0);
  EXPECT_TRUE(std::isnan(y[4]));
  EXPECT_EQ(y[5], infinity);
  EXPECT_EQ(y[6], infinity);
  EXPECT_EQ(y[7], 0.0);
  EXPECT_EQ(y[8], 0.0);
  // The largest finite results and the smallest subnormal ones, within the same 2.5 ulps of std::exp.
  EXPECT_LE(ulps(y[9], std::exp(709.78)), 2.5);
  EXPECT_LE(ulps(y[10], std::exp(-745.13)), 2.5);
  EXPECT_GT(y[10], 0.0);

  // Lengths that leave a scalar tail after the vector loop, and nothing at all.
  for (size_t n : {size_t{0}, size_t{1}, size_t{7}, size_t{33}}) {
    std::vector<double> in(n), out(n, -1.0);
    for (size_t i = 0; i < n; ++i) in[i] = 0.37 * static_cast<double>(i) - 3.0;
    exp_batch(in.data(), out.data(), n);
    for (size_t i = 0; i < n; ++i) EXPECT_LE(ulps(out[i], std::exp(in[i])), 2.5) << n << ", " << i;
  }
}

}  // namespace
}  // namespace qavrek
