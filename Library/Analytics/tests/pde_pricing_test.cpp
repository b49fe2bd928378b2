// The PDE manager with the models' coefficients, against the models' own conditional prices: a zero-coupon bond
// under the Markovian HJM model in one and two dimensions, a survival probability under the Black-Karasinski
// model, and an exponential martingale of the Cheyette model's x and y. Each is rolled back over a stepped time
// grid of fine and coarse steps on which the model is built, and compared at the nodes away from the grid's ends,
// whose rows drop the diffusion.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/models/model_black_karasinski.h"
#include "Analytics/models/model_cheyette.h"
#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/pde_pricing/pde_manager.h"
#include "black_karasinski_test_support.h"
#include "hjm_model_test_support.h"
#include "pde_manager_test_support.h"

namespace qavrek {
namespace {

using namespace pde_test;
using time_type = time_grid_config::time_grid_type;

constexpr double market_rate = 0.03;

// Fine steps of a week over the first ten weeks, then steps of about a month.
ptr_const<time_grid> stepped_grid(const datetime& from, const std::vector<datetime>& events,
                                  const std::vector<datetime>& extras = {}) {
  return backward_grid(time_type::STEPPED, 30.0, 10, 7.0, from, events, extras);
}

// The market's discount factor from one grid date to the next, at the later date's index.
std::vector<double> forward_discounts(const time_grid& grid) {
  std::vector<double> factors(grid.size(), 1.0);
  for (size_t k = 1; k < grid.size(); ++k)
    factors[k] = std::exp(-market_rate * (grid.date(k).serial() - grid.date(k - 1).serial()) / 365.0);
  return factors;
}

// The values of a unit paid at the grid's last date, rolled back to its first date, discounted at the market rate
// when `discount` (the models' coefficients leave the market's forward rate out).
std::vector<double> roll_back_unit(const ptr_const<diffusion>& model_diffusion, const ptr_const<time_grid>& grid,
                                   const std::vector<ptr_const<space_grid>>& grids, pde_scheme_type type,
                                   const matrix<double>& correlation, bool discount) {
  const size_t d = grids.size();
  size_t nodes = 1;
  for (const auto& g : grids) nodes *= g->size();
  std::vector<size_t> centre;
  for (const auto& g : grids) centre.push_back(g->size() / 2);
  pde_manager manager({model_diffusion}, grid, centre, grids, std::vector<size_t>(d, 3), std::vector<bool>(d, false),
                      type, discount, correlation);
  const auto kept = std::make_shared<std::vector<double>>();
  const datetime maturity = grid->dates().back();
  const auto unit = std::make_shared<const grid_instrument>(
      1, pay_at(maturity, [nodes] { return std::vector<double>(nodes, 1.0); }), keep_at(grid->dates().front(), kept));
  manager.run({unit}, forward_discounts(*grid), {});
  return *kept;
}

// At the valuation date the state drift and covariance are zero, so the model's price is P(0, T) exp(-G(T).x):
// x = 0 gives the market's P(0, T). One factor on 201 points; two correlated factors on 61 x 41 points (ADI), each
// grid over 6 standard deviations of its state at the maturity on either side.
TEST(PdePricing, HjmZeroCouponBondIsTheModelsPriceAtEveryNode) {
  using namespace hjm_test;
  struct bond_case {
    std::string name;
    parameter_markovian_hjm parameter;
    std::vector<size_t> points;
    pde_scheme_type type;
    double tolerance;
  };
  // The grid errors, measured: 2.6e-6 and 7.4e-5 at the worst node within 2 standard deviations (3.7e-7 at the
  // centre in two dimensions), each a quarter of that with half the steps in space and time.
  const std::vector<bond_case> cases{
      {"OneFactor",
       make_parameter(parameter_markovian_hjm_type::HULL_WHITE, {{0.08}, {0.03}}, days({900, 3650}),
                      {{0.012}, {0.009}, {0.011}}, days({200, 1200, 3650}), {{1.0}}),
       {201},
       pde_scheme_type::TWO_STAGE_IMPLICIT,
       5e-6},
      {"TwoFactors",
       make_parameter(parameter_markovian_hjm_type::HULL_WHITE, {{0.05, 0.6}}, days({3650}), {{0.01, 0.008}},
                      days({3650}), {{1.0, -0.6}, {-0.6, 1.0}}),
       {61, 41},
       pde_scheme_type::HUNDSDORFER_VERWER,
       1.5e-4},
  };
  const datetime maturity = day(1826);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto grid = stepped_grid(valuation(), {maturity});
    const auto model = std::make_shared<const model_markovian_hjm>(c.parameter, valuation(), grid->dates(), false);
    const size_t n = model->number_of_factors();
    matrix<double> covariance;
    model->states_variable_covariance(maturity, covariance);
    std::vector<ptr_const<space_grid>> grids;
    for (size_t i = 0; i < n; ++i) {
      const int half = int(c.points[i] / 2);
      grids.push_back(steps_of(6.0 * std::sqrt(covariance(i, i)) / half, half, half));
    }
    const std::vector<double> values = roll_back_unit(pde_diffusion(grid->dates(), model, grids), grid, grids, c.type,
                                                      c.parameter.correlation(), true);
    // The model's price on the product of the grids: the grid price takes one point of every grid per node.
    const size_t nodes = values.size();
    std::vector<std::vector<double>> node_points(n, std::vector<double>(nodes));
    for (size_t node = 0; node < nodes; ++node) {
      size_t rest = node;
      for (size_t i = n; i-- > 0;) {
        node_points[i][node] = grids[i]->axis()[rest % grids[i]->size()];
        rest /= grids[i]->size();
      }
    }
    std::vector<double> log_prices(nodes);
    model->conditional_price(log_prices.data(), node_points, valuation(), maturity);
    const double market = std::exp(-market_rate * years(maturity));
    EXPECT_NEAR(values[nodes / 2], market, c.tolerance * market);  // x = 0, the centre
    for (size_t node = 0; node < nodes; ++node) {
      bool inside = true;
      for (size_t i = 0; i < n; ++i)
        inside = inside && std::abs(node_points[i][node]) <= 2.0 * std::sqrt(covariance(i, i));
      if (!inside) continue;
      const double expected = market * std::exp(log_prices[node]);
      EXPECT_NEAR(values[node], expected, c.tolerance * expected) << node;
    }
  }
}

// The survival probability of a Black-Karasinski intensity against the model's conditional price, the expectation
// over the factor's step-wise Gaussian modes (Gauss-Hermite over ten-day trapezoids). The level dates are grid
// dates, as in a simulation: a step across one would take the earlier level for all of it.
TEST(PdePricing, BlackKarasinskiSurvivalIsTheModelsPriceAtEveryNode) {
  using namespace black_karasinski_test;
  const auto parameter = piecewise_rate().parameter();
  const datetime maturity = day(1826);
  std::vector<datetime> level_dates;
  for (const datetime& date : parameter->levels_parameter_dates())
    if (date < maturity) level_dates.push_back(date);
  const auto grid = stepped_grid(valuation(), {maturity}, level_dates);
  const auto model = std::make_shared<const model_black_karasinski>(*parameter, valuation(), grid->dates(), false);
  matrix<double> covariance;
  model->hjm_model()->states_variable_covariance(maturity, covariance);
  const int half = 100;
  const std::vector<ptr_const<space_grid>> grids{steps_of(6.0 * std::sqrt(covariance(0, 0)) / half, half, half)};
  const std::vector<double> values = roll_back_unit(pde_diffusion(grid->dates(), model, grids), grid, grids,
                                                    pde_scheme_type::TWO_STAGE_IMPLICIT, matrix<double>(), false);
  std::vector<double> log_prices(grids[0]->size());
  model->conditional_price(log_prices.data(), grids, valuation(), maturity);
  // Within 3 standard deviations: the grid's error, 1.2e-5 at most, 1.7e-6 with half the steps in space and time,
  // where the reference's own (about 1e-6) shows.
  for (size_t i = half / 2; i <= 3 * half / 2; ++i) EXPECT_NEAR(values[i], std::exp(log_prices[i]), 2e-5) << i;
}

// exp(a x - a^2 y / 2) is a martingale whatever the local volatility of x, since y accumulates its square: rolled
// back from an expiry over the grids of x and y (ADI), it keeps its values. The skew is constant, so the grid
// price's a = -G(T) / signed_average_skew is the same at both dates.
TEST(PdePricing, CheyetteExponentialMartingaleKeepsItsValues) {
  using namespace hjm_test;
  const auto hjm = std::make_shared<const parameter_markovian_hjm>(make_parameter(
      parameter_markovian_hjm_type::HULL_WHITE, {{0.03}}, days({3650}), {{0.02}}, days({3650}), {{1.0}}));
  const datetime expiry = day(1826);
  const datetime maturity = day(3652);
  for (double skew : {1.5, -1.5}) {
    SCOPED_TRACE(skew);
    const parameter_cheyette parameter(hjm, matrix<double>{{skew}}, days({3650}), 0.5);
    const auto grid = stepped_grid(valuation(), {expiry});
    const auto model = std::make_shared<const model_cheyette>(parameter, valuation(), grid->dates(), false, false);
    const double variance = model->variance(expiry);
    // x over 10 standard deviations on either side, 10 steps to one; y from 0 to 4 times its value without the
    // skew's bending. With a negative skew the martingale grows towards the end of x where the volatility is
    // larger: 10 deviations keep that end, which drops the diffusion, away from the values compared (at 8 the
    // error it sends in reaches 8.5e-5 at 3 deviations).
    const size_t per_deviation = 10;
    const size_t half = 10 * per_deviation;
    const size_t y_points = 41;
    const std::vector<ptr_const<space_grid>> grids{steps_of(std::sqrt(variance) / per_deviation, half, half),
                                                   steps_of(4.0 * variance / (y_points - 1), 0, y_points - 1)};
    const size_t nodes = grids[0]->size() * y_points;
    pde_manager manager({pde_diffusion(grid->dates(), model, grids)}, grid, {half, 0}, grids, {3, 3}, {false, false},
                        pde_scheme_type::HUNDSDORFER_VERWER, false, matrix<double>());
    const auto kept = std::make_shared<std::vector<double>>();
    const auto martingale = std::make_shared<const grid_instrument>(
        1,
        pay_at(expiry,
               [&] {
                 std::vector<double> values(nodes);
                 model->conditional_price(values.data(), grids, expiry, maturity);
                 for (double& value : values) value = std::exp(value);
                 return values;
               }),
        keep_at(valuation(), kept));
    manager.run({martingale}, std::vector<double>(grid->size(), 1.0), {});
    std::vector<double> expected(nodes);
    model->conditional_price(expected.data(), grids, valuation(), maturity);
    // x within 3 standard deviations, y below 60% of its grid (the ends drop the diffusion): the grid's error,
    // 4.4e-5 at most, 3.0e-5 at x = y = 0 and a quarter of that there with half the steps in x and y.
    for (size_t i = half - 3 * per_deviation; i <= half + 3 * per_deviation; ++i)
      for (size_t m = 0; m < 25; ++m) {
        const size_t node = i * y_points + m;
        EXPECT_NEAR((*kept)[node], std::exp(expected[node]), 5e-5 * std::exp(expected[node])) << i << " " << m;
      }
  }
}

}  // namespace
}  // namespace qavrek
