#include "Util/black_scholes.h"

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
constexpr double numeraire = 0.95;

double normal_cdf(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }

struct market {
  double forward, strike, expiry, volatility;
};

// A grid over rates-like and equity-like forwards, strikes from deep in to deep out of the money,
// volatilities from 1% to 300% and expiries from days to decades.
std::vector<market> grid() {
  std::vector<market> cases;
  for (const double forward : {0.03, 1.0, 100.0})
    for (const double moneyness : {0.25, 0.8, 1.0, 1.25, 4.0})
      for (const double expiry : {0.01, 1.0, 30.0})
        for (const double volatility : {0.01, 0.2, 1.0, 3.0})
          cases.push_back({forward, forward * moneyness, expiry, volatility});
  return cases;
}

TEST(BlackScholes, PutCallParity) {
  for (const auto& m : grid()) {
    const double call = black_scholes::price(m.forward, m.strike, m.expiry, m.volatility, numeraire, 1.0);
    const double put = black_scholes::price(m.forward, m.strike, m.expiry, m.volatility, numeraire, -1.0);
    // Both prices carry a few roundings of the forward's and the strike's size.
    EXPECT_NEAR(call - put, numeraire * (m.forward - m.strike), 8 * eps * std::max(m.forward, m.strike));
    EXPECT_GE(call, numeraire * std::max(m.forward - m.strike, 0.0));
    EXPECT_GE(put, numeraire * std::max(m.strike - m.forward, 0.0));
    EXPECT_LT(call, numeraire * m.forward);
  }
}

TEST(BlackScholes, AtTheMoneyClosedForm) {
  // F (N(s/2) - N(-s/2)) = F erf(s / (2 sqrt 2)).
  for (const double s : {1e-3, 0.1, 1.0, 5.0}) {
    const double expected = numeraire * 2.0 * std::erf(s / (2.0 * std::sqrt(2.0)));
    // The formula differences two probabilities near 1/2 for small s: rounding of the forward's size.
    EXPECT_NEAR(black_scholes::price(2.0, 2.0, 4.0, s / 2.0, numeraire, 1.0), expected, 8 * eps * 2.0);
  }
}

TEST(BlackScholes, DegenerateMarketsGiveTheirLimits) {
  struct case_ {
    double forward, strike, expiry, volatility, call, put;
  };
  const case_ cases[] = {
      {1.0, 0.8, 1.0, 0.0, 0.2, 0.0},                                      // no volatility
      {1.0, 1.2, 0.0, 0.3, 0.0, 0.2},                                      // expired
      {1.0, 0.0, 1.0, 0.3, 1.0, 0.0},                                      // zero strike: the call is the forward
      {1.0, -0.5, 1.0, 0.3, 1.5, 0.0},                                     // negative strike (a displaced caller's)
      {0.0, 0.5, 1.0, 0.3, 0.0, 0.5},                                      // zero forward stays at zero
      {1.0, 1.2, 1.0, std::numeric_limits<double>::infinity(), 1.0, 1.2},  // at the upper bounds
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(black_scholes::price(c.forward, c.strike, c.expiry, c.volatility, numeraire, 1.0),
                     numeraire * c.call);
    EXPECT_DOUBLE_EQ(black_scholes::price(c.forward, c.strike, c.expiry, c.volatility, numeraire, -1.0),
                     numeraire * c.put);
  }
}

TEST(BlackScholes, NaNArgumentsGiveNaNAndNegativeOnesAnError) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(std::isnan(black_scholes::price(1.0, 1.0, 1.0, nan, 1.0, 1.0)));
  EXPECT_TRUE(std::isnan(black_scholes::price(nan, 1.0, 1.0, 0.2, 1.0, -1.0)));
  EXPECT_TRUE(std::isnan(black_scholes::vega(1.0, 1.0, nan, 0.2)));
  EXPECT_THROW(black_scholes::price(-1.0, 1.0, 1.0, 0.2, 1.0, 1.0), Error);
  EXPECT_THROW(black_scholes::price(1.0, 1.0, -1.0, 0.2, 1.0, 1.0), Error);
  EXPECT_THROW(black_scholes::price(1.0, 1.0, 1.0, -0.2, 1.0, 1.0), Error);
  EXPECT_THROW(black_scholes::vega(1.0, 1.0, 1.0, -0.2), Error);
}

