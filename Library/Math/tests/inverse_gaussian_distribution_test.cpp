#include <gtest/gtest.h>

#include <boost/math/distributions/inverse_gaussian.hpp>
#include <boost/math/quadrature/gauss_kronrod.hpp>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "Core/tests/test_names.h"
#include "Math/inverse_gaussian_distribution.h"

namespace qavrek {
namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

// P(tau <= x / lambda) by quadrature of the first-passage density of a Brownian motion with drift lambda to
// level 1, exp(-(1 - lambda t)^2 / (2 t)) / sqrt(2 pi t^3): the quantity the swaption price integrates,
// for either sign of lambda. For lambda > 0 the variable z = lambda t puts the peak at 1 with a width of
// 1 / sqrt(lambda); the range is cut there into pieces the adaptive rule resolves.
double first_passage_probability(double x, double lambda) {
  const double scale = lambda > 0.0 ? lambda : 1.0;  // z = scale t
  const auto density = [lambda, scale](double z) {
    if (z <= 0.0) return 0.0;
    const double t = z / scale;
    const double miss = 1.0 - lambda * t;
    return std::exp(-miss * miss / (2.0 * t)) / std::sqrt(2.0 * M_PI * t * t * t) / scale;
  };
  const double end = x / lambda * scale;
  std::vector<double> cuts = {0.0};
  if (lambda > 0.0) {
    for (int k = -12; k <= 12; ++k) {
      const double cut = 1.0 + k / std::sqrt(lambda);
      if (cut > cuts.back() && cut < end) cuts.push_back(cut);
    }
  }
  cuts.push_back(end);

  using rule = boost::math::quadrature::gauss_kronrod<double, 61>;
  double total = 0.0;
  for (size_t i = 1; i < cuts.size(); ++i) total += rule::integrate(density, cuts[i - 1], cuts[i], 12, 1e-14);
  return total;
}

struct grid_point {
  double x;
  double lambda;
};

void PrintTo(const grid_point& p, std::ostream* out) { *out << "x = " << p.x << ", lambda = " << p.lambda; }

std::string grid_point_name(const ::testing::TestParamInfo<grid_point>& info) {
  return "x_" + test_names::number(info.param.x) + "_lambda_" + test_names::number(info.param.lambda);
}

class InverseGaussianCdf : public ::testing::TestWithParam<grid_point> {};

TEST_P(InverseGaussianCdf, MatchesTheFirstPassageIntegral) {
  const auto [x, lambda] = GetParam();
  const double reference = first_passage_probability(x, lambda);
  // The adaptive rule is asked for 1e-14 relative on each smooth piece; 1e-12 adds the closed form's own
  // rounding, which exp(-below^2 / 2) amplifies by below^2 eps, ~1e-13 at most on this grid.
  EXPECT_NEAR(inverse_gaussian_distribution::cdf(x, lambda), reference, 1e-12 * reference + 1e-300);
}

INSTANTIATE_TEST_SUITE_P(
    PositiveShape, InverseGaussianCdf,
    ::testing::Values(grid_point{0.05, 0.5}, grid_point{0.3, 1.0}, grid_point{1.0, 1.0}, grid_point{2.5, 0.2},
                      grid_point{0.2, 10.0}, grid_point{1.0, 50.0}, grid_point{0.97, 300.0},
                      // Beyond lambda of about 340 near x = 1 the reflected term takes the asymptotic series.
                      grid_point{1.0, 400.0}, grid_point{1.02, 1e4}, grid_point{0.98, 1e4}),
    grid_point_name);

INSTANTIATE_TEST_SUITE_P(
    NegativeShape, InverseGaussianCdf,
    ::testing::Values(grid_point{-0.3, -0.5}, grid_point{-1.0, -0.5}, grid_point{-6.0, -2.0},
                      grid_point{-0.5, -1.5}, grid_point{-40.0, -4.0}),
    grid_point_name);

TEST(InverseGaussianCdfReference, AgreesWithBoostsInverseGaussian) {
  for (double lambda : {0.1, 0.5, 1.0, 3.0, 10.0, 50.0}) {
    const boost::math::inverse_gaussian law(1.0, lambda);
    for (double x : {0.05, 0.3, 0.8, 1.0, 1.5, 3.0, 10.0}) {
      const double reference = boost::math::cdf(law, x);
      // Both sum two positive terms, each to a few ulps; exp(-below^2 / 2) turns the rounding of below into a
      // relative error of below^2 eps (below^2 <= 900 here, 2e-13): 1e-12 covers it. Larger shapes are left
      // to the quadrature: there Boost's exp(2 lambda) Phi(-above) loses the second term to underflow.
      EXPECT_NEAR(inverse_gaussian_distribution::cdf(x, lambda), reference, 1e-12 * reference)
          << "x = " << x << ", lambda = " << lambda;
    }
  }
}

TEST(InverseGaussianCdfLimits, HasTheRightMassAndSupport) {
  EXPECT_EQ(inverse_gaussian_distribution::cdf(infinity, 2.0), 1.0);
  EXPECT_NEAR(inverse_gaussian_distribution::cdf(1e12, 2.0), 1.0, 1e-15);  // continuity towards the limit
  // With a negative drift the level is reached with probability exp(2 lambda).
  EXPECT_DOUBLE_EQ(inverse_gaussian_distribution::cdf(-infinity, -1.0), std::exp(-2.0));
  EXPECT_NEAR(inverse_gaussian_distribution::cdf(-1e12, -1.0), std::exp(-2.0), 1e-15);
  // No time: x / lambda <= 0.
  for (double x : {0.0, -1.0}) EXPECT_EQ(inverse_gaussian_distribution::cdf(x, 2.0), 0.0);
  for (double x : {0.0, 1.0}) EXPECT_EQ(inverse_gaussian_distribution::cdf(x, -2.0), 0.0);
  // No overflow of exp(2 lambda) and no loss of the reflected term for a very large shape: at x = 1,
  // F = 1/2 + exp(2 lambda) Phi(-2 sqrt(lambda)), and Mills' ratio gives the second term as
  // (1 - 1 / (4 lambda) + O(lambda^-2)) / (2 sqrt(2 pi lambda)); the omitted term is ~1e-21 here.
  const double lambda = 1e8;
  EXPECT_NEAR(inverse_gaussian_distribution::cdf(1.0, lambda),
              0.5 + (1.0 - 0.25 / lambda) / (2.0 * std::sqrt(2.0 * M_PI * lambda)), 1e-15);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const auto& [x, lambda] : {grid_point{nan, 1.0}, grid_point{1.0, nan}, grid_point{1.0, 0.0},
                                  grid_point{1.0, infinity}}) {
    EXPECT_TRUE(std::isnan(inverse_gaussian_distribution::cdf(x, lambda))) << x << " " << lambda;
  }
}

TEST(InverseGaussianCdfLimits, RisesWithXInBothRegimes) {
  for (double lambda : {-3.0, -0.2, 0.2, 3.0, 700.0}) {
    double previous = 0.0;
    for (int i = 1; i <= 400; ++i) {
      const double time = 0.01 * i * (lambda > 0 ? 1.0 / lambda : 1.0);
      const double value = inverse_gaussian_distribution::cdf(time * lambda, lambda);
      EXPECT_GE(value, previous) << "lambda = " << lambda << ", t = " << time;
      previous = value;
    }
  }
}

}  // namespace
}  // namespace qavrek
