#include <gtest/gtest.h>

#include <ql/exercise.hpp>
#include <ql/experimental/exoticoptions/analyticeuropeanmargrabeengine.hpp>
#include <ql/experimental/exoticoptions/margrabeoption.hpp>
#include <ql/instruments/basketoption.hpp>
#include <ql/instruments/vanillaoption.hpp>
#include <ql/methods/finitedifferences/meshers/concentrating1dmesher.hpp>
#include <ql/methods/finitedifferences/meshers/fdmblackscholesmesher.hpp>
#include <ql/pricingengines/basket/fd2dblackscholesvanillaengine.hpp>
#include <ql/pricingengines/blackformula.hpp>
#include <ql/pricingengines/vanilla/fdblackscholesvanillaengine.hpp>
#include <ql/processes/blackscholesprocess.hpp>
#include <ql/quotes/simplequote.hpp>
#include <ql/settings.hpp>
#include <ql/termstructures/volatility/equityfx/blackconstantvol.hpp>
#include <ql/termstructures/yield/flatforward.hpp>
#include <ql/time/calendars/nullcalendar.hpp>
#include <ql/time/daycounters/actual365fixed.hpp>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "PDE/scheme/pde_scheme.h"
#include "scheme_test_support.h"

namespace qavrek {
namespace {

using namespace test;
using type = pde_scheme_type;
namespace ql = QuantLib;

// One year of 365 days: the time grid runs in days, the coefficients in years.
constexpr double year = 365.0;

// A lognormal asset under the pricing measure: dS / S = (r - q) dt + sigma dW.
struct asset {
  double spot, dividend, volatility;
};

// A flat market on a fixed evaluation date, and the QuantLib process of an asset in it.
class flat_market {
 public:
  explicit flat_market(double rate) : rate_(rate) { ql::Settings::instance().evaluationDate() = today_; }

  double rate() const { return rate_; }

  ql::ext::shared_ptr<ql::GeneralizedBlackScholesProcess> process(const asset& a) const {
    const ql::DayCounter days = ql::Actual365Fixed();
    return ql::ext::make_shared<ql::BlackScholesMertonProcess>(
        ql::Handle<ql::Quote>(ql::ext::make_shared<ql::SimpleQuote>(a.spot)),
        ql::Handle<ql::YieldTermStructure>(ql::ext::make_shared<ql::FlatForward>(today_, a.dividend, days)),
        ql::Handle<ql::YieldTermStructure>(ql::ext::make_shared<ql::FlatForward>(today_, rate_, days)),
        ql::Handle<ql::BlackVolTermStructure>(
            ql::ext::make_shared<ql::BlackConstantVol>(today_, ql::NullCalendar(), a.volatility, days)));
  }

  ql::ext::shared_ptr<ql::Exercise> in_one_year() const {
    return ql::ext::make_shared<ql::EuropeanExercise>(today_ + ql::Period(365, ql::Days));
  }

