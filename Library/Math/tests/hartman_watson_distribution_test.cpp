// The law of Z = m_c / R_c, m = exp(B - tau / 2) on [0, c] and R its integral of m^2, as the quadrature
// of cheyette_density gives it: against the exact moments of 1/Z = R / m and against a Monte Carlo of
// the defining paths.

#include "Math/hartman_watson_distribution.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "Core/error.h"
#include "Math/gaussian_quadrature.h"

namespace qavrek {
namespace {

// The (2n + 1)-point Gauss-Kronrod rule as the Cheyette model keeps it: n + 1 nodes, 2n + 1 mirrored weights.
struct kronrod_rule {
  vector<double> nodes, weights;
  explicit kronrod_rule(size_t n) : nodes(n + 1), weights(2 * n + 1) {
    vector<double> gauss(n + 1);
    gaussian_quadrature::gauss_kronrod(n, nodes, weights, gauss, 1e-14, 20);
    for (size_t k = 0; k < n; ++k) weights[2 * n - k] = weights[k];
  }
};

struct law {
  vector<double> weights, nodes;
  explicit law(double variance) {
    static const kronrod_rule rule(15), fine(24);
    hartman_watson_distribution::cheyette_density(weights, nodes, variance, rule.nodes, rule.weights, fine.nodes,
                                                  fine.weights);
  }
  template <class F>
  double expectation(F&& f) const {
    double sum = 0.0;
    for (size_t k = 0; k < nodes.size(); ++k) sum += weights[k] * f(nodes[k]);
    return sum;
  }
};

std::string message_of(auto&& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.what();
  }
  return {};
}

// E[R / m] = integral of E[m_u^2 / m_c] du = integral of e^(c - u) du = e^c - 1 = M, and in the same way
// E[(R / m)^2] = (e^(3c) + 2) / 3 - e^c, so Var(1/Z) = M^3 / 3: closed forms of the paths, not of the
// density.
TEST(CheyetteDensity, IntegratesToOneWithTheExactMomentsOfItsInverse) {
  struct moment_case {
    double variance;
    double mass_tolerance;
    double moment_tolerance;  // relative, on E[1/Z] and Var(1/Z)
  };
  // The mass is exact to the outer rule's accuracy, about 1e-11 (1e-9 with margin; 1e-8 at c = 3, where
  // log Z spreads over 60 units). The moments of 1/Z weight the upper tail of 1/Z, which the quadrature
  // cuts where the density falls below e^-25 of its peak; for c <= 1 the relative error stays below 1e-7
  // on the mean and 1e-6 on the variance (as measured, with a factor 10 of margin), and grows for larger
  // c, whose 1/Z has a lognormal-like tail of variance ~ e^(3c).
  const moment_case cases[] = {
      {1e-12, 1e-9, 1e-6}, {1e-6, 1e-9, 1e-6}, {1e-3, 1e-9, 1e-6}, {0.05, 1e-9, 1e-6},
      {0.3, 1e-9, 1e-6},   {1.0, 1e-9, 1e-5},  {3.0, 1e-8, 1e-1},
  };
  for (const moment_case& m : cases) {
    SCOPED_TRACE("variance " + std::to_string(m.variance));
    const law z(m.variance);
    ASSERT_EQ(z.nodes.size(), 31u);
    for (size_t k = 0; k < 31; ++k) {
      EXPECT_GT(z.nodes[k], 0.0);
      EXPECT_GE(z.weights[k], 0.0);
      if (k > 0) {
        EXPECT_LT(z.nodes[k], z.nodes[k - 1]);
      }
    }
    EXPECT_NEAR(z.expectation([](double) { return 1.0; }), 1.0, m.mass_tolerance);
    const double M = std::expm1(m.variance);
    const double mean = z.expectation([](double x) { return 1.0 / x; });
    EXPECT_NEAR(mean / M, 1.0, m.moment_tolerance);
    // The variance as the mean of squared deviations, which keeps its digits at small c.
    const double variance = z.expectation([&](double x) { return (1.0 / x - mean) * (1.0 / x - mean); });
    if (m.variance >= 1e-6) {
      EXPECT_NEAR(variance / (M * M * M / 3.0), 1.0, 10.0 * m.moment_tolerance);
    }
  }
}

// Monte Carlo of the paths: log m exact on a grid of 400 steps, R by the trapezoid rule, whose relative
// bias in E[Z] and Var(Z) is O(1/400^2), below 1e-5 here and far below the standard errors (a few 1e-3).
TEST(CheyetteDensity, MeanAndVarianceAgreeWithAMonteCarloOfThePaths) {
  constexpr size_t paths = 20000;
  constexpr size_t steps = 400;
  std::mt19937_64 generator(20240115);
  std::normal_distribution<double> normal;
  for (double c : {0.04, 0.5, 2.0}) {
    SCOPED_TRACE("variance " + std::to_string(c));
    const double dt = c / steps;
    const double root_dt = std::sqrt(dt);
    std::vector<double> z(paths);
    for (double& value : z) {
      double log_m = 0.0, m_squared = 1.0, R = 0.0;
      for (size_t s = 0; s < steps; ++s) {
        log_m += root_dt * normal(generator) - 0.5 * dt;
        const double next = std::exp(2.0 * log_m);
        R += 0.5 * dt * (m_squared + next);
        m_squared = next;
      }
      value = std::exp(log_m) / R;
    }
    double mean = 0.0;
    for (double value : z) mean += value;
    mean /= paths;
    double second = 0.0, fourth = 0.0;
    for (double value : z) {
      const double d = (value - mean) * (value - mean);
      second += d;
      fourth += d * d;
    }
    const double variance = second / (paths - 1);
    const double mean_error = std::sqrt(variance / paths);
    // The sample variance's standard error from the fourth central moment.
    const double variance_error = std::sqrt((fourth / paths - variance * variance) / paths);

    const law quadrature(c);
    const double expected_mean = quadrature.expectation([](double x) { return x; });
    const double expected_variance =
        quadrature.expectation([&](double x) { return (x - expected_mean) * (x - expected_mean); });
    EXPECT_NEAR(mean, expected_mean, 4.0 * mean_error);
    EXPECT_NEAR(variance, expected_variance, 4.0 * variance_error);
  }
}

TEST(CheyetteDensity, RefusesVariancesOutsideItsRangeAndMismatchedRules) {
  const kronrod_rule rule(15), fine(24);
  vector<double> weights, nodes;
  for (double variance : {0.0, -0.1, 1e-101, 101.0, std::nan("")}) {
    EXPECT_NE(message_of([&] {
                hartman_watson_distribution::cheyette_density(weights, nodes, variance, rule.nodes, rule.weights,
                                                              fine.nodes, fine.weights);
              }).find("is outside [1e-100, 100]"),
              std::string::npos)
        << variance;
  }
  vector<double> short_weights(30);
  EXPECT_NE(message_of([&] {
              hartman_watson_distribution::cheyette_density(weights, nodes, 0.1, rule.nodes, short_weights, fine.nodes,
                                                            fine.weights);
            }).find("the rule has 16 nodes and 30 weights"),
            std::string::npos);
  vector<double> view_storage(5);
  vector<double> view = vector<double>::view(view_storage.data(), 5);
  EXPECT_NE(message_of([&] {
              hartman_watson_distribution::cheyette_density(view, nodes, 0.1, rule.nodes, rule.weights, fine.nodes,
                                                            fine.weights);
            }).find("is a view of 5 values"),
            std::string::npos);
}

}  // namespace
}  // namespace qavrek