TEST(BlackScholes, VegaIsTheVolatilityDerivative) {
  for (const auto& m : grid()) {
    const double h = 1e-5 * m.volatility;
    const double up = black_scholes::price(m.forward, m.strike, m.expiry, m.volatility + h, numeraire, 1.0);
    const double down = black_scholes::price(m.forward, m.strike, m.expiry, m.volatility - h, numeraire, 1.0);
    const double vega = black_scholes::vega(m.forward, m.strike, m.expiry, m.volatility, numeraire);
    // Central difference: truncation h^2 (1e-10 relative) plus rounding eps * max(F, K) / h.
    EXPECT_NEAR((up - down) / (2 * h), vega, 1e-7 * vega + 4 * eps * std::max(m.forward, m.strike) / h);
  }
  // At zero volatility only the at-the-money option moves: at the rate F sqrt(T) / sqrt(2 pi).
  EXPECT_DOUBLE_EQ(black_scholes::vega(2.0, 2.0, 4.0, 0.0, numeraire),
                   numeraire * 2.0 * 2.0 / std::sqrt(2 * std::numbers::pi));
  EXPECT_EQ(black_scholes::vega(2.0, 1.0, 4.0, 0.0, numeraire), 0.0);
}

// How far the implied volatility may lie from the true one: the price formula differences terms of
// size F N(d1) and K N(d2) (the out-of-the-money side's), and the intrinsic value is added and taken
// away again, each with relative rounding eps; divided by vega that becomes a volatility error.
double implied_tolerance(const market& m) {
  const double s = m.volatility * std::sqrt(m.expiry);
  const double d1 = std::log(m.forward / m.strike) / s + 0.5 * s;
  const double sign = m.forward < m.strike ? 1.0 : -1.0;
  const double terms = m.forward * normal_cdf(sign * d1) + m.strike * normal_cdf(sign * (d1 - s));
  const double magnitude = terms + std::abs(m.forward - m.strike);
  const double vega = black_scholes::vega(m.forward, m.strike, m.expiry, m.volatility, 1.0);
  return 8 * eps * magnitude / vega + 4 * eps * m.volatility;
}

TEST(BlackScholes, ImpliedVolatilityRoundTrip) {
  int inverted = 0;
  for (const auto& m : grid()) {
    for (const double call_put : {1.0, -1.0}) {
      const double price = black_scholes::price(m.forward, m.strike, m.expiry, m.volatility, numeraire, call_put);
      const double time_value = price / numeraire - std::max(call_put * (m.forward - m.strike), 0.0);
      // A time value lost below the intrinsic value's rounding leaves no volatility to find.
      if (time_value <= 16 * eps * std::max(m.forward, m.strike)) continue;
      SCOPED_TRACE(::testing::Message() << m.forward << " " << m.strike << " " << m.expiry << " " << m.volatility << " "
                                        << call_put);
      const double implied =
          black_scholes::implied_volatility(m.forward, m.strike, m.expiry, price, numeraire, call_put);
      EXPECT_NEAR(implied, m.volatility, implied_tolerance(m));
      ++inverted;
    }
  }
  EXPECT_GT(inverted, 250);  // most of the grid is invertible
}

// Uniform numbers in [0, 1) that are the same with every standard library.
class uniforms {
 public:
  double next() { return static_cast<double>(engine_() >> 11) * 0x1p-53; }

 private:
  std::mt19937_64 engine_{20240611};
};

