// End to end: Black-Karasinski levels calibrated to a discount curve (read as a survival curve, the integral of
// the short rate taking the place of the hazard's) drive the interest-rate diffusion, whose simulated curves
// price a 1Y x 5Y European payer swaption as QuantLib's BlackKarasinski tree fitted to the same curve does.

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <ql/currencies/europe.hpp>
#include <ql/exercise.hpp>
#include <ql/indexes/iborindex.hpp>
#include <ql/instruments/swaption.hpp>
#include <ql/instruments/vanillaswap.hpp>
#include <ql/models/shortrate/onefactormodels/blackkarasinski.hpp>
#include <ql/pricingengines/swaption/treeswaptionengine.hpp>
#include <ql/settings.hpp>
#include <ql/termstructures/yield/discountcurve.hpp>
#include <ql/time/calendars/nullcalendar.hpp>
#include <ql/time/daycounters/actual365fixed.hpp>
#include <ql/time/schedule.hpp>
#include <vector>

#include "Analytics/calibration/credit/black_karasinski/calibration_credit_black_karasinski.h"
#include "Analytics/diffusion/ir/diffusion_ir_black_karasinski.h"
#include "Analytics/simulation/simulation_manager.h"
#include "Market/discount_curve.h"
#include "Market/survival_curve.h"
#include "Util/datetime_helper.h"
#include "black_karasinski_test_support.h"
#include "simulation_test_support.h"

