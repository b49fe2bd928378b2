// The Black-Karasinski and Cheyette PDE coefficients against closed forms of a Hull-White factor: each step reads
// the variance of the step itself (volatility and skew dates fall between the simulation dates, so the models' date
// tables and the simulation dates differ), the rates and local volatilities at the nodes, and the refusals.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "Analytics/models/model_black_karasinski.h"
#include "Analytics/models/model_cheyette.h"
#include "Core/error.h"
#include "PDE/scheme/pde_model_coefficients.h"
#include "hjm_model_test_support.h"
#include "pde_manager_test_support.h"

namespace qavrek {
namespace {

using namespace hjm_test;
using pde_test::given_axis;

constexpr double kappa = 0.1;
// Volatility 0.010 until day 45, 0.015 until day 200, 0.012 after.
const std::vector<int> volatility_days{45, 200, 3650};
const std::vector<double> volatilities{0.010, 0.015, 0.012};
const std::vector<datetime> simulation_dates = days({0, 30, 91, 182, 365, 500});

ptr_mutable<parameter_markovian_hjm> hull_white() {
  std::vector<datetime> dates;
  matrix<double> rows(volatilities.size(), 1);
  for (size_t i = 0; i < volatilities.size(); ++i) {
    dates.push_back(day(volatility_days[i]));
    rows(i, 0) = volatilities[i];
  }
  return std::make_shared<parameter_markovian_hjm>(
      make_parameter(parameter_markovian_hjm_type::HULL_WHITE, {{kappa}}, days({3650}), rows, dates, {{1.0}}));
}

// The variance of x = e^{kappa u} y over [a, b] in days: the integral of sigma(u)^2 e^{2 kappa u}, piece by piece.
double factor_variance(int a, int b) {
  double sum = 0.0;
  int from = a;
  for (size_t i = 0; i < volatility_days.size() && from < b; ++i) {
    const int to = std::min(b, volatility_days[i]);
    if (to <= from) continue;
    sum += volatilities[i] * volatilities[i] *
           (std::exp(2.0 * kappa * to / 365.0) - std::exp(2.0 * kappa * from / 365.0)) / (2.0 * kappa);
    from = to;
  }
  return sum;
}

std::vector<std::shared_ptr<pde_model_coefficients>> sets(size_t count, std::vector<size_t> shape) {
  std::vector<std::shared_ptr<pde_model_coefficients>> result;
  for (size_t i = 0; i < count; ++i) result.push_back(std::make_shared<pde_model_coefficients>(shape, false));
  return result;
}

// --- Black-Karasinski ----------------------------------------------------------------------------------------------

class BlackKarasinskiPde : public ::testing::Test {
 protected:
  // Levels ln 2% from the valuation date, ln 3% from day 200.
  parameter_black_karasinski parameter_{hull_white(), {std::log(0.02), std::log(0.03)}, days({0, 200})};
  model_black_karasinski model_{parameter_, valuation(), simulation_dates, false};
  std::vector<ptr_const<space_grid>> grids_{given_axis({-0.8, -0.1, 0.0, 0.3, 1.2})};
  std::vector<std::shared_ptr<pde_model_coefficients>> sets_ = sets(1, {5});
};

// Diffusion: half the variance of the step's own dates; reaction: -(dt/2) (r(t, x) + r(T, x)), r = e^{level + a x}
// with a = e^{-kappa t} at each end and the level of t at both.
TEST_F(BlackKarasinskiPde, StepsCarryTheirOwnVarianceAndTheTrapezoidOfTheRate) {
  const std::vector<int> offsets{0, 30, 91, 182, 365, 500};
  for (size_t i = 1; i < offsets.size(); ++i) {
    const datetime t = day(offsets[i - 1]);
    const datetime end = day(offsets[i]);
    model_.coefficients(sets_, grids_, t, end);
    const double variance = factor_variance(offsets[i - 1], offsets[i]);
    const double level = offsets[i - 1] >= 200 ? std::log(0.03) : std::log(0.02);
    const double dt = years(end) - years(t);
    for (size_t p = 0; p < 5; ++p) {
      const double x = grids_[0]->axis()[p];
      const double rates =
          std::exp(level + std::exp(-kappa * years(t)) * x) + std::exp(level + std::exp(-kappa * years(end)) * x);
      // A difference of two accumulated variances, and exponentials within 2 units in the last place.
      EXPECT_NEAR(sets_[0]->diffusion()[p], 0.5 * variance, 1e-13 * variance) << i;
      EXPECT_NEAR(sets_[0]->reaction()[p], -0.5 * dt * rates, 1e-14 * dt * rates) << i;
      EXPECT_EQ(sets_[0]->convection()[p], 0.0);
    }
  }
  model_.coefficients(sets_, grids_, day(91), day(91));
  for (size_t p = 0; p < 5; ++p) {
    EXPECT_EQ(sets_[0]->diffusion()[p], 0.0);
    EXPECT_EQ(sets_[0]->reaction()[p], 0.0);
  }
}

TEST_F(BlackKarasinskiPde, RatesBeyondTheRangeOfDoublesStayFinite) {
  const std::vector<ptr_const<space_grid>> far{given_axis({-1e6, 0.0, 1e6})};
  const auto far_sets = sets(1, {3});
  model_.coefficients(far_sets, far, day(30), day(91));
  for (double value : far_sets[0]->reaction()) EXPECT_TRUE(std::isfinite(value)) << value;
  EXPECT_LT(far_sets[0]->reaction()[2], -1e300);
}

TEST_F(BlackKarasinskiPde, RefusesStepsOffTheSimulationDatesAndMisshapedSets) {
  // Day 45 is a volatility date, a date of the driver's tables, but no simulation date.
  EXPECT_THROW(model_.coefficients(sets_, grids_, day(30), day(45)), Error);
  EXPECT_THROW(model_.coefficients(sets_, grids_, day(91), day(30)), Error);
  EXPECT_THROW(model_.coefficients(sets(1, {4}), grids_, day(30), day(91)), Error);
  EXPECT_THROW(model_.coefficients({}, grids_, day(30), day(91)), Error);
}

// --- Cheyette -------------------------------------------------------------------------------------------------------

// Skew 0.8 until day 100, -0.5 until day 250, 0 after; level `level`.
parameter_cheyette cheyette(double level) {
  return parameter_cheyette(hull_white(), matrix<double>{{0.8}, {-0.5}, {0.0}}, days({100, 250, 3650}), level);
}

// The skewed variance of simulation date k: the sum over the steps up to it of (b sv)^2, b the skew of the step's
// end date.
double skewed_variance(size_t k) {
  const std::vector<int> offsets{0, 30, 91, 182, 365, 500};
  double sum = 0.0;
  for (size_t i = 1; i <= k; ++i) {
    const double skew = offsets[i] <= 100 ? 0.8 : offsets[i] <= 250 ? -0.5 : 0.0;
    sum += skew * skew * factor_variance(offsets[i - 1], offsets[i]);
  }
  return sum;
}

// 1.2 lies past the cap of either skew, -1.5 past the multiplier's kink at the low skew level.
const std::vector<double> x_points{-1.5, -0.2, 0.0, 0.1, 0.4, 1.2};

// The cap of the multiplier of a step whose skew is `skew` and whose variance at its end is `variance`.
double multiplier_cap(double skew, double variance) {
  return 1.0 + std::abs(skew) * std::sqrt(1.0 + 5.0 * std::expm1(variance));
}
const std::vector<double> y_points{0.0, 0.01, 0.05};

TEST(CheyettePde, VolatilityOfAStepIsItsOwnSkewedDeviationTimesTheMultiplier) {
  const double level = 0.3;
  const parameter_cheyette parameter = cheyette(level);
  const model_cheyette model(parameter, valuation(), simulation_dates, false, false);
  const vector<double> x = vector<double>::view(const_cast<double*>(x_points.data()), x_points.size());
  const vector<double> y = vector<double>::view(const_cast<double*>(y_points.data()), y_points.size());
  matrix<double> out(x.size(), y.size());
  for (size_t k = 1; k <= 3; ++k) {
    model.volatility(k, x, y, out);
    const double deviation = std::sqrt(skewed_variance(k) - skewed_variance(k - 1));
    const double skew = k <= 2 ? 0.8 : -0.5;
    const double cap = multiplier_cap(skew, skewed_variance(k));
    for (size_t j = 0; j < x.size(); ++j)
      for (size_t m = 0; m < y.size(); ++m) {
        const double expected = deviation * std::min(std::abs(1.0 + x[j] + level / skew * y[m]), cap);
        // Square roots of sums of a few variances.
        EXPECT_NEAR(out(j, m), expected, 1e-14 * expected) << k << " " << j << " " << m;
      }
  }
  // Without a skew level the multiplier is min(|1 + x|, cap) at every y, the same as the simulation step's.
  const parameter_cheyette flat = cheyette(0.0);
  const model_cheyette without_level(flat, valuation(), simulation_dates, false, false);
  without_level.volatility(2, x, y, out);
  const double deviation = std::sqrt(skewed_variance(2) - skewed_variance(1));
  for (size_t j = 0; j < x.size(); ++j)
    for (size_t m = 0; m < y.size(); ++m)
      EXPECT_NEAR(out(j, m), deviation * std::min(std::abs(1.0 + x[j]), multiplier_cap(0.8, skewed_variance(2))),
                  1e-14 * deviation);
  matrix<double> transposed(y.size(), x.size());
  EXPECT_THROW(model.volatility(2, x, y, transposed), Error);
  EXPECT_THROW(model.volatility(simulation_dates.size(), x, y, out), Error);
}

// The x set diffuses with (s M)^2 / 2 and the y set moves by (s M)^2, on nodes with x outermost. A step whose end
// has no skew is Gaussian: M = 1 at every node, the deviation being what the steps before it with a skew gave.
TEST(CheyettePde, CoefficientsOnTheNodesOfXAndY) {
  const double level = 0.3;
  const parameter_cheyette parameter = cheyette(level);
  const model_cheyette model(parameter, valuation(), simulation_dates, false, false);
  const std::vector<ptr_const<space_grid>> grids{given_axis(x_points), given_axis(y_points)};
  const auto coefficients = sets(2, {x_points.size(), y_points.size()});
  struct step_case {
    int from, to;
    size_t from_index, to_index;
    double skew;  // of the step's end; 0: the Gaussian multiplier
  };
  for (const step_case& c : {step_case{30, 91, 1, 2, 0.8}, step_case{91, 365, 2, 4, 0.0}}) {
    SCOPED_TRACE(c.to);
    model.coefficients(coefficients, grids, day(c.from), day(c.to));
    const double variance = skewed_variance(c.to_index) - skewed_variance(c.from_index);
    ASSERT_GT(variance, 0.0);
    const double cap = multiplier_cap(c.skew, skewed_variance(c.to_index));
    for (size_t j = 0; j < x_points.size(); ++j)
      for (size_t m = 0; m < y_points.size(); ++m) {
        const size_t node = j * y_points.size() + m;
        const double multiplier =
            c.skew == 0.0 ? 1.0 : std::min(std::abs(1.0 + x_points[j] + level / c.skew * y_points[m]), cap);
        const double squared = variance * multiplier * multiplier;
        EXPECT_NEAR(coefficients[0]->diffusion()[node], 0.5 * squared, 1e-14 * squared) << j << " " << m;
        EXPECT_NEAR(coefficients[1]->convection()[node], squared, 2e-14 * squared) << j << " " << m;
        EXPECT_EQ(coefficients[0]->convection()[node], 0.0);
        EXPECT_EQ(coefficients[0]->reaction()[node], 0.0);
        EXPECT_EQ(coefficients[1]->diffusion()[node], 0.0);
        EXPECT_EQ(coefficients[1]->reaction()[node], 0.0);
      }
  }
}

// The grids hold b x and b^2 y, b the signed skew: at each node the grid price is the model's log price from the
// valuation date on the states x = x~ / b, y = y~ / b^2, which is the log zero-coupon price at the valuation date and
// the exponent of the same martingale at the later dates.
TEST(CheyettePde, GridPriceIsTheModelsPriceOnTheStatesOfTheNodes) {
  const std::vector<ptr_const<space_grid>> grids{given_axis(x_points), given_axis(y_points)};
  const size_t nodes = x_points.size() * y_points.size();
  const datetime maturity = day(1000);
  for (double skew : {1.5, -0.7}) {
    const parameter_cheyette parameter(hull_white(), matrix<double>{{skew}}, days({3650}), 0.3);
    const model_cheyette model(parameter, valuation(), simulation_dates, false, false);
    matrix<double> states(2, nodes);
    for (size_t j = 0; j < x_points.size(); ++j)
      for (size_t m = 0; m < y_points.size(); ++m) {
        states(0, j * y_points.size() + m) = x_points[j] / skew;
        states(1, j * y_points.size() + m) = y_points[m] / (skew * skew);
      }
    vector<double> expected(nodes);
    model.conditional_price(states, valuation(), maturity, expected);
    for (const datetime& t : {valuation(), day(182)}) {
      SCOPED_TRACE(::testing::Message() << "skew " << skew << " at " << t);
      std::vector<double> prices(nodes);
      model.conditional_price(prices.data(), grids, t, maturity);
      // The same two products in another order: a few roundings of terms below 5.
      for (size_t node = 0; node < nodes; ++node) EXPECT_NEAR(prices[node], expected[node], 1e-14) << node;
    }
  }
}

TEST(CheyettePde, RefusesWhatItCannotServe) {
  const parameter_cheyette parameter = cheyette(0.3);
  const model_cheyette model(parameter, valuation(), simulation_dates, false, false);
  const std::vector<ptr_const<space_grid>> grids{given_axis(x_points), given_axis(y_points)};
  const auto coefficients = sets(2, {x_points.size(), y_points.size()});
  // Day 100 is a skew date, no simulation date; dates out of order; sets of another shape; one grid only.
  EXPECT_THROW(model.coefficients(coefficients, grids, day(30), day(100)), Error);
  EXPECT_THROW(model.coefficients(coefficients, grids, day(91), day(30)), Error);
  EXPECT_THROW(model.coefficients(sets(2, {y_points.size() + 1, x_points.size()}), grids, day(30), day(91)), Error);
  const std::vector<ptr_const<space_grid>> x_only{grids[0]};
  EXPECT_THROW(model.coefficients(coefficients, x_only, day(30), day(91)), Error);
  // The grid price is in units of the skewed variance: without a skew it has none.
  const parameter_cheyette gaussian(hull_white(), matrix<double>{{0.0}}, days({3650}), 0.3);
  const model_cheyette without_skew(gaussian, valuation(), simulation_dates, false, false);
  std::vector<double> prices(x_points.size() * y_points.size());
  EXPECT_THROW(without_skew.conditional_price(prices.data(), grids, day(91), day(1000)), Error);

  const auto two = std::make_shared<const parameter_markovian_hjm>(
      varying_parameter(parameter_markovian_hjm_type::HULL_WHITE, 2, false));
  const parameter_cheyette two_factors(two, matrix<double>{{0.8, 0.4}}, days({3650}), 0.3);
  const model_cheyette wide(two_factors, valuation(), simulation_dates, false, false);
  const std::vector<ptr_const<space_grid>> five{grids[0], grids[1], grids[0], grids[1], grids[1]};
  EXPECT_THROW(wide.coefficients(sets(5, {x_points.size(), y_points.size()}), five, day(30), day(91)), Error);
}

}  // namespace
}  // namespace qavrek
