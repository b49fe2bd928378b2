// Conditional prices of the Black-Karasinski rate r = exp(level + y), dy = -kappa y ds + sigma dW, against
// an independent Crank-Nicolson solution of their backward equation
//   dP/ds - kappa y dP/dy + sigma^2 / 2 d2P/dy2 - e^{level + y} P = 0,   P(T) = 1.
#include <gtest/gtest.h>

#include <algorithm>
#include <boost/math/quadrature/gauss_kronrod.hpp>
#include <cmath>
#include <limits>
#include <numbers>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "Core/error.h"
#include "Math/gaussian_quadrature.h"
#include "Math/karhunen_loeve_expansion.h"

namespace qavrek {
namespace {

struct piecewise {
  std::vector<double> values;
  std::vector<double> times;
};

// The level in force from its time on (the first also before it).
double level_at(const piecewise& levels, double s) {
  const auto at = std::upper_bound(levels.times.begin(), levels.times.end(), s);
  return levels.values[at == levels.times.begin() ? 0 : size_t(at - levels.times.begin()) - 1];
}

// The value of the interval that ends at s: (times[k - 1], times[k]].
double value_before(const piecewise& parameter, double s) {
  const auto at = std::lower_bound(parameter.times.begin(), parameter.times.end(), s);
  return parameter.values[std::min(size_t(at - parameter.times.begin()), parameter.times.size() - 1)];
}

// The pieces of [t, T] between the level, volatility and mean-reversion times.
std::vector<double> cuts(double t, double T, const piecewise& levels, const piecewise& volatilities,
                         const piecewise& mean_reversions) {
  std::vector<double> cut{t, T};
  for (const auto* times : {&levels.times, &volatilities.times, &mean_reversions.times})
    for (double time : *times)
      if (t < time && time < T) cut.push_back(time);
  std::sort(cut.begin(), cut.end());
  cut.erase(std::unique(cut.begin(), cut.end()), cut.end());
  return cut;
}

struct expansion_case {
  std::string name;
  double kappa;
  piecewise levels;
  piecewise squared_volatilities;
  double t, T;
  piecewise mean_reversions = {};  // on (times[k - 1], times[k]] in place of kappa, when given

  double mean_reversion_before(double s) const {
    return mean_reversions.values.empty() ? kappa : value_before(mean_reversions, s);
  }
};

void PrintTo(const expansion_case& c, std::ostream* out) { *out << c.name; }

// Crank-Nicolson on y in [-10, 10] with spacing 1/128 (so the test's starting values are grid points) and
// steps of at most 1/1000 year cut at every level and volatility time. Halving both moves its prices by
// less than 2e-7 on these cases (second order: the error is about a third of that).
class reference_solution {
 public:
  static constexpr double half_width = 10.0;

  explicit reference_solution(const expansion_case& c, double refinement = 1.0)
      : spacing_(1.0 / (128.0 * refinement)), size_(size_t(2 * half_width / spacing_) + 1), price_(size_, 1.0) {
    const std::vector<double> cut = cuts(c.t, c.T, c.levels, c.squared_volatilities, c.mean_reversions);
    for (size_t p = cut.size() - 1; p > 0; --p) {
      const double level = level_at(c.levels, cut[p - 1]);
      const double variance = value_before(c.squared_volatilities, cut[p]);
      const double kappa = c.mean_reversion_before(cut[p]);
      const size_t steps = size_t(std::ceil((cut[p] - cut[p - 1]) * 1000.0 * refinement));
      for (size_t i = 0; i < steps; ++i) step(kappa, variance, level, (cut[p] - cut[p - 1]) / double(steps));
    }
  }

  double at(double y) const { return price_[size_t(std::lround((y + half_width) / spacing_))]; }

 private:
  double y(size_t j) const { return -half_width + double(j) * spacing_; }

