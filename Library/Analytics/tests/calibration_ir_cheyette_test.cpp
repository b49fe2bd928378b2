// The Cheyette calibration driver: its targets and strike rows, its weights, starting skews and
// residuals, its refusals, and the recovery of a planted one-factor Cheyette set from the volatilities it
// implies (priced with the driver's own targets, on a surface that returns them exactly).

#include "Analytics/calibration/ir/cheyette/calibration_ir_cheyette.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/tests/captured_log.h"
#include "Core/interruption.h"
#include "Core/logger.h"
#include "Market/ir_volatility_surface.h"
#include "Util/datetime_helper.h"
#include "cheyette_swaption_test_support.h"
#include "cheyette_target_volatilities.h"

namespace qavrek {

// Reaches the driver's run state and maps.
struct calibration_ir_cheyette_access {
  using problem = calibration_ir_cheyette::problem;
  using bounds = calibration_ir_cheyette::bounds;
  static void map_to_R(vector<double>& x, const parameter_cheyette& p, bounds d, bounds v, bounds s) {
    calibration_ir_cheyette::map_to_R(x, p, d, v, s);
  }
  static void map_from_R(const vector<double>& x, const parameter_cheyette& p, bounds d, bounds v, bounds s) {
    calibration_ir_cheyette::map_from_R(x, p, d, v, s);
  }
};

namespace cheyette_test {
namespace {

using access = calibration_ir_cheyette_access;
using simulation_test::error_message;

std::vector<tenor> tenors(const std::vector<std::string>& texts) {
  std::vector<tenor> out;
  for (const auto& t : texts) out.emplace_back(t);
  return out;
}

ptr_const<calibration_ir_targets_configuration> configuration(const std::vector<std::string>& expiries,
                                                              const std::string& coterminal,
                                                              std::vector<std::vector<double>> strikes, bool caplets,
                                                              bool coterminals) {
  return std::make_shared<const calibration_ir_targets_configuration>(tenor("1Y"), tenors(expiries), tenor(coterminal),
                                                                      std::vector<tenor>{}, std::move(strikes), caplets,
                                                                      coterminals, false);
}

calibration_ir_cheyette driver_of(const ptr_const<calibration_ir_targets_configuration>& config) {
  return calibration_ir_cheyette(valuation(), market_curve(), config, act_365f());
}

// The volatilities the targets have under a parameter set, priced as the driver prices them.
std::vector<std::vector<double>> model_volatilities(const calibration_ir_cheyette& driver,
                                                    const ptr_const<parameter_cheyette>& parameter) {
  return target_volatilities(driver, parameter, valuation());
}

// A surface on which every target reads `volatilities[i][j]` at its strike j exactly: a node per expiry and
// swap tenor of the axes, every target's strike on the strike axis; entries no target reads hold 0.2.
ptr_const<ir_volatility_surface> planted_surface(const calibration_ir_cheyette& driver,
                                                 const std::vector<std::vector<double>>& volatilities) {
  const std::vector<tenor> axis = tenors({"1Y", "2Y", "3Y", "4Y", "5Y"});
  std::vector<double> strikes;
  for (const auto& target : driver.swaptions())
    for (double k : target->swaptions()->strikes()) strikes.push_back(k);
  std::sort(strikes.begin(), strikes.end());
  strikes.erase(std::unique(strikes.begin(), strikes.end()), strikes.end());
  auto position = [&](auto&& lands) {
    for (size_t i = 0; i < axis.size(); ++i)
      if (lands(axis[i])) return i;
    ADD_FAILURE() << "no node";
    return size_t{0};
  };
  tensor<double> nodes({axis.size(), axis.size(), strikes.size()}, 0.2);
  for (size_t i = 0; i < driver.swaptions().size(); ++i) {
    const interest_rate_swap& swap = *driver.swaptions()[i]->swaptions()->swap();
    const size_t e =
        position([&](const tenor& t) { return datetime_helper::add_tenor(valuation(), t) == swap.expiry(); });
    const size_t m =
        position([&](const tenor& t) { return datetime_helper::add_tenor(swap.expiry(), t) == swap.maturity(); });
    const std::vector<double>& target_strikes = driver.swaptions()[i]->swaptions()->strikes();
    for (size_t j = 0; j < target_strikes.size(); ++j) {
      const size_t k = std::lower_bound(strikes.begin(), strikes.end(), target_strikes[j]) - strikes.begin();
      nodes[(e * axis.size() + m) * strikes.size() + k] = volatilities[i][j];
    }
  }
  return std::make_shared<const ir_volatility_surface>(valuation(), axis, axis, strikes, nodes);
}

ptr_const<calibration_cheyette_settings> settings(std::vector<double> skew_bounds = {-40.0, 40.0},
                                                  std::vector<double> decay_bounds = {-0.2, 0.5}, bool debug = false,
                                                  double tolerance = 1e-12) {
  return std::make_shared<const calibration_cheyette_settings>(std::vector<double>{1e-4, 0.05}, decay_bounds,
                                                               skew_bounds, parameter_markovian_hjm_type::HULL_WHITE,
                                                               debug, 200, tolerance);
}

std::vector<datetime> annual(int first, int last) {
  std::vector<datetime> dates;
  for (int y = first; y <= last; ++y) dates.push_back(years_after(y));
  return dates;
}

TEST(CheyetteCalibration, TargetsTakeTheStrikeRowsInBuildOrder) {
  const std::vector<std::vector<double>> rows = {{0.9}, {1.0}, {1.1}, {1.2}, {1.3}};
  struct target_case {
    const char* label;
    bool caplets, coterminals;
    std::vector<std::pair<int, int>> expected;  // start and end year of each target, in order
  };
  // Expiries 1Y, 3Y, 5Y, 4Y with a 4Y coterminal end: the 5Y and 4Y expiries build no coterminal.
  const target_case cases[] = {
      {"caplets, then coterminals", true, true, {{1, 2}, {3, 4}, {5, 6}, {4, 5}, {1, 4}, {3, 4}}},
      {"coterminals alone start at row 0", false, true, {{1, 4}, {3, 4}}},
      {"caplets alone", true, false, {{1, 2}, {3, 4}, {5, 6}, {4, 5}}},
  };
  for (const target_case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<std::vector<double>> enough = rows;
    enough.push_back({1.4});
    const calibration_ir_cheyette driver =
        driver_of(configuration({"1Y", "3Y", "5Y", "4Y"}, "4Y", enough, c.caplets, c.coterminals));
    ASSERT_EQ(driver.swaptions().size(), c.expected.size());
    for (size_t k = 0; k < c.expected.size(); ++k) {
      const instrument_ir_swaption& swaption = *driver.swaptions()[k]->swaptions();
      EXPECT_EQ(driver.swaptions()[k]->expiry(), years_after(c.expected[k].first));
      EXPECT_EQ(swaption.swap()->maturity(), years_after(c.expected[k].second));
      EXPECT_TRUE(swaption.is_call());
      ASSERT_EQ(swaption.strikes().size(), 1u);
      EXPECT_DOUBLE_EQ(swaption.strikes()[0], enough[k][0] * swaption.swap()->swap_rate()) << "target " << k;
    }
  }
  // Six targets, five rows: the sixth is refused by name.
  EXPECT_NE(error_message([&] {
              driver_of(configuration({"1Y", "3Y", "5Y", "4Y"}, "4Y", rows, true, true));
            })
                .find("target 5 (the coterminal swaption from 2027-01-15 to 2028-01-15) has no strike row: the "
                      "targets configuration has 5"),
            std::string::npos);
}

// Caplets 1Y..3Y (a flat quote, a smile, a single strike) and coterminals to 4Y (at the money).
struct CheyetteCalibrationRun : ::testing::Test {
  const calibration_ir_cheyette driver = driver_of(configuration(
      {"1Y", "2Y", "3Y"}, "4Y", {{0.8, 1.0, 1.25}, {0.8, 1.0, 1.25}, {1.0}, {1.0}, {1.0}, {1.0}}, true, true));
  const ptr_const<parameter_markovian_hjm> start = hull_white(0.02, {0.01, 0.01, 0.01}, annual(1, 3));