namespace qavrek::black_karasinski_test {
namespace {

constexpr double mean_reversion = 0.1;
constexpr double volatility = 0.25;

datetime after_months(int months) {
  return datetime_helper::add_tenor(valuation(), tenor(months, tenor::unit::MONTHS));
}

// Yearly nodes of zero rates rising from 2% to 3.5%, interpolated log-linearly in the discount factor by both
// libraries.
struct curve_nodes {
  std::vector<datetime> dates;
  std::vector<double> discount_factors;
};

curve_nodes upward_curve() {
  curve_nodes nodes;
  for (int year = 1; year <= 8; ++year) {
    const datetime date = after_months(12 * year);
    const double t = years(date);
    nodes.dates.push_back(date);
    nodes.discount_factors.push_back(std::exp(-(0.035 - 0.015 * std::exp(-t / 3.0)) * t));
  }
  return nodes;
}

QuantLib::Date quantlib_date(const datetime& date) {
  return QuantLib::Date(static_cast<QuantLib::Date::serial_type>(date.serial()));
}

struct swaption_terms {
  datetime expiry;
  std::vector<datetime> payments;  // yearly, the last the swap's end
  std::vector<double> accruals;    // ACT/365F
  double strike;
};

// At the money on the curve.
swaption_terms one_by_five(const survival_curve& curve) {
  swaption_terms terms{after_months(12), {}, {}, 0.0};
  double annuity = 0.0;
  datetime start = terms.expiry;
  for (int year = 2; year <= 6; ++year) {
    const datetime end = after_months(12 * year);
    terms.payments.push_back(end);
    terms.accruals.push_back(years(end) - years(start));
    annuity += terms.accruals.back() * curve.survival_probability(valuation(), end);
    start = end;
  }
  terms.strike = (curve.survival_probability(valuation(), terms.expiry) -
                  curve.survival_probability(valuation(), terms.payments.back())) /
                 annuity;
  return terms;
}

double quantlib_price(const curve_nodes& nodes, const swaption_terms& terms, QuantLib::Size steps) {
  using namespace QuantLib;
  const Date today = quantlib_date(valuation());
  Settings::instance().evaluationDate() = today;
  std::vector<Date> dates = {today};
  std::vector<DiscountFactor> dfs = {1.0};
  for (size_t i = 0; i < nodes.dates.size(); ++i) {
    dates.push_back(quantlib_date(nodes.dates[i]));
    dfs.push_back(nodes.discount_factors[i]);
  }
  const Handle<YieldTermStructure> curve(ext::make_shared<DiscountCurve>(dates, dfs, Actual365Fixed()));
  const auto model = ext::make_shared<BlackKarasinski>(curve, mean_reversion, volatility);

  // Unadjusted yearly periods without fixing lag: the tree values the floating leg as 1 - P(start, end).
  const Date start = quantlib_date(terms.expiry), end = quantlib_date(terms.payments.back());
  const Schedule schedule(start, end, Period(1, Years), NullCalendar(), Unadjusted, Unadjusted, DateGeneration::Forward,
                          false);
  const auto index = ext::make_shared<IborIndex>("yearly", Period(1, Years), 0, EURCurrency(), NullCalendar(),
                                                 Unadjusted, false, Actual365Fixed(), curve);
  const auto swap = ext::make_shared<VanillaSwap>(Swap::Payer, 1.0, schedule, terms.strike, Actual365Fixed(), schedule,
                                                  index, 0.0, Actual365Fixed());
  Swaption swaption(swap, ext::make_shared<EuropeanExercise>(start));
  swaption.setPricingEngine(ext::make_shared<TreeSwaptionEngine>(model, steps));
  return swaption.NPV();
}

// Each path's discount factor to the expiry, and its bond prices from the expiry to the payment dates.
struct simulated_curves {
  vector<double> discounting;
  std::vector<vector<double>> bonds;
};

simulated_curves simulate(const ptr_const<parameter_black_karasinski>& parameter, const curve_nodes& nodes,
                          const swaption_terms& terms, size_t paths) {
  // Daily steps to the expiry, through every level date before it.
  std::vector<datetime> dates;
  for (double d = valuation().serial(); d <= terms.expiry.serial(); d += 1.0) dates.emplace_back(d);
  const auto rate = std::make_shared<const diffusion_ir_black_karasinski>(
      dates, std::make_shared<const discount_curve>(valuation(), nodes.dates, nodes.discount_factors), parameter);
  simulation_manager manager({rate}, {std::make_shared<const change_of_measure>()}, matrix<double>{{1.0}},
                             simulation_test::random_configuration(paths, dates.size(), 1), dates);
  manager.states_initialize();
  for (size_t t = 1; t < dates.size(); ++t) manager.propagate(t);
  const auto view = diffusion::diffusion_discount_curve(manager.data(0));
  simulated_curves curves{vector<double>(paths), {}};
  view->discounting(curves.discounting, terms.expiry);
  vector<double> log_bond(paths);
  for (const datetime& payment : terms.payments) {
    view->log_df(log_bond, terms.expiry, payment);
    curves.bonds.emplace_back(paths);
    for (size_t p = 0; p < paths; ++p) curves.bonds.back()[p] = std::exp(log_bond[p]);
  }
  return curves;
}

TEST(CreditBlackKarasinskiCalibrationQuantLib, SwaptionOnCalibratedLevelsMatchesTheFittedTree) {
  // QuantLib's lattices roll back in OpenMP loops, whose threads spin against the machine's other work.
  omp_set_num_threads(1);
  const curve_nodes nodes = upward_curve();
  const auto curve = std::make_shared<const survival_curve>(valuation(), nodes.dates, nodes.discount_factors);
  const swaption_terms terms = one_by_five(*curve);

  // Monthly levels to the swap's end, fitted with the default settings.
  set_up s{mean_reversion, {volatility}, {}, {}, {}};
  for (int month = 0; month <= 72; ++month) {
    s.level_days.push_back(int(after_months(month).serial() - valuation().serial()));
    s.levels.push_back(std::log(0.03));
  }
  s.volatility_days = {s.level_days.back()};
  const auto parameter = s.parameter();
  const auto settings = std::make_shared<const calibration_black_karasinski_settings>(tenor("1M"), mean_reversion);
  calibration_credit_black_karasinski(valuation(), curve, settings, nullptr, matrix<double>{{0.0}})
      .calibrate_level(*parameter);

  constexpr size_t paths = 100000;
  const simulated_curves curves = simulate(parameter, nodes, terms, paths);
  sample payer, swap;
  for (size_t p = 0; p < paths; ++p) {
    double fixed_leg = 0.0;
    for (size_t i = 0; i < terms.payments.size(); ++i)
      fixed_leg += terms.strike * terms.accruals[i] * curves.bonds[i][p];
    const double value = 1.0 - curves.bonds.back()[p] - fixed_leg;
    payer.add(curves.discounting[p] * std::max(value, 0.0));
    swap.add(curves.discounting[p] * value);
  }
  // The levels reprice the curve: the forward swap at its own rate is worth nothing (the expansion's bond
  // prices, good to 2e-6, enter through some 5 discount factors).
  EXPECT_TRUE(simulation_test::within_four_standard_errors(swap, 0.0, 1e-5));
  // The tree's own error (its prices at 200, 400 and 800 steps spread over 1.1e-5) and the bias of monthly
  // levels (6e-7 against weekly ones, measured with common random numbers).
  EXPECT_TRUE(simulation_test::within_four_standard_errors(payer, quantlib_price(nodes, terms, 400), 2e-5));
}

}  // namespace
}  // namespace qavrek::black_karasinski_test