 private:
  ql::Date today_{2, ql::January, 2023};
  double rate_;
};

// The per-year coefficients in the log-spot x = ln S: du/dtau = s^2 / 2 u_xx + (r - q - s^2 / 2) u_x - discounting u.
constant_rates log_spot_rates(const asset& a, double rate, double discounting) {
  const double variance = a.volatility * a.volatility;
  return {0.5 * variance, rate - a.dividend - 0.5 * variance, -discounting};
}

// The node of an axis at the log of the spot.
size_t spot_node(const space_grid& axis, const asset& a) {
  const auto& x = axis.axis();
  const size_t node = size_t(std::find(x.begin(), x.end(), std::log(a.spot)) - x.begin());
  EXPECT_LT(node, x.size()) << "the spot is not a node";
  return node;
}

// ----- One asset: a call in the log-spot on a uniform grid, the spot in the middle, 5.58 standard deviations of
// a year on either side (QuantLib's span for the same option).

// The call's payoff at the nodes; the node whose cell holds the strike gets the payoff's average over its cell,
// so that the kink does not fall on one node's value alone.
std::vector<double> call_payoff(const std::vector<double>& x, double strike) {
  const double k = std::log(strike);
  std::vector<double> payoff(x.size());
  for (size_t i = 0; i < x.size(); ++i) {
    const double left = i == 0 ? x[0] : 0.5 * (x[i - 1] + x[i]);
    const double right = i + 1 == x.size() ? x[i] : 0.5 * (x[i] + x[i + 1]);
    if (right <= k || left >= k) {
      payoff[i] = std::max(std::exp(x[i]) - strike, 0.0);
    } else {
      payoff[i] = (std::exp(right) - std::exp(k) - strike * (right - k)) / (right - left);
    }
  }
  return payoff;
}

double call_value(const flat_market& market, const asset& a, double strike, type t, size_t points,
                  const ptr_const<time_grid>& grid) {
  const double centre = std::log(a.spot), half = 5.58 * a.volatility;
  const auto axis = uniform_axis(points, centre - half, centre + half);
  const auto coefficients = std::make_shared<pde_model_coefficients>(std::vector<size_t>{points}, false);
  const auto scheme = pde_scheme::create_scheme(grid, {axis}, {coefficients}, {3}, {false}, t, false, {});
  const constant_rates rates = log_spot_rates(a, market.rate(), market.rate());
  pde_storage storage(1, 1, {points});
  const std::vector<double> payoff = call_payoff(axis->axis(), strike);
  std::copy(payoff.begin(), payoff.end(), storage.result().begin());
  roll(*scheme, *grid, storage, {{coefficients, coefficients}}, [&](double from, double to) {
    fill_step(*coefficients, rates, std::abs(to - from) / year);
  });
  return storage.result()[spot_node(*axis, a)];
}

// Against Black's formula, and against QuantLib's finite-difference engine (its default Crank-Nicolson on a mesh
// concentrated at the strike) with the same numbers of points and steps.
TEST(BlackScholesAgainstQuantLib, CallInTheLogSpot) {
  const flat_market market(0.05);
  const asset a{100.0, 0.02, 0.2};
  for (double strike : {100.0, 110.0}) {
    const double forward = a.spot * std::exp(market.rate() - a.dividend);
    const double exact = ql::blackFormula(ql::Option::Call, strike, forward, a.volatility, std::exp(-market.rate()));
    std::vector<double> errors;
    for (size_t points : {101, 201}) {
      for (type t : {type::CRANK_NICOLSON, type::TWO_STAGE_IMPLICIT}) {
        // Crank-Nicolson starts with two fully implicit half steps.
        const size_t coarse_steps = points / 2;
        const auto grid = t == type::CRANK_NICOLSON ? rannacher_steps(year, year / double(coarse_steps), 2)
                                                    : equal_steps(year, coarse_steps);
        const size_t steps = grid->size() - 1;
        ql::VanillaOption option(ql::ext::make_shared<ql::PlainVanillaPayoff>(ql::Option::Call, strike),
                                 market.in_one_year());
        option.setPricingEngine(ql::ext::make_shared<ql::FdBlackScholesVanillaEngine>(market.process(a), steps, points));
        const double theirs = std::abs(option.NPV() - exact);
        const double ours = std::abs(call_value(market, a, strike, t, points, grid) - exact);
        // Measured ratios 0.05 to 0.72: averaging the kink makes up for QuantLib's mesh concentrated at the strike.
        EXPECT_LT(ours, theirs) << "strike " << strike << " points " << points << " type " << int(t);
        if (t == type::TWO_STAGE_IMPLICIT) errors.push_back(ours);
      }
    }
    // Second order with h and dt halved together: the error falls 4.15-fold (strike 100) and 3.86-fold (110).
    EXPECT_GT(errors[0] / errors[1], 3.5) << strike;
  }
}

// ----- Two assets: the option to exchange the second for the first, max(S1 - S2, 0), against Margrabe's formula.

// QuantLib's mesh for the two-asset engine (its log-spot span, concentrated at the spot with density 0.1), built
// with the spot as a node.
ptr_const<space_grid> concentrated_axis(const flat_market& market, const asset& a, size_t n) {
  const std::pair<ql::Real, ql::Real> spot_density(a.spot, 0.1);
  const ql::FdmBlackScholesMesher span(n, market.process(a), 1.0, a.spot, ql::Null<ql::Real>(), ql::Null<ql::Real>(),
                                       0.0001, 1.5, spot_density);
  const ql::Concentrating1dMesher mesh(span.locations().front(), span.locations().back(), n,
                                       {std::log(a.spot), spot_density.second}, true);
  return given_axis(mesh.locations());
}

double exchange_value(const flat_market& market, const asset& a, const asset& b, double rho, type t,
                      size_t points, size_t steps) {
  const std::vector<ptr_const<space_grid>> axes{concentrated_axis(market, a, points),
                                               concentrated_axis(market, b, points)};
  const std::vector<size_t> shape{axes[0]->size(), axes[1]->size()};
  std::vector<std::shared_ptr<pde_model_coefficients>> coefficients;
  for (size_t d = 0; d < 2; ++d) coefficients.push_back(std::make_shared<pde_model_coefficients>(shape, true));
  const auto grid = equal_steps(year, steps);
  const auto scheme = pde_scheme::create_scheme(grid, axes, {coefficients[0], coefficients[1]}, {3, 3},
                                                {false, false}, t, false, matrix<double>{{1.0, rho}, {rho, 1.0}});
  const std::vector<double> payoff = on_nodes(axes, [](const std::vector<double>& x) {
    return std::max(std::exp(x[0]) - std::exp(x[1]), 0.0);
  });
  // The discounting goes with the first dimension.
  const constant_rates first = log_spot_rates(a, market.rate(), market.rate());
  const constant_rates second = log_spot_rates(b, market.rate(), 0.0);
  pde_storage storage(1, 1, shape);
  std::copy(payoff.begin(), payoff.end(), storage.result().begin());
  roll(*scheme, *grid, storage, {}, [&](double from, double to) {
    fill_step(*coefficients[0], first, std::abs(to - from) / year);
    fill_step(*coefficients[1], second, std::abs(to - from) / year);
  });
  return storage.result()[spot_node(*axes[0], a) * shape[1] + spot_node(*axes[1], b)];
}

// Against QuantLib's two-asset engine (its default scheme, Hundsdorfer-Verwer with theta 1/2 + sqrt 3 / 6) with the
// same numbers of points and steps, as many steps as points: with half as many, QuantLib's time error has the
// opposite sign to its space error and cancels it by chance (its error drops fourfold at 101 points and 50 steps,
// and rises again with more steps).
TEST(ExchangeAgainstQuantLib, ErrorAgainstMargrabeWithinQuantLibs) {
  const flat_market market(0.04);
  const asset a{100.0, 0.01, 0.25}, b{95.0, 0.03, 0.2};
  // Our error is at most 1.5 times QuantLib's. Measured ratios up to 0.43 (rho 0.9), 0.38 (0.6), 1.03 (0), 1.21
  // (-0.5) and 1.25 (-0.9); the damping part of our cross stencil, which QuantLib's lacks, accounts for the excess
  // with negative correlation. On this stretched mesh the cross derivative needs the three-point weights of each
  // axis: two-point differences came out 2.3 times QuantLib's error at rho -0.5 and 3.3 times at -0.9.
  constexpr double ratio = 1.5;
  for (double rho : {0.9, 0.6, 0.0, -0.5, -0.9}) {
    ql::MargrabeOption margrabe(1, 1, market.in_one_year());
    margrabe.setPricingEngine(
        ql::ext::make_shared<ql::AnalyticEuropeanMargrabeEngine>(market.process(a), market.process(b), rho));
    const double exact = margrabe.NPV();
    for (size_t points : {51, 101}) {
      const size_t steps = points - 1;
      ql::BasketOption basket(ql::ext::make_shared<ql::SpreadBasketPayoff>(
                                  ql::ext::make_shared<ql::PlainVanillaPayoff>(ql::Option::Call, 0.0)),
                              market.in_one_year());
      basket.setPricingEngine(ql::ext::make_shared<ql::Fd2dBlackScholesVanillaEngine>(
          market.process(a), market.process(b), rho, points, points, steps));
      const double theirs = std::abs(basket.NPV() - exact);
      for (type t : {type::HUNDSDORFER_VERWER, type::CRAIG_SNEYD, type::MODIFIED_CRAIG_SNEYD}) {
        const double ours = std::abs(exchange_value(market, a, b, rho, t, points, steps) - exact);
        EXPECT_LT(ours, ratio * theirs) << "rho " << rho << " points " << points << " type " << int(t);
      }
    }
  }
}

}  // namespace
}  // namespace qavrek
