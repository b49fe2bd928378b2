// Swaptions through the PDE manager with the Markovian HJM model's coefficients, against QuantLib on the equivalent
// short-rate models (a one-factor HULL_WHITE model of reversion a and volatility sigma is Hull-White's, two factors
// are G2++): in one dimension the European swaption against Jamshidian's decomposition and the Bermudan one against
// QuantLib's finite differences; in two dimensions (ADI on grids of different sizes) a European swaption against
// G2++'s integral and finite differences. The model is built on the dates of a stepped time grid of fine and coarse
// steps, and the curve is flat, so that both libraries discount alike.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <ql/currencies/europe.hpp>
#include <ql/exercise.hpp>
#include <ql/indexes/iborindex.hpp>
#include <ql/instruments/swaption.hpp>
#include <ql/instruments/vanillaswap.hpp>
#include <ql/models/shortrate/onefactormodels/hullwhite.hpp>
#include <ql/models/shortrate/twofactormodels/g2.hpp>
#include <ql/pricingengines/swaption/fdg2swaptionengine.hpp>
#include <ql/pricingengines/swaption/fdhullwhiteswaptionengine.hpp>
#include <ql/pricingengines/swaption/g2swaptionengine.hpp>
#include <ql/pricingengines/swaption/jamshidianswaptionengine.hpp>
#include <ql/settings.hpp>
#include <ql/termstructures/yield/flatforward.hpp>
#include <ql/time/calendars/nullcalendar.hpp>
#include <ql/time/daycounters/actual365fixed.hpp>
#include <ql/time/schedule.hpp>
#include <vector>

#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/pde_pricing/pde_manager.h"
#include "hjm_model_test_support.h"
#include "pde_manager_test_support.h"

namespace qavrek {
namespace {

using namespace hjm_test;
using namespace pde_test;
namespace ql = QuantLib;

constexpr double market_rate = 0.03;
constexpr double strike = 0.033;

ql::Date ql_date(const datetime& date) { return ql::Date(static_cast<ql::Date::serial_type>(date.serial())); }
datetime from_ql(const ql::Date& date) { return datetime(double(date.serialNumber())); }
double market_discount(const datetime& date) { return std::exp(-market_rate * years(date)); }

// Payer swaps of annual fixed and floating periods in ACT/365F, the floating leg worth P(start) - P(end) (an index
// of the period's own tenor and day count on the discount curve, fixed at the period's start).
class quantlib_market {
 public:
  quantlib_market() {
    ql::Settings::instance().evaluationDate() = ql_date(valuation());
    curve_ = ql::Handle<ql::YieldTermStructure>(
        ql::ext::make_shared<ql::FlatForward>(ql_date(valuation()), market_rate, ql::Actual365Fixed()));
    index_ =
        ql::ext::make_shared<ql::IborIndex>("flat", ql::Period(1, ql::Years), 0, ql::EURCurrency(), ql::NullCalendar(),
                                            ql::Unadjusted, false, ql::Actual365Fixed(), curve_);
  }

  const ql::Handle<ql::YieldTermStructure>& curve() const { return curve_; }

  ql::ext::shared_ptr<ql::VanillaSwap> swap(const datetime& start, int years) const {
    const ql::Schedule schedule(ql_date(start), ql_date(start) + ql::Period(years, ql::Years), ql::Period(1, ql::Years),
                                ql::NullCalendar(), ql::Unadjusted, ql::Unadjusted, ql::DateGeneration::Forward, false);
    return ql::ext::make_shared<ql::VanillaSwap>(ql::VanillaSwap::Payer, 1.0, schedule, strike, ql::Actual365Fixed(),
                                                 schedule, index_, 0.0, ql::Actual365Fixed());
  }

  static std::vector<datetime> swap_dates(const ql::VanillaSwap& swap) {
    std::vector<datetime> dates;
    for (const ql::Date& date : swap.fixedSchedule().dates()) dates.push_back(from_ql(date));
    return dates;
  }

  static double price(const ql::ext::shared_ptr<ql::VanillaSwap>& swap,
                      const ql::ext::shared_ptr<ql::Exercise>& exercise,
                      const ql::ext::shared_ptr<ql::PricingEngine>& engine) {
    ql::Swaption swaption(swap, exercise);
    swaption.setPricingEngine(engine);
    return swaption.NPV();
  }

