#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include <ql/math/integrals/gaussianquadratures.hpp>

#include "Math/gaussian_quadrature.h"

namespace qavrek {
namespace {

// QuantLib's rule integrates f itself, so its weights carry the factor exp(x^2) that ours leave in the
// weight function: ours are its weights times exp(-x^2).
TEST(GaussHermiteQuantLib, NodesAndWeightsEqualQuantLibs) {
  for (size_t n = 1; n <= 40; ++n) {
    vector<double> roots, weights;
    gaussian_quadrature::gauss_hermite_coefficients(n, roots, weights, true, std::numeric_limits<double>::epsilon(), 20);
    QuantLib::GaussHermiteIntegration reference(n);
    std::vector<std::pair<double, double>> rule;
    for (size_t i = 0; i < n; ++i) {
      const double x = reference.x()[i];
      rule.emplace_back(x, reference.weights()[i] * std::exp(-x * x));
    }
    std::sort(rule.begin(), rule.end());
    for (size_t i = 0; i < n; ++i) {
      // QuantLib takes its rule from the eigen-decomposition alone: roots good to a few epsilon of the
      // largest (about 8 for n = 40), weights to a few epsilon of sqrt(pi); 1e-13 leaves room for both.
      EXPECT_NEAR(roots[i], rule[i].first, 1e-13) << "n " << n << " root " << i;
      EXPECT_NEAR(weights[i], rule[i].second, 1e-13) << "n " << n << " weight " << i;
    }
  }
}

}  // namespace
}  // namespace qavrek
