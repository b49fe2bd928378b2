// Monte Carlo values of swaptions and spread options from simulated curves at the expiry, checked path
// by path against the same instruments built on each path's own curve, and against the market where
// the simulation holds no randomness (a deterministic curve, or one path with moment matching).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Core/error.h"
#include "Core/logger.h"
#include "Instrument/interest_rate_spread.h"
#include "Instrument/interest_rate_swap.h"
#include "Market/discount_curve.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Util/tenor.h"
#include "Vectorization/vector.h"
#include "flat_path_curves.h"

namespace qavrek {
namespace {

using flat_paths::flat_rate_paths;
using flat_paths::years;

const datetime today(2024, 6, 28);
const datetime expiry(2026, 6, 29);
const datetime short_maturity(2028, 6, 29);
const datetime maturity(2036, 6, 30);
const auto act360 = std::make_shared<const day_count_convention>(day_count_convention_type::ACT_360);
const tenor semiannual("6M");

ptr_const<discount_curve> flat(double rate) { return std::make_shared<const discount_curve>(today, rate); }

ptr_const<discount_curve> market_curve() {
  return std::make_shared<const discount_curve>(
      today, std::vector{datetime(2025, 6, 30), datetime(2029, 6, 29), datetime(2040, 6, 29)},
      std::vector{0.97, 0.86, 0.6});
}

const std::vector<double> path_rates{0.005, 0.02, 0.031, 0.045, 0.07};

// Each path's discounting to the expiry at its own rate, so that path j is the flat curve rates[j] seen
// from today.
vector<double> own_discounting(const std::vector<double>& rates) {
  vector<double> mm(rates.size());
  for (size_t j = 0; j < rates.size(); ++j) mm[j] = std::exp(-rates[j] * years(today, expiry));
  return mm;
}

vector<double> repeated(double value, size_t paths) { return vector<double>(paths, value); }

// Option values of a few percent from sums of order-one discount factors.
constexpr double rounding = 2e-15;

TEST(SwapSimulatedValue, AveragesTheSwaptionPayoffsOfThePaths) {
  const std::vector<double> strikes{0.0, 0.025, 0.04, 0.09};
  for (const bool is_call : {true, false}) {
    interest_rate_swap swap(market_curve(), expiry, maturity, semiannual, act360);
    const auto values = swap.simulated_value(own_discounting(path_rates),
                                             std::make_shared<const flat_rate_paths>(path_rates), strikes, is_call,
                                             false, false);
    ASSERT_EQ(values.size(), strikes.size());
    for (size_t k = 0; k < strikes.size(); ++k) {
      double mean = 0.0;
      for (const double rate : path_rates) {
        const interest_rate_swap on_path(flat(rate), expiry, maturity, semiannual, act360);
        mean += std::max((is_call ? 1.0 : -1.0) * on_path.value(strikes[k], on_path.dfs()), 0.0) / path_rates.size();
      }
      EXPECT_NEAR(values[k], mean, rounding) << is_call << " strike " << strikes[k];
    }
  }
}

// Without randomness the value is the intrinsic value on the market: a deterministic curve, or a single
// path moment-matched to the market whatever its rate.
TEST(SimulatedValues, WithoutRandomnessAreTheMarketIntrinsicValues) {
  const auto market = market_curve();
  const double to_expiry = market->df(today, expiry);
  struct source {
    const char* label;
    vector<double> mm;
    ptr_const<discount_curve> curve;
    bool moment_matching;
  };
  const std::vector<source> sources{
      {"market curve", repeated(to_expiry, 3), market, false},
      {"market curve, moment matched", repeated(to_expiry, 3), market, true},
      {"one moment-matched path", repeated(0.9, 1), std::make_shared<const flat_rate_paths>(std::vector{0.06}), true},
  };
  const std::vector<double> strikes{-0.01, 0.02, 0.035, 0.06};
  for (const source& s : sources) {
    SCOPED_TRACE(s.label);
    for (const bool is_call : {true, false}) {
      const double sign = is_call ? 1.0 : -1.0;
      interest_rate_swap swap(market, expiry, maturity, semiannual, act360);
      interest_rate_spread spread(market, expiry, maturity, short_maturity, semiannual, act360, 1.2, 0.8);
      const auto swaptions = swap.simulated_value(s.mm, s.curve, strikes, is_call, s.moment_matching, false);
      const auto spread_options = spread.simulated_value(s.mm, s.curve, strikes, is_call, s.moment_matching);
      for (size_t k = 0; k < strikes.size(); ++k) {
        EXPECT_NEAR(swaptions[k], std::max(sign * swap.value(strikes[k], swap.dfs()), 0.0), rounding);
        EXPECT_NEAR(spread_options[k], std::max(sign * spread.value(strikes[k], spread.dfs()), 0.0) * to_expiry,
                    rounding);
      }
    }
  }
}

TEST(SwapSimulatedValue, MomentMatchingRepricesTheForwardSwap) {
  // Deep in the money every path exercises, so the value is the mean swap value, linear in the discount
  // factors: moment matching makes it the market's; the paths alone, at rates unrelated to the market,
  // do not.
  interest_rate_swap swap(market_curve(), expiry, maturity, semiannual, act360);
  const auto paths = std::make_shared<const flat_rate_paths>(path_rates);
  for (const double strike : {-0.2, 0.3}) {
    const bool payer = strike < 0.0;
    const double forward = (payer ? 1.0 : -1.0) * swap.value(strike, swap.dfs());
    const double matched = swap.simulated_value(own_discounting(path_rates), paths, {strike}, payer, true, false)[0];
    const double raw = swap.simulated_value(own_discounting(path_rates), paths, {strike}, payer, false, false)[0];
    EXPECT_NEAR(matched, forward, 1e-14) << strike;  // a sum of 40 scaled terms of order one
    EXPECT_GT(std::abs(raw - forward), 1e-3) << strike;
  }
}

TEST(SpreadSimulatedValue, AveragesTheDiscountedSpreadOptionPayoffsOfThePaths) {
  const std::vector<double> strikes{-0.01, 0.0, 0.004};
  for (const bool is_call : {true, false}) {
    interest_rate_spread spread(market_curve(), expiry, maturity, short_maturity, semiannual, act360, 1.0, 1.0);
    const auto values = spread.simulated_value(own_discounting(path_rates),
                                               std::make_shared<const flat_rate_paths>(path_rates), strikes, is_call,
                                               false);
    for (size_t k = 0; k < strikes.size(); ++k) {
      double mean = 0.0;
      for (const double rate : path_rates) {
        const interest_rate_spread on_path(flat(rate), expiry, maturity, short_maturity, semiannual, act360);
        const double payoff = std::max((is_call ? 1.0 : -1.0) * on_path.value(strikes[k], on_path.dfs()), 0.0);
        mean += payoff * std::exp(-rate * years(today, expiry)) / path_rates.size();
      }
      EXPECT_NEAR(values[k], mean, rounding) << is_call << " strike " << strikes[k];
    }
  }
}

TEST(SimulatedValues, DebugLogsEachStrike) {
  std::vector<std::string> lines;
  const auto previous = logger::SetSink([&](logger::Verbosity, std::string_view, unsigned, std::string_view message) {
    lines.emplace_back(message);
  });
  const logger::Verbosity cutoff = logger::GetCurrentVerbosityCutoff();
  logger::SetCurrentVerbosityCutoff(0);
  interest_rate_swap swap(market_curve(), expiry, maturity, semiannual, act360);
  swap.simulated_value(own_discounting(path_rates), std::make_shared<const flat_rate_paths>(path_rates), {0.01, 0.03},
                       true, false, true);
  swap.simulated_value(own_discounting(path_rates), std::make_shared<const flat_rate_paths>(path_rates), {0.01},
                       true, false, false);
  logger::SetCurrentVerbosityCutoff(cutoff);
  logger::SetSink(previous);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("strike 0.01 value"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("standard error"), std::string::npos) << lines[1];
}

TEST(SimulatedValues, RefuseWhatTheyCannotValue) {
  interest_rate_swap swap(market_curve(), expiry, maturity, semiannual, act360);
  interest_rate_spread spread(market_curve(), expiry, maturity, short_maturity, semiannual, act360);
  const auto market = market_curve();
  EXPECT_THROW(swap.simulated_value(vector<double>(), market, {0.01}, true, false, false), Error);
  EXPECT_THROW(swap.simulated_value(repeated(1.0, 2), nullptr, {0.01}, true, false, false), Error);
  EXPECT_THROW(swap.simulated_value(repeated(1.0, 2), market, {NAN}, true, false, false), Error);
  EXPECT_THROW(spread.simulated_value(vector<double>(), market, {0.01}, true, false), Error);
  EXPECT_THROW(spread.simulated_value(repeated(1.0, 2), market, {INFINITY}, true, false), Error);
  // Paths whose discount factors vanish cannot be matched to the market.
  EXPECT_THROW(swap.simulated_value(repeated(0.0, 2), market, {0.01}, true, true, false), Error);
  EXPECT_TRUE(swap.simulated_value(repeated(1.0, 2), market, {}, true, false, false).empty());
}

}  // namespace
}  // namespace qavrek
