#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Core/error.h"
#include "Market/discount_curve.h"
#include "Market/equity_spot.h"
#include "Market/fx_spot.h"
#include "Vectorization/vector.h"

namespace qavrek {
namespace {

const datetime today(2024, 3, 15);
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

// ACT/365F written out, so that the expectations do not lean on the curves' day count.
double years(const datetime& from, const datetime& to) { return (to.serial() - from.serial()) / 365.0; }

ptr_const<discount_curve> flat(double rate) { return std::make_shared<const discount_curve>(today, rate); }

std::string message_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.what();
  }
  return {};
}

TEST(Spots, DeterministicSpotsAreTheSameOnEveryPath) {
  const equity_spot equity(today, 101.5);
  const fx_spot fx(today, 1.0875);
  EXPECT_EQ(equity.spot(), 101.5);
  EXPECT_EQ(fx.spot(), 1.0875);
  EXPECT_EQ(equity.valuation_date(), today);
  EXPECT_EQ(fx.valuation_date(), today);
  const vector<double> equity_paths = equity.spots();
  const vector<double> fx_paths = fx.spots();
  ASSERT_EQ(equity_paths.size(), 1u);
  ASSERT_EQ(fx_paths.size(), 1u);
  EXPECT_EQ(equity_paths[0], 101.5);
  EXPECT_EQ(fx_paths[0], 1.0875);
}

// Flat continuously-compounded rates: F = S exp(r_d t) and X exp((r_d - r_f) t), t in years to delivery.
// Whatever date the forward is seen from, deterministic rates give the same forward.
TEST(Spots, ForwardsAreTheCarryOfTheCurves) {
  struct case_ {
    double domestic, foreign;
    datetime from, to;
  };
  const std::vector<case_> cases = {{0.03, 0.01, today, datetime(2029, 3, 15)},
                                    {-0.004, 0.025, datetime(2025, 6, 30), datetime(2026, 1, 2)},
                                    {0.05, 0.05, datetime(2030, 1, 1), datetime(2044, 3, 15)}};
  for (const auto& c : cases) {
    const double t = years(today, c.to);
    const equity_spot equity(today, 250.0, flat(c.domestic));
    const fx_spot fx(today, 0.92, flat(c.domestic), flat(c.foreign));
    vector<double> out(3);
    equity.forward(out, c.from, c.to);
    // The curve's own log-linear node and one exponential: a few roundings of a number near 250 e^{rt}.
    for (double f : out) EXPECT_NEAR(f, 250.0 * std::exp(c.domestic * t), 1e-12) << c.to;
    fx.forward(out, c.from, c.to);
    for (double f : out) EXPECT_NEAR(f, 0.92 * std::exp((c.domestic - c.foreign) * t), 1e-14) << c.to;
  }
}

TEST(Spots, RefuseBadInput) {
  const std::vector<std::pair<std::string, std::function<void()>>> cases = {
      {"is not positive and finite", [] { equity_spot(today, 0.0); }},
      {"is not positive and finite", [] { equity_spot(today, -3.0); }},
      {"is not positive and finite", [] { equity_spot(today, nan); }},
      {"is not positive and finite", [] { fx_spot(today, infinity); }},
      {"is not positive and finite", [] { fx_spot(today, -1.1); }},
      {"the valuation date is not set", [] { equity_spot(datetime(), 10.0); }},
      {"the valuation date is not set", [] { fx_spot(datetime(), 1.2); }},
      {"needs its discount curve",
       [] {
         vector<double> out(2);
         equity_spot(today, 10.0).forward(out, today, datetime(2025, 1, 1));
       }},
      {"needs the domestic and the foreign discount curves",
       [] {
         vector<double> out(2);
         fx_spot(today, 1.2, flat(0.01)).forward(out, today, datetime(2025, 1, 1));
       }},
      {"is not set",
       [] {
         vector<double> out(2);
         equity_spot(today, 10.0, flat(0.01)).forward(out, datetime(), datetime(2025, 1, 1));
       }},
  };
  for (const auto& [expected, action] : cases) {
    const std::string message = message_of(action);
    EXPECT_NE(message.find(expected), std::string::npos) << "got: " << message;
  }
}

}  // namespace
}  // namespace qavrek
