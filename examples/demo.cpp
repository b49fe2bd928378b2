// Calibrates a two-factor Hull-White model (a Markovian HJM model) to a grid of at-the-money swaption
// volatilities that the same model produced from known parameters, then checks the result:
//   1. the synthetic market: a discount curve and the Black volatilities of a 4 x 4 swaption grid;
//   2. the calibration, how the optimiser ended, and the calibrated parameters beside the true ones;
//   3. a Monte Carlo simulation of the calibrated rates, whose mean discount factors must return the curve
//      within their standard errors;
//   4. the calibrated set saved to JSON, loaded back, repricing the grid.
//
//   demo [output.json]      (default: hjm_parameters.json in the working directory)

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Analytics/calibration/ir/hjm/calibration_ir_hjm.h"
#include "Analytics/calibration/ir/hjm/calibration_ir_hjm_swaption.h"
#include "Analytics/change_of_measure/change_of_measure.h"
#include "Analytics/common/random_config.h"
#include "Analytics/diffusion/ir/diffusion_ir_markovian_hjm.h"
#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/simulation/simulation_manager.h"
#include "Core/logger.h"
#include "Core/smp_tools_api.h"
#include "Util/datetime_helper.h"

using namespace qavrek;

namespace {

const datetime today(2024, 1, 2);
const std::vector<std::string> grid = {"1Y", "2Y", "5Y", "10Y"};  // expiries and swap tenors
constexpr size_t factors = 2;

// The market's model: a slow and a fast factor, negatively correlated, constant in time. Volatilities are
// normal (absolute) volatilities of the rate, per year.
constexpr double true_decays[factors] = {0.03, 0.5};
constexpr double true_volatilities[factors] = {0.0070, 0.0050};
constexpr double true_correlation = -0.4;

// The calibration starts from a generic guess of a slow and a fast factor. A two-factor fit has local
// minima, so the start matters; this one is far from the truth, but its first factor is the slower one,
// as in the market.
constexpr double start_decays[factors] = {0.1, 0.3};
constexpr double start_volatilities[factors] = {0.0050, 0.0030};

// Smoothing rows: weight of the difference of consecutive decay (and volatility) rows. Strong enough to
// tie the 12 decay rows of each factor together; the true parameters are flat, so they fit it exactly.
constexpr double smoothing = 1e4;

std::vector<tenor> tenors(const std::vector<std::string>& texts) {
  std::vector<tenor> out;
  for (const auto& t : texts) out.emplace_back(t);
  return out;
}

double years_between(const datetime& a, const datetime& b) { return (b.serial() - a.serial()) / 365.0; }

// Zero rates rising from 2% towards 3%.
ptr_const<discount_curve> market_curve() {
  std::vector<datetime> dates;
  std::vector<double> dfs;
  for (int y : {1, 2, 3, 5, 7, 10, 15, 20, 25, 30, 40}) {
    dates.emplace_back(today.year() + y, today.month(), today.day());
    const double T = years_between(today, dates.back());
    dfs.push_back(std::exp(-(0.02 + 0.01 * (1.0 - std::exp(-T / 8.0))) * T));
  }
  return std::make_shared<const discount_curve>(today, dates, dfs);
}

matrix<double> correlation_matrix(double rho) { return matrix<double>{{1.0, rho}, {rho, 1.0}}; }

// A parameter set on the given date grids whose every row holds the same per-factor values.
ptr_const<parameter_markovian_hjm> flat_parameters(const double (&decays)[factors], const double (&volatilities)[factors],
                                                   const std::vector<datetime>& decay_dates,
                                                   const std::vector<datetime>& volatility_dates,
                                                   const ptr_const<day_count_convention>& convention) {
  matrix<double> d(decay_dates.size(), factors);
  matrix<double> v(volatility_dates.size(), factors);
  for (size_t k = 0; k < factors; ++k) {
    for (size_t r = 0; r < d.rows(); ++r) d(r, k) = decays[k];
    for (size_t r = 0; r < v.rows(); ++r) v(r, k) = volatilities[k];
  }
  return std::make_shared<const parameter_markovian_hjm>(d, v, correlation_matrix(true_correlation), decay_dates,
                                                         volatility_dates, convention,
                                                         parameter_markovian_hjm_type::HULL_WHITE);
}

// Black volatilities of the calibration targets at their at-the-money strikes under a parameter set.
std::vector<double> model_volatilities(const calibration_ir_hjm& driver, const parameter_markovian_hjm& parameters) {
  const model_markovian_hjm model(parameters, today, {}, true);
  std::vector<double> out;
  for (const auto& target : driver.swaptions()) {
    vector<double> root(parameters.number_of_factors(), 0.0);
    target->initial_root(root, target->swap_rate(), model);
    out.push_back(target->implied_volatility(target->swap_rate(), model, root, 50, 1e-14));
  }
  return out;
}

// The quotes: the true model's at-the-money Black volatilities on every node of the grid. Target i of the
// driver is expiry i % 4 on tenor i / 4, which is node (expiry, tenor) of the surface.
ptr_const<ir_volatility_surface> market_surface(const calibration_ir_hjm& driver,
                                                const ptr_const<day_count_convention>& convention) {
  const auto truth = flat_parameters(true_decays, true_volatilities, {driver.expiry_dates().back()},
                                     driver.expiry_dates(), convention);
  const std::vector<double> quotes = model_volatilities(driver, *truth);
  tensor<double> vols({grid.size(), grid.size(), 1});
  for (size_t i = 0; i < quotes.size(); ++i) vols(i % grid.size(), i / grid.size(), size_t{0}) = quotes[i];
  return std::make_shared<const ir_volatility_surface>(today, tenors(grid), tenors(grid), std::vector<double>{}, vols);
}

// Keeps the optimiser's own summary, which the calibration logs when its settings ask for it, and drops the
// calibration's fit table (printed below in clearer units); other lines go where they went before.
class optimiser_report {
 public:
  optimiser_report() {
    logger::SetCurrentVerbosityCutoff(0);
    previous_ = logger::SetSink(
        [this](logger::Verbosity verbosity, std::string_view file, unsigned line, std::string_view message) {
          if (file.ends_with("optimization_algorithm_output.cpp")) {
            lines_.emplace_back(message);
          } else if (!file.ends_with("calibration/ir/hjm/calibration_ir_hjm")) {
            previous_(verbosity, file, line, message);
          }
        });
  }
  ~optimiser_report() { logger::SetSink(previous_); }
  optimiser_report(const optimiser_report&) = delete;
  optimiser_report& operator=(const optimiser_report&) = delete;