 private:
  ql::Handle<ql::YieldTermStructure> curve_;
  ql::ext::shared_ptr<ql::IborIndex> index_;
};

// Per factor, the coordinate of every node of the product of the grids (grid 0 outermost).
std::vector<std::vector<double>> node_points(const std::vector<ptr_const<space_grid>>& grids) {
  size_t nodes = 1;
  for (const auto& g : grids) nodes *= g->size();
  std::vector<std::vector<double>> points(grids.size(), std::vector<double>(nodes));
  for (size_t node = 0; node < nodes; ++node) {
    size_t rest = node;
    for (size_t i = grids.size(); i-- > 0;) {
      points[i][node] = grids[i]->axis()[rest % grids[i]->size()];
      rest /= grids[i]->size();
    }
  }
  return points;
}

// The payer swap entered at t (a date of `dates`, T_0 .. T_n) at each of the points: P(t, T_n) and
// K tau_i P(t, T_i) for the periods from t on, the floating leg starting at 1.
std::vector<double> swap_values(const model_markovian_hjm& model, const std::vector<std::vector<double>>& points,
                                const datetime& t, const std::vector<datetime>& dates) {
  const size_t nodes = points[0].size();
  std::vector<double> values(nodes, 1.0);
  std::vector<double> log_prices(nodes);
  for (size_t i = 1; i < dates.size(); ++i) {
    if (!(t < dates[i])) continue;
    const double tau = (dates[i].serial() - dates[i - 1].serial()) / 365.0;
    const double coupon = strike * tau + (i + 1 == dates.size() ? 1.0 : 0.0);
    model.conditional_price(log_prices.data(), points, t, dates[i]);
    const double forward = market_discount(dates[i]) / market_discount(t);
    for (size_t p = 0; p < nodes; ++p) values[p] -= coupon * forward * std::exp(log_prices[p]);
  }
  return values;
}

// The swaption exercised into the swap of `dates` at any of `exercises` (one for a European swaption), valued by the
// PDE manager over a stepped grid (fine steps of 7 / r days over the first 10 r, then about 30 / r days) on the
// grids that `grids_of` builds for the model, discounted by the market's factors. The value at the centre node.
double pde_swaption(const parameter_markovian_hjm& parameter, const std::vector<datetime>& exercises,
                    const std::vector<datetime>& dates, double r,
                    const std::function<std::vector<ptr_const<space_grid>>(const model_markovian_hjm&)>& grids_of,
                    pde_scheme_type type) {
  const auto grid = backward_grid(time_grid_config::time_grid_type::STEPPED, 30.0 / r, size_t(10.0 * r), 7.0 / r,
                                  valuation(), exercises);
  const auto model = std::make_shared<const model_markovian_hjm>(parameter, valuation(), grid->dates(), false);
  const std::vector<ptr_const<space_grid>> grids = grids_of(*model);
  const std::vector<std::vector<double>> points = node_points(grids);
  const size_t d = grids.size();
  std::vector<size_t> centre;
  for (const auto& g : grids) centre.push_back(g->size() / 2);
  pde_manager manager({pde_diffusion(grid->dates(), model, grids)}, grid, centre, grids, std::vector<size_t>(d, 3),
                      std::vector<bool>(d, false), type, true, parameter.correlation());

  const auto exercise = [&](const datetime& t, tensor<double>& values, bool first) {
    const std::vector<double> swap = swap_values(*model, points, t, dates);
    for (size_t p = 0; p < swap.size(); ++p) values[p] = first ? std::max(swap[p], 0.0) : std::max(values[p], swap[p]);
  };
  const auto swaption = std::make_shared<const grid_instrument>(
      1,
      [&](const datetime& t, tensor<double>& values) {
        if (t == exercises.back()) exercise(t, values, true);
      },
      [&](const datetime& t, tensor<double>& values) {
        if (std::find(exercises.begin(), exercises.end() - 1, t) != exercises.end() - 1) exercise(t, values, false);
      });
  std::vector<double> factors(grid->size(), 1.0);
  for (size_t k = 1; k < grid->size(); ++k)
    factors[k] = market_discount(grid->date(k)) / market_discount(grid->date(k - 1));
  manager.run({swaption}, factors, {});
  double value = 0.0;
  manager.pv(&value);
  return value;
}

// A uniform grid over 6 standard deviations of the state at `expiry` on either side, about `points` points, with
// 0 and the state where the swap entered at `expiry` is worth nothing (the pay-off's kink) among its nodes.
ptr_const<space_grid> kinked_grid(const model_markovian_hjm& model, const datetime& expiry,
                                  const std::vector<datetime>& dates, double points) {
  matrix<double> covariance;
  model.states_variable_covariance(expiry, covariance);
  const double width = 6.0 * std::sqrt(covariance(0, 0));
  // The swap's value rises with x: bisection for its zero.
  double low = -width;
  double high = width;
  for (int i = 0; i < 200; ++i) {
    const double middle = 0.5 * (low + high);
    (swap_values(model, {{middle}}, expiry, dates)[0] < 0.0 ? low : high) = middle;
  }
  const double kink = 0.5 * (low + high);
  const double target = 2.0 * width / points;
  const double steps_to_kink = std::max(1.0, std::round(std::abs(kink) / target));
  const double h = std::abs(kink) / steps_to_kink;
  const int half = int(std::ceil(width / h));
  return steps_of(h, half, half);
}

// The one-factor HULL_WHITE set of Hull-White's model (a, sigma).
parameter_markovian_hjm hull_white_parameter(double a, double sigma) {
  return make_parameter(parameter_markovian_hjm_type::HULL_WHITE, {{a}}, days({3650}), {{sigma}}, days({3650}),
                        {{1.0}});
}

// Hull-White's reversion and volatility for the one-factor tests; a 2-year expiry into a 5-year swap struck at 3.3%
// against a flat 3%: about 155 basis points of the notional for the European swaption.
constexpr double reversion = 0.06;
constexpr double volatility = 0.01;

class HullWhiteSwaptions : public ::testing::Test {
 protected:
  const quantlib_market market;
  const ql::ext::shared_ptr<ql::HullWhite> hull_white =
      ql::ext::make_shared<ql::HullWhite>(market.curve(), reversion, volatility);
  const datetime expiry = from_ql(ql_date(valuation()) + ql::Period(2, ql::Years));
  const ql::ext::shared_ptr<ql::VanillaSwap> swap = market.swap(expiry, 5);
  const std::vector<datetime> dates = quantlib_market::swap_dates(*swap);
  const parameter_markovian_hjm parameter = hull_white_parameter(reversion, volatility);
};

TEST_F(HullWhiteSwaptions, EuropeanSwaptionMatchesJamshidianAtSecondOrder) {
  const double jamshidian =
      quantlib_market::price(swap, ql::ext::make_shared<ql::EuropeanExercise>(ql_date(expiry)),
                             ql::ext::make_shared<ql::JamshidianSwaptionEngine>(hull_white, market.curve()));
  std::vector<double> errors;
  for (double r : {1.0, 2.0, 4.0}) {
    const double value = pde_swaption(
        parameter, {expiry}, dates, r,
        [&](const model_markovian_hjm& model) {
          return std::vector<ptr_const<space_grid>>{kinked_grid(model, expiry, dates, 200.0 * r)};
        },
        pde_scheme_type::TWO_STAGE_IMPLICIT);
    errors.push_back(std::abs(value - jamshidian));
  }
  // 200 points and about 90 steps leave 7.7e-6 of the notional (0.08 basis points).
  EXPECT_LT(errors[0], 1e-5);
  // Second order: a quarter of the error as the steps in space and time halve. The stepped grid's gaps are cut
  // into whole steps, so the time steps halve only nearly and the ratios scatter about 4 (4.0 and 3.3 here).
  for (size_t i = 1; i < errors.size(); ++i) {
    EXPECT_GT(errors[i - 1] / errors[i], 3.0) << i;
    EXPECT_LT(errors[i - 1] / errors[i], 5.0) << i;
  }
}

// Exercisable at the start of every period into the rest of the swap. QuantLib's finite differences on 400 steps and
// 400 points are within 1e-7 of their value on 800 of each.
TEST_F(HullWhiteSwaptions, BermudanSwaptionMatchesQuantLibsFiniteDifferences) {
  const std::vector<datetime> exercises(dates.begin(), dates.end() - 1);
  std::vector<ql::Date> ql_exercises;
  for (const datetime& date : exercises) ql_exercises.push_back(ql_date(date));
  const double quantlib =
      quantlib_market::price(swap, ql::ext::make_shared<ql::BermudanExercise>(ql_exercises),
                             ql::ext::make_shared<ql::FdHullWhiteSwaptionEngine>(hull_white, 400, 400, 0, 1e-5));
  std::vector<double> values;
  for (double r : {1.0, 2.0, 4.0}) {
    values.push_back(pde_swaption(
        parameter, exercises, dates, r,
        [&](const model_markovian_hjm& model) {
          return std::vector<ptr_const<space_grid>>{kinked_grid(model, exercises.back(), dates, 200.0 * r)};
        },
        pde_scheme_type::TWO_STAGE_IMPLICIT));
  }
  // 200 points leave 2.9e-6 of the notional against QuantLib, 400 points 0.8e-6, where QuantLib's own grid error
  // (some 5e-7: its value still moves by 1e-7 from 400 to 800 points) is of the same size.
  EXPECT_NEAR(values[0], quantlib, 4e-6);
  EXPECT_NEAR(values[1], quantlib, 1.5e-6);
  // Only the last exercise's kink is a node: the values still settle at least at second order, the change from
  // 400 to 800 points below a quarter of that from 200 to 400.
  EXPECT_LT(std::abs(values[2] - values[1]), 0.25 * std::abs(values[1] - values[0]));
}

// G2++ with factors of reversions 0.05 and 0.5, correlated -0.6, on grids of 81 and 61 points (then 161 and 121)
// and the HUNDSDORFER_VERWER split scheme. QuantLib's integral (8 deviations, 200 intervals) and its finite
// differences (200 steps, 100 x 100 points) agree within 5e-7.
TEST(G2Swaptions, TwoFactorEuropeanSwaptionMatchesG2) {
  const quantlib_market market;
  const double a = 0.05, sigma = 0.01, b = 0.5, eta = 0.008, rho = -0.6;
  const auto g2 = ql::ext::make_shared<ql::G2>(market.curve(), a, sigma, b, eta, rho);
  const datetime expiry = from_ql(ql_date(valuation()) + ql::Period(2, ql::Years));
  const auto swap = market.swap(expiry, 5);
  const std::vector<datetime> dates = quantlib_market::swap_dates(*swap);
  const auto european = ql::ext::make_shared<ql::EuropeanExercise>(ql_date(expiry));
  const double integral =
      quantlib_market::price(swap, european, ql::ext::make_shared<ql::G2SwaptionEngine>(g2, 8.0, 200));
  const double finite_differences =
      quantlib_market::price(swap, european, ql::ext::make_shared<ql::FdG2SwaptionEngine>(g2, 200, 100, 100));
  ASSERT_NEAR(integral, finite_differences, 1e-6);
  const parameter_markovian_hjm parameter =
      make_parameter(parameter_markovian_hjm_type::HULL_WHITE, {{a, b}}, days({3650}), {{sigma, eta}}, days({3650}),
                     {{1.0, rho}, {rho, 1.0}});
  std::vector<double> errors;
  for (double r : {1.0, 2.0}) {
    const double value = pde_swaption(
        parameter, {expiry}, dates, r,
        [&](const model_markovian_hjm& model) {
          matrix<double> covariance;
          model.states_variable_covariance(expiry, covariance);
          const std::vector<int> halves{int(40 * r), int(30 * r)};
          std::vector<ptr_const<space_grid>> grids;
          for (size_t i = 0; i < 2; ++i)
            grids.push_back(steps_of(6.0 * std::sqrt(covariance(i, i)) / halves[i], halves[i], halves[i]));
          return grids;
        },
        pde_scheme_type::HUNDSDORFER_VERWER);
    errors.push_back(std::abs(value - integral));
    EXPECT_NEAR(value, finite_differences, errors.back() + 1e-6);
  }
  // 1.3e-5 of the notional (0.13 basis points) on the coarse grids, 3.5e-6 on the fine ones.
  EXPECT_LT(errors[0], 2e-5);
  EXPECT_LT(errors[1], 5e-6);
  EXPECT_GT(errors[0] / errors[1], 3.0);
}

}  // namespace
}  // namespace qavrek
