#pragma once

// Sample means of Monte Carlo tests and their check against an expected value within 4 standard errors
// (with fixed seeds a correct model fails about 1 check in 16000), and the martingale checks of a
// simulated discount curve.

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <vector>

#include "Market/discount_curve.h"
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

}  // namespace qavrek::simulation_test