  const std::vector<std::string>& lines() const noexcept { return lines_; }

 private:
  std::vector<std::string> lines_;
  logger::Sink previous_;
};

void print_market(const ptr_const<ir_volatility_surface>& surface) {
  std::printf("Synthetic market on %s\n", today.to_string().c_str());
  std::printf("  discount curve: zero rates rising from 2%% towards 3%%\n");
  std::printf("  quotes: at-the-money payer swaptions, Black (lognormal) volatilities in %%,\n");
  std::printf("  made by a two-factor Hull-White model with\n");
  for (size_t k = 0; k < factors; ++k)
    std::printf("    factor %zu: decay %.2f per year, normal volatility %.0f bp per year\n", k + 1, true_decays[k],
                1e4 * true_volatilities[k]);
  std::printf("    correlation %.2f\n\n  expiry \\ tenor", true_correlation);
  for (const auto& t : grid) std::printf(" %7s", t.c_str());
  std::printf("\n");
  for (size_t e = 0; e < grid.size(); ++e) {
    std::printf("  %14s", grid[e].c_str());
    for (size_t t = 0; t < grid.size(); ++t) std::printf(" %6.2f%%", 100.0 * surface->volatilities()(e, t, size_t{0}));
    std::printf("\n");
  }
}

// The smallest and largest entry of column k.
std::pair<double, double> column_range(const matrix<double>& m, size_t k) {
  std::pair<double, double> range{m(0, k), m(0, k)};
  for (size_t r = 1; r < m.rows(); ++r) range = {std::min(range.first, m(r, k)), std::max(range.second, m(r, k))};
  return range;
}

// Per factor: the true value, and the smallest and largest calibrated row.
void print_parameters(const parameter_markovian_hjm& fitted) {
  std::printf("\nCalibrated parameters beside the true ones (calibrated: smallest .. largest row)\n");
  std::printf("                              true     calibrated\n");
  for (size_t k = 0; k < factors; ++k) {
    const auto [decay_lo, decay_hi] = column_range(fitted.decays(), k);
    const auto [vol_lo, vol_hi] = column_range(fitted.volatilities(), k);
    std::printf("  factor %zu decay (per year) %8.4f   %8.4f .. %.4f\n", k + 1, true_decays[k], decay_lo, decay_hi);
    std::printf("  factor %zu volatility (bp)  %8.2f   %8.2f .. %.2f\n", k + 1, 1e4 * true_volatilities[k],
                1e4 * vol_lo, 1e4 * vol_hi);
  }
  std::printf("  correlation               %8.2f   %8.2f (held)\n", true_correlation, fitted.correlation()(1, 0));
}

// Market and model Black volatilities of every target; returns the largest difference.
double print_fit(const std::vector<double>& market, const std::vector<double>& model) {
  std::printf("\nFit (Black volatilities in %%; difference in %% points)\n");
  std::printf("  expiry x tenor   market      model   difference\n");
  double worst = 0.0;
  for (size_t i = 0; i < market.size(); ++i) {
    const std::string label = grid[i % grid.size()] + " x " + grid[i / grid.size()];
    std::printf("  %-14s %8.4f%% %9.4f%%  %+10.2e\n", label.c_str(), 100.0 * market[i], 100.0 * model[i],
                100.0 * (model[i] - market[i]));
    worst = std::max(worst, std::abs(model[i] - market[i]));
  }
  std::printf("  largest difference: %.2e %% points\n", 100.0 * worst);
  return worst;
}

// Mean simulated discount factors against the curve: their difference must be within a few standard errors.
void print_monte_carlo(const ptr_const<discount_curve>& curve, const ptr_const<parameter_markovian_hjm>& fitted) {
  constexpr size_t paths = 10000;
  constexpr size_t months = 120;
  std::vector<datetime> dates;
  for (size_t m = 0; m <= months; ++m)
    dates.push_back(datetime_helper::add_tenor(today, tenor("1M"), static_cast<int>(m)));
  const auto rates = std::make_shared<const diffusion_ir_markovian_hjm>(dates, curve, fitted);
  simulation_manager manager({rates}, {std::make_shared<const change_of_measure>()}, fitted->correlation(),
                             std::make_shared<const random_config>(random_type::MERSENNE_TWISTER, 20240102, paths,
                                                                   months + 1, factors),
                             dates);
  const auto simulated = diffusion::diffusion_discount_curve(manager.data(0));
  std::printf("\nMonte Carlo: %zu paths of monthly steps over ten years under the calibrated model.\n", paths);
  std::printf("Mean discounted bond P(0,T) against the curve:\n");
  std::printf("     T   simulated      curve    std.err  difference/std.err\n");
  vector<double> discount(paths);
  manager.states_initialize();
  for (size_t m = 1; m <= months; ++m) {
    manager.propagate(m);
    if (m % 24 != 0 && m != 12) continue;
    simulated->discounting(discount, dates[m]);
    double sum = 0.0, sum2 = 0.0;
    for (double d : discount) {
      sum += d;
      sum2 += d * d;
    }
    const double mean = sum / paths;
    const double error = std::sqrt((sum2 / paths - mean * mean) / (paths - 1.0));
    const double exact = curve->df(today, dates[m]);
    std::printf("  %4.0fY  %9.6f  %9.6f  %9.6f  %+6.2f\n", static_cast<double>(m) / 12.0, mean, exact, error,
                (mean - exact) / error);
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const auto start_time = std::chrono::steady_clock::now();
    const std::string output = argc > 1 ? argv[1] : "hjm_parameters.json";
    smp_tools_api::GetInstance().set_backend(smp_tools_api::TBB, 0);

    const auto curve = market_curve();
    const auto convention = std::make_shared<const day_count_convention>();

    // Every expiry x tenor of the grid as a target: 16 swaptions with an annual fixed leg.
    const auto targets = std::make_shared<const calibration_ir_targets_configuration>(
        tenor("1Y"), tenors(grid), tenor("10Y"), tenors(grid), std::vector<std::vector<double>>{}, false, false, true);
    const calibration_ir_hjm driver(today, curve, targets, convention);
    const auto surface = market_surface(driver, convention);
    print_market(surface);

    // Decays piecewise constant between the targets' start and end dates, volatilities between expiries;
    // the correlation is held at the market's value, not calibrated.
    const auto settings = std::make_shared<const calibration_hjm_settings>(
        factors, std::vector<double>{0.0005, 0.03}, std::vector<double>{0.001, 1.0},
        parameter_markovian_hjm_type::HULL_WHITE, true, 200, true, false, 1e-10, smoothing, true, true);
    const auto start = flat_parameters(start_decays, start_volatilities, driver.calibration_dates(),
                                       driver.expiry_dates(), convention);
    std::printf("\nCalibrating to the %zu quotes: per factor %zu decays (one per start and end date of the swaps)\n",
                driver.swaptions().size(), driver.calibration_dates().size());
    std::printf("and %zu volatilities (one per expiry), starting from decays %.2f and %.2f, volatilities %.0f and "
                "%.0f bp;\nthe correlation is held at the market's %.2f.\n",
                driver.expiry_dates().size(), start_decays[0], start_decays[1], 1e4 * start_volatilities[0],
                1e4 * start_volatilities[1], true_correlation);

    ptr_const<parameter_markovian_hjm> fitted;
    std::vector<std::string> report;
    {
      optimiser_report capture;
      fitted = driver.calibrate(surface, correlation_matrix(true_correlation), settings, {}, start);
      report = capture.lines();
    }
    std::printf("\nHow the optimiser ended, in its own words:\n");
    for (const auto& line : report) std::printf("  %s\n", line.c_str());
    std::printf("  (the residuals are the volatility differences times 1e6, and the smoothing rows)\n");

    print_parameters(*fitted);
    std::vector<double> market;
    for (size_t i = 0; i < driver.swaptions().size(); ++i) {
      const auto& target = *driver.swaptions()[i];
      market.push_back(target.swaption()->implied_volatility(surface, target.swap_rate()));
    }
    const std::vector<double> calibrated = model_volatilities(driver, *fitted);
    print_fit(market, calibrated);

    print_monte_carlo(curve, fitted);

    parameter_markovian_hjm::write_to_json(output, fitted);
    const auto loaded = parameter_markovian_hjm::read_from_json(output);
    const std::vector<double> repriced = model_volatilities(driver, *loaded);
    std::printf("\nCalibrated parameters saved to %s and loaded back; repricing the grid with them:\n",
                output.c_str());
    const bool same = std::equal(repriced.begin(), repriced.end(), calibrated.begin());
    double worst = 0.0;
    for (size_t i = 0; i < market.size(); ++i) worst = std::max(worst, std::abs(repriced[i] - market[i]));
    std::printf("  largest difference from the quotes %.2e %% points; %s the calibrated set's volatilities\n",
                100.0 * worst, same ? "identical to" : "DIFFERENT from");

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_time).count();
    std::printf("\nDone in %.2f s.\n", seconds);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "demo failed: %s\n", e.what());
    return 1;
  }
}