  // One step back: (1 - dt/2 A) P_new = (1 + dt/2 A) P, A the backward operator; one-sided convection and
  // no curvature at the two ends, which lie 10 standard deviations away.
  void step(double kappa, double variance, double level, double dt) {
    const size_t n = size_;
    std::vector<double> below(n), diagonal(n), above(n), right(n);
    for (size_t j = 0; j < n; ++j) {
      const double reaction = -std::exp(level + y(j));
      const double drift = -kappa * y(j);
      double a_below, a_diagonal, a_above;
      if (j == 0) {
        a_below = 0.0, a_above = drift / spacing_, a_diagonal = -drift / spacing_ + reaction;
      } else if (j + 1 == n) {
        a_above = 0.0, a_below = -drift / spacing_, a_diagonal = drift / spacing_ + reaction;
      } else {
        const double diffusion = 0.5 * variance / (spacing_ * spacing_);
        const double convection = 0.5 * drift / spacing_;
        a_below = diffusion - convection, a_above = diffusion + convection, a_diagonal = -2.0 * diffusion + reaction;
      }
      right[j] = price_[j] + 0.5 * dt * (a_diagonal * price_[j] + (j > 0 ? a_below * price_[j - 1] : 0.0) +
                                         (j + 1 < n ? a_above * price_[j + 1] : 0.0));
      below[j] = -0.5 * dt * a_below;
      diagonal[j] = 1.0 - 0.5 * dt * a_diagonal;
      above[j] = -0.5 * dt * a_above;
    }
    for (size_t j = 1; j < n; ++j) {
      const double m = below[j] / diagonal[j - 1];
      diagonal[j] -= m * above[j - 1];
      right[j] -= m * right[j - 1];
    }
    price_[n - 1] = right[n - 1] / diagonal[n - 1];
    for (size_t j = n - 1; j-- > 0;) price_[j] = (right[j] - above[j] * price_[j + 1]) / diagonal[j];
  }

