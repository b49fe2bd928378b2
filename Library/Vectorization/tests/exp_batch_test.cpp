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

// Inside [-708, 709] the saturated form is the plain exponential; beyond, it holds at the ends, so every
// result of a number is a finite normal number.
TEST(ExpBatch, SaturatedFormHoldsItsExponentWithinTheNormalRange) {
  std::mt19937_64 generator(11);
  std::uniform_real_distribution<double> uniform(-708.0, 709.0);
  std::vector<double> inside(10000);
  for (double& x : inside) x = uniform(generator);
  inside.insert(inside.end(), {-708.0, 709.0, 0.0, -1e-300});
  std::vector<double> saturated(inside.size());
  exp_batch_saturated(inside.data(), saturated.data(), inside.size());
  for (size_t i = 0; i < inside.size(); ++i) {
    ASSERT_LE(ulps(saturated[i], std::exp(inside[i])), 2.5) << "exp(" << inside[i] << ")";  // as above
  }

  const std::vector<double> beyond{709.5, 800.0, 1e300, infinity, -708.5, -800.0, -1e300, -infinity, nan};
  std::vector<double> y = beyond;
  exp_batch_saturated(y.data(), y.data(), y.size());  // in place
  const double highest = saturated[inside.size() - 3], lowest = saturated[inside.size() - 4];
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(y[i], highest) << beyond[i];
  for (size_t i = 4; i < 8; ++i) EXPECT_EQ(y[i], lowest) << beyond[i];
  EXPECT_TRUE(std::isnormal(highest));
  EXPECT_TRUE(std::isnormal(lowest));
  EXPECT_TRUE(std::isnan(y[8]));
}

}  // namespace
}  // namespace qavrek
