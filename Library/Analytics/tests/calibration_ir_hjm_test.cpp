// The Markovian HJM calibration driver.
//
// Recovery: swaption volatilities are planted on a surface from a known parameter set (priced with the
// same targets and pricing the driver uses), and the driver must fit them back and find the set again.
// The planted surface has one node per target, so it returns the planted numbers exactly. Derivatives
// (the correlation-angle chain and, once the targets have their adjoint, the whole Jacobian) are checked
// against central differences of the forward maps.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/calibration/ir/hjm/calibration_ir_hjm.h"
#include "Analytics/tests/captured_log.h"
#include "Core/error.h"
#include "Core/smp_tools_api.h"
#include "Math/lm_parameters.h"
#include "hjm_swaption_test_support.h"

namespace qavrek {

// Reaches the driver's private run state and maps.
struct calibration_ir_hjm_access {
  using problem = calibration_ir_hjm::problem;
  using bounds = calibration_ir_hjm::bounds;

  static void map_from_R(const vector<double>& x, const parameter_markovian_hjm& p, bounds d, bounds v, bool c) {
    calibration_ir_hjm::map_from_R(x, p, d, v, c);
  }
  static void map_to_R(vector<double>& x, const parameter_markovian_hjm& p, bounds d, bounds v, bool c) {
    calibration_ir_hjm::map_to_R(x, p, d, v, c);
  }
  static void map_from_R_aad(const std::vector<double>& adjoints, const vector<double>& x,
                             const parameter_markovian_hjm& p, bounds d, bounds v, bool c, std::vector<double>& row) {
    calibration_ir_hjm::map_from_R_aad(adjoints.data(), x, p, d, v, c, row.data());
  }
};

namespace {

using namespace hjm_swaption_test;
using access = calibration_ir_hjm_access;

const std::vector<std::string> grid_tenors = {"1Y", "2Y", "3Y"};

std::vector<tenor> tenors(const std::vector<std::string>& texts) {
  std::vector<tenor> out;
  for (const auto& t : texts) out.emplace_back(t);
  return out;
}

// CMS targets of every grid tenor from every grid expiry: 9 swaptions, each on a node of the surface.
// Starts 1Y..3Y, ends 2Y..6Y: 6 decay rows and 3 volatility rows per factor.
ptr_const<calibration_ir_targets_configuration> grid_configuration() {
  return std::make_shared<const calibration_ir_targets_configuration>(tenor("1Y"), tenors(grid_tenors), tenor("4Y"),
                                                                      tenors(grid_tenors),
                                                                      std::vector<std::vector<double>>{}, false, false,
                                                                      true);
}

calibration_ir_hjm grid_driver() { return calibration_ir_hjm(valuation(), market_curve(), grid_configuration(), act_365f()); }

// The model volatilities of the driver's targets at their swap rates under `p`.
std::vector<double> model_volatilities(const calibration_ir_hjm& driver, const parameter_markovian_hjm& p) {
  model_markovian_hjm model(p, valuation(), {}, true);
  std::vector<double> out;
  for (const auto& target : driver.swaptions()) {
    vector<double> root(p.number_of_factors(), 0.0);
    target->initial_root(root, target->swap_rate(), model);
    out.push_back(target->implied_volatility(target->swap_rate(), model, root, calibration_iterations,
                                             calibration_tolerance));
  }
  return out;
}

// A surface whose node (expiry e, tenor t) holds the volatility of CMS target t * 3 + e.
ptr_const<ir_volatility_surface> planted_surface(const std::vector<double>& volatilities) {
  tensor<double> nodes({grid_tenors.size(), grid_tenors.size(), 1});
  for (size_t e = 0; e < grid_tenors.size(); ++e)
    for (size_t t = 0; t < grid_tenors.size(); ++t) nodes(e, t, size_t{0}) = volatilities[t * grid_tenors.size() + e];
  return std::make_shared<const ir_volatility_surface>(valuation(), tenors(grid_tenors), tenors(grid_tenors),
                                                       std::vector<double>{}, nodes, act_365f());
}

parameter_markovian_hjm on_grid(const calibration_ir_hjm& driver, const matrix<double>& decays,
                                const matrix<double>& volatilities, const matrix<double>& correlation) {
  return parameter_markovian_hjm(decays, volatilities, correlation, driver.calibration_dates(), driver.expiry_dates(),
                                 act_365f(), parameter_markovian_hjm_type::HULL_WHITE);
}

struct backend_choice {
  int backend;
  size_t threads;
};

// Puts the process back on the sequential backend when a test ends.
struct backend_scope {
  explicit backend_scope(backend_choice b) { smp_tools_api::GetInstance().set_backend(b.backend, b.threads); }
  ~backend_scope() { smp_tools_api::GetInstance().set_backend(0, 1); }
};

const std::vector<backend_choice> backends = {{0, 1}, {1, 1}, {1, 8}, {2, 1}, {2, 8}};

TEST(CalibrationIrHjm, TargetsAndDateGridsFollowTheConfiguration) {
  // Caplets, coterminal (the 5Y expiry lies past the 4Y end: no target, yet the end is a date), CMS 2Y.
  auto config = std::make_shared<const calibration_ir_targets_configuration>(
      tenor("6M"), tenors({"1Y", "2Y", "5Y", "1Y"}), tenor("4Y"), tenors({"2Y"}), std::vector<std::vector<double>>{},
      true, true, true);
  const calibration_ir_hjm driver(valuation(), market_curve(), config, act_365f());
  const auto at = [](const std::string& t) { return after(valuation(), t); };
  // 4 caplets, 3 coterminal (1Y, 2Y, 1Y), 4 CMS.
  ASSERT_EQ(driver.swaptions().size(), 11u);
  EXPECT_EQ(driver.swaptions()[0]->swaption()->maturity(), after(at("1Y"), "6M"));
  EXPECT_EQ(driver.swaptions()[4]->swaption()->maturity(), at("4Y"));
  EXPECT_EQ(driver.swaptions()[7]->swaption()->expiry(), at("1Y"));
  EXPECT_EQ(driver.swaptions()[7]->swaption()->maturity(), at("3Y"));
  EXPECT_EQ(driver.expiry_dates(), (std::vector<datetime>{at("1Y"), at("2Y"), at("5Y")}));
  EXPECT_EQ(driver.calibration_dates(),
            (std::vector<datetime>{at("1Y"), after(at("1Y"), "6M"), at("2Y"), after(at("2Y"), "6M"), at("3Y"), at("4Y"),
                                   at("5Y"), after(at("5Y"), "6M"), at("7Y")}));
}

TEST(CalibrationIrHjm, BoundedMapsRoundTripAndStartInsideTheirBounds) {
  const calibration_ir_hjm driver = grid_driver();
  const matrix<double> correlation = {{1.0, 0.3, -0.2}, {0.3, 1.0, 0.5}, {-0.2, 0.5, 1.0}};
  matrix<double> decays(6, 3, 0.05);
  matrix<double> volatilities(3, 3, 0.01);
  decays(0, 0) = 0.5;     // beyond the upper bound
  volatilities(1, 2) = 0.0;  // on the lower bound
  const parameter_markovian_hjm p = on_grid(driver, decays, volatilities, correlation);
  const access::bounds d{0.01, 0.2};
  const access::bounds v{0.0, 0.03};
  vector<double> x(6 * 3 + 3 * 3 + 3);
  access::map_to_R(x, p, d, v, true);
  for (double u : x) EXPECT_TRUE(std::isfinite(u));

  const parameter_markovian_hjm q = on_grid(driver, matrix<double>(6, 3, 0.0), matrix<double>(3, 3, 0.0),
                                            matrix<double>{{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}});
  access::map_from_R(x, q, d, v, true);
  // Values inside their bounds come back to rounding (tanh of atanh); the outside ones strictly inside.
  for (size_t i = 0; i < 6; ++i)
    for (size_t k = 0; k < 3; ++k) {
      if (i == 0 && k == 0) continue;
      EXPECT_NEAR(q.decays()(i, k), 0.05, 1e-14);
    }
  // ... near the bound they crossed (within a tenth of the interval).
  EXPECT_GT(q.decays()(0, 0), 0.2 - 0.019);
  EXPECT_LT(q.decays()(0, 0), 0.2);
  EXPECT_GT(q.volatilities()(1, 2), 0.0);
  EXPECT_LT(q.volatilities()(1, 2), 0.003);
  for (size_t i = 0; i < 3; ++i)
    for (size_t j = 0; j < 3; ++j) EXPECT_NEAR(q.correlation()(i, j), correlation(i, j), 1e-14);
}

TEST(CalibrationIrHjm, StartInsideItsBoundsIsKeptAndOneOnOrBeyondABoundMovesInside) {
  struct start_case {
    const char* label;
    double value, lo, hi;
    bool inside;
  };
  const start_case cases[] = {
      {"decay near the upper bound", 0.195, 0.01, 0.2, true},
      {"decay near the lower bound", 0.0101, 0.01, 0.2, true},
      {"decay one ulp below the upper bound", std::nextafter(0.2, 0.0), 0.01, 0.2, true},
      {"volatility mid-range", 0.0123, 0.0005, 0.03, true},
      {"negative interval", -0.3, -0.5, -0.25, true},
      {"on the upper bound", 0.2, 0.01, 0.2, false},
      {"on the lower bound", 0.0, 0.0, 0.03, false},
      {"beyond the upper bound", 0.5, 0.01, 0.2, false},
      {"beyond the lower bound", -1.0, 0.0005, 0.03, false},
  };
  const calibration_ir_hjm driver = grid_driver();
  for (const start_case& c : cases) {
    SCOPED_TRACE(c.label);
    const parameter_markovian_hjm start =
        on_grid(driver, matrix<double>(6, 1, c.value), matrix<double>(3, 1, c.value), matrix<double>{{1.0}});
    const access::bounds b{c.lo, c.hi};
    vector<double> x(6 + 3);
    access::map_to_R(x, start, b, b, false);
    const parameter_markovian_hjm fitted =
        on_grid(driver, matrix<double>(6, 1, 0.0), matrix<double>(3, 1, 0.0), matrix<double>{{1.0}});
    access::map_from_R(x, fitted, b, b, false);
    for (double u : x) EXPECT_TRUE(std::isfinite(u));
    for (const matrix<double>* block : {&fitted.decays(), &fitted.volatilities()}) {
      for (double p : *block) {
        if (c.inside) {
          // tanh(atanh(t)) and the affine map around it: a few ulps of the bounds' magnitude.
          EXPECT_NEAR(p, c.value, 8 * std::numeric_limits<double>::epsilon() * std::max(std::abs(c.lo), std::abs(c.hi)));
        } else {
          // Strictly inside, within a tenth of the interval of the bound it was on or beyond.
          const double bound = c.value >= c.hi ? c.hi : c.lo;
          EXPECT_GT(p, c.lo);
          EXPECT_LT(p, c.hi);
          EXPECT_LT(std::abs(p - bound), 0.1 * (c.hi - c.lo));
        }
      }
    }
  }
}

TEST(CalibrationIrHjm, CorrelationAngleAdjointMatchesCentralDifferences) {
  const calibration_ir_hjm driver = grid_driver();
  const access::bounds d{0.01, 0.2};
  const access::bounds v{0.001, 0.03};
  const size_t n = 3;
  const size_t states = 9 * n + 3;
  const parameter_markovian_hjm p =
      on_grid(driver, matrix<double>(6, n, 0.0), matrix<double>(3, n, 0.0),
              matrix<double>{{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}});
  std::vector<double> weights(states);
  for (size_t k = 0; k < states; ++k) weights[k] = std::sin(1.0 + 0.7 * static_cast<double>(k));
  // The weighted sum of the state the unknowns describe, with the correlation's strict lower triangle last.
  auto f = [&](const vector<double>& x) {
    access::map_from_R(x, p, d, v, true);
    double sum = 0.0;
    size_t k = 0;
    for (double e : p.decays()) sum += weights[k++] * e;
    for (double e : p.volatilities()) sum += weights[k++] * e;
    for (size_t i = 1; i < n; ++i)
      for (size_t j = 0; j < i; ++j) sum += weights[k++] * p.correlation()(i, j);
    return sum;
  };
  // Angles whose third row stays inside the unit ball, and ones that push it outside (shrunk rows).
  for (double angle : {4.0, 15.0}) {
    vector<double> x(states);
    for (size_t k = 0; k < states; ++k) x[k] = 3.0 * std::cos(0.3 * static_cast<double>(k));
    for (size_t k = states - 3; k < states; ++k) x[k] = angle * (k % 2 == 0 ? 1.0 : -1.0);
    std::vector<double> row(states, 0.0);
    access::map_from_R_aad(weights, x, p, d, v, true, row);
    for (size_t k = 0; k < states; ++k) {
      const double h = 1e-5;
      vector<double> up = x, down = x;
      up[k] += h;
      down[k] -= h;
      const double fd = (f(up) - f(down)) / (2.0 * h);
      // Central differences: truncation h^2 f''' ~ 1e-10, rounding 1e-16 / h ~ 1e-11.
      EXPECT_NEAR(row[k], fd, 1e-8) << "unknown " << k << ", angle " << angle;
    }
  }
}

struct recovery_case {
  const char* label;
  matrix<double> decays;        // 6 rows
  matrix<double> volatilities;  // 3 rows
  matrix<double> correlation;
  std::vector<double> decay_bounds;
  bool decays_fixed;  // the bounds hold the decays at their planted value
  bool analytic;
};

// Per volatility row, the volatility of the one factor that the factors add up to when they share one
// decay: sqrt(sigma' rho sigma). It is what swaption prices identify (the factors' split is not).
std::vector<double> total_volatilities(const parameter_markovian_hjm& p) {
  std::vector<double> out;
  const size_t n = p.number_of_factors();
  for (size_t r = 0; r < p.volatilities().rows(); ++r) {
    double v = 0.0;
    for (size_t i = 0; i < n; ++i)
      for (size_t j = 0; j < n; ++j) v += p.volatilities()(r, i) * p.correlation()(i, j) * p.volatilities()(r, j);
    out.push_back(std::sqrt(v));
  }
  return out;
}

std::vector<recovery_case> recovery_cases() {
  std::vector<recovery_case> cases;
  const matrix<double> varying_decays = {{0.03}, {0.04}, {0.05}, {0.06}, {0.05}, {0.04}};
  const matrix<double> one_vols = {{0.009}, {0.011}, {0.010}};
  const matrix<double> two_vols = {{0.006, 0.005}, {0.008, 0.004}, {0.007, 0.006}};
  const matrix<double> two_correlation = {{1.0, -0.4}, {-0.4, 1.0}};
  for (bool analytic : {false, true}) {
    // Decays and volatilities free: nine targets fit, but a start-of-grid decay trades off against the first
    // volatility, so only the fit is checked.
    cases.push_back({"one factor, free decays", varying_decays, one_vols, {{1.0}}, {0.2, 0.001}, false, analytic});
    cases.push_back(
        {"one factor, fixed decay", matrix<double>(6, 1, 0.05), one_vols, {{1.0}}, {0.05, 0.05}, true, analytic});
    cases.push_back({"two factors, fixed decay", matrix<double>(6, 2, 0.05), two_vols, two_correlation, {0.05, 0.05},
                     true, analytic});
  }
  return cases;
}

TEST(CalibrationIrHjm, RecoversPlantedParametersOnEveryBackend) {
  for (const recovery_case& c : recovery_cases()) {
    const calibration_ir_hjm driver = grid_driver();
    const parameter_markovian_hjm truth = on_grid(driver, c.decays, c.volatilities, c.correlation);
    const std::vector<double> planted = model_volatilities(driver, truth);
    const auto surface = planted_surface(planted);
    const size_t n = c.correlation.rows();
    auto settings = std::make_shared<const calibration_hjm_settings>(
        n, std::vector<double>{0.001, 0.03}, c.decay_bounds, parameter_markovian_hjm_type::HULL_WHITE, false, 200,
        c.analytic, false, 1e-12, 0.0, false, true);
    matrix<double> start_volatilities(3, n, 0.01);
    if (n > 1) start_volatilities(0, 1) = 0.003;  // factors that start apart
    const auto start = std::make_shared<const parameter_markovian_hjm>(
        on_grid(driver, matrix<double>(6, n, 0.05), start_volatilities, c.correlation));

    std::vector<std::vector<double>> fits;
    for (const backend_choice& b : backends) {
      backend_scope scope(b);
      const auto fitted = driver.calibrate(surface, c.correlation, settings, {}, start);
      const std::vector<double> fit = model_volatilities(driver, *fitted);
      // The fit is exact up to the pricing's own accuracy (root tolerance 1e-10 on the swap value).
      for (size_t i = 0; i < fit.size(); ++i) EXPECT_NEAR(fit[i], planted[i], 1e-8) << c.label << " target " << i;
      if (c.decays_fixed) {
        // With the decays known, each expiry's targets pin its row's total volatility; relative 1e-6 is what
        // a 1e-8 volatility fit allows through a Jacobian of order one.
        const std::vector<double> expected = total_volatilities(truth);
        const std::vector<double> found = total_volatilities(*fitted);
        for (size_t r = 0; r < expected.size(); ++r)
          EXPECT_NEAR(found[r], expected[r], 1e-6 * expected[r]) << c.label << " row " << r;
        for (size_t i = 0; i < truth.decays().size(); ++i)
          EXPECT_EQ(fitted->decays().data()[i], truth.decays().data()[i]) << c.label;
      }
      std::vector<double> all(fitted->decays().begin(), fitted->decays().end());
      all.insert(all.end(), fitted->volatilities().begin(), fitted->volatilities().end());
      fits.push_back(all);
    }
    // Each target writes only its own slots: every backend and thread count gives the same numbers.
    for (size_t b = 1; b < fits.size(); ++b) EXPECT_EQ(fits[b], fits[0]) << c.label << " backend " << b;
  }
}

std::string error_of(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.what();
  }
  return "no error";
}

TEST(CalibrationIrHjm, RefusesBadInputsWithClearErrors) {
  const calibration_ir_hjm driver = grid_driver();
  const auto surface = planted_surface(std::vector<double>(9, 0.2));
  auto settings_for = [](size_t n, std::vector<double> decay_bounds = {0.001, 0.2}) {
    return std::make_shared<const calibration_hjm_settings>(n, std::vector<double>{0.001, 0.03}, decay_bounds,
                                                            parameter_markovian_hjm_type::HULL_WHITE);
  };
  const matrix<double> identity2 = {{1.0, 0.0}, {0.0, 1.0}};
  struct refusal {
    const char* label;
    std::function<void()> call;
    const char* message;
  };
  const std::vector<refusal> refusals = {
      {"short strikes", [&] { driver.calibrate(surface, identity2, settings_for(2), {0.02, 0.03}); },
       "strike has different size than swaptions!"},
      {"non-square", [&] { driver.calibrate(surface, matrix<double>(2, 3, 0.0), settings_for(2)); },
       "correlation matrix is bad!"},
      {"asymmetric", [&] { driver.calibrate(surface, matrix<double>{{1.0, 0.2}, {0.3, 1.0}}, settings_for(2)); },
       "correlation matrix is bad!"},
      {"beyond one", [&] { driver.calibrate(surface, matrix<double>{{1.0, 1.5}, {1.5, 1.0}}, settings_for(2)); },
       "correlation matrix is bad!"},
      {"diagonal", [&] { driver.calibrate(surface, matrix<double>{{1.0, 0.2}, {0.2, 0.9}}, settings_for(2)); },
       "correlation matrix is bad!"},
      {"factor count", [&] { driver.calibrate(surface, identity2, settings_for(3)); },
       "Number of factors is inconsistent for the calibration!"},
      // Entries within [-1, 1] and a unit diagonal, yet no correlation: the model cannot use it.
      {"indefinite",
       [&] {
         driver.calibrate(surface, matrix<double>{{1.0, 0.9, -0.9}, {0.9, 1.0, 0.9}, {-0.9, 0.9, 1.0}}, settings_for(3));
       },
       "not positive definite"},
      {"one bound", [&] { driver.calibrate(surface, identity2, settings_for(2, {0.05})); }, "bounds need two values"},
      {"no targets",
       [&] {
         auto empty = std::make_shared<const calibration_ir_targets_configuration>(
             tenor("1Y"), tenors(grid_tenors), tenor("4Y"), tenors(grid_tenors), std::vector<std::vector<double>>{},
             false, false, false);
         calibration_ir_hjm(valuation(), market_curve(), empty, act_365f()).calibrate(surface, identity2, settings_for(2));
       },
       "gives no swaption to calibrate to"},
  };
  for (const refusal& r : refusals)
    EXPECT_NE(error_of(r.call).find(r.message), std::string::npos) << r.label << ": " << error_of(r.call);
}

TEST(CalibrationIrHjm, StartingValuesOutsideTheBoundsStillCalibrate) {
  // Without a starting set the volatilities start at the Black volatilities (0.2), far above the bounds.
  const calibration_ir_hjm driver = grid_driver();
  const parameter_markovian_hjm truth =
      on_grid(driver, matrix<double>(6, 1, 0.05), matrix<double>{{0.009}, {0.011}, {0.010}}, matrix<double>{{1.0}});
  const std::vector<double> planted = model_volatilities(driver, truth);
  auto settings = std::make_shared<const calibration_hjm_settings>(
      1, std::vector<double>{0.001, 0.03}, std::vector<double>{0.05, 0.05}, parameter_markovian_hjm_type::HULL_WHITE,
      false, 200, true, false, 1e-12, 0.0, false, true);
  const auto fitted = driver.calibrate(planted_surface(planted), matrix<double>{{1.0}}, settings);
  for (double v : fitted->volatilities()) EXPECT_TRUE(std::isfinite(v));
  const std::vector<double> fit = model_volatilities(driver, *fitted);
  // As in the recovery test: the pricing's accuracy.
  for (size_t i = 0; i < fit.size(); ++i) EXPECT_NEAR(fit[i], planted[i], 1e-8) << "target " << i;
}

// A run that ends on its iteration limit returns its best point and says on the log that it did not converge;
// one that converges logs nothing.
TEST(CalibrationIrHjm, WarnsWhenItStopsBeforeConverging) {
  const calibration_ir_hjm driver = grid_driver();
  const parameter_markovian_hjm truth =
      on_grid(driver, matrix<double>(6, 1, 0.05), matrix<double>{{0.009}, {0.011}, {0.010}}, matrix<double>{{1.0}});
  const auto surface = planted_surface(model_volatilities(driver, truth));
  const auto start = std::make_shared<const parameter_markovian_hjm>(
      on_grid(driver, matrix<double>(6, 1, 0.05), matrix<double>(3, 1, 0.02), matrix<double>{{1.0}}));
  for (const int iterations : {2, 200}) {
    const auto settings = std::make_shared<const calibration_hjm_settings>(
        1, std::vector<double>{0.001, 0.03}, std::vector<double>{0.05, 0.05}, parameter_markovian_hjm_type::HULL_WHITE,
        false, iterations, true, false, 1e-12, 0.0, false, true);
    captured_log log;
    const auto fitted = driver.calibrate(surface, matrix<double>{{1.0}}, settings, {}, start);
    if (iterations == 200) {
      EXPECT_TRUE(log.lines.empty()) << log.lines.front().message;
      continue;
    }
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_NE(log.lines[0].message.find("the HJM calibration did not converge (stopped: maximum number of iterations "
                                        "reached after 2 iterations)"),
              std::string::npos)
        << log.lines[0].message;
    for (double v : fitted->volatilities()) EXPECT_TRUE(std::isfinite(v));
  }
}

TEST(CalibrationIrHjm, AnalyticJacobianMatchesCentralDifferencesOfTheResiduals) {
  const calibration_ir_hjm driver = grid_driver();
  const auto surface = planted_surface({0.25, 0.22, 0.2, 0.21, 0.19, 0.18, 0.2, 0.18, 0.17});
  const std::vector<matrix<double>> correlations = {
      {{1.0}}, {{1.0, 0.3}, {0.3, 1.0}}, {{1.0, 0.3, -0.2}, {0.3, 1.0, 0.5}, {-0.2, 0.5, 1.0}}};
  for (const matrix<double>& correlation : correlations) {
    for (bool calibrate_correlation : {false, true}) {
      for (bool regularization : {false, true}) {
        const size_t n = correlation.rows();
        auto settings = std::make_shared<const calibration_hjm_settings>(
            n, std::vector<double>{0.001, 0.03}, std::vector<double>{0.2, 0.001},
            parameter_markovian_hjm_type::HULL_WHITE, false, 200, true, calibrate_correlation, 1e-8, 0.5,
            regularization, true);
        matrix<double> vols(3, n);
        for (size_t i = 0; i < vols.size(); ++i) vols.data()[i] = 0.004 + 0.001 * static_cast<double>(i % 5);
        matrix<double> decays(6, n);
        for (size_t i = 0; i < decays.size(); ++i) decays.data()[i] = 0.02 + 0.01 * static_cast<double>(i % 4);
        const auto start = std::make_shared<const parameter_markovian_hjm>(on_grid(driver, decays, vols, correlation));
        access::problem run(driver, surface, correlation, settings, {}, start);
        const vector<double> x = run.initial_unknowns();
        const size_t M = run.number_of_residuals();
        const size_t N = run.number_of_unknowns();
        vector<double> r(M);
        matrix<double> J(M, N, 0.0);
        run.residuals(x, r);
        run.jacobian(x, J);
        double scale = 0.0;
        for (double j : J) scale = std::max(scale, std::abs(j));
        // The run's own differences, its columns in parallel on shifted copies of the model.
        lm_parameters steps(M, N, 0);
        steps.central_differences = true;
        steps.finite_difference_step = 1e-4;
        matrix<double> differences(M, N, 0.0);
        {
          backend_scope scope({2, 4});
          run.finite_difference_jacobian(x, differences, steps);
        }
        for (size_t i = 0; i < M; ++i)
          for (size_t k = 0; k < N; ++k)
            // As below: the increments, 1e-4 max(|x|, 1), leave truncation and root-search errors under 1e-5.
            EXPECT_NEAR(differences(i, k), J(i, k), 1e-5 * scale) << n << " factors, correlation "
                                                                  << calibrate_correlation << ", row " << i
                                                                  << ", unknown " << k << " (parallel differences)";
        for (size_t k = 0; k < N; ++k) {
          const double h = 1e-4;
          vector<double> up = x, down = x;
          up[k] += h;
          down[k] -= h;
          vector<double> r_up(M), r_down(M);
          run.residuals(up, r_up);
          run.residuals(down, r_down);
          for (size_t i = 0; i < M; ++i) {
            const double fd = (r_up[i] - r_down[i]) / (2.0 * h);
            // Truncation h^2 and the root search's 1e-10 value tolerance (times 1e6 / h) both stay below
            // 1e-5 of the largest entry.
            EXPECT_NEAR(J(i, k), fd, 1e-5 * scale) << n << " factors, correlation " << calibrate_correlation
                                                     << ", regularisation " << regularization << ", row " << i
                                                     << ", unknown " << k;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace qavrek
