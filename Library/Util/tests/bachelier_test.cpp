#include "Util/bachelier.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "Core/error.h"

namespace qavrek {
namespace {

constexpr double eps = std::numeric_limits<double>::epsilon();
constexpr double numeraire = 0.9;

double normal_density(double x) { return std::exp(-0.5 * x * x) / std::sqrt(2 * std::numbers::pi); }
double normal_cdf(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }

struct market {
  double forward, strike, expiry, volatility;
};

// Rates around zero, strikes on both sides, normal volatilities from 5 to 200 basis points.
std::vector<market> grid() {
  std::vector<market> cases;
  for (const double forward : {-0.01, 0.0, 0.02})
    for (const double offset : {-0.03, -0.01, 0.0, 0.005, 0.02})
      for (const double expiry : {0.1, 1.0, 20.0})
        for (const double volatility : {0.0005, 0.005, 0.02})
          cases.push_back({forward, forward + offset, expiry, volatility});
  return cases;
}

TEST(Bachelier, PutCallParityAndBounds) {
  for (const auto& m : grid()) {
    const double call = bachelier::price(m.forward, m.strike, m.expiry, m.volatility, numeraire, 1.0);
    const double put = bachelier::price(m.forward, m.strike, m.expiry, m.volatility, numeraire, -1.0);
    // A few roundings of the rates' size.
    EXPECT_NEAR(call - put, numeraire * (m.forward - m.strike), 8 * eps * 0.05);
    EXPECT_GE(call, numeraire * std::max(m.forward - m.strike, 0.0));
    EXPECT_GE(put, numeraire * std::max(m.strike - m.forward, 0.0));
  }
}

TEST(Bachelier, AtTheMoneyClosedForm) {
  // s / sqrt(2 pi), and its exact inverse.
  const double s = 0.01 * std::sqrt(2.0);
  const double price = bachelier::price(0.01, 0.01, 2.0, 0.01, numeraire, -1.0);
  EXPECT_NEAR(price, numeraire * s / std::sqrt(2 * std::numbers::pi), 4 * eps * price);
  EXPECT_NEAR(bachelier::implied_volatility(0.01, 0.01, 2.0, price, numeraire, 1.0), 0.01, 4 * eps * 0.01);
}

TEST(Bachelier, DegenerateAndInvalidArguments) {
  EXPECT_EQ(bachelier::price(0.01, -0.02, 1.0, 0.0, numeraire, 1.0), numeraire * 0.03);
  EXPECT_EQ(bachelier::price(0.01, -0.02, 0.0, 0.01, numeraire, -1.0), 0.0);
  EXPECT_TRUE(std::isnan(bachelier::price(0.01, std::numeric_limits<double>::quiet_NaN(), 1.0, 0.01, 1.0, 1.0)));
  EXPECT_THROW(bachelier::price(0.01, 0.01, -1.0, 0.01, 1.0, 1.0), Error);
  EXPECT_THROW(bachelier::price(0.01, 0.01, 1.0, -0.01, 1.0, 1.0), Error);
}

// The time value s phi(z) - |F - K| N(-z) and the intrinsic value each carry relative rounding eps;
// divided by the price's volatility derivative sqrt(T) phi(z) that becomes a volatility error.
double implied_tolerance(const market& m) {
  const double s = m.volatility * std::sqrt(m.expiry);
  const double distance = std::abs(m.forward - m.strike);
  const double z = distance / s;
  const double magnitude = s * normal_density(z) + distance * normal_cdf(-z) + distance;
  return 8 * eps * magnitude / (std::sqrt(m.expiry) * normal_density(z)) + 4 * eps * m.volatility;
}

TEST(Bachelier, ImpliedVolatilityRoundTrip) {
  int inverted = 0;
  for (const auto& m : grid()) {
    for (const double call_put : {1.0, -1.0}) {
      const double price = bachelier::price(m.forward, m.strike, m.expiry, m.volatility, numeraire, call_put);
      const double time_value = price / numeraire - std::max(call_put * (m.forward - m.strike), 0.0);
      // A time value lost below the intrinsic value's rounding leaves no volatility to find.
      if (time_value <= 16 * eps * 0.05) continue;
      SCOPED_TRACE(::testing::Message() << m.forward << " " << m.strike << " " << m.expiry << " " << m.volatility << " "
                                        << call_put);
      const double implied = bachelier::implied_volatility(m.forward, m.strike, m.expiry, price, numeraire, call_put);
      EXPECT_NEAR(implied, m.volatility, implied_tolerance(m));
      ++inverted;
    }
  }
  EXPECT_GT(inverted, 180);  // most of the grid is invertible
}

// Uniform numbers in [0, 1) that are the same with every standard library.
class uniforms {
 public:
  double next() { return static_cast<double>(engine_() >> 11) * 0x1p-53; }

