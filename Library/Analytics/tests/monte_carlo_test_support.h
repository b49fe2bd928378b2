#pragma once

// Sample means of Monte Carlo tests and their check against an expected value within 4 standard errors
// (with fixed seeds a correct model fails about 1 check in 16000), and the martingale checks of simulated
// discount and survival curves: the market they are checked against and the dates they are checked at.

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/simulation/simulation_manager.h"
#include "Core/pointers.h"
#include "Market/discount_curve.h"
#include "Market/survival_curve.h"
#include "Util/datetime.h"
#include "Vectorization/vector.h"

namespace qavrek::simulation_test {

struct sample {
  double sum = 0.0;
  double sum_of_squares = 0.0;
  size_t count = 0;

  void add(double x) {
    sum += x;
    sum_of_squares += x * x;
    ++count;
  }
  double mean() const { return sum / static_cast<double>(count); }
  double variance() const {
    const double n = static_cast<double>(count);
    return (sum_of_squares / n - mean() * mean()) * n / (n - 1.0);
  }
  double standard_error() const { return std::sqrt(variance() / static_cast<double>(count)); }
};

// The sample mean within 4 standard errors of `expected`, plus an allowance for a known error of the
// expected value itself.
inline ::testing::AssertionResult within_four_standard_errors(const sample& s, double expected,
                                                             double allowance = 0.0) {
  const double distance = std::abs(s.mean() - expected);
  if (distance <= 4.0 * s.standard_error() + allowance) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "mean " << s.mean() << " is " << distance / s.standard_error()
                                       << " standard errors (" << s.standard_error() << ") away from " << expected;
}

// Under the simulation's measure the discounted zero-coupon prices are martingales: over the paths of
// `simulated`, mean discounting(date) -> P(0, date) and, for a maturity a whole number of years after
// the date, mean discounting(date) exp(log_df(date, maturity)) -> P(0, maturity), P being `market`
// seen from `start`. The discount factors at `date` are left in `discount_factors` (one per path).
inline void expect_discounted_bonds_at_market(const discount_curve& simulated, const discount_curve& market,
                                              const datetime& start, const datetime& date,
                                              const std::vector<int>& bond_years, vector<double>& discount_factors) {
  simulated.discounting(discount_factors, date);
  sample discounted;
  for (double d : discount_factors) discounted.add(d);
  EXPECT_TRUE(within_four_standard_errors(discounted, market.df(start, date)));

  vector<double> log_bond(discount_factors.size());
  for (int years : bond_years) {
    const datetime maturity(date.year() + years, date.month(), date.day());
    simulated.log_df(log_bond, date, maturity);
    sample bond;
    for (size_t p = 0; p < log_bond.size(); ++p) bond.add(discount_factors[p] * std::exp(log_bond[p]));
    EXPECT_TRUE(within_four_standard_errors(bond, market.df(start, maturity))) << years << " years on";
  }
}

// The credit twin of expect_discounted_bonds_at_market: mean survival_probability(date) -> Q(0, date) and,
// for a horizon a whole number of years after the date, mean survival_probability(date)
// exp(log_survival_probability(date, horizon)) -> Q(0, horizon), Q being `market` seen from `start`. The
// probabilities at `date` are left in `probabilities` (one per path).
inline void expect_survival_at_market(const survival_curve& simulated, const survival_curve& market,
                                      const datetime& start, const datetime& date, const std::vector<int>& years_on,
                                      vector<double>& probabilities) {
  simulated.survival_probability(probabilities, date);
  sample survived;
  for (double q : probabilities) survived.add(q);
  EXPECT_TRUE(within_four_standard_errors(survived, market.survival_probability(start, date)));

  vector<double> log_forward(probabilities.size());
  for (int years : years_on) {
    const datetime horizon(date.year() + years, date.month(), date.day());
    simulated.log_survival_probability(log_forward, date, horizon);
    sample survived_on;
    for (size_t p = 0; p < log_forward.size(); ++p) survived_on.add(probabilities[p] * std::exp(log_forward[p]));
    EXPECT_TRUE(within_four_standard_errors(survived_on, market.survival_probability(start, horizon)))
        << years << " years on";
  }
}

// The market curves of the martingale tests, seen from `start` (15 January 2024): discount factors to
// twenty years and survival probabilities to ten.
inline ptr_const<discount_curve> twenty_year_discount_curve(const datetime& start) {
  return std::make_shared<const discount_curve>(
      start,
      std::vector{datetime(2025, 1, 15), datetime(2027, 1, 15), datetime(2031, 1, 15), datetime(2036, 1, 15),
                  datetime(2044, 1, 15)},
      std::vector{0.975, 0.93, 0.84, 0.72, 0.55});
}
inline ptr_const<survival_curve> ten_year_survival_curve(const datetime& start) {
  return std::make_shared<const survival_curve>(
      start, std::vector{datetime(2025, 1, 15), datetime(2029, 1, 15), datetime(2034, 1, 15)},
      std::vector{0.985, 0.93, 0.85});
}

// The martingale tests simulate ten years of monthly steps and check after 1, 5 and 10 years, with bonds to
// two and seven years beyond, past the last simulation date too.
inline constexpr size_t martingale_months = 120;
inline const std::vector<int> martingale_bond_years{2, 7};

// Steps `manager` from its start through martingale_months months and calls `check(t)` after steps 12, 60
// and 120, traced with the month.
template <class Check>
void check_after_one_five_and_ten_years(simulation_manager& manager, const Check& check) {
  manager.states_initialize();
  for (size_t t = 1; t <= martingale_months; ++t) {
    manager.propagate(t);
    if (t != 12 && t != 60 && t != 120) continue;
    SCOPED_TRACE("after " + std::to_string(t) + " months");
    check(t);
  }
}

}  // namespace qavrek::simulation_test
