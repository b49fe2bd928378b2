// European payer swaptions priced from simulated one-factor HJM curves against QuantLib's Jamshidian engine
// on the equivalent Hull-White model (mean reversion a and volatility sigma of the short rate map to the
// HJM decay speed and volatility), both on the same log-linear discount curve.
//
// Monte Carlo: at the expiry T0 each path's zero-coupon prices P(T0, T_i) = exp(log_df(T0, T_i)) value the
// swap (single curve, no spot lag: float leg 1 - P(T0, Tn), fixed leg K sum accrual_i P(T0, T_i)); the
// positive part is discounted with the path's discounting(T0). The mean must lie within 4 standard errors
// of the Jamshidian price.

#include <gtest/gtest.h>

#include <ql/currencies/europe.hpp>
#include <ql/exercise.hpp>
#include <ql/handle.hpp>
#include <ql/indexes/iborindex.hpp>
#include <ql/instruments/swaption.hpp>
#include <ql/instruments/vanillaswap.hpp>
#include <ql/math/interpolations/loginterpolation.hpp>
#include <ql/models/shortrate/onefactormodels/hullwhite.hpp>
#include <ql/pricingengines/swaption/jamshidianswaptionengine.hpp>
#include <ql/settings.hpp>
#include <ql/termstructures/yield/discountcurve.hpp>
#include <ql/time/calendars/nullcalendar.hpp>
#include <ql/time/daycounters/actual365fixed.hpp>
#include <ql/time/schedule.hpp>

#include <cmath>
#include <memory>
#include <vector>

#include "Analytics/diffusion/ir/diffusion_ir_markovian_hjm.h"
#include "Analytics/simulation/simulation_manager.h"
#include "Instrument/interest_rate_swap.h"
#include "Util/tenor.h"
#include "simulation_test_support.h"

namespace qavrek::simulation_test {
namespace {

QuantLib::Date ql_date(const datetime& d) {
  return QuantLib::Date(static_cast<QuantLib::Date::serial_type>(d.serial()));
}

struct market {
  datetime start{2024, 1, 15};
  std::vector<datetime> curve_dates{datetime(2025, 1, 15), datetime(2026, 1, 15), datetime(2028, 1, 15),
                                    datetime(2031, 1, 15), datetime(2034, 1, 15)};
  std::vector<double> dfs{0.972, 0.94, 0.875, 0.78, 0.69};
  double mean_reversion = 0.05;
  double volatility = 0.012;
};

// The Jamshidian price of the payer swaption on the dates and fixed accruals of `swap` (ACT/365F).
double jamshidian_price(const market& m, const interest_rate_swap& swap, double strike) {
  using namespace QuantLib;
  Settings::instance().evaluationDate() = ql_date(m.start);
  std::vector<Date> nodes{ql_date(m.start)};
  std::vector<DiscountFactor> factors{1.0};
  for (size_t i = 0; i < m.curve_dates.size(); ++i) {
    nodes.push_back(ql_date(m.curve_dates[i]));
    factors.push_back(m.dfs[i]);
  }
  const Handle<YieldTermStructure> curve(
      ext::make_shared<InterpolatedDiscountCurve<LogLinear>>(nodes, factors, Actual365Fixed()));

  std::vector<Date> schedule_dates;
  for (const datetime& d : swap.all_dates()) schedule_dates.push_back(ql_date(d));
  const Schedule schedule(schedule_dates);
  // The index only shapes the floating leg, which the Jamshidian engine takes at par at the start date.
  const auto index = ext::make_shared<IborIndex>("single curve", Period(1, Years), 0, EURCurrency(), NullCalendar(),
                                                 Unadjusted, false, Actual365Fixed(), curve);
  const auto underlying = ext::make_shared<VanillaSwap>(Swap::Payer, 1.0, schedule, strike, Actual365Fixed(),
                                                        schedule, index, 0.0, Actual365Fixed());
  Swaption swaption(underlying, ext::make_shared<EuropeanExercise>(ql_date(swap.expiry())));
  swaption.setPricingEngine(ext::make_shared<JamshidianSwaptionEngine>(
      ext::make_shared<HullWhite>(curve, m.mean_reversion, m.volatility)));
  return swaption.NPV();
}

TEST(HjmSwaptionQuantLib, SimulatedCurvesPriceSwaptionsLikeJamshidian) {
  const market m;
  const auto curve = std::make_shared<const discount_curve>(m.start, m.curve_dates, m.dfs);
  const auto convention = std::make_shared<const day_count_convention>();
  const datetime expiry(2026, 1, 15);
  const interest_rate_swap swap(curve, expiry, datetime(2031, 1, 15), tenor("1Y"), convention);

  // Monthly steps to the expiry: the HJM step is exact, so the steps test the chaining, not a discretisation.
  constexpr size_t paths = 20000;
  const std::vector<datetime> dates = monthly_dates(m.start, 25);
  ASSERT_EQ(dates.back(), expiry);
  const auto parameters = std::make_shared<const parameter_markovian_hjm>(
      matrix<double>{{m.mean_reversion}}, matrix<double>{{m.volatility}}, matrix<double>{{1.0}},
      std::vector{datetime(2030, 1, 15)}, std::vector{datetime(2030, 1, 15)}, convention,
      parameter_markovian_hjm_type::HULL_WHITE);
  simulation_manager manager({std::make_shared<const diffusion_ir_markovian_hjm>(dates, curve, parameters)},
                             {std::make_shared<const change_of_measure>()}, matrix<double>{{1.0}},
                             random_configuration(paths, dates.size(), 1), dates);
  manager.states_initialize();
  for (size_t t = 1; t < dates.size(); ++t) manager.propagate(t);

  const auto simulated = diffusion::diffusion_discount_curve(manager.data(0));
  vector<double> discounting(paths), log_df(paths);
  simulated->discounting(discounting, expiry);
  const size_t n = swap.all_dates().size();
  std::vector<std::vector<double>> path_dfs(paths, std::vector<double>(n));
  for (size_t i = 0; i < n; ++i) {
    simulated->log_df(log_df, expiry, swap.all_dates()[i]);
    for (size_t p = 0; p < paths; ++p) path_dfs[p][i] = std::exp(log_df[p]);
  }

  // In, at and out of the money.
  for (double moneyness : {0.8, 1.0, 1.25}) {
    const double strike = moneyness * swap.swap_rate();
    SCOPED_TRACE(strike);
    double sum = 0.0, sum_of_squares = 0.0;
    for (size_t p = 0; p < paths; ++p) {
      const double payoff = std::max(swap.value(strike, path_dfs[p]), 0.0) * discounting[p];
      sum += payoff;
      sum_of_squares += payoff * payoff;
    }
    const double mean = sum / paths;
    const double standard_error = std::sqrt((sum_of_squares / paths - mean * mean) / (paths - 1.0));
    const double reference = jamshidian_price(m, swap, strike);
    EXPECT_NEAR(mean, reference, 4.0 * standard_error) << "Jamshidian " << reference;
  }
}

}  // namespace
}  // namespace qavrek::simulation_test