TEST(BlackScholes, ImpliedVolatilityOverWideRandomMarkets) {
  // Forwards over eight orders of magnitude, strikes up to e^5 away, expiries from a day to decades,
  // volatilities from 0.1% to 700%.
  uniforms u;
  int inverted = 0;
  for (int i = 0; i < 50000; ++i) {
    const double forward = std::exp(-10 + 20 * u.next()), strike = forward * std::exp(-5 + 10 * u.next());
    const market m{forward, strike, std::exp(-6 + 10 * u.next()), std::exp(-7 + 9 * u.next())};
    const double call_put = u.next() < 0.5 ? 1.0 : -1.0;
    const double price = black_scholes::price(m.forward, m.strike, m.expiry, m.volatility, 1.0, call_put);
    const double time_value = price - std::max(call_put * (m.forward - m.strike), 0.0);
    // Skip time values lost in rounding at either end: no volatility, or none finite, to recover.
    if (time_value <= 1e-12 * std::max(m.forward, m.strike)) continue;
    if (time_value >= (1 - 1e-12) * std::min(m.forward, m.strike)) continue;
    const double implied = black_scholes::implied_volatility(m.forward, m.strike, m.expiry, price, 1.0, call_put);
    ASSERT_NEAR(implied, m.volatility, implied_tolerance(m))
        << m.forward << " " << m.strike << " " << m.expiry << " " << m.volatility << " " << call_put;
    ++inverted;
  }
  EXPECT_GT(inverted, 10000);
}

TEST(BlackScholes, FarOutOfTheMoneyTinyPricesStillInvert) {
  // Prices of 1e-20 down to 1e-200 of the forward; the logarithmic Newton iteration keeps them well
  // scaled. The price formula loses relative accuracy eps |x| / s^2 (x = ln(F/K), s the standard
  // deviation) to cancellation, and the price moves x^2 / s^2 times faster than s, so the volatility
  // comes back to about eps |x| / s^2 relative.
  const double forward = 1.0, strike = 3.0, expiry = 1.0;
  const double x = std::log(forward / strike);
  for (const double volatility : {0.12, 0.05, 0.035}) {
    const double price = black_scholes::price(forward, strike, expiry, volatility, 1.0, 1.0);
    ASSERT_LT(price, 1e-19);
    ASSERT_GT(price, 1e-250);
    const double implied = black_scholes::implied_volatility(forward, strike, expiry, price, 1.0, 1.0);
    EXPECT_NEAR(implied, volatility, 16 * eps * std::abs(x) / (volatility * volatility) * volatility);
  }
}

TEST(BlackScholes, ImpliedVolatilityOutsideTheNoArbitrageBounds) {
  // At the intrinsic value, or below it by rounding only: zero volatility.
  EXPECT_EQ(black_scholes::implied_volatility(1.0, 0.8, 1.0, numeraire * 0.2, numeraire, 1.0), 0.0);
  EXPECT_EQ(black_scholes::implied_volatility(1.0, 0.8, 1.0, numeraire * 0.2 * (1 - eps), numeraire, 1.0), 0.0);
  EXPECT_EQ(black_scholes::implied_volatility(1.0, 1.2, 1.0, 0.0, numeraire, 1.0), 0.0);
  // Further below, or at the bound no volatility reaches (the forward for a call, the strike for a put).
  EXPECT_THROW(black_scholes::implied_volatility(1.0, 0.8, 1.0, numeraire * 0.19, numeraire, 1.0), Error);
  EXPECT_THROW(black_scholes::implied_volatility(1.0, 1.2, 1.0, -1e-3, numeraire, 1.0), Error);
  EXPECT_THROW(black_scholes::implied_volatility(1.0, 0.8, 1.0, numeraire * 1.0, numeraire, 1.0), Error);
  EXPECT_THROW(black_scholes::implied_volatility(1.0, 0.8, 1.0, numeraire * 0.8, numeraire, -1.0), Error);
  // A price that is not a number, and markets that imply nothing.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_THROW(black_scholes::implied_volatility(1.0, 0.8, 1.0, nan, 1.0, 1.0), Error);
  EXPECT_THROW(black_scholes::implied_volatility(1.0, 0.8, 1.0, 0.25, 1.0, nan), Error);
  EXPECT_THROW(black_scholes::implied_volatility(0.0, 0.8, 1.0, 0.25, 1.0, 1.0), Error);
  EXPECT_THROW(black_scholes::implied_volatility(1.0, 0.0, 1.0, 1.0, 1.0, 1.0), Error);
  EXPECT_THROW(black_scholes::implied_volatility(1.0, 0.8, 0.0, 0.25, 1.0, 1.0), Error);
  EXPECT_THROW(black_scholes::implied_volatility(1.0, 0.8, 1.0, 0.25, 0.0, 1.0), Error);
}

}  // namespace
}  // namespace qavrek
