#include <gtest/gtest.h>

#include <ql/methods/finitedifferences/operators/numericaldifferentiation.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "Math/finite_difference.h"
#include "stencil_forms.h"

namespace qavrek {
namespace {

using namespace test;

// QuantLib's weights of the given derivative at offset 0 from the points at the given offsets.
std::vector<double> quantlib_weights(const std::vector<double>& offsets, size_t order) {
  QuantLib::Array x(offsets.size());
  std::copy(offsets.begin(), offsets.end(), x.begin());
  const QuantLib::NumericalDifferentiation derivative([](double) { return 0.0; }, order, x);
  return {derivative.weights().begin(), derivative.weights().end()};
}

// Both sides run the same recursion in a different order of operations; weights of size up to a few hundred
// (second derivatives over spacings of 0.05) agree to some ulps of the largest.
void expect_same_weights(const std::vector<double>& ours, const std::vector<double>& theirs, const std::string& what) {
  ASSERT_EQ(ours.size(), theirs.size()) << what;
  double scale = 1.0;
  for (double w : theirs) scale = std::max(scale, std::abs(w));
  for (size_t j = 0; j < ours.size(); ++j) EXPECT_NEAR(ours[j], theirs[j], 1e-12 * scale) << what << " weight " << j;
}

// A stretched axis with spacings from 0.05 to 0.6.
const std::vector<double> axis{-1.0, -0.4, -0.1, 0.0, 0.05, 0.12, 0.3, 0.75, 1.2, 1.5};

TEST(FiniteDifferenceAgainstQuantLib, AxisWeightsOfEveryPointAndWidth) {
  const size_t n = axis.size();
  for (size_t width : {3u, 5u}) {
    const size_t half = width / 2;
    std::vector<double> first(width * n), second(width * n);
    finite_difference::nonuniform_derivation(axis.data(), n, first.data(), second.data(), false, width);
    for (size_t i = 0; i < n; ++i) {
      const size_t lower = i >= half ? i - half : 0;
      const size_t upper = std::min(n - 1, i + half);
      std::vector<double> offsets, ours_first, ours_second;
      for (size_t j = lower; j <= upper; ++j) {
        offsets.push_back(axis[j] - axis[i]);
        ours_first.push_back(first[i * width + j + half - i]);
        ours_second.push_back(second[i * width + j + half - i]);
      }
      const std::string what = "width " + std::to_string(width) + " point " + std::to_string(i);
      expect_same_weights(ours_first, quantlib_weights(offsets, 1), "first, " + what);
      // Two points carry no second derivative (ours are 0; QuantLib refuses the stencil).
      if (offsets.size() > 2) expect_same_weights(ours_second, quantlib_weights(offsets, 2), "second, " + what);
    }
  }
}

TEST(FiniteDifferenceAgainstQuantLib, BoundaryStencils) {
  // A floating level just off the first grid point, then the next grid points inward, and the mirror.
  const std::vector<double> lower_end{0.02, 0.05, 0.12, 0.3, 0.75};
  const std::vector<double> upper_end{0.3, 0.75, 1.2, 1.5, 1.51};
  struct form {
    std::string name;
    const double* points;
    size_t count, index;
    bool has_second;
    stencil_form weights;
  };
  const std::vector<form> forms{{"five_0_lower", lower_end.data(), 3, 0, false, five_0},
                                {"five_0_upper", upper_end.data() + 2, 3, 2, false, five_0},
                                {"five_1_lower", lower_end.data(), 4, 1, false, five_1},
                                {"five_1_upper", upper_end.data() + 1, 4, 2, false, five_1},
                                {"three_mid", lower_end.data(), 3, 1, true, three_mid},
                                {"five_mid", upper_end.data(), 5, 2, true, five_mid}};
  for (const form& f : forms) {
    std::array<double, 5> first{}, second{};
    f.weights(f.points, f.index, first.data(), second.data());
    std::vector<double> offsets, ours_first, ours_second;
    for (size_t j = 0; j < f.count; ++j) {
      offsets.push_back(f.points[j] - f.points[f.index]);
      ours_first.push_back(first[2 + j - f.index]);
      ours_second.push_back(second[2 + j - f.index]);
    }
    expect_same_weights(ours_first, quantlib_weights(offsets, 1), f.name);
    if (f.has_second) expect_same_weights(ours_second, quantlib_weights(offsets, 2), f.name + " second");
  }
}

TEST(FiniteDifferenceAgainstQuantLib, HigherOrdersOfTheRecursion) {
  const std::vector<double> points{-0.3, -0.1, 0.0, 0.2, 0.25, 0.6, 0.9};
  const double at = 0.1;
  const size_t count = points.size(), max_order = 4;
  std::vector<double> weights((max_order + 1) * count);
  finite_difference::weights(at, points.data(), count, max_order, weights.data());
  std::vector<double> offsets;
  for (double p : points) offsets.push_back(p - at);
  for (size_t order = 1; order <= max_order; ++order) {
    const std::vector<double> ours(weights.begin() + long(order * count), weights.begin() + long((order + 1) * count));
    expect_same_weights(ours, quantlib_weights(offsets, order), "order " + std::to_string(order));
  }
}

}  // namespace
}  // namespace qavrek
