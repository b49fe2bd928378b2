// Zero-coupon bonds, riskless and risky, against the closed forms of flat curves and path by path on
// simulated stand-in curves.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "Core/error.h"
#include "Instrument/instrument_credit_bond.h"
#include "Instrument/instrument_ir_bond.h"
#include "Market/discount_curve.h"
#include "Market/survival_curve.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Vectorization/tensor.h"
#include "Vectorization/vector.h"
#include "flat_path_curves.h"

namespace qavrek {
namespace {

using flat_paths::flat_rate_paths;
using flat_paths::years;
using flat_paths::flat_hazard_paths;

const datetime today(2024, 6, 28);
const datetime expiry(2025, 6, 30);
const datetime maturity(2030, 6, 28);
const auto act365 = std::make_shared<const day_count_convention>();

// The default leg of flat rate r and hazard h over [s, T] seen from t <= s:
// integral over (s, T] of exp(-(r + h)(u - t)) h du.
double default_leg(double r, double h, double t_to_s, double t_to_T) {
  return h / (r + h) * (std::exp(-(r + h) * t_to_s) - std::exp(-(r + h) * t_to_T));
}

TEST(InstrumentIrBond, IsTheDiscountFactorToItsMaturityOnEveryPath) {
  const instrument_ir_bond bond(expiry, maturity, act365);
  EXPECT_EQ(bond.size(), 1u);
  EXPECT_EQ(bond.maturity(), maturity);
  EXPECT_EQ(bond.convention(), act365);
  const std::vector<double> rates{-0.01, 0.0, 0.035};
  for (const datetime& date : {today, expiry, maturity}) {
    tensor<double> output({1, rates.size()});
    bond.value(date, {std::make_shared<const flat_rate_paths>(rates)}, output);
    // Exponentials of numbers below 1: a few units in the last place.
    for (size_t j = 0; j < rates.size(); ++j) EXPECT_NEAR(output[j], std::exp(-rates[j] * years(date, maturity)), 1e-15);
  }
  const auto market = std::make_shared<const discount_curve>(today, 0.02);
  tensor<double> one({1, 1});
  bond.value(expiry, {market}, one);
  EXPECT_NEAR(one[0], market->df(expiry, maturity), 1e-15);
}

TEST(InstrumentCreditBond, PaysAtMaturityOnSurvivalOrAtDefault) {
  const std::vector<double> rates{0.0, 0.03, -0.005};
  const std::vector<double> hazards{0.02, 0.0, 0.08};
  const std::vector<ptr_const<market_data>> market{std::make_shared<const flat_rate_paths>(rates),
                                                   std::make_shared<const flat_hazard_paths>(hazards)};
  const instrument_credit_bond survival_bond(expiry, maturity, act365);
  const instrument_credit_bond default_bond(expiry, maturity, act365, true);
  EXPECT_FALSE(survival_bond.is_adp());
  EXPECT_TRUE(default_bond.is_adp());
  // Before the expiry the protection starts at the expiry; after it, at the valuation date.
  for (const datetime& date : {today, datetime(2027, 2, 1), maturity}) {
    SCOPED_TRACE(date.to_string());
    tensor<double> at_maturity({1, rates.size()}), at_default({1, rates.size()});
    survival_bond.value(date, market, at_maturity);
    default_bond.value(date, market, at_default);
    const double start = date < expiry ? years(date, expiry) : 0.0;
    for (size_t j = 0; j < rates.size(); ++j) {
      EXPECT_NEAR(at_maturity[j], std::exp(-(rates[j] + hazards[j]) * years(date, maturity)), 1e-15) << j;
      // Flat rates are constant on every step, so the monthly sum is the integral up to rounding of
      // 60 terms.
      EXPECT_NEAR(at_default[j], default_leg(rates[j], hazards[j], start, years(date, maturity)), 1e-14) << j;
    }
  }
}

TEST(InstrumentCreditBond, OnMarketCurvesIsDiscountTimesSurvival) {
  const auto discounting = std::make_shared<const discount_curve>(
      today, std::vector{datetime(2026, 6, 29), datetime(2031, 6, 30)}, std::vector{0.95, 0.8});
  const auto survival = std::make_shared<const survival_curve>(
      today, std::vector{datetime(2026, 6, 29), datetime(2031, 6, 30)}, std::vector{0.98, 0.9});
  const instrument_credit_bond bond(expiry, maturity, act365);
  tensor<double> output({1, 2});
  bond.value(today, {discounting, survival}, output);
  const double expected = discounting->df(today, maturity) * survival->survival_probability(today, maturity);
  EXPECT_NEAR(output[0], expected, 1e-15);
  EXPECT_EQ(output[1], output[0]);
}

TEST(InstrumentCreditBond, RefusesWhatItCannotValue) {
  const auto discounting = std::make_shared<const discount_curve>(today, 0.02);
  const auto survival = std::make_shared<const survival_curve>(today, 0.01);
  const instrument_credit_bond bond(expiry, maturity, act365);
  tensor<double> output({1, 3});
  EXPECT_THROW(bond.value(datetime(2031, 1, 1), {discounting, survival}, output), Error);
  EXPECT_THROW(bond.value(today, {discounting}, output), Error);
  EXPECT_THROW(bond.value(today, {survival, discounting}, output), Error);
  tensor<double> wrong({2, 3});
  EXPECT_THROW(bond.value(today, {discounting, survival}, wrong), Error);
  EXPECT_THROW(instrument_credit_bond(maturity, expiry, act365), Error);
  EXPECT_THROW(instrument_credit_bond(expiry, maturity, nullptr), Error);
  EXPECT_THROW(instrument_ir_bond(expiry, expiry, act365), Error);
  EXPECT_THROW(instrument_ir_bond(expiry, maturity, act365).value(today, {survival}, output), Error);
}

}  // namespace
}  // namespace qavrek
