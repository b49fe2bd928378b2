// Adjoints, state gradients and state Hessians of swaps and spreads against central finite differences.
//
// Steps and tolerances: the functions are smooth sums of a few dozen exponentials of order one, so with
// a step h = 1e-5 the truncation of a central difference, h^2/6 times a third derivative of order one,
// is about 1e-11, and the rounding, a few ulps of the summed terms divided by h, about 1e-11. The
// tolerance, 1e-9 absolute on quantities of order 0.01 to 1, leaves a margin over both while still
// catching a missing term or a wrong sign.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Core/error.h"
#include "Instrument/interest_rate_spread.h"
#include "Instrument/interest_rate_swap.h"
#include "Market/discount_curve.h"
#include "Util/datetime_helper.h"
#include "Util/day_count_convention.h"
#include "Util/tenor.h"
#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {
namespace {

constexpr double h = 1e-5;
constexpr double tolerance = 1e-9;

const datetime today(2024, 1, 31);

ptr_const<discount_curve> curve() {
  return std::make_shared<const discount_curve>(
      today, std::vector<datetime>{datetime(2025, 1, 31), datetime(2027, 1, 29), datetime(2034, 1, 31), datetime(2044, 2, 1)},
      std::vector<double>{0.99, 0.93, 0.74, 0.55});
}

const auto thirty_360 = std::make_shared<const day_count_convention>(day_count_convention_type::THIRTY_360);

datetime plus(const datetime& date, const char* period) { return datetime_helper::add_tenor(date, tenor(period)); }

// Loadings of a Gaussian model with mean reversions a_k and volatilities s_k: s_k (1 - exp(-a_k t)) / a_k
// at each date's time t from today. Row 0 (the expiry) is not zero, so that the rows count relative to it.
matrix<double> loadings(const std::vector<datetime>& dates, size_t factors) {
  const double a[] = {0.05, 0.6, 1.7};
  const double s[] = {0.04, 0.03, 0.05};
  matrix<double> G(dates.size(), factors);
  for (size_t i = 0; i < dates.size(); ++i) {
    const double t = (dates[i].serial() - today.serial()) / 365.0;
    for (size_t k = 0; k < factors; ++k) G(i, k) = s[k] * (1.0 - std::exp(-a[k] * t)) / a[k];
  }
  return G;
}

// The model's discount factors at state x: Pm_i exp(-(G_i - G_0).x - (|G_i|^2 - |G_0|^2) / 2).
std::vector<double> model_dfs(const std::vector<double>& market, const matrix<double>& G, const std::vector<double>& x) {
  std::vector<double> out(market.size());
  for (size_t i = 0; i < market.size(); ++i) {
    double exponent = 0.0;
    for (size_t k = 0; k < x.size(); ++k)
      exponent -= (G(i, k) - G(0, k)) * x[k] + 0.5 * (G(i, k) * G(i, k) - G(0, k) * G(0, k));
    out[i] = market[i] * std::exp(exponent);
  }
  return out;
}

std::vector<double> state(size_t factors) {
  const std::vector<double> all{0.4, -0.9, 1.3};
  return {all.begin(), all.begin() + static_cast<long>(factors)};
}

// d f / d ln P_i by central differences.
std::vector<double> log_differences(const std::function<double(const std::vector<double>&)>& f, std::vector<double> dfs) {
  std::vector<double> out(dfs.size());
  for (size_t i = 0; i < dfs.size(); ++i) {
    const double p = dfs[i];
    dfs[i] = p * std::exp(h);
    const double up = f(dfs);
    dfs[i] = p * std::exp(-h);
    out[i] = (up - f(dfs)) / (2 * h);
    dfs[i] = p;
  }
  return out;
}

// d f / d x_k by central differences.
std::vector<double> state_differences(const std::function<double(const std::vector<double>&)>& f, std::vector<double> x) {
  std::vector<double> out(x.size());
  for (size_t k = 0; k < x.size(); ++k) {
    const double xk = x[k];
    x[k] = xk + h;
    const double up = f(x);
    x[k] = xk - h;
    out[k] = (up - f(x)) / (2 * h);
    x[k] = xk;
  }
  return out;
}

// The state gradient from log adjoints, through the static helper under test.
std::vector<double> gradient_of(const matrix<double>& G, const std::vector<double>& log_adjoints) {
  vector<double> out;
  interest_rate_swap::gradient(out, G, log_adjoints);
  return {out.begin(), out.end()};
}

void expect_hessian_matches(const matrix<double>& H, const std::function<std::vector<double>(const std::vector<double>&)>& g,
                            std::vector<double> x) {
  ASSERT_EQ(H.rows(), x.size());
  ASSERT_EQ(H.columns(), x.size());
  for (size_t l = 0; l < x.size(); ++l) {
    const double xl = x[l];
    x[l] = xl + h;
    const std::vector<double> up = g(x);
    x[l] = xl - h;
    const std::vector<double> down = g(x);
    x[l] = xl;
    for (size_t k = 0; k < x.size(); ++k) EXPECT_NEAR(H(k, l), (up[k] - down[k]) / (2 * h), tolerance) << k << "," << l;
  }
}

class SwapSensitivities : public testing::TestWithParam<size_t> {
 protected:
  const interest_rate_swap swap{curve(), plus(today, "2Y"), plus(today, "12Y"), tenor("6M"), thirty_360};
  const size_t factors = GetParam();
  const matrix<double> G = loadings(swap.all_dates(), factors);
  const std::vector<double> x = state(factors);
  const std::vector<double> dfs = model_dfs(swap.dfs(), G, x);
  const double strike = 0.9 * swap.swap_rate();
};

TEST_P(SwapSensitivities, ValueLogAdjointsGradientAndHessian) {
  const double seed = 1.5;
  std::vector<double> adjoints(dfs.size(), 0.0);
  swap.swap_value_aad(seed, strike, dfs, adjoints);
  const auto value = [&](const std::vector<double>& p) { return seed * swap.value(strike, p); };
  const std::vector<double> expected = log_differences(value, dfs);
  for (size_t i = 0; i < dfs.size(); ++i) EXPECT_NEAR(adjoints[i], expected[i], tolerance) << i;

  // The adjoints add to what the vector held.
  std::vector<double> twice = adjoints;
  swap.swap_value_aad(seed, strike, dfs, twice);
  for (size_t i = 0; i < dfs.size(); ++i) EXPECT_DOUBLE_EQ(twice[i], 2 * adjoints[i]);

  const auto state_value = [&](const std::vector<double>& y) { return value(model_dfs(swap.dfs(), G, y)); };
  const std::vector<double> gradient = gradient_of(G, adjoints);
  const std::vector<double> expected_gradient = state_differences(state_value, x);
  for (size_t k = 0; k < factors; ++k) EXPECT_NEAR(gradient[k], expected_gradient[k], tolerance) << k;

  // The Hessian against differences of the analytic gradient.
  const auto value_gradient = [&](const std::vector<double>& y) {
    const std::vector<double> p = model_dfs(swap.dfs(), G, y);
    std::vector<double> log_adjoints(p.size(), 0.0);
    swap.swap_value_aad(seed, strike, p, log_adjoints);
    return gradient_of(G, log_adjoints);
  };
  matrix<double> H;
  swap.swap_value_aad_second(H, seed, G, strike, dfs);
  expect_hessian_matches(H, value_gradient, x);
}

TEST_P(SwapSensitivities, SwapRateAndAnnuityAdjointsGradientAndHessian) {
  const double seed = -0.7;
  std::vector<double> rate_adjoints(dfs.size(), 0.0);
  swap.swap_rate_aad(seed, dfs, rate_adjoints);
  std::vector<double> annuity_adjoints(dfs.size(), 0.0);
  swap.annuity_aad(annuity_adjoints, dfs);
  for (size_t i = 0; i < dfs.size(); ++i) {
    std::vector<double> up = dfs, down = dfs;
    up[i] += h;
    down[i] -= h;
    EXPECT_NEAR(rate_adjoints[i], seed * (swap.swap_rate(up) - swap.swap_rate(down)) / (2 * h), tolerance) << i;
    EXPECT_NEAR(annuity_adjoints[i], (swap.annuity(up) - swap.annuity(down)) / (2 * h), tolerance) << i;
  }

  // The swap rate's state gradient from its log adjoints P_i dS/dP_i, and its Hessian.
  const auto rate_gradient = [&](const std::vector<double>& y) {
    const std::vector<double> p = model_dfs(swap.dfs(), G, y);
    std::vector<double> adjoints(p.size(), 0.0);
    swap.swap_rate_aad(seed, p, adjoints);
    for (size_t i = 0; i < p.size(); ++i) adjoints[i] *= p[i];
    return gradient_of(G, adjoints);
  };
  const auto state_rate = [&](const std::vector<double>& y) { return seed * swap.swap_rate(model_dfs(swap.dfs(), G, y)); };
  const std::vector<double> gradient = rate_gradient(x);
  const std::vector<double> expected_gradient = state_differences(state_rate, x);
  for (size_t k = 0; k < factors; ++k) EXPECT_NEAR(gradient[k], expected_gradient[k], tolerance) << k;

  matrix<double> H(7, 7);
  swap.hessian(H, seed, G, dfs);
  expect_hessian_matches(H, rate_gradient, x);
}

std::string factor_count_name(const testing::TestParamInfo<size_t>& info) {
  return "factors_" + std::to_string(info.param);
}

INSTANTIATE_TEST_SUITE_P(Factors, SwapSensitivities, testing::Values(1, 2, 3), factor_count_name);

TEST(SwapSensitivities, OutputViewsMustHaveTheFactorShape) {
  const interest_rate_swap swap(curve(), plus(today, "1Y"), plus(today, "3Y"), tenor("1Y"), thirty_360);
  const matrix<double> G = loadings(swap.all_dates(), 2);
  std::vector<double> storage(9, 0.0);
  matrix<double> view = matrix<double>::view(storage.data(), 3, 3);
  EXPECT_THROW(swap.hessian(view, 1.0, G, swap.dfs()), Error);
  vector<double> gradient_view = vector<double>::view(storage.data(), 3);
  EXPECT_THROW(interest_rate_swap::gradient(gradient_view, G, std::vector<double>(3, 1.0)), Error);
  // A view of the right shape is written in place.
  matrix<double> fitting = matrix<double>::view(storage.data(), 2, 2);
  swap.hessian(fitting, 1.0, G, swap.dfs());
  EXPECT_NE(storage[0], 0.0);
}

class SpreadSensitivities : public testing::TestWithParam<size_t> {
 protected:
  const interest_rate_spread spread{curve(), plus(today, "2Y"), plus(today, "12Y"), plus(today, "4Y"), tenor("1Y"),
                                    thirty_360, 1.2, 0.8};
  const size_t factors = GetParam();
  const matrix<double> G = loadings(spread.all_dates(), factors);
  const std::vector<double> x = state(factors);
  const std::vector<double> dfs = model_dfs(spread.dfs(), G, x);
  const double strike = 0.004;
};

TEST_P(SpreadSensitivities, ValueLogAdjointsGradientAndHessian) {
  const double seed = 2.0;
  std::vector<double> adjoints(dfs.size(), 0.0);
  spread.value_aad(adjoints, seed, dfs);
  const auto value = [&](const std::vector<double>& p) { return seed * spread.value(strike, p); };
  const std::vector<double> expected = log_differences(value, dfs);
  for (size_t i = 0; i < dfs.size(); ++i) EXPECT_NEAR(adjoints[i], expected[i], tolerance) << i;

  const auto spread_gradient = [&](const std::vector<double>& y) {
    const std::vector<double> p = model_dfs(spread.dfs(), G, y);
    std::vector<double> log_adjoints(p.size(), 0.0);
    spread.value_aad(log_adjoints, seed, p);
    return gradient_of(G, log_adjoints);
  };
  const std::vector<double> expected_gradient =
      state_differences([&](const std::vector<double>& y) { return value(model_dfs(spread.dfs(), G, y)); }, x);
  const std::vector<double> gradient = spread_gradient(x);
  for (size_t k = 0; k < factors; ++k) EXPECT_NEAR(gradient[k], expected_gradient[k], tolerance) << k;

  matrix<double> H;
  spread.hessian(H, seed, G, dfs);
  expect_hessian_matches(H, spread_gradient, x);
}

INSTANTIATE_TEST_SUITE_P(Factors, SpreadSensitivities, testing::Values(1, 3), factor_count_name);

}  // namespace
}  // namespace qavrek
