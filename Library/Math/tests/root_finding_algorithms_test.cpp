#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Core/error.h"
#include "Math/root_finding_algorithms.h"

namespace qavrek {
namespace {

constexpr double epsilon = std::numeric_limits<double>::epsilon();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

struct brent_case {
  std::string name;
  std::function<double(double)> f;
  double lower, upper, start, target, tol1, tol2;
  size_t max_iterations;
  bool found;
  double root;            // expected root (when found)
  double root_tolerance;  // how close the returned root must be
};

void PrintTo(const brent_case& c, std::ostream* out) { *out << c.name; }

// Keeps where f was last evaluated and how often.
struct recording_function {
  std::function<double(double)> f;
  double last = nan;
  int calls = 0;

  std::function<double(double)> wrapped() {
    return [this](double x) {
      last = x;
      ++calls;
      return f(x);
    };
  }
};

std::vector<brent_case> cases() {
  const auto wallis = [](double x) { return (x * x - 2.0) * x - 5.0; };
  const double wallis_root = 2.0945514815423265;  // of x^3 - 2x - 5 (Wallis), correctly rounded
  // The theta of the two-dimensional splitting scheme: 2t(2 - t) = 1 at t = 1 - 1/sqrt(2).
  const auto theta_2 = [](double t) { return std::fma(2.0 * t, 2.0 - t, -1.0); };
  const double theta_2_root = 1.0 - std::sqrt(0.5);
  return {
      // Both tolerances at machine precision: the bracket closes to a few units in the last place.
      {"polynomial", wallis, 2.0, 3.0, nan, 0.0, 0.0, epsilon, 50, true, wallis_root, 4.0 * epsilon * wallis_root},
      {"exponential_with_target", [](double x) { return std::exp(x); }, -1.0, 3.0, 0.3, 2.0, 0.0, epsilon, 50, true,
       std::log(2.0), 4.0 * epsilon},
      {"theta_from_the_upper_end", theta_2, 0.0, 0.5, 0.5, 0.0, epsilon, epsilon, 50, true, theta_2_root,
       4.0 * epsilon},
      // A triple root: residuals vanish like (x - r)^3, so only the relative x tolerance (1e-10) can stop it.
      {"nearly_flat_triple_root", [](double x) { return std::pow(x - 0.7, 3.0); }, 0.0, 2.0, nan, 0.0, 0.0, 1e-10,
       200, true, 0.7, 4e-10 * 0.7},
      // A slope of 1e-12: the residual tolerance 1e-20 means |x - r| <= 1e-8.
      {"nearly_flat_shallow_slope", [](double x) { return 1e-12 * (x - M_PI); }, 0.0, 10.0, nan, 0.0, 1e-20, 0.0, 50,
       true, M_PI, 1e-8},
      {"loose_residual_tolerance", wallis, 2.0, 3.0, nan, 0.0, 1e-3, 0.0, 50, true, wallis_root, 1e-3 / 11.0},
      {"root_at_the_lower_end", [](double x) { return x - 1.0; }, 1.0, 2.0, nan, 0.0, 0.0, epsilon, 50, true, 1.0,
       0.0},
      {"root_at_the_upper_end", [](double x) { return x * x - 4.0; }, 0.0, 2.0, 1.0, 0.0, 0.0, epsilon, 50, true, 2.0,
       0.0},
      {"start_outside_the_bracket", wallis, 2.0, 3.0, 10.0, 0.0, 0.0, epsilon, 50, true, wallis_root,
       4.0 * epsilon * wallis_root},
      {"reversed_bracket", wallis, 3.0, 2.0, nan, 0.0, 0.0, epsilon, 50, true, wallis_root,
       4.0 * epsilon * wallis_root},
      {"start_on_the_root", [](double x) { return x - 0.25; }, 0.0, 1.0, 0.25, 0.0, 0.0, epsilon, 50, true, 0.25, 0.0},
      // The ends agree in sign, but the start shows the change on [-1, 0].
      {"sign_change_seen_from_the_start", [](double x) { return x * x - 0.25; }, -1.0, 1.0, 0.0, 0.0, 0.0, epsilon,
       50, true, -0.5, 4.0 * epsilon},
      {"no_sign_change", [](double x) { return x * x - 0.25; }, -1.0, 1.0, nan, 0.0, 0.0, epsilon, 50, false, nan,
       0.0},
      {"no_root_at_all", [](double x) { return x * x + 1.0; }, -1.0, 2.0, 0.5, 0.0, 0.0, epsilon, 50, false, nan,
       0.0},
      {"too_few_iterations", wallis, 2.0, 3.0, nan, 0.0, 0.0, epsilon, 2, false, nan, 0.0},
      {"function_gives_nan", [](double x) { return x > 2.5 ? nan : (x * x - 2.0) * x - 5.0; }, 2.0, 3.0, nan, 0.0, 0.0,
       epsilon, 50, false, nan, 0.0},
  };
}

class Brent : public ::testing::TestWithParam<brent_case> {};

TEST_P(Brent, FindsTheRootOrSaysItCannot) {
  const brent_case& c = GetParam();
  recording_function f{c.f};
  double root = c.start;
  const bool found =
      root_finding_algorithms::brent(f.wrapped(), c.lower, c.upper, root, c.target, c.tol1, c.tol2, c.max_iterations);

  EXPECT_EQ(found, c.found);
  if (c.found) {
    EXPECT_NEAR(root, c.root, c.root_tolerance);
  }
  EXPECT_GE(root, std::min(c.lower, c.upper));
  EXPECT_LE(root, std::max(c.lower, c.upper));
  // Side effects of f (a calibration writes the trial value into its parameters) match the returned root.
  EXPECT_EQ(f.last, root);
  // Each iteration costs one evaluation, besides the start, the two ends and a last one at the returned point.
  EXPECT_LE(f.calls, static_cast<int>(c.max_iterations) + 4);
}

INSTANTIATE_TEST_SUITE_P(Table, Brent, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return info.param.name; });

TEST(BrentStart, AStartOnTheRootCostsOneEvaluation) {
  recording_function f{[](double x) { return std::log(x); }};
  double root = 1.0;
  EXPECT_TRUE(root_finding_algorithms::brent(f.wrapped(), 0.5, 4.0, root, 0.0, 1e-12, epsilon, 50));
  EXPECT_EQ(root, 1.0);
  EXPECT_EQ(f.calls, 1);
}

TEST(BrentStart, AStartNearTheRootSavesIterations) {
  // The credit calibration restarts every date next to the previous root.
  const auto f = [](double x) { return std::expm1(x) - 0.5; };
  recording_function cold{f}, warm{f};
  double cold_root = nan, warm_root = std::log1p(0.5) + 1e-3;
  ASSERT_TRUE(root_finding_algorithms::brent(cold.wrapped(), -5.0, 5.0, cold_root, 0.0, 1e-14, epsilon, 50));
  ASSERT_TRUE(root_finding_algorithms::brent(warm.wrapped(), -5.0, 5.0, warm_root, 0.0, 1e-14, epsilon, 50));
  EXPECT_LT(warm.calls, cold.calls);
  EXPECT_NEAR(warm_root, cold_root, 1e-14);  // both within the residual tolerance of a unit-slope function
}

TEST(BrentErrors, RejectsBadArgumentsAndPassesExceptionsThrough) {
  const auto f = [](double x) { return x; };
  double root = nan;
  EXPECT_THROW(root_finding_algorithms::brent(f, nan, 1.0, root, 0.0, 0.0, epsilon, 50), Error);
  EXPECT_THROW(root_finding_algorithms::brent(f, -1.0, std::numeric_limits<double>::infinity(), root, 0.0, 0.0,
                                              epsilon, 50),
               Error);
  EXPECT_THROW(root_finding_algorithms::brent(f, -1.0, 1.0, root, 0.0, -1.0, epsilon, 50), Error);
  EXPECT_THROW(root_finding_algorithms::brent(f, -1.0, 1.0, root, 0.0, 0.0, nan, 50), Error);
  EXPECT_THROW(root_finding_algorithms::brent({}, -1.0, 1.0, root, 0.0, 0.0, epsilon, 50), Error);
  const auto throwing = [](double) -> double { throw std::runtime_error("objective failed"); };
  EXPECT_THROW(root_finding_algorithms::brent(throwing, -1.0, 1.0, root, 0.0, 0.0, epsilon, 50), std::runtime_error);
}

}  // namespace
}  // namespace qavrek