  std::vector<std::vector<double>> quotes() const {
    return {{0.2, 0.2, 0.2}, {0.24, 0.22, 0.2}, {0.21}, {0.2}, {0.19}, {0.18}};
  }
};

TEST_F(CheyetteCalibrationRun, WeightsStartingSkewsAndResiduals) {
  std::vector<std::vector<double>> market = quotes();
  access::problem run(driver, planted_surface(driver, market), settings(), start);
  // The flat caplet: its first strike alone weighs, so it gives no skew and its other residuals are 0.
  EXPECT_EQ(run.weights()[0], (std::vector<double>{1.0, 0.0, 0.0}));
  EXPECT_EQ(run.weights()[1], (std::vector<double>{1.0, 1.0, 1.0}));
  EXPECT_EQ(run.offsets(), (std::vector<size_t>{0, 3, 6, 7, 8, 9}));
  EXPECT_EQ(run.number_of_residuals(), 10u);
  // One skew, from the smile: 2 (0.24 - 0.20) / (0.24 (K_first - K_last)), dated on the first HJM date.
  const std::vector<double>& strikes = driver.swaptions()[1]->swaptions()->strikes();
  ASSERT_EQ(run.starting_skews().size(), 1u);
  EXPECT_DOUBLE_EQ(run.starting_skews()[0], 2.0 * 0.04 / (0.24 * (strikes[0] - strikes[2])));
  EXPECT_EQ(run.parameter()->skew_parameter_dates(), annual(1, 1));
  EXPECT_EQ(run.parameter()->long_term_skew_level(), -5.0);
  EXPECT_EQ(run.parameter()->parameters(), start);  // shared, not copied
  EXPECT_EQ(run.number_of_unknowns(), 1u + 3u + 1u);

  vector<double> x = run.initial_unknowns();
  vector<double> residuals(10);
  run.residuals(x, residuals);
  EXPECT_EQ(residuals[1], 0.0);
  EXPECT_EQ(residuals[2], 0.0);
  // A market volatility 10 bp above the model's gives a residual of 10.
  const double model = run.model_volatilities()[3][0];
  market[3][0] = model + 0.001;
  access::problem shifted(driver, planted_surface(driver, market), settings(), start);
  vector<double> shifted_residuals(10);
  shifted.residuals(shifted.initial_unknowns(), shifted_residuals);
  EXPECT_NEAR(shifted_residuals[shifted.offsets()[3]], 10.0, 1e-9);  // 1e4 times the rounding of 0.001 next to 0.2
}

// A caller that stops the calibration is heard at every residual evaluation; the HJM set keeps the values of
// the last one.
TEST_F(CheyetteCalibrationRun, AnInterruptionStopsTheOptimiser) {
  struct stop_at_tenth_evaluation final : interruption::check {
    int points = 0;
    void operator()() override {
      if (++points == 10) throw interrupted();
    }
  } stop;
  const interruption::scope installed(stop);
  EXPECT_THROW(driver.calibrate(planted_surface(driver, quotes()), settings(), start), interrupted);
  EXPECT_EQ(stop.points, 10);
  for (double v : start->volatilities()) EXPECT_TRUE(std::isfinite(v) && v > 0.0);
}

TEST_F(CheyetteCalibrationRun, RefusesBeforeOptimisingAndNamesTheItem) {
  const auto surface = planted_surface(driver, quotes());
  auto smiles = quotes();
  smiles[0] = {0.25, 0.22, 0.2};  // two skews for one HJM volatility date
  struct refusal {
    const char* label;
    std::function<void()> action;
    const char* message;
  };
  const std::vector<refusal> refusals = {
      {"one decay bound",
       [&] {
         driver.calibrate(surface, settings({-40.0, 40.0}, {0.05}), start);
       },
       "the decay bounds need two values, but got 1"},
      {"equal skew bounds",
       [&] {
         driver.calibrate(surface, settings({3.0, 3.0}), start);
       },
       "the skew bounds 3 and 3 are equal"},
      {"more skews than volatility dates",
       [&] { driver.calibrate(planted_surface(driver, smiles), settings(), hull_white(0.02, {0.01}, annual(3, 3))); },
       "give as many starting skews, more than the 1 volatility dates"},
      {"an expiry off the volatility dates",
       [&] {
         driver.calibrate(surface, settings(), hull_white(0.02, {0.01, 0.01, 0.01}, annual(2, 4)));
       },
       "the expiry 2025-01-15 of target 0 is not a volatility date of the HJM parameter set"},
      {"no HJM set", [&] { driver.calibrate(surface, settings(), nullptr); }, "the HJM parameter set is missing"},
  };
  for (const refusal& r : refusals) {
    SCOPED_TRACE(r.label);
    const std::vector<double> decays(start->decays().begin(), start->decays().end());
    EXPECT_NE(error_message(r.action).find(r.message), std::string::npos) << error_message(r.action);
    // Nothing was optimised: the caller's set is as it was.
    EXPECT_EQ(std::vector<double>(start->decays().begin(), start->decays().end()), decays);
  }
}

// Values strictly inside their bounds come back to rounding; one on or beyond a bound starts strictly
// inside it, within a tenth of the interval of the bound, instead of at an infinite unknown.
TEST(CheyetteCalibrationMaps, RoundTripInsideAndMoveStartsOnABoundInside) {
  const access::bounds decays{-0.1, 0.3}, volatilities{1e-4, 0.05}, skews{-40.0, 40.0};
  struct start_case {
    const char* label;
    double decay, volatility, skew;
    bool inside;
  };
  const start_case cases[] = {
      {"inside", 0.04, 0.009, -12.5, true},
      {"on the bounds", 0.3, 1e-4, 40.0, false},
      {"beyond the bounds", 0.7, 0.2, -75.0, false},
  };
  for (const start_case& c : cases) {
    SCOPED_TRACE(c.label);
    const auto p =
        cheyette(hull_white(c.decay, {c.volatility, c.volatility}, annual(1, 2)), {c.skew, c.skew}, annual(1, 2), -5.0);
    vector<double> x(1 + 2 + 2);
    access::map_to_R(x, *p, decays, volatilities, skews);
    for (double u : x) EXPECT_TRUE(std::isfinite(u));
    const auto q = cheyette(hull_white(0.0, {0.0, 0.0}, annual(1, 2)), {0.0, 0.0}, annual(1, 2), -5.0);
    access::map_from_R(x, *q, decays, volatilities, skews);
    const std::vector<std::pair<double, double>> found = {{q->parameters()->decays()(0, 0), c.decay},
                                                          {q->parameters()->volatilities()(1, 0), c.volatility},
                                                          {q->skew_parameter()(1, 0), c.skew}};
    const access::bounds all[] = {decays, volatilities, skews};
    for (size_t k = 0; k < 3; ++k) {
      const auto [value, given] = found[k];
      const access::bounds& b = all[k];
      if (c.inside) {
        // tanh(atanh(t)) and the affine map around it: a few ulps of the bounds' magnitude.
        EXPECT_NEAR(value, given, 8 * std::numeric_limits<double>::epsilon() * std::max(-b.lo, b.hi));
      } else {
        const double bound = given >= b.hi ? b.hi : b.lo;
        EXPECT_GT(value, b.lo);
        EXPECT_LT(value, b.hi);
        EXPECT_LT(std::abs(value - bound), 0.1 * (b.hi - b.lo));
      }
    }
  }
  vector<double> short_x(4);
  const auto p = cheyette(hull_white(0.04, {0.01, 0.01}, annual(1, 2)), {1.0, 1.0}, annual(1, 2), -5.0);
  EXPECT_EQ(error_message([&] { access::map_to_R(short_x, *p, decays, volatilities, skews); }),
            "Expected x.size() == number_of_unknowns(parameter, with_skews) to be true, but got false.  out of range!");
  EXPECT_EQ(error_message([&] { access::map_from_R(short_x, *p, decays, volatilities, skews); }),
            "Expected x.size() == number_of_unknowns(parameter, with_skews) to be true, but got false.  out of range!");
}

struct flat_smile_case {
  const char* label;
  std::vector<double> strikes;  // of every target
  std::vector<double> skew_bounds;
};

// At-the-money caplets and coterminals, and the same targets quoting one volatility at three strikes: no target
// has two weighted strikes, so the calibration starts from a zero skew and keeps it (whatever the skew bounds),
// fitting the decay and the volatilities of the Gaussian model. Planted from a Gaussian set, refitted from a set
// that starts apart: the weighted volatilities come back far inside 0.1 bp (the fit stops at the noise of the
// pricing, 1e-10 in the root search), and the set itself, five unknowns against eight volatilities, inside 1e-4
// relative.
TEST(CheyetteCalibration, FitsQuotesWithoutSmileFromAZeroSkew) {
  const flat_smile_case cases[] = {
      {"at the money", {1.0}, {-40.0, 40.0}},
      {"flat smiles, skew bounds without 0", {0.8, 1.0, 1.25}, {0.5, 40.0}},
  };
  const auto truth = cheyette(hull_white(0.04, {0.009, 0.008, 0.0085, 0.0075}, annual(1, 4)), {0.0}, annual(1, 1),
                              -5.0);
  for (const flat_smile_case& c : cases) {
    SCOPED_TRACE(c.label);
    const calibration_ir_cheyette driver =
        driver_of(configuration({"1Y", "2Y", "3Y", "4Y"}, "5Y", std::vector(8, c.strikes), true, true));
    // Each target quotes its first strike's Gaussian volatility at every strike.
    std::vector<std::vector<double>> quoted = model_volatilities(driver, truth);
    for (auto& row : quoted) row.assign(row.size(), row.front());
    const auto start = hull_white(0.01, {0.01, 0.01, 0.01, 0.01}, annual(1, 4));
    const auto fitted = driver.calibrate(planted_surface(driver, quoted), settings(c.skew_bounds), start);

    EXPECT_EQ(fitted->skew_parameter().rows(), 1u);
    EXPECT_EQ(fitted->skew_parameter()(0, 0), 0.0);
    EXPECT_EQ(fitted->skew_parameter_dates(), annual(1, 1));
    const auto refitted = model_volatilities(driver, fitted);
    for (size_t i = 0; i < quoted.size(); ++i) EXPECT_NEAR(refitted[i][0], quoted[i][0], 1e-5) << "target " << i;
    const parameter_markovian_hjm& hjm = *truth->parameters();
    EXPECT_NEAR(start->decays()(0, 0), hjm.decays()(0, 0), 1e-4 * hjm.decays()(0, 0));
    for (size_t r = 0; r < 4; ++r)
      EXPECT_NEAR(start->volatilities()(r, 0), hjm.volatilities()(r, 0), 1e-4 * hjm.volatilities()(r, 0)) << r;
  }
}

// A run that ends on its iteration limit returns its best point and says on the log that it did not converge.
TEST(CheyetteCalibration, WarnsWhenItStopsBeforeConverging) {
  const auto truth = cheyette(hull_white(0.04, {0.009, 0.008, 0.0085, 0.0075}, annual(1, 4)), {0.0}, annual(1, 1),
                              -5.0);
  const calibration_ir_cheyette driver =
      driver_of(configuration({"1Y", "2Y", "3Y", "4Y"}, "5Y", std::vector(8, std::vector{1.0}), true, true));
  const auto two_iterations = std::make_shared<const calibration_cheyette_settings>(
      std::vector<double>{1e-4, 0.05}, std::vector<double>{-0.2, 0.5}, std::vector<double>{-40.0, 40.0},
      parameter_markovian_hjm_type::HULL_WHITE, false, 2, 1e-12);
  captured_log log;
  const auto fitted = driver.calibrate(planted_surface(driver, model_volatilities(driver, truth)), two_iterations,
                                       hull_white(0.01, {0.01, 0.01, 0.01, 0.01}, annual(1, 4)));
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_NE(log.lines[0].message.find("the Cheyette calibration did not converge (stopped: maximum number of "
                                      "iterations reached after 2 iterations)"),
            std::string::npos)
      << log.lines[0].message;
  for (double v : fitted->parameters()->volatilities()) EXPECT_TRUE(std::isfinite(v));
}

struct recovery_case {
  const char* label;
  std::vector<double> skews;
  std::vector<double> skew_bounds;
};

// Caplets at three strikes (a skew each) and at-the-money coterminals (the decay) to 5Y from 1Y..4Y: nine
// unknowns, sixteen volatilities. Planted from a known set, refitted from a set that starts apart. The
// optimiser stops on a step below 1e-12 of the unknowns, with the residuals at the noise of the pricing
// (the root search's 1e-10): the fit is far inside 0.1 bp, and the parameters, whose Jacobian is of order
// one in relative terms, inside 1e-4 relative.
//
// A price sees the skews up to its expiry through their root mean square and the sign of their
// variance-weighted sum, so one row of a single-signed set may change sign unseen: the bounds give the
// sign. The starting skews, from the smiles' slopes, are negative in both cases, so the positive case
// also starts from values beyond a bound.
TEST(CheyetteCalibration, RecoversAPlantedSetWithSkewsOfEachSign) {
  const recovery_case cases[] = {
      {"positive skews", {12.0, 9.0, 14.0, 11.0}, {0.5, 40.0}},
      {"negative skews", {-8.0, -11.0, -7.0, -9.5}, {-40.0, -0.5}},
  };
  std::vector<std::vector<double>> rows(4, {0.75, 1.0, 1.3});
  for (int k = 0; k < 4; ++k) rows.push_back({1.0});
  const calibration_ir_cheyette driver = driver_of(configuration({"1Y", "2Y", "3Y", "4Y"}, "5Y", rows, true, true));
  ASSERT_EQ(driver.swaptions().size(), 8u);
  for (const recovery_case& c : cases) {
    SCOPED_TRACE(c.label);
    const auto truth =
        cheyette(hull_white(0.04, {0.009, 0.008, 0.0085, 0.0075}, annual(1, 4)), c.skews, annual(1, 4), -5.0);
    const auto planted = model_volatilities(driver, truth);
    const auto start = hull_white(0.01, {0.01, 0.01, 0.01, 0.01}, annual(1, 4));

    ptr_const<parameter_cheyette> fitted;
    {
      captured_log log;
      fitted = driver.calibrate(planted_surface(driver, planted), settings(c.skew_bounds), start);
      EXPECT_TRUE(log.lines.empty());  // converged, debug off: nothing to say
    }

    const auto refitted = model_volatilities(driver, fitted);
    for (size_t i = 0; i < planted.size(); ++i)
      for (size_t j = 0; j < planted[i].size(); ++j) EXPECT_NEAR(refitted[i][j], planted[i][j], 1e-5) << i << " " << j;
    // The caller's set is the calibrated one, written in place.
    EXPECT_EQ(fitted->parameters(), start);
    const parameter_markovian_hjm& hjm = *truth->parameters();
    EXPECT_NEAR(start->decays()(0, 0), hjm.decays()(0, 0), 1e-4 * hjm.decays()(0, 0));
    for (size_t r = 0; r < 4; ++r) {
      EXPECT_NEAR(start->volatilities()(r, 0), hjm.volatilities()(r, 0), 1e-4 * hjm.volatilities()(r, 0)) << r;
      EXPECT_NEAR(fitted->skew_parameter()(r, 0), c.skews[r], 1e-4 * std::abs(c.skews[r])) << r;
    }
    EXPECT_EQ(fitted->skew_parameter_dates(), annual(1, 4));
  }
}

}  // namespace
}  // namespace cheyette_test
}  // namespace qavrek
