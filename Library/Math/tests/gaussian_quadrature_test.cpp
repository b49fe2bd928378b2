#include <gtest/gtest.h>

#include <boost/math/quadrature/gauss.hpp>
#include <boost/math/quadrature/gauss_kronrod.hpp>
#include <cmath>
#include <limits>
#include <string>

#include "Core/error.h"
#include "Math/gaussian_quadrature.h"

namespace qavrek {
namespace {

constexpr double epsilon = std::numeric_limits<double>::epsilon();

// Integral of x^k exp(-x^2) over the line: Gamma((k + 1) / 2) for even k, 0 for odd k.
double hermite_moment(int k) { return k % 2 == 1 ? 0.0 : std::tgamma(0.5 * (k + 1)); }

std::string message_of(auto&& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.what();
  }
  return {};
}

TEST(GaussHermite, IntegratesEveryMonomialUpToDegreeTwoNMinusOne) {
  for (size_t n = 1; n <= 40; ++n) {
    vector<double> roots, weights;
    gaussian_quadrature::gauss_hermite_coefficients(n, roots, weights, true, epsilon, 20);
    ASSERT_EQ(roots.size(), n);
    for (size_t i = 0; i < n; ++i) {
      EXPECT_GT(weights[i], 0.0) << n << " " << i;
      if (i > 0) {
        EXPECT_LT(roots[i - 1], roots[i]) << n << " " << i;
      }
      EXPECT_EQ(roots[i], -roots[n - 1 - i]) << n << " " << i;
    }
    for (int k = 0; k <= int(2 * n - 1); ++k) {
      double sum = 0.0;
      double magnitude = 0.0;
      for (size_t i = 0; i < n; ++i) {
        const double term = weights[i] * std::pow(roots[i], k);
        sum += term;
        magnitude += std::abs(term);
      }
      // Each term carries a few roundings of its weight and of its root, k of them through the power; the
      // sum adds n terms, so the error scales with the sum of the terms' sizes.
      const double tolerance = 4.0 * (k + 4) * double(n) * epsilon * magnitude;
      EXPECT_NEAR(sum, hermite_moment(k), tolerance) << "n " << n << " k " << k;
    }
  }
}

// Without the Newton polish the weights come from the eigenvectors, whose error is a few epsilon of the
// largest component: accurate in absolute terms only, which is what the polish is for.
TEST(GaussHermite, EigenvectorRuleAgreesWithThePolishedOneInAbsoluteTerms) {
  for (size_t n : {1u, 2u, 5u, 8u, 20u, 40u}) {
    vector<double> roots, weights, polished_roots, polished_weights;
    gaussian_quadrature::gauss_hermite_coefficients(n, roots, weights, false, epsilon, 20);
    gaussian_quadrature::gauss_hermite_coefficients(n, polished_roots, polished_weights, true, epsilon, 20);
    for (size_t i = 0; i < n; ++i) {
      // Roots to a few epsilon of the largest (below 9 for n = 40), weights of sqrt(pi).
      EXPECT_NEAR(roots[i], polished_roots[i], 1e-13) << n << " " << i;
      EXPECT_NEAR(weights[i], polished_weights[i], 1e-14) << n << " " << i;
    }
  }
}

TEST(GaussHermite, RejectsBadArguments) {
  vector<double> roots, weights;
  EXPECT_NE(message_of([&] { gaussian_quadrature::gauss_hermite_coefficients(0, roots, weights, true, epsilon, 20); }),
            "");
  vector<double> short_roots(3), fitting_weights(4);
  EXPECT_NE(message_of([&] {
              gaussian_quadrature::gauss_hermite_coefficients(4, short_roots, fitting_weights, true, epsilon, 20);
            }),
            "");
  EXPECT_NE(message_of([&] { gaussian_quadrature::gauss_hermite_coefficients(4, roots, weights, true, -1.0, 20); }), "");
}

// Kronrod rules are exact to degree 3n + 1 (3n + 2 for odd n), their Gauss rules to 2n - 1.
TEST(GaussKronrod, IntegratesMonomialsUpToItsDegreeAndItsGaussRuleUpToTwoNMinusOne) {
  for (size_t n = 1; n <= gaussian_quadrature::max_kronrod_order; ++n) {
    vector<double> nodes, weights, gauss_weights;
    gaussian_quadrature::gauss_kronrod(n, nodes, weights, gauss_weights, 1e-14, 20);
    ASSERT_EQ(nodes.size(), n + 1);
    EXPECT_EQ(nodes[n], 0.0);
    for (size_t k = 1; k <= n; ++k) {
      EXPECT_GT(nodes[k - 1], nodes[k]) << n << " " << k;
    }
    EXPECT_LT(nodes[0], 1.0);

    const auto rule = [&](const vector<double>& w, int degree) {
      double sum = w[n] * (degree == 0 ? 1.0 : 0.0);
      for (size_t k = 0; k < n; ++k) sum += w[k] * (std::pow(nodes[k], degree) + std::pow(-nodes[k], degree));
      return sum;
    };
    const int kronrod_degree = int(3 * n + 1 + n % 2);
    // Weights and nodes are below 1 in size and at most 2n + 1 terms are added: a few epsilon each.
    const double tolerance = 8.0 * double(2 * n + 1) * epsilon;
    for (int degree = 0; degree <= kronrod_degree; ++degree) {
      const double exact = degree % 2 == 1 ? 0.0 : 2.0 / (degree + 1);
      EXPECT_NEAR(rule(weights, degree), exact, tolerance) << "Kronrod n " << n << " degree " << degree;
      if (degree <= int(2 * n - 1)) {
        EXPECT_NEAR(rule(gauss_weights, degree), exact, tolerance) << "Gauss n " << n << " degree " << degree;
      }
    }
    // Exactly n Gauss nodes among the 2n + 1.
    size_t gauss_nodes = gauss_weights[n] != 0.0 ? 1 : 0;
    for (size_t k = 0; k < n; ++k) gauss_nodes += gauss_weights[k] != 0.0 ? 2 : 0;
    EXPECT_EQ(gauss_nodes, n);
  }
}

template <unsigned N>
void expect_boost_rule() {
  using kronrod = boost::math::quadrature::gauss_kronrod<double, 2 * N + 1>;
  using gauss = boost::math::quadrature::gauss<double, N>;
  // The caller's layout: n + 1 nodes, 2n + 1 weights of which the routine writes the first n + 1.
  vector<double> nodes(N + 1), weights(2 * N + 1), gauss_weights(N + 1);
  gaussian_quadrature::gauss_kronrod(N, nodes, weights, gauss_weights, 1e-14, 20);
  for (size_t k = N + 1; k < weights.size(); ++k) EXPECT_EQ(weights[k], 0.0) << k;
  for (size_t k = 0; k < N; ++k) weights[2 * N - k] = weights[k];
  // Ascending full rule: node -nodes[k] for k <= N, then nodes[2N - k].
  double kronrod_sum = 0.0;
  for (size_t k = 0; k <= 2 * N; ++k) kronrod_sum += weights[k];
  EXPECT_NEAR(kronrod_sum, 2.0, 1e-14);
  for (size_t i = 0; i <= N; ++i) {
    EXPECT_NEAR(nodes[N - i], kronrod::abscissa()[i], 1e-15) << i;
    EXPECT_NEAR(weights[N - i], kronrod::weights()[i], 1e-15) << i;
  }
  for (size_t g = 0; g < gauss::abscissa().size(); ++g) {
    // Boost's Gauss node g sits at Kronrod position 2g (odd N, from 0) or 2g + 1 (even N).
    const size_t i = N % 2 == 1 ? 2 * g : 2 * g + 1;
    EXPECT_NEAR(nodes[N - i], gauss::abscissa()[g], 1e-15) << g;
    EXPECT_NEAR(gauss_weights[N - i], gauss::weights()[g], 1e-15) << g;
  }
}

TEST(GaussKronrod, EqualsBoostsThirtyOneAndFortyNinePointRules) {
  expect_boost_rule<15>();
  expect_boost_rule<24>();
}

TEST(GaussKronrod, RejectsOrdersOutsideItsTablesAndShortOutputs) {
  vector<double> nodes, weights, gauss_weights;
  EXPECT_NE(message_of([&] { gaussian_quadrature::gauss_kronrod(0, nodes, weights, gauss_weights, 1e-14, 20); }), "");
  EXPECT_NE(message_of([&] {
              gaussian_quadrature::gauss_kronrod(gaussian_quadrature::max_kronrod_order + 1, nodes, weights,
                                                 gauss_weights, 1e-14, 20);
            }),
            "");
  vector<double> short_nodes(15), fine_weights(31), fine_gauss(16);
  EXPECT_NE(
      message_of([&] { gaussian_quadrature::gauss_kronrod(15, short_nodes, fine_weights, fine_gauss, 1e-14, 20); }), "");
}

}  // namespace
}  // namespace qavrek
