// Lognormal volatility calibration with Markovian HJM rates: closed forms without rate volatility, the
// loadings' signs and the combined FX rates, the refused inputs, and, the independent check, simulations
// of the calibrated set with the same rates whose log spots have the market variances.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "Analytics/calibration/lognormal/lognormal_equity_with_mhjm_ir.h"
#include "Analytics/calibration/lognormal/lognormal_fx_with_mhjm_ir.h"
#include "Analytics/diffusion/equity/diffusion_equity_lognormal.h"
#include "Analytics/diffusion/fx/diffusion_fx_lognormal.h"
#include "Analytics/diffusion/ir/diffusion_ir_markovian_hjm.h"
#include "Analytics/simulation/simulation_manager.h"
#include "Analytics/tests/captured_log.h"
#include "Core/logger.h"
#include "simulation_test_support.h"

namespace qavrek::simulation_test {
namespace {

const datetime valuation(2024, 1, 15);
const ptr_const<day_count_convention> act_365 = std::make_shared<const day_count_convention>();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

ptr_const<parameter_markovian_hjm> hjm(const matrix<double>& decays, const matrix<double>& volatilities,
                                       const matrix<double>& correlation, std::vector<datetime> decays_dates,
                                       std::vector<datetime> volatilities_dates,
                                       parameter_markovian_hjm_type type = parameter_markovian_hjm_type::HULL_WHITE) {
  return std::make_shared<const parameter_markovian_hjm>(decays, volatilities, correlation, decays_dates,
                                                         volatilities_dates, act_365, type);
}

ptr_const<parameter_markovian_hjm> one_factor(double volatility) {
  return hjm({{0.04}}, {{volatility}}, {{1.0}}, {datetime(2030, 1, 15)}, {datetime(2030, 1, 15)});
}

// Half a year, then yearly to three years: total variances of implied volatilities 20%, 22%, 21%, 23%.
const std::vector<datetime> calibration_dates{valuation, datetime(2024, 7, 15), datetime(2025, 1, 15),
                                              datetime(2026, 1, 15), datetime(2027, 1, 15)};
std::vector<double> market_variances() {
  const std::vector<double> implied{0.0, 0.20, 0.22, 0.21, 0.23};
  std::vector<double> variances(calibration_dates.size());
  for (size_t j = 1; j < variances.size(); ++j) {
    variances[j] = implied[j] * implied[j] * act_365->fraction(valuation, calibration_dates[j]);
  }
  return variances;
}

::testing::AssertionResult same_values(const matrix<double>& actual, const matrix<double>& expected) {
  if (actual.rows() != expected.rows() || actual.columns() != expected.columns()) {
    return ::testing::AssertionFailure() << "shape " << actual.rows() << " x " << actual.columns();
  }
  for (size_t i = 0; i < actual.rows(); ++i) {
    for (size_t j = 0; j < actual.columns(); ++j) {
      if (actual(i, j) != expected(i, j)) {
        return ::testing::AssertionFailure() << "(" << i << ", " << j << ") is " << actual(i, j);
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// Without rate volatility every period's variance is the market's increment, shared by the asset factors:
// sigma_j = sqrt((V_j - V_{j-1}) / (u'Bu dt_j)), V_0 taken as 0.
TEST(LognormalCalibration, WithoutRateVolatilityThePeriodsTakeTheVarianceIncrements) {
  struct case_ {
    const char* label;
    std::function<ptr_const<lognormal_model_with_mhjm_ir>()> make;
    double u_b_u;
  };
  const std::vector<case_> cases = {
      {"equity, one asset factor",
       [] {
         return std::make_shared<const lognormal_equity_with_mhjm_ir>(valuation, matrix<double>{{1.0, 0.3}, {0.3, 1.0}},
                                                                      one_factor(0.0));
       },
       1.0},
      {"equity, two asset factors",
       [] {
         return std::make_shared<const lognormal_equity_with_mhjm_ir>(
             valuation, matrix<double>{{1.0, 0.3, -0.2}, {0.3, 1.0, 0.5}, {-0.2, 0.5, 1.0}}, one_factor(0.0));
       },
       3.0},
      {"fx, one asset factor",
       [] {
         return std::make_shared<const lognormal_fx_with_mhjm_ir>(
             valuation, matrix<double>{{1.0, 0.2, 0.3}, {0.2, 1.0, -0.4}, {0.3, -0.4, 1.0}}, one_factor(0.0),
             one_factor(0.0));
       },
       1.0},
  };
  const std::vector<double> variances = market_variances();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const auto calibrated = c.make()->calibrate(calibration_dates, variances, act_365);
    const matrix<double>& sigma = calibrated->volatilities();
    ASSERT_EQ(sigma.rows(), calibration_dates.size());
    EXPECT_EQ(calibrated->volatilities_dates(), calibration_dates);
    for (size_t k = 0; k < sigma.columns(); ++k) EXPECT_EQ(sigma(0, k), 0.0);
    for (size_t j = 1; j < calibration_dates.size(); ++j) {
      const double dt = (calibration_dates[j].serial() - calibration_dates[j - 1].serial()) / 365.0;
      const double expected = std::sqrt((variances[j] - variances[j - 1]) / (c.u_b_u * dt));
      // A root of a quadratic whose linear term is exactly zero: rounding of the square roots only.
      for (size_t k = 0; k < sigma.columns(); ++k) EXPECT_NEAR(sigma(j, k), expected, 1e-14) << "period " << j;
    }
  }
}

TEST(LognormalCalibration, EdgeCasesOfThePeriods) {
  const lognormal_equity_with_mhjm_ir calibration(valuation, {{1.0, 0.3}, {0.3, 1.0}}, one_factor(0.0));

  // One date: one row of zeros. The variance to t_0 is never read.
  const auto single = calibration.calibrate({valuation}, {nan}, act_365);
  ASSERT_EQ(single->volatilities().rows(), 1u);
  EXPECT_EQ(single->volatilities()(0, 0), 0.0);
  std::vector<double> variances = market_variances();
  const auto reference = calibration.calibrate(calibration_dates, variances, act_365);
  variances[0] = nan;
  const auto unread = calibration.calibrate(calibration_dates, variances, act_365);
  for (size_t j = 0; j < calibration_dates.size(); ++j) {
    EXPECT_EQ(unread->volatilities()(j, 0), reference->volatilities()(j, 0));
  }

  // A variance below the one already reached has no real root: no volatility gives it, and the calibration
  // says so with the period's date and the least variance reachable there, instead of handing back a set
  // with a zero volatility in that period.
  variances = {0.0, 0.04, 0.03, 0.05};
  const std::vector<datetime> dates(calibration_dates.begin(), calibration_dates.begin() + 4);
  captured_log log;
  const std::string message = error_message([&] { calibration.calibrate(dates, variances, act_365); });
  EXPECT_NE(message.find("no volatility of the period to " + dates[2].to_string() + " gives the market variance 0.03"),
            std::string::npos)
      << message;
  // Without rate volatility the least reachable variance is the one already reached, 0.04 up to rounding.
  EXPECT_NE(message.find("give at least 0.04"), std::string::npos) << message;
  EXPECT_TRUE(log.lines.empty());
}

TEST(LognormalCalibration, LoadingsAndCombinedRatesFollowHowEachRateEntersTheSpot) {
  // Factors: two rate factors, then two asset factors.
  const matrix<double> equity_correlation{
      {1.0, 0.1, 0.3, -0.2}, {0.1, 1.0, 0.4, 0.25}, {0.3, 0.4, 1.0, 0.6}, {-0.2, 0.25, 0.6, 1.0}};
  const auto two_factors = hjm({{0.04, 0.5}}, {{0.01, 0.008}}, {{1.0, 0.1}, {0.1, 1.0}}, {datetime(2030, 1, 15)},
                               {datetime(2030, 1, 15)});
  const lognormal_equity_with_mhjm_ir equity(valuation, equity_correlation, two_factors);
  EXPECT_EQ(equity.loadings().rows(), 2u);
  ASSERT_EQ(equity.loadings().columns(), 2u);
  for (size_t r = 0; r < 2; ++r) {
    for (size_t c = 0; c < 2; ++c) {
      EXPECT_EQ(equity.loadings()(r, c), -equity_correlation(c, 2 + r));
      EXPECT_EQ(equity.correlation()(r, c), equity_correlation(2 + r, 2 + c));
    }
  }
  EXPECT_EQ(equity.parameters(), two_factors);

  // FX: a domestic factor, a foreign factor, then the asset factor. The domestic set changes its rows at
  // two dates, the foreign set at one date in between.
  const matrix<double> fx_correlation{{1.0, 0.3, 0.2}, {0.3, 1.0, -0.4}, {0.2, -0.4, 1.0}};
  const auto domestic = hjm({{0.03}, {0.05}}, {{0.011}, {0.009}}, {{1.0}},
                            {datetime(2026, 1, 15), datetime(2030, 1, 15)}, {datetime(2026, 1, 15), datetime(2030, 1, 15)});
  const auto foreign = hjm({{0.02}}, {{0.014}, {0.012}}, {{1.0}}, {datetime(2028, 1, 15)},
                           {datetime(2025, 1, 15), datetime(2028, 1, 15)});
  const lognormal_fx_with_mhjm_ir fx(valuation, fx_correlation, domestic, foreign);
  EXPECT_EQ(fx.loadings()(0, 0), -0.2);
  EXPECT_EQ(fx.loadings()(0, 1), -0.4);
  EXPECT_EQ(fx.correlation()(0, 0), 1.0);
  EXPECT_EQ(fx.domestic_parameters(), domestic);
  EXPECT_EQ(fx.foreign_parameters(), foreign);

  const parameter_markovian_hjm& combined = *fx.parameters();
  EXPECT_EQ(combined.number_of_factors(), 2u);
  // +0.3 between the currencies becomes -0.3; the diagonal blocks stay.
  EXPECT_EQ(combined.correlation()(0, 1), -0.3);
  EXPECT_EQ(combined.correlation()(1, 0), -0.3);
  EXPECT_EQ(combined.correlation()(0, 0), 1.0);
  EXPECT_EQ(combined.correlation()(1, 1), 1.0);
  // On the merged dates each set gives the row that applies there: rows on (d_{k-1}, d_k], the last after.
  EXPECT_EQ(combined.decays_dates(),
            (std::vector{datetime(2026, 1, 15), datetime(2028, 1, 15), datetime(2030, 1, 15)}));
  EXPECT_TRUE(same_values(combined.decays(), {{0.03, 0.02}, {0.05, 0.02}, {0.05, 0.02}}));
  EXPECT_EQ(combined.volatilities_dates(),
            (std::vector{datetime(2025, 1, 15), datetime(2026, 1, 15), datetime(2028, 1, 15), datetime(2030, 1, 15)}));
  EXPECT_TRUE(same_values(combined.volatilities(), {{0.011, 0.014}, {0.011, 0.012}, {0.009, 0.012}, {0.009, 0.012}}));
  EXPECT_EQ(combined.day_convention(), domestic->day_convention());
  EXPECT_EQ(combined.model_type(), parameter_markovian_hjm_type::HULL_WHITE);
}

TEST(LognormalCalibration, RefusesInputsItCannotSolve) {
  const matrix<double> two_by_two{{1.0, 0.3}, {0.3, 1.0}};
  const lognormal_equity_with_mhjm_ir equity(valuation, two_by_two, one_factor(0.01));
  const std::vector<double> variances = market_variances();
  const std::vector<std::pair<const char*, std::function<void()>>> cases = {
      {"market variance size 4 is shorter than the 5 calibration dates",
       [&] { equity.calibrate(calibration_dates, {0.0, 0.1, 0.2, 0.3}, act_365); }},
      {"calibration date 2 (", [&] {
         equity.calibrate({valuation, datetime(2025, 1, 15), datetime(2025, 1, 15)}, {0.0, 0.1, 0.2}, act_365);
       }},
      {"calibration date 1 (", [&] {
         equity.calibrate({datetime(2025, 1, 15), datetime(2024, 7, 15)}, {0.0, 0.1}, act_365);
       }},
      {"market variance 2", [&] { equity.calibrate(calibration_dates, {0.0, 0.1, nan, 0.3, 0.4}, act_365); }},
      {"day-count convention", [&] { equity.calibrate(calibration_dates, variances, nullptr); }},
      {"at least one date", [&] { equity.calibrate({}, {}, act_365); }},
      {"before the valuation date",
       [&] { equity.calibrate({datetime(2023, 1, 15), valuation}, {0.0, 0.1}, act_365); }},
      {"u'Bu is 0", [&] {
         lognormal_equity_with_mhjm_ir(valuation, {{1.0, 0.0, 0.0}, {0.0, 1.0, -1.0}, {0.0, -1.0, 1.0}}, one_factor(0.01))
             .calibrate(calibration_dates, variances, act_365);
       }},
      {"the correlation has 1 rows for 1 rate factors", [&] {
         lognormal_equity_with_mhjm_ir(valuation, {{1.0}}, one_factor(0.01));
       }},
      {"the correlation has 2 rows for 2 rate factors",
       [&] { lognormal_fx_with_mhjm_ir(valuation, two_by_two, one_factor(0.01), one_factor(0.01)); }},
      {"not square", [&] { lognormal_equity_with_mhjm_ir(valuation, matrix<double>(3, 2), one_factor(0.01)); }},
      {"rate's parameter set", [&] { lognormal_equity_with_mhjm_ir(valuation, two_by_two, nullptr); }},
      {"foreign rate's parameter set",
       [&] { lognormal_fx_with_mhjm_ir(valuation, matrix<double>(3, 3), one_factor(0.01), nullptr); }},
  };
  for (const auto& [expected, action] : cases) {
    const std::string message = error_message(action);
    EXPECT_NE(message.find(expected), std::string::npos) << expected << " -- got: " << message;
  }
}

// The correlation over the rate and asset factors is read in blocks (one transposed, one negated), so
// an entry that no correlation holds would pass into the calibrated set or its variances unseen: both
// calibrations refuse whatever is not a correlation matrix, wherever the entry sits.
TEST(LognormalCalibration, RefusesWhatIsNotACorrelationMatrix) {
  // Equity: a rate factor, two asset factors. FX: a domestic and a foreign factor, one asset factor.
  const matrix<double> equity_valid{{1.0, 0.3, -0.2}, {0.3, 1.0, 0.5}, {-0.2, 0.5, 1.0}};
  const matrix<double> fx_valid{{1.0, 0.2, 0.3}, {0.2, 1.0, -0.4}, {0.3, -0.4, 1.0}};
  struct correlation_case {
    const char* label;
    bool fx;
    std::function<void(matrix<double>&)> spoil;
    std::string message;
  };
  const auto set = [](size_t i, size_t j, double value) {
    return [=](matrix<double>& c) { c(i, j) = c(j, i) = value; };
  };
  const std::string outside = ": a correlation lies in [-1, 1]";
  const std::vector<correlation_case> cases = {
      {"equity, NaN between the assets", false, set(1, 2, nan), "the correlation holds nan at (1, 2)" + outside},
      {"equity, NaN between rate and asset", false, set(0, 1, nan), "the correlation holds nan at (0, 1)" + outside},
      {"equity, 5 between rate and asset", false, set(0, 2, 5.0), "the correlation holds 5 at (0, 2)" + outside},
      {"equity, asymmetric", false, [](matrix<double>& c) { c(2, 1) = 0.4; }, "correlation matrix is not symetric"},
      {"equity, a diagonal of 0.5", false, [](matrix<double>& c) { c(1, 1) = 0.5; },
       "the correlation holds 0.5 at (1, 1): a correlation matrix has 1 on its diagonal"},
      {"equity, not positive semidefinite", false,
       [](matrix<double>& c) { c = matrix<double>{{1.0, 0.9, 0.9}, {0.9, 1.0, -0.9}, {0.9, -0.9, 1.0}}; },
       "the correlation matrix is not positive semidefinite"},
      {"fx, 5 between the currencies", true, set(0, 1, 5.0), "the correlation holds 5 at (0, 1)" + outside},
      {"fx, 5 between the foreign rate and the spot", true, set(1, 2, 5.0),
       "the correlation holds 5 at (1, 2)" + outside},
      {"fx, NaN on the spot's diagonal", true, [](matrix<double>& c) { c(2, 2) = nan; },
       "the correlation holds nan at (2, 2)" + outside},
      {"fx, asymmetric", true, [](matrix<double>& c) { c(2, 0) = -0.3; }, "correlation matrix is not symetric"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    matrix<double> correlation = c.fx ? fx_valid : equity_valid;
    c.spoil(correlation);
    const std::string message = error_message([&] {
      const auto calibration =
          c.fx ? ptr_const<lognormal_model_with_mhjm_ir>(std::make_shared<const lognormal_fx_with_mhjm_ir>(
                     valuation, correlation, one_factor(0.01), one_factor(0.01)))
               : std::make_shared<const lognormal_equity_with_mhjm_ir>(valuation, correlation, one_factor(0.01));
      calibration->calibrate(calibration_dates, market_variances(), act_365);
    });
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
  }
  // The valid matrices calibrate.
  EXPECT_NO_THROW(lognormal_equity_with_mhjm_ir(valuation, equity_valid, one_factor(0.01))
                      .calibrate(calibration_dates, market_variances(), act_365));
  EXPECT_NO_THROW(lognormal_fx_with_mhjm_ir(valuation, fx_valid, one_factor(0.01), one_factor(0.01))
                      .calibrate(calibration_dates, market_variances(), act_365));
}

// Variance of a Monte Carlo sample and its standard error, sqrt((m4 - s^4) / N).
struct variance_sample {
  std::vector<double> values;

  double mean() const {
    double sum = 0.0;
    for (double x : values) sum += x;
    return sum / static_cast<double>(values.size());
  }
  double central_moment(int order) const {
    const double m = mean();
    double sum = 0.0;
    for (double x : values) sum += std::pow(x - m, order);
    return sum / static_cast<double>(values.size());
  }
  double variance() const { return central_moment(2); }
  double standard_error() const {
    const double s2 = variance();
    return std::sqrt((central_moment(4) - s2 * s2) / static_cast<double>(values.size()));
  }
};

// The dates of a simulation: the calibration dates alone, or every month in between as well.
std::vector<datetime> simulation_dates(bool monthly) {
  return monthly ? monthly_dates(valuation, 37) : calibration_dates;
}

// Simulates the rates (first `rates.size()` diffusions) with the spot diffusion last and compares the
// variance of ln S(t_j) / S(0) at the calibration dates with the market's, within 4 standard errors.
void expect_market_variances(const std::vector<ptr_const<diffusion>>& assets, const matrix<double>& correlation,
                             const std::vector<datetime>& dates, const std::vector<double>& variances) {
  constexpr size_t paths = 100000;
  size_t factors = 0;
  for (const auto& asset : assets) factors += asset->number_of_factors();
  simulation_manager manager(assets, std::vector(assets.size(), std::make_shared<const change_of_measure>()),
                             correlation, random_configuration(paths, dates.size(), factors), dates);
  const auto& view = manager.data(assets.size() - 1);
  const auto equity = diffusion::diffusion_equity_spot(view);
  const auto fx = diffusion::diffusion_fx_spot(view);
  manager.states_initialize();
  size_t next_check = 1;
  for (size_t t = 1; t < dates.size(); ++t) {
    manager.propagate(t);
    if (dates[t] != calibration_dates[next_check]) continue;
    variance_sample log_spots;
    for (double s : equity ? equity->spots() : fx->spots()) log_spots.values.push_back(std::log(s));
    const double distance = std::abs(log_spots.variance() - variances[next_check]) / log_spots.standard_error();
    EXPECT_LE(distance, 4.0) << "at " << dates[t] << ": variance " << log_spots.variance() << " against "
                             << variances[next_check] << ", standard error " << log_spots.standard_error();
    ++next_check;
  }
  EXPECT_EQ(next_check, calibration_dates.size());
}

// The rates' volatilities and their correlations with the spot make the rate and cross terms many standard
// errors large: a loading of the wrong sign or a missing rate term fails.
TEST(LognormalCalibration, SimulatedLogSpotsHaveTheMarketVariances) {
  const std::vector<double> variances = market_variances();
  const auto domestic_curve = std::make_shared<const discount_curve>(valuation, 0.03);
  const auto foreign_curve = std::make_shared<const discount_curve>(valuation, 0.01);
  const auto one = hjm({{0.03}}, {{0.02}, {0.015}}, {{1.0}}, {datetime(2030, 1, 15)},
                       {datetime(2025, 7, 15), datetime(2030, 1, 15)});
  const auto two = hjm({{0.02, 0.8}}, {{0.015, 0.012}}, {{1.0, -0.4}, {-0.4, 1.0}}, {datetime(2030, 1, 15)},
                       {datetime(2030, 1, 15)});
  const auto foreign = hjm({{0.05}}, {{0.018}}, {{1.0}}, {datetime(2030, 1, 15)}, {datetime(2030, 1, 15)});

  const matrix<double> one_factor_equity{{1.0, 0.5}, {0.5, 1.0}};
  const matrix<double> two_factor_equity{{1.0, -0.4, 0.45}, {-0.4, 1.0, -0.3}, {0.45, -0.3, 1.0}};
  const matrix<double> fx_correlation{{1.0, 0.35, 0.4}, {0.35, 1.0, -0.5}, {0.4, -0.5, 1.0}};
  for (const bool monthly : {false, true}) {
    SCOPED_TRACE(monthly ? "monthly steps" : "calibration dates");
    const std::vector<datetime> dates = simulation_dates(monthly);
    for (const auto& [label, rates, correlation] : {std::tuple{"equity with a one-factor rate", one, one_factor_equity},
                                                    std::tuple{"equity with a two-factor rate", two, two_factor_equity}}) {
      SCOPED_TRACE(label);
      const auto calibrated =
          lognormal_equity_with_mhjm_ir(valuation, correlation, rates).calibrate(calibration_dates, variances, act_365);
      expect_market_variances(
          {std::make_shared<const diffusion_ir_markovian_hjm>(dates, domestic_curve, rates),
           std::make_shared<const diffusion_equity_lognormal>(dates, 100.0, domestic_curve, calibrated)},
          correlation, dates, variances);
    }
    {
      // The foreign rate's quanto drift is deterministic and leaves the variances alone.
      SCOPED_TRACE("fx with one-factor rates");
      const auto calibrated = lognormal_fx_with_mhjm_ir(valuation, fx_correlation, one, foreign)
                                  .calibrate(calibration_dates, variances, act_365);
      expect_market_variances(
          {std::make_shared<const diffusion_ir_markovian_hjm>(dates, domestic_curve, one),
           std::make_shared<const diffusion_ir_markovian_hjm>(dates, foreign_curve, foreign),
           std::make_shared<const diffusion_fx_lognormal>(dates, std::make_shared<const fx_spot>(valuation, 1.1),
                                                          domestic_curve, foreign_curve, calibrated)},
          fx_correlation, dates, variances);
    }
  }
}

// Domestic and foreign rates of different model types: the combined set takes the domestic type, while
// each currency's rate terms come from its own set. The foreign set reads its decays as piecewise-constant
// values (1.0: no mean reversion); read as Hull-White speeds they would be a strong mean reversion, the
// foreign rate's variance towards three years several standard errors of the simulation smaller. A
// simulation with each rate's own diffusion gives the log spot the market variances.
TEST(LognormalCalibration, FxWithRatesOfDifferentModelTypesCalibratesAndReprices) {
  const std::vector<double> variances = market_variances();
  const auto domestic_curve = std::make_shared<const discount_curve>(valuation, 0.03);
  const auto foreign_curve = std::make_shared<const discount_curve>(valuation, 0.01);
  const auto domestic = hjm({{0.03}}, {{0.012}}, {{1.0}}, {datetime(2030, 1, 15)}, {datetime(2030, 1, 15)});
  const auto foreign = hjm({{1.0}}, {{0.025}}, {{1.0}}, {datetime(2030, 1, 15)}, {datetime(2030, 1, 15)},
                           parameter_markovian_hjm_type::PICEWISE_CONSTANT);
  const matrix<double> fx_correlation{{1.0, 0.35, 0.4}, {0.35, 1.0, -0.5}, {0.4, -0.5, 1.0}};
  const lognormal_fx_with_mhjm_ir calibration(valuation, fx_correlation, domestic, foreign);
  EXPECT_EQ(calibration.parameters()->model_type(), parameter_markovian_hjm_type::HULL_WHITE);
  const auto calibrated = calibration.calibrate(calibration_dates, variances, act_365);
  for (const bool monthly : {false, true}) {
    SCOPED_TRACE(monthly ? "monthly steps" : "calibration dates");
    const std::vector<datetime> dates = simulation_dates(monthly);
    expect_market_variances(
        {std::make_shared<const diffusion_ir_markovian_hjm>(dates, domestic_curve, domestic),
         std::make_shared<const diffusion_ir_markovian_hjm>(dates, foreign_curve, foreign),
         std::make_shared<const diffusion_fx_lognormal>(dates, std::make_shared<const fx_spot>(valuation, 1.1),
                                                        domestic_curve, foreign_curve, calibrated)},
        fx_correlation, dates, variances);
  }
}

}  // namespace
}  // namespace qavrek::simulation_test
