#include "Instrument/interest_rate_swap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Core/error.h"
#include "Market/discount_curve.h"
#include "Market/ir_volatility_surface.h"
#include "Util/black_scholes.h"
#include "Util/datetime_helper.h"
#include "Util/day_count_convention.h"
#include "Util/tenor.h"
#include "Vectorization/tensor.h"

namespace qavrek {
namespace {

const datetime today(2024, 1, 31);
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

ptr_const<day_count_convention> convention(day_count_convention_type type) {
  return std::make_shared<const day_count_convention>(type);
}

// Rates between -0.4% and 4% so that every period discounts differently.
ptr_const<discount_curve> node_curve() {
  return std::make_shared<const discount_curve>(
      today, std::vector<datetime>{datetime(2024, 7, 31), datetime(2025, 1, 31), datetime(2027, 1, 29), datetime(2034, 1, 31)},
      std::vector<double>{1.002, 0.99, 0.93, 0.74});
}

ptr_const<discount_curve> flat_curve(double rate) { return std::make_shared<const discount_curve>(today, rate); }

datetime plus(const datetime& date, const char* period) { return datetime_helper::add_tenor(date, tenor(period)); }

TEST(InterestRateSwap, BuildsItsScheduleFromTheExpiry) {
  struct case_ {
    std::string name;
    datetime expiry, maturity;
    const char* frequency;
    std::vector<datetime> dates;
  };
  const datetime e(2025, 1, 31);
  for (const auto& c : {
           // Month ends stay month ends: every date counts from the expiry.
           case_{"quarterly from a month end", e, datetime(2026, 1, 31), "3M",
                 {e, datetime(2025, 4, 30), datetime(2025, 7, 31), datetime(2025, 10, 31), datetime(2026, 1, 31)}},
           case_{"short last period", e, datetime(2026, 3, 31), "6M",
                 {e, datetime(2025, 7, 31), datetime(2026, 1, 31), datetime(2026, 3, 31)}},
           case_{"one period", e, datetime(2025, 7, 31), "6M", {e, datetime(2025, 7, 31)}},
           case_{"shorter than the frequency", e, datetime(2025, 3, 3), "1Y", {e, datetime(2025, 3, 3)}},
       }) {
    const interest_rate_swap swap(flat_curve(0.02), c.expiry, c.maturity, tenor(c.frequency),
                                  convention(day_count_convention_type::ACT_360));
    EXPECT_EQ(swap.all_dates(), c.dates) << c.name;
    const size_t periods = c.dates.size() - 1;
    EXPECT_EQ(swap.is_caplet(), periods == 1) << c.name;
    ASSERT_EQ(swap.fixed_leg_instrument()->size(), periods);
    ASSERT_EQ(swap.float_leg_instrument()->size(), periods);
    for (size_t i = 0; i < periods; ++i) {
      EXPECT_EQ(swap.fixed_pay_index()[i], i + 1);
      EXPECT_EQ(swap.float_start_index()[i], i);
      EXPECT_EQ(swap.float_end_index()[i], i + 1);
      EXPECT_EQ(swap.float_pay_index()[i], i + 1);
      EXPECT_EQ(swap.fixed_leg_instrument()->dcf(i), (c.dates[i + 1].serial() - c.dates[i].serial()) / 360.0);
      EXPECT_EQ(swap.float_leg_instrument()->dcf(i), 1.0);
    }
    EXPECT_THROW(swap.fixed_leg_instrument()->dcf(periods), Error);
  }
}

// Value, annuity and swap rate of one swap agree with each other and with the curve.
TEST(InterestRateSwap, ValueAnnuityAndSwapRateAgree) {
  struct case_ {
    std::string name;
    ptr_const<discount_curve> curve;
    const char *start, *length, *frequency;
    day_count_convention_type type;
  };
  for (const auto& c : {case_{"10Y x 10Y semi-annual 30/360", node_curve(), "10Y", "10Y", "6M", day_count_convention_type::THIRTY_360},
                        case_{"1Y x 5Y annual ACT/360", node_curve(), "1Y", "5Y", "1Y", day_count_convention_type::ACT_360},
                        case_{"spot 2Y quarterly ACT/365F", flat_curve(0.031), "0D", "2Y", "3M", day_count_convention_type::ACT_365F},
                        case_{"negative rates", flat_curve(-0.004), "3M", "7Y", "1Y", day_count_convention_type::ACT_ACT_ISDA}}) {
    const datetime expiry = plus(today, c.start);
    const datetime maturity = plus(expiry, c.length);
    const auto dc = convention(c.type);
    const interest_rate_swap swap(c.curve, expiry, maturity, tenor(c.frequency), dc);
    const std::vector<datetime>& dates = swap.all_dates();
    const std::vector<double>& dfs = swap.dfs();
    ASSERT_EQ(dfs.size(), dates.size());
    double annuity = 0.0;
    for (size_t i = 0; i < dates.size(); ++i) {
      EXPECT_EQ(dfs[i], c.curve->df(today, dates[i])) << c.name;
      if (i > 0) annuity += dc->fraction(dates[i - 1], dates[i]) * dfs[i];
    }
    // Sums of a few dozen terms of order one.
    EXPECT_NEAR(swap.annuity(), annuity, 1e-14) << c.name;
    EXPECT_EQ(swap.annuity(dfs), swap.annuity());
    // Single curve: the float leg telescopes to P(expiry) - P(maturity).
    EXPECT_NEAR(swap.value(0.0, dfs), dfs.front() - dfs.back(), 1e-15) << c.name;
    EXPECT_NEAR(swap.swap_rate(), (dfs.front() - dfs.back()) / annuity, 1e-15) << c.name;
    EXPECT_EQ(swap.swap_rate(dfs), swap.swap_rate());
    EXPECT_NEAR(swap.value(swap.swap_rate(), dfs), 0.0, 1e-16) << c.name;
    for (const double strike : {-0.01, 0.0, 0.025, 0.08}) {
      EXPECT_NEAR(swap.value(strike, dfs), (swap.swap_rate() - strike) * swap.annuity(), 1e-15) << c.name;
    }
    EXPECT_NEAR(swap.expiry_double(), dc->fraction(today, expiry), 0.0);
    EXPECT_EQ(swap.expiry(), expiry);
    EXPECT_EQ(swap.maturity(), maturity);
  }
}

TEST(InterestRateSwap, RefusesBadInput) {
  const auto dc = convention(day_count_convention_type::ACT_360);
  const datetime e(2025, 1, 31), m(2030, 1, 31);
  EXPECT_THROW(interest_rate_swap(nullptr, e, m, tenor("6M"), dc), Error);
  EXPECT_THROW(interest_rate_swap(flat_curve(0.01), e, m, tenor("6M"), nullptr), Error);
  EXPECT_THROW(interest_rate_swap(flat_curve(0.01), e, e, tenor("6M"), dc), Error);
  EXPECT_THROW(interest_rate_swap(flat_curve(0.01), m, e, tenor("6M"), dc), Error);
  EXPECT_THROW(interest_rate_swap(flat_curve(0.01), datetime(2023, 1, 1), m, tenor("6M"), dc), Error);
  EXPECT_THROW(interest_rate_swap(flat_curve(0.01), datetime(), m, tenor("6M"), dc), Error);
  EXPECT_THROW(interest_rate_swap(flat_curve(0.01), e, m, tenor("0M"), dc), Error);

  const interest_rate_swap swap(flat_curve(0.01), e, m, tenor("1Y"), dc);
  const std::vector<double> short_dfs(swap.all_dates().size() - 1, 1.0);
  std::vector<double> adjoints(swap.all_dates().size(), 0.0);
  EXPECT_THROW(swap.value(0.01, short_dfs), Error);
  EXPECT_THROW(swap.annuity(short_dfs), Error);
  EXPECT_THROW(swap.swap_rate(short_dfs), Error);
  EXPECT_THROW(swap.swap_value_aad(1.0, 0.01, short_dfs, adjoints), Error);
  std::vector<double> short_adjoints(2, 0.0);
  EXPECT_THROW(swap.swap_value_aad(1.0, 0.01, swap.dfs(), short_adjoints), Error);
  matrix<double> hessian;
  EXPECT_THROW(swap.hessian(hessian, 1.0, matrix<double>(2, 1), swap.dfs()), Error);
}

struct option_case {
  double moneyness, volatility, is_call;
};

// Strikes around the money, volatilities from quiet to wild, payers (> 0) and receivers (0 or -1).
const std::vector<option_case> options{{1.0, 0.2, 1.0}, {0.6, 0.15, 1.0}, {1.5, 0.8, 1.0},
                                       {1.0, 0.35, 0.0}, {0.7, 0.3, -1.0}, {1.3, 0.1, -1.0}};

TEST(InterestRateSwap, ImpliedVolatilityRoundTrips) {
  const interest_rate_swap swap(node_curve(), plus(today, "2Y"), plus(today, "12Y"), tenor("6M"),
                                convention(day_count_convention_type::THIRTY_360));
  const double S = swap.swap_rate(), A = swap.annuity(), T = swap.expiry_double();
  for (const auto& o : options) {
    const double strike = o.moneyness * S;
    const double price = black_scholes::price(S, strike, T, o.volatility, A, o.is_call > 0 ? 1.0 : -1.0);
    // The inversion is exact to rounding; the smallest vega here turns that into ~1e-12 in volatility.
    EXPECT_NEAR(swap.implied_volatility(price, strike, o.is_call), o.volatility, 1e-10) << o.moneyness;
  }
  // A payer by default; by parity a payer and the receiver at the same strike imply the same volatility.
  const double payer = black_scholes::price(S, 1.1 * S, T, 0.25, A, 1.0);
  EXPECT_EQ(swap.implied_volatility(payer, 1.1 * S), swap.implied_volatility(payer, 1.1 * S, 1.0));
  EXPECT_NEAR(swap.implied_volatility(payer - (S - 1.1 * S) * A, 1.1 * S, -1.0), 0.25, 1e-10);
}

TEST(InterestRateSwap, ImpliedVolatilityAdjointIsTheInverseVega) {
  const interest_rate_swap swap(node_curve(), plus(today, "5Y"), plus(today, "10Y"), tenor("1Y"),
                                convention(day_count_convention_type::ACT_360));
  const double S = swap.swap_rate(), A = swap.annuity(), T = swap.expiry_double();
  for (const auto& o : options) {
    const double strike = o.moneyness * S;
    const double sign = o.is_call > 0 ? 1.0 : -1.0;
    const double price = black_scholes::price(S, strike, T, o.volatility, A, sign);
    // Central differences in the price over a step that moves the volatility by about 1e-5: the
    // truncation (that step squared times the curvature of the inverse) and the inversion's rounding
    // divided by the step both stay below 1e-8 relative.
    const double h = 1e-5 * black_scholes::vega(S, strike, T, o.volatility, A);
    const double slope =
        (swap.implied_volatility(price + h, strike, sign) - swap.implied_volatility(price - h, strike, sign)) / (2 * h);
    double adjoint = 2.0;
    const double returned = swap.implied_volatility_aad(adjoint, o.volatility, strike);
    EXPECT_NEAR(adjoint, 2.0 * slope, 1e-6 * std::abs(slope)) << o.moneyness;
    EXPECT_EQ(returned, adjoint);
  }
  // Far out of the money at a small volatility the price no longer moves: no sensitivity flows back.
  double adjoint = 1.0;
  swap.implied_volatility_aad(adjoint, 0.01, 10.0 * S);
  EXPECT_EQ(adjoint, 0.0);
  EXPECT_THROW(swap.implied_volatility_aad(adjoint, nan, S), Error);
}

TEST(InterestRateSwap, ReadsTheMarketVolatilityAtItsExpiryAndMaturity) {
  const std::vector<tenor> expiries{tenor("1Y"), tenor("2Y")};
  const std::vector<tenor> tenors{tenor("5Y"), tenor("10Y")};
  tensor<double> vols({2, 2, 2});
  for (size_t i = 0; i < vols.size(); ++i) vols[i] = 0.1 + 0.01 * static_cast<double>(i);
  const auto surface = std::make_shared<const ir_volatility_surface>(today, expiries, tenors,
                                                                     std::vector<double>{0.01, 0.03}, vols);
  const auto dc = convention(day_count_convention_type::ACT_360);
  // The 2Y x 5Y swap sits on nodes (1, 0, .), and halfway between the strikes the two average.
  const interest_rate_swap swap(node_curve(), plus(today, "2Y"), plus(plus(today, "2Y"), "5Y"), tenor("6M"), dc);
  EXPECT_EQ(swap.implied_volatility(surface, 0.01), vols[4]);
  EXPECT_NEAR(swap.implied_volatility(surface, 0.02), 0.5 * (vols[4] + vols[5]), 1e-16);
  EXPECT_THROW(swap.implied_volatility(ptr_const<ir_volatility_surface>(), 0.02), Error);
}

}  // namespace
}  // namespace qavrek