  double spacing_;
  size_t size_;
  std::vector<double> price_;
};

// The n-point Gauss-Hermite rule for a standard normal variable.
void normal_rule(size_t n, vector<double>& roots, vector<double>& weights) {
  gaussian_quadrature::gauss_hermite_coefficients(n, roots, weights, true, std::numeric_limits<double>::epsilon(), 20);
  for (size_t k = 0; k < n; ++k) {
    roots[k] *= std::sqrt(2.0);
    weights[k] /= std::sqrt(std::numbers::pi);
  }
}

karhunen_loeve_expansion expansion_of(const expansion_case& c, double time_step) {
  if (!c.mean_reversions.values.empty())
    return karhunen_loeve_expansion(c.t, c.T, karhunen_loeve_expansion::decay_type::mean_reversion,
                                    c.mean_reversions.values, c.mean_reversions.times, c.levels.values,
                                    c.levels.times, c.squared_volatilities.values, c.squared_volatilities.times,
                                    time_step);
  return karhunen_loeve_expansion(c.t, c.T, c.kappa, c.levels.values, c.levels.times, c.squared_volatilities.values,
                                  c.squared_volatilities.times, time_step);
}

// Prices at y = decay x for the starting values below.
const std::vector<double> starting_values = {-0.5, 0.0, 0.5};
constexpr double decay = 0.8;

vector<double> prices(const karhunen_loeve_expansion& expansion, size_t roots_count) {
  vector<double> roots, weights;
  normal_rule(roots_count, roots, weights);
  vector<double> x(starting_values.size()), out(starting_values.size());
  for (size_t j = 0; j < x.size(); ++j) x[j] = starting_values[j] / decay;
  expansion.survival_probability(x, decay, roots, weights, out);
  return out;
}

std::vector<expansion_case> cases() {
  const double ten_days = 10.0 / 365.0;
  return {
      {"rate_five_years", 0.1, {{std::log(0.03)}, {0.0}}, {{0.09}, {5.0}}, 0.0, 5.0},
      {"piecewise_levels_and_volatilities", 0.08,
       {{std::log(0.02), std::log(0.03), std::log(0.045)}, {0.0, 1.0, 3.0}},
       {{0.25, 0.16, 0.09}, {2.0, 4.0, 6.0}}, 0.5, 7.3},
      {"credit_high_volatility_ten_years", 0.5, {{std::log(0.05)}, {0.0}}, {{1.0}, {10.0}}, 0.0, 10.0},
      {"no_mean_reversion", 0.0, {{std::log(0.025), std::log(0.035)}, {0.0, 6.0}}, {{0.04}, {1.0}}, 2.0, 12.0},
      {"level_time_inside_first_step", 0.2, {{std::log(0.04), std::log(0.06)}, {0.0, 1.0 + 0.3 * ten_days}},
       {{0.16}, {1.0}}, 1.0, 1.5},
      {"mean_reversion_changes_inside", 0.0, {{std::log(0.03)}, {0.0}}, {{0.25}, {5.0}}, 0.5, 6.0,
       {{0.05, 0.9, 0.2}, {2.0, 3.5, 5.0}}},
  };
}

class ExpansionAgainstPde : public ::testing::TestWithParam<expansion_case> {};

// Error of the expansion against the reference (refined twice, itself within 1e-7), at y = 0:
//
//   step     roots:  1        2        3        4        8
//   rate_five_years
//    1 day       +9.9e-3  +1.2e-7  +4e-9    +2e-9    +8e-9
//    5 days      +9.9e-3  +5.8e-7  +1.3e-8  +1.8e-8  +1.4e-8
//   10 days      +9.9e-3  +1.2e-6  +3.7e-8  +4.0e-8  +4.1e-8
//   30 days      +9.9e-3  +3.7e-6  +3.0e-7  +3.1e-7  +3.1e-7
//   90 days      +9.9e-3  +1.3e-5  +2.5e-6  +2.6e-6  +2.6e-6
//   piecewise_levels_and_volatilities
//    1 day       +3.5e-2  -1.3e-6  -1.0e-8  -2.4e-8  -1.3e-8
//   10 days      +3.5e-2  -1.2e-5  +2.4e-8  +2.7e-8  +2.6e-8
//   90 days      +3.5e-2  -8.5e-5  +1.8e-6  +2.2e-6  +2.2e-6
//   credit_high_volatility_ten_years
//    1 day       +1.1e-1  -7.7e-8  +2.0e-8  +2.5e-8  +2.5e-8
//    5 days      +1.1e-1  +1.1e-7  +3.4e-7  +4.4e-7  +4.4e-7
//   10 days      +1.1e-1  +1.5e-6  +1.3e-6  +1.7e-6  +1.7e-6
//   30 days      +1.1e-1  +2.0e-5  +1.2e-5  +1.5e-5  +1.5e-5
//   90 days      +1.1e-1  +1.8e-4  +1.1e-4  +1.4e-4  +1.4e-4
//   no_mean_reversion (10 years)
//    1 day       +1.9e-2  -2.2e-7  -3.7e-8  -7.4e-8  -8.7e-8
//   10 days      +1.9e-2  -1.9e-6  -3.8e-8  -7.0e-8  -6.3e-8
//   90 days      +1.9e-2  -1.7e-5  -8.9e-7  -8.7e-7  -8.7e-7
//
// One root leaves out the convexity of the rate; from three roots on the per-step rule is exact to the
// grid's error, and the trapezoid's error, second order in the step, dominates: largest where the rate
// moves fastest (high volatility and mean reversion).
TEST_P(ExpansionAgainstPde, DefaultSettingsAgreeWithTheBackwardEquation) {
  const expansion_case& c = GetParam();
  const reference_solution reference(c);
  const vector<double> expanded = prices(expansion_of(c, 10.0 / 365.0), 8);
  for (size_t j = 0; j < starting_values.size(); ++j) {
    // The expansion's error at these settings stays below 1.8e-6 at every starting value (table above),
    // the reference's below 1e-7.
    EXPECT_NEAR(expanded[j], reference.at(starting_values[j]), 2e-6) << "y " << starting_values[j];
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ExpansionAgainstPde, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return info.param.name; });

// Without volatility the rate is deterministic: r(s) = exp(level(s) + y e^{-kappa (s - t)}).
TEST(ExpansionWithoutVolatility, IsTheExponentialOfTheIntegratedRate) {
  const piecewise levels{{std::log(0.02), std::log(0.035), std::log(0.05)}, {0.0, 1.3, 4.1}};
  const piecewise no_volatility{{0.0}, {1.0}};
  const double t = 0.7, T = 6.2, kappa = 0.3, step = 10.0 / 365.0;
  const karhunen_loeve_expansion expansion(t, T, kappa, levels.values, levels.times, no_volatility.values,
                                           no_volatility.times, step);
  vector<double> roots, weights;
  normal_rule(8, roots, weights);
  // At y = 0 the trapezoid is exact on every step (the steps are cut at the level times): only the sum of
  // about 200 terms rounds.
  {
    vector<double> x{0.0}, out(1);
    expansion.survival_probability(x, decay, roots, weights, out);
    EXPECT_NEAR(out[0], std::exp(-(0.6 * 0.02 + 2.8 * 0.035 + 2.1 * 0.05)), 1e-10);
  }
  // Elsewhere the trapezoid errs by at most h^2 / 12 times the integral of |r''| (each step by h^3 / 12
  // times r'' somewhere in it), which the tolerance takes from the exact rate.
  for (double y : {-0.8, 0.5, 1.2}) {
    double integral = 0.0, curvature = 0.0;
    const std::vector<double> piece_ends = {t, 1.3, 4.1, T};
    for (size_t p = 0; p + 1 < piece_ends.size(); ++p) {
      const double level = level_at(levels, piece_ends[p]);
      const auto rate = [&](double s) { return std::exp(level + y * std::exp(-kappa * (s - t))); };
      // r'' = r ((kappa y e^{-kappa u})^2 + kappa^2 y e^{-kappa u}), u = s - t.
      const auto second_derivative = [&](double s) {
        const double m = y * std::exp(-kappa * (s - t));
        return std::abs(rate(s) * kappa * kappa * (m * m + m));
      };
      using rule = boost::math::quadrature::gauss_kronrod<double, 31>;
      integral += rule::integrate(rate, piece_ends[p], piece_ends[p + 1], 10, 1e-14);
      curvature += rule::integrate(second_derivative, piece_ends[p], piece_ends[p + 1], 10, 1e-14);
    }
    vector<double> x{y / decay}, out(1);
    expansion.survival_probability(x, decay, roots, weights, out);
    const double trapezoid_bound = step * step / 12.0 * curvature;
    EXPECT_NEAR(out[0], std::exp(-integral), trapezoid_bound) << "y " << y;
  }
}

TEST(ExpansionOverNoTime, PricesOne) {
  const karhunen_loeve_expansion expansion(2.5, 2.5, 0.1, std::vector{std::log(0.03)}, std::vector{0.0},
                                           std::vector{0.09}, std::vector{1.0}, 10.0 / 365.0);
  EXPECT_EQ(expansion.number_of_steps(), 0u);
  vector<double> roots, weights;
  normal_rule(8, roots, weights);
  vector<double> x{-3.0, 0.0, 2.0}, out(3);
  expansion.survival_probability(x, decay, roots, weights, out);
  for (double price : out) EXPECT_EQ(price, 1.0);
}

// Steps end on every level and volatility time and every change of the decays, and are no longer than the time
// step.
TEST(ExpansionGrid, CutsAtEveryLevelAndVolatilityTime) {
  const karhunen_loeve_expansion expansion(0.5, 2.0, 0.1, std::vector{0.0, 0.0}, std::vector{0.0, 1.05},
                                           std::vector{0.1, 0.2}, std::vector{0.8, 3.0}, 0.25);
  // [0.5, 0.8]: 2 steps, [0.8, 1.05]: 1, [1.05, 2.0]: 4.
  EXPECT_EQ(expansion.number_of_steps(), 7u);

  // Decays cut where they change (at 1.2), not at a time where they hold (0.9): [0.5, 1.2]: 3, [1.2, 2.0]: 4.
  using decay_type = karhunen_loeve_expansion::decay_type;
  for (decay_type type : {decay_type::mean_reversion, decay_type::loading}) {
    const karhunen_loeve_expansion changing(0.5, 2.0, type, std::vector{0.1, 0.1, 0.3}, std::vector{0.9, 1.2, 3.0},
                                            std::vector{0.0}, std::vector{0.0}, std::vector{0.1}, std::vector{3.0},
                                            0.25);
    EXPECT_EQ(changing.number_of_steps(), 7u);
  }
}

TEST(ExpansionErrors, RejectsInputsWithoutAPrice) {
  const std::vector<double> level{std::log(0.03)}, zero{0.0}, variance{0.09}, one{1.0};
  const auto build = [&](double t, double T, double kappa, std::vector<double> levels, std::vector<double> level_times,
                         std::vector<double> variances, double step) {
    return [=] { karhunen_loeve_expansion(t, T, kappa, levels, level_times, variances, one, step); };
  };
  const auto fails = [](auto&& action) {
    try {
      action();
    } catch (const Error&) {
      return true;
    }
    return false;
  };
  EXPECT_TRUE(fails(build(2.0, 1.0, 0.1, level, zero, variance, 0.1))) << "T before t";
  EXPECT_TRUE(fails(build(0.0, 1.0, 0.1, level, zero, variance, 0.0))) << "no time step";
  EXPECT_TRUE(fails(build(0.0, 1.0, std::nan(""), level, zero, variance, 0.1))) << "no mean reversion";
  EXPECT_TRUE(fails(build(0.0, 1.0, 0.1, {}, {}, variance, 0.1))) << "no level";
  EXPECT_TRUE(fails(build(0.0, 1.0, 0.1, {0.0, 0.0}, {0.5, 0.5}, variance, 0.1))) << "level times not increasing";
  EXPECT_TRUE(fails(build(0.0, 1.0, 0.1, level, zero, {-0.01}, 0.1))) << "negative variance";
  EXPECT_TRUE(fails(build(0.0, 1.0, 0.1, level, zero, variance, 1e-9))) << "more steps than memory";

  const karhunen_loeve_expansion expansion(0.0, 1.0, 0.1, level, zero, variance, one, 0.1);
  vector<double> roots, weights;
  normal_rule(4, roots, weights);
  vector<double> x{0.1, 0.2}, out(2), short_out(1), three_weights{0.2, 0.3, 0.5};
  EXPECT_TRUE(fails([&] { expansion.survival_probability(x, 1.0, roots, weights, short_out); })) << "output size";
  EXPECT_TRUE(fails([&] { expansion.survival_probability(x, 1.0, roots, three_weights, out); })) << "rule sizes";
  vector<double> not_finite{0.1, std::numeric_limits<double>::infinity()};
  EXPECT_TRUE(fails([&] { expansion.survival_probability(not_finite, 1.0, roots, weights, out); })) << "infinite x";
  // A mean reversion of -30 over 30 years spreads the paths past the doubles: no grid can hold them.
  const karhunen_loeve_expansion exploding(0.0, 30.0, -30.0, level, zero, variance, one, 0.05);
  EXPECT_TRUE(fails([&] { exploding.survival_probability(x, 1.0, roots, weights, out); })) << "overflowing paths";
}

}  // namespace
}  // namespace qavrek