 private:
  std::mt19937_64 engine_{20240611};
};

TEST(Bachelier, ImpliedVolatilityOverWideRandomMarkets) {
  // Rates from -5% to 10%, strikes mostly near the forward and up to 20% away, expiries from a day to
  // decades, normal volatilities from 0.5 to 1800 basis points.
  uniforms u;
  int inverted = 0;
  for (int i = 0; i < 50000; ++i) {
    const double forward = -0.05 + 0.15 * u.next();
    const double offset = (-0.2 + 0.4 * u.next()) * std::pow(u.next(), 3);
    const market m{forward, forward + offset, std::exp(-6 + 10 * u.next()), std::exp(-10 + 8 * u.next())};
    const double call_put = u.next() < 0.5 ? 1.0 : -1.0;
    const double price = bachelier::price(m.forward, m.strike, m.expiry, m.volatility, 1.0, call_put);
    const double time_value = price - std::max(call_put * (m.forward - m.strike), 0.0);
    // A time value lost below the intrinsic value's rounding leaves no volatility to find.
    if (time_value <= 1e-12 * std::max(std::abs(m.forward), std::abs(m.strike))) continue;
    const double implied = bachelier::implied_volatility(m.forward, m.strike, m.expiry, price, 1.0, call_put);
    ASSERT_NEAR(implied, m.volatility, implied_tolerance(m))
        << m.forward << " " << m.strike << " " << m.expiry << " " << m.volatility << " " << call_put;
    ++inverted;
  }
  EXPECT_GT(inverted, 10000);
}

TEST(Bachelier, ImpliedVolatilityBelowTheIntrinsicValue) {
  EXPECT_EQ(bachelier::implied_volatility(0.02, 0.01, 1.0, numeraire * 0.01, numeraire, 1.0), 0.0);
  EXPECT_EQ(bachelier::implied_volatility(0.02, 0.01, 1.0, numeraire * 0.01 * (1 - eps), numeraire, 1.0), 0.0);
  EXPECT_EQ(bachelier::implied_volatility(0.02, 0.03, 1.0, 0.0, numeraire, 1.0), 0.0);
  EXPECT_THROW(bachelier::implied_volatility(0.02, 0.01, 1.0, numeraire * 0.0099, numeraire, 1.0), Error);
  EXPECT_THROW(bachelier::implied_volatility(0.02, 0.03, 1.0, -1e-6, numeraire, 1.0), Error);
  EXPECT_THROW(bachelier::implied_volatility(0.02, 0.03, 1.0, std::numeric_limits<double>::infinity(), 1.0, 1.0),
               Error);
  EXPECT_THROW(bachelier::implied_volatility(0.02, 0.03, 0.0, 0.001, 1.0, 1.0), Error);
  EXPECT_THROW(bachelier::implied_volatility(0.02, 0.03, 1.0, 0.001, 0.0, 1.0), Error);
}

}  // namespace
}  // namespace qavrek
