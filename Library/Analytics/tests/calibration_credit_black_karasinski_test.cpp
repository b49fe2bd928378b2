// The credit Black-Karasinski level calibration: levels that reprice the survival curve through the solver,
// the log of a flat hazard rate without volatility, the rates adjustment against its closed form under
// Hull-White rates, its reports, and the curves and level dates that it refuses.

#include "Analytics/calibration/credit/black_karasinski/calibration_credit_black_karasinski.h"
#include "Analytics/tests/captured_log.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Core/error.h"
#include "Core/logger.h"
#include "Market/survival_curve.h"
#include "Util/datetime_helper.h"
#include "Vectorization/vector_form.h"
#include "black_karasinski_survival_test_support.h"

namespace qavrek::black_karasinski_test {
namespace {

using simulation_test::error_message;

constexpr double tolerance = 1e-13;  // the settings' default

struct calibration_options {
  bool update_bounds = true;
  bool use_adjustement = true;
  bool debug = false;
};

ptr_const<calibration_black_karasinski_settings> settings_with(const calibration_options& o = {}) {
  return std::make_shared<const calibration_black_karasinski_settings>(tenor("3M"), 0.0, true, o.use_adjustement, 129,
                                                                       3.0, -50.0, 50.0, tolerance, o.debug, 30.0, 10,
                                                                       1.0, o.update_bounds);
}

// Level dates every `months` months from the valuation date, `count` of them after it, levels all 0.
set_up intensity(double kappa, double sigma, int months, int count) {
  set_up s{kappa, {sigma}, {}, {}, {}};
  for (int i = 0; i <= count; ++i) {
    s.level_days.push_back(int(datetime_helper::add_tenor(valuation(), tenor(months, tenor::unit::MONTHS), i).serial() -
                               valuation().serial()));
    s.levels.push_back(0.0);
  }
  s.volatility_days = {s.level_days.back()};
  return s;
}

// Survival probabilities exp(-(0.01 t + 0.005 t^2)) at the level dates: a hazard rate rising from 1%.
ptr_const<survival_curve> rising_hazard_curve(const set_up& s) {
  std::vector<datetime> dates;
  std::vector<double> probabilities;
  for (size_t i = 1; i < s.level_days.size(); ++i) {
    const double t = s.level_days[i] / 365.0;
    dates.push_back(day(s.level_days[i]));
    probabilities.push_back(std::exp(-(0.01 * t + 0.005 * t * t)));
  }
  return std::make_shared<const survival_curve>(valuation(), dates, probabilities);
}

calibration_credit_black_karasinski driver(const ptr_const<survival_curve>& curve, const calibration_options& o = {},
                                           const ptr_const<parameter_markovian_hjm>& rates = nullptr,
                                           const matrix<double>& correlation = matrix<double>{{0.0}}) {
  return calibration_credit_black_karasinski(valuation(), curve, settings_with(o), rates, correlation);
}

// |market - solver| at every level date after the first, with the calibrated levels and the given shifts per
// level date (none when empty).
std::vector<double> repricing_errors(const set_up& s, const ptr_mutable<parameter_black_karasinski>& calibrated,
                                     const survival_curve& curve, const std::vector<std::vector<double>>& shifts = {}) {
  survival_pde pde(s, *settings_with(), calibrated);
  std::vector<double> errors;
  for (size_t i = 1; i < s.level_days.size(); ++i) {
    if (!shifts.empty()) pde.solver->update(shifts[i]);
    errors.push_back(std::abs(curve.survival_probability(valuation(), day(s.level_days[i])) - pde.survival(i)));
  }
  return errors;
}

std::vector<double> levels_of(const parameter_black_karasinski& p) {
  return {p.levels_parameter().begin(), p.levels_parameter().end()};
}

// The set's levels calibrated to the curve, which they reprice at every level date within the tolerance.
ptr_mutable<parameter_black_karasinski> calibrated_to_tolerance(const set_up& s, const ptr_const<survival_curve>& curve,
                                                                bool update_bounds) {
  const auto parameter = s.parameter();
  driver(curve, {.update_bounds = update_bounds}).calibrate_level(*parameter);
  for (double error : repricing_errors(s, parameter, *curve)) EXPECT_LT(error, tolerance);
  return parameter;
}

// Without volatility the intensity is e^level: on a flat hazard rate every level is ln h. The scheme's local
// error O(z^3), z = h dt below 2e-3 on 30-day steps, moves the level by O(z^2): 1.2e-7 here, within 1e-6.
TEST(CreditBlackKarasinskiCalibration, FlatHazardRateWithoutVolatilityGivesItsLogarithm) {
  const double hazard = 0.02;
  const auto curve = std::make_shared<const survival_curve>(valuation(), hazard);
  // A volatility of 1e-4 moves the level by the factor's half variance, 1e-8 / (4 kappa): far below 1e-6.
  for (double sigma : {0.0, 1e-4}) {
    SCOPED_TRACE("volatility " + std::to_string(sigma));
    const set_up s = intensity(0.1, sigma, 3, 20);
    const auto parameter = s.parameter();
    driver(curve).calibrate_level(*parameter);
    for (double level : parameter->levels_parameter()) EXPECT_NEAR(level, std::log(hazard), 1e-6);
  }
}

// With volatility the solver reproduces the curve at every level date to the settings' tolerance, with the
// bracket around the hazard guess or the settings' fixed bounds; the two agree on the levels within
// tolerance / (dQ/dlevel), dQ/dlevel being Q times the integrated hazard of a quarter (above 2e-3).
TEST(CreditBlackKarasinskiCalibration, WithVolatilityTheLevelsRepriceTheCurveAtEveryDate) {
  const set_up s = intensity(0.2, 0.6, 3, 12);
  const auto curve = rising_hazard_curve(s);
  std::vector<std::vector<double>> calibrated;
  for (bool update_bounds : {true, false}) {
    SCOPED_TRACE(update_bounds ? "bracket around the guess" : "the settings' bounds");
    const auto parameter = calibrated_to_tolerance(s, curve, update_bounds);
    const std::vector<double> levels = levels_of(*parameter);
    // No survival reaches beyond the last date: its level repeats the one before.
    EXPECT_EQ(levels.back(), levels[levels.size() - 2]);
    // A level in force over a quarter: the log of a hazard rate between 1% and 5%.
    for (size_t i = 0; i + 1 < levels.size(); ++i) EXPECT_LT(std::abs(levels[i] - std::log(0.03)), 1.5) << i;
    calibrated.push_back(levels);

    // Calibrated again, every date already matches: nothing moves.
    driver(curve, {.update_bounds = update_bounds}).calibrate_level(*parameter);
    EXPECT_EQ(levels_of(*parameter), calibrated.back());
  }
  for (size_t i = 0; i < calibrated[0].size(); ++i) EXPECT_NEAR(calibrated[0][i], calibrated[1][i], 1e-10) << i;
}

// A hazard rate that jumps between 0.5% and 20% from one quarter to the next, both ways: the bracket around the
// next level must reach the log of the new rate, not of the hazard integrated over a quarter (ln 4 lower), and
// hold it inside rather than on its edge. Either bracket gives the levels that reprice the curve, the same within
// tolerance / (dQ/dlevel), Q times a 0.5% quarter's integrated hazard (about 1e-3), plus what an earlier level's
// miss passes on to the next through their hazard ratio of 40 (a few 1e-10 in all).
TEST(CreditBlackKarasinskiCalibration, LevelsFollowAHazardRateThatJumpsBetweenQuarters) {
  const std::vector<double> hazards = {0.005, 0.005, 0.2, 0.2, 0.005, 0.2};
  const set_up s = intensity(0.2, 0.6, 3, int(hazards.size()));
  std::vector<datetime> dates;
  std::vector<double> probabilities;
  double integrated = 0.0;
  for (size_t i = 1; i < s.level_days.size(); ++i) {
    integrated += hazards[i - 1] * (s.level_days[i] - s.level_days[i - 1]) / 365.0;
    dates.push_back(day(s.level_days[i]));
    probabilities.push_back(std::exp(-integrated));
  }
  const auto curve = std::make_shared<const survival_curve>(valuation(), dates, probabilities);
  std::vector<std::vector<double>> calibrated;
  for (bool update_bounds : {true, false}) {
    SCOPED_TRACE(update_bounds ? "bracket around the guess" : "the settings' bounds");
    calibrated.push_back(levels_of(*calibrated_to_tolerance(s, curve, update_bounds)));
    // Each level is near the log of its quarter's hazard rate, below it by the factor's spread (0.02 to 0.16).
    for (size_t i = 0; i < hazards.size(); ++i)
      EXPECT_LT(std::abs(calibrated.back()[i] - std::log(hazards[i])), 0.5) << i;
  }
  for (size_t i = 0; i < calibrated[0].size(); ++i) EXPECT_NEAR(calibrated[0][i], calibrated[1][i], 1e-9) << i;
}

// The calibrated levels make the model's own price at x = 0 (its Karhunen-Loeve expansion, good to 2e-6)
// reproduce the curve, up to the solver's error on its default grid: below 7e-5 at 5 years for this fast
// reversion (the solver's tests measure it). The solver's grid must span the factor x, whose spread is e^{kappa t}
// times that of the log intensity: on the narrower grid the curve would be missed by 1e-2.
TEST(CreditBlackKarasinskiCalibration, TheModelsOwnPriceReproducesTheCurve) {
  const set_up s = intensity(0.4, 0.9, 6, 10);
  const auto curve = rising_hazard_curve(s);
  const auto parameter = s.parameter();
  driver(curve).calibrate_level(*parameter);
  const std::vector<datetime> dates = {valuation()};
  const model_black_karasinski model(*parameter, valuation(), dates, false);
  for (size_t i = 1; i < s.level_days.size(); ++i) {
    const datetime date = day(s.level_days[i]);
    vector<double> log_price(1);
    model.conditional_price(matrix<double>(2, 1), valuation(), date, log_price);
    EXPECT_NEAR(std::exp(log_price[0]), curve->survival_probability(valuation(), date), 1e-4) << "level date " << i;
  }
}

// Two Hull-White rate factors: reversions 0.05 and 0.5, volatilities 1% and 0.8%.
ptr_const<parameter_markovian_hjm> hull_white_rates() {
  const datetime end = day(4000);
  return std::make_shared<const parameter_markovian_hjm>(
      matrix<double>{{0.05, 0.5}}, matrix<double>{{0.01, 0.008}}, matrix<double>{{1.0, -0.4}, {-0.4, 1.0}},
      std::vector<datetime>{end}, std::vector<datetime>{end}, std::make_shared<const day_count_convention>(),
      parameter_markovian_hjm_type::HULL_WHITE);
}

// The adjustment for the survival to t at every grid date, from the Hull-White closed forms D = e^{-kappa s},
// G(t) = (1 - e^{-kappa t}) / kappa: per step (t_{r-1}, t_r], sv^2 = integral sigma^2 / D^2 and
// mm^2 = integral sigma^2 G^2 / D^2 of each rates factor, and the credit factor's sigma_r^2 = integral
// sigma_c^2 / D_c^2; shift_r = sum over steps u <= r of sigma_u sum_k rho_k (sv_uk G_k(t) - mm_uk).
std::vector<double> expected_shifts(const set_up& credit, const std::vector<datetime>& grid, double t,
                                    const std::vector<double>& rho) {
  const std::vector<double> kappa = {0.05, 0.5}, sigma = {0.01, 0.008};
  std::vector<double> shifts(grid.size(), 0.0);
  double sum = 0.0;
  for (size_t r = 1; r < grid.size(); ++r) {
    const double a = years(grid[r - 1]), b = years(grid[r]);
    const double credit_sigma = std::sqrt(weighted_variance(credit, a, b, 2.0 * credit.mean_reversion));
    double drift = 0.0;
    for (size_t k = 0; k < 2; ++k) {
      const double c = kappa[k];
      const double g = (1.0 - std::exp(-c * t)) / c;
      const double sv = sigma[k] * std::sqrt((std::exp(2 * c * b) - std::exp(2 * c * a)) / (2 * c));
      // (e^{cs} - 1)^2 / c^2 integrates to (e^{2cs} / (2c) - 2 e^{cs} / c + s) / c^2.
      const auto primitive = [c](double s) {
        return (std::exp(2 * c * s) / (2 * c) - 2 * std::exp(c * s) / c + s) / (c * c);
      };
      const double mm = sigma[k] * std::sqrt(primitive(b) - primitive(a));
      drift += rho[k] * (sv * g - mm);
    }
    sum += credit_sigma * drift;
    shifts[r] = sum;
  }
  return shifts;
}

// Without the adjustment's inputs the levels are those of no rates at all, bit for bit; with a credit-rates
// correlation the levels reprice the curve under the closed-form shifts (their rounding, some 1e-16 on shifts of
// 1e-3, is far below the tolerance).
TEST(CreditBlackKarasinskiCalibration, RatesAdjustmentShiftsTheFactorByItsClosedForm) {
  const set_up s = intensity(0.2, 0.6, 6, 8);
  const auto curve = rising_hazard_curve(s);
  const auto plain = s.parameter();
  driver(curve).calibrate_level(*plain);

  struct no_adjustment_case {
    const char* name;
    bool use_adjustement;
    ptr_const<parameter_markovian_hjm> rates;
    matrix<double> correlation;
  };
  const std::vector<no_adjustment_case> unadjusted = {
      {"adjustment off", false, hull_white_rates(), matrix<double>{{0.5, -0.3}}},
      {"no correlation", true, hull_white_rates(), matrix<double>{{0.0, 0.0}}},
      {"no rates", true, nullptr, matrix<double>{{0.5, -0.3}}}};
  for (const auto& c : unadjusted) {
    SCOPED_TRACE(c.name);
    const auto parameter = s.parameter();
    driver(curve, {.use_adjustement = c.use_adjustement}, c.rates, c.correlation).calibrate_level(*parameter);
    EXPECT_EQ(levels_of(*parameter), levels_of(*plain));
  }

  const std::vector<double> rho = {0.5, -0.3};
  const auto adjusted = s.parameter();
  driver(curve, {}, hull_white_rates(), matrix<double>{{rho[0]}, {rho[1]}}).calibrate_level(*adjusted);
  survival_pde grid_source(s, *settings_with(), s.parameter());
  const std::vector<datetime>& grid = grid_source.solver->time_grid();
  std::vector<std::vector<double>> shifts = {{}};
  for (size_t i = 1; i < s.level_days.size(); ++i)
    shifts.push_back(expected_shifts(s, grid, s.level_days[i] / 365.0, rho));
  for (double error : repricing_errors(s, adjusted, *curve, shifts)) EXPECT_LT(error, 2.0 * tolerance);
  // The shifts are felt: a few basis points of the level at least.
  EXPECT_GT(std::abs(adjusted->levels_parameter()[4] - plain->levels_parameter()[4]), 1e-4);
}

struct correlation_case {
  const char* name;
  matrix<double> correlation;
  bool accepted;
};

// One correlation per rates factor, however the matrix is shaped.
TEST(CreditBlackKarasinskiCalibration, CorrelationHoldsOneValuePerRatesFactor) {
  const set_up s = intensity(0.2, 0.6, 12, 2);
  const auto curve = rising_hazard_curve(s);
  const std::vector<correlation_case> cases = {{"a row", matrix<double>{{0.3, 0.1}}, true},
                                               {"a column", matrix<double>{{0.3}, {0.1}}, true},
                                               {"a square", matrix<double>{{0.3, 0.1}, {0.1, 0.3}}, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto parameter = s.parameter();
    try {
      driver(curve, {}, hull_white_rates(), c.correlation).calibrate_level(*parameter);
      EXPECT_TRUE(c.accepted);
    } catch (const Error& e) {
      EXPECT_FALSE(c.accepted);
      EXPECT_STREQ(e.what(),
                   "Expected ir_parameters_->number_of_factors() == correlation_credit_ir_.size() to be true, but got "
                   "false.  correlation matrix has the wron size: expected 2 given 4");
      EXPECT_EQ(e.location().function, "calibrate_level");
      EXPECT_EQ(e.location().file,
                "Library/Analytics/calibration/credit/black_karasinski/calibration_credit_black_karasinski");
      EXPECT_EQ(e.location().line, 108);
      EXPECT_EQ(levels_of(*parameter), s.levels);
    }
  }
  // Without the adjustment the correlation is not read.
  const auto parameter = s.parameter();
  driver(curve, {.use_adjustement = false}, hull_white_rates(), cases[2].correlation).calibrate_level(*parameter);
}

TEST(CreditBlackKarasinskiCalibration, DebugLogsTheCalibratedLevels) {
  const set_up s = intensity(0.2, 0.6, 12, 3);
  const auto curve = rising_hazard_curve(s);
  struct report_case {
    bool debug;
    int cutoff;
    bool logged;
  };
  for (const report_case& c :
       {report_case{true, 0, true}, report_case{true, -1, false}, report_case{false, 0, false}}) {
    SCOPED_TRACE("debug " + std::to_string(c.debug) + ", cutoff " + std::to_string(c.cutoff));
    const auto parameter = s.parameter();
    captured_log log(c.cutoff);
    driver(curve, {.debug = c.debug}).calibrate_level(*parameter);
    ASSERT_EQ(log.lines.size(), c.logged ? 1u : 0u);
    if (!c.logged) continue;
    EXPECT_EQ(log.lines[0].message, "Calibrated credit levels: " + vector_form(parameter->levels_parameter()));
    EXPECT_EQ(log.lines[0].file,
              "Library/Analytics/calibration/credit/black_karasinski/calibration_credit_black_karasinski");
    EXPECT_EQ(log.lines[0].number, 184u);
  }
}

struct dates_case {
  const char* name;
  std::vector<int> level_days;
};

// The first level date is not after the valuation date (its level serves the first interval) and at least one
// follows it.
TEST(CreditBlackKarasinskiCalibration, RefusesLevelDatesThatStartAfterTheValuationDateOrEndOnIt) {
  const auto curve = std::make_shared<const survival_curve>(valuation(), 0.02);
  const std::vector<dates_case> cases = {{"the valuation date alone", {0}},
                                         {"starting after it", {30, 365}},
                                         {"ending on it", {-30, 0}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    set_up s = intensity(0.2, 0.6, 12, 1);
    s.level_days = c.level_days;
    s.levels.assign(c.level_days.size(), 0.5);
    const auto parameter = s.parameter();
    EXPECT_NE(error_message([&] { driver(curve).calibrate_level(*parameter); }), "");
    EXPECT_EQ(levels_of(*parameter), s.levels);
  }
  // Dates out of order never reach the driver: the parameter set refuses them.
  set_up out_of_order = intensity(0.2, 0.6, 12, 1);
  out_of_order.level_days = {0, 365, 200};
  out_of_order.levels.assign(3, 0.5);
  EXPECT_NE(error_message([&] { out_of_order.parameter(); }), "");
}

// Levels in force only before the valuation date are left as they came; the others are those of a set whose dates
// start on the valuation date (the same grid and searches, so the same numbers) and reprice the curve.
TEST(CreditBlackKarasinskiCalibration, LevelsBeforeTheValuationDateAreKept) {
  set_up from_valuation = intensity(0.2, 0.6, 12, 3);
  from_valuation.level_days = {0, 365, 730, 1095};
  const auto curve = rising_hazard_curve(from_valuation);
  const auto reference = calibrated_to_tolerance(from_valuation, curve, true);

  const std::vector<dates_case> cases = {{"two dates before", {-400, -30, 365, 730, 1095}},
                                         {"one date before", {-30, 365, 730, 1095}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    set_up s = from_valuation;
    s.level_days = c.level_days;
    s.levels.assign(c.level_days.size(), 0.5);
    const auto parameter = s.parameter();
    driver(curve).calibrate_level(*parameter);
    const std::vector<double> levels = levels_of(*parameter);
    const size_t kept = c.level_days.size() - reference->levels_parameter().size();
    for (size_t i = 0; i < kept; ++i) EXPECT_EQ(levels[i], 0.5) << i;
    EXPECT_EQ(std::vector<double>(levels.begin() + long(kept), levels.end()), levels_of(*reference));

    survival_pde pde(s, *settings_with(), parameter);
    for (size_t i = kept + 1; i < c.level_days.size(); ++i)
      EXPECT_LT(std::abs(curve->survival_probability(valuation(), day(c.level_days[i])) - pde.survival(i)), tolerance)
          << "level date " << i;
  }
}

// Survival probabilities given at yearly dates, whatever their shape.
class yearly_curve final : public survival_curve {
 public:
  explicit yearly_curve(std::vector<double> probabilities) : probabilities_(std::move(probabilities)) {}
  using survival_curve::survival_probability;
  double survival_probability(const datetime& from, const datetime& to) const override {
    EXPECT_EQ(from, valuation());
    return probabilities_[size_t(std::lround(years(to)))];
  }

 private:
  std::vector<double> probabilities_;
};

// A curve flat over a year has no hazard guess there: that interval is searched within the settings' bounds and
// gets a negligible intensity, and the next one a bracket of its own. A curve that rises cannot be matched.
TEST(CreditBlackKarasinskiCalibration, CurvesThatDoNotFall) {
  set_up s{0.2, {0.0}, {1460}, {0.0, 0.0, 0.0, 0.0, 0.0}, {0, 365, 730, 1095, 1460}};
  const double year_2 = std::exp(-0.02), year_3 = year_2 * std::exp(-0.03);
  const auto flat =
      std::make_shared<const yearly_curve>(std::vector<double>{1.0, year_2, year_2, year_3, year_3 * std::exp(-0.03)});
  for (bool update_bounds : {true, false}) {
    SCOPED_TRACE(update_bounds ? "bracket around the guess" : "the settings' bounds");
    const auto parameter = s.parameter();
    driver(flat, {.update_bounds = update_bounds}).calibrate_level(*parameter);
    const std::vector<double> levels = levels_of(*parameter);
    // Without volatility, as above: within 1e-6 of the log of the hazard rates; the flat year's intensity only
    // makes up for the tolerance.
    EXPECT_NEAR(levels[0], std::log(0.02), 1e-6);
    EXPECT_LT(std::exp(levels[1]), 1e-12);
    EXPECT_NEAR(levels[2], std::log(0.03), 1e-6);
    EXPECT_NEAR(levels[3], std::log(0.03), 1e-6);
  }

  const auto rising = std::make_shared<const yearly_curve>(std::vector<double>{1.0, year_2, 0.999, 0.99, 0.98});
  const auto parameter = s.parameter();
  try {
    driver(rising).calibrate_level(*parameter);
    ADD_FAILURE() << "a rising curve was calibrated";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), " black karasinski model not calibrated.");
    EXPECT_EQ(e.location().line, 174);
    // The first year was calibrated before.
    EXPECT_NEAR(parameter->levels_parameter()[0], std::log(0.02), 1e-6);
  }
}

struct unusable_curve_case {
  const char* name;
  std::vector<double> yearly_probabilities;
  std::string message;
  size_t calibrated;  // levels solved before the refusal
};

// A survival probability that is not a number matches no level: the date is refused, naming it, rather than
// skipped with its level left as it came. The levels before it keep their calibrated values.
TEST(CreditBlackKarasinskiCalibration, RefusesSurvivalProbabilitiesThatAreNotNumbers) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double year_1 = std::exp(-0.02);
  const std::vector<unusable_curve_case> cases = {
      {"not a number anywhere", {1.0, nan, nan, nan, nan}, "gives nan at level date 1 (", 0},
      {"not a number after a year", {1.0, year_1, nan, nan, nan}, "gives nan at level date 2 (", 1},
      {"infinite after two years", {1.0, year_1, year_1 * year_1, HUGE_VAL, HUGE_VAL}, "gives inf at level date 3 (",
       2}};
  const set_up s{0.2, {0.0}, {1460}, {0.0, 0.0, 0.0, 0.0, 0.0}, {0, 365, 730, 1095, 1460}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto parameter = s.parameter();
    const std::string message = error_message(
        [&] { driver(std::make_shared<const yearly_curve>(c.yearly_probabilities)).calibrate_level(*parameter); });
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
    const std::vector<double> levels = levels_of(*parameter);
    // Without volatility a flat 2% hazard gives the level ln 0.02 (within 1e-6, as above).
    for (size_t i = 0; i < c.calibrated; ++i) EXPECT_NEAR(levels[i], std::log(0.02), 1e-6) << i;
    for (size_t i = c.calibrated; i < levels.size(); ++i) EXPECT_EQ(levels[i], 0.0) << i;
  }
}

// The credit-rates correlations that the adjustment reads must be correlations; without the adjustment they are
// not read.
TEST(CreditBlackKarasinskiCalibration, RefusesCreditRatesCorrelationsOutsideMinusOneToOne) {
  const set_up s = intensity(0.2, 0.6, 12, 2);
  const auto curve = rising_hazard_curve(s);
  struct bound_case {
    const char* name;
    matrix<double> correlation;
    bool accepted;
  };
  const std::vector<bound_case> cases = {
      {"seven", matrix<double>{{7.0, 0.1}}, false},
      {"below minus one", matrix<double>{{0.3}, {-1.5}}, false},
      {"not a number", matrix<double>{{std::nan(""), 0.1}}, false},
      {"infinite", matrix<double>{{0.3, -HUGE_VAL}}, false},
      {"the bounds themselves", matrix<double>{{1.0, -1.0}}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto parameter = s.parameter();
    const std::string message =
        error_message([&] { driver(curve, {}, hull_white_rates(), c.correlation).calibrate_level(*parameter); });
    if (c.accepted) {
      EXPECT_EQ(message, "");
      continue;
    }
    EXPECT_NE(message.find("must be within [-1, 1]"), std::string::npos) << message;
    EXPECT_EQ(levels_of(*parameter), s.levels);
    EXPECT_EQ(error_message([&] {
                driver(curve, {.use_adjustement = false}, hull_white_rates(), c.correlation).calibrate_level(*parameter);
              }),
              "");
  }
}

}  // namespace
}  // namespace qavrek::black_karasinski_test
