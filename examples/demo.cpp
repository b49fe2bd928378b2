// The main job end to end: calibrate a two-factor Markovian HJM model to a swaption volatility grid, show
// the fit, simulate the calibrated rates over ten years and check them against the curve they came from,
// then save the calibrated parameter set.
//
//   demo [output.json]      (default: hjm_parameters.json in the working directory)

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/calibration/ir/hjm/calibration_ir_hjm.h"
#include "Analytics/calibration/ir/hjm/calibration_ir_hjm_swaption.h"
#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/change_of_measure/change_of_measure.h"
#include "Analytics/common/random_config.h"
#include "Analytics/diffusion/ir/diffusion_ir_markovian_hjm.h"
#include "Analytics/simulation/simulation_manager.h"
#include "Core/smp_tools_api.h"
#include "Util/datetime_helper.h"

using namespace qavrek;

namespace {

const datetime today(2024, 1, 2);
const std::vector<std::string> grid = {"1Y", "2Y", "5Y", "10Y"};

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

// The swaption grid of a market that a two-factor model describes well: at-the-money Black volatilities of a
// slow and a fast factor, negatively correlated, with volatilities falling with expiry. The calibration starts
// far from these parameters and has to find them again.
ptr_const<ir_volatility_surface> market_surface(const ptr_const<discount_curve>& curve,
                                                const ptr_const<day_count_convention>& convention) {
  std::vector<datetime> expiry_dates;
  for (const auto& e : grid) expiry_dates.push_back(datetime_helper::add_tenor(today, tenor(e)));
  const matrix<double> decays = {{0.02, 0.45}};
  const matrix<double> volatilities = {{0.0072, 0.0055}, {0.0068, 0.0050}, {0.0062, 0.0044}, {0.0058, 0.0038}};
  const matrix<double> correlation = {{1.0, -0.4}, {-0.4, 1.0}};
  const parameter_markovian_hjm market_model_parameters(decays, volatilities, correlation, {expiry_dates.back()},
                                                        expiry_dates, convention,
                                                        parameter_markovian_hjm_type::HULL_WHITE);
  const model_markovian_hjm market_model(market_model_parameters, today, {}, true);

  tensor<double> vols({grid.size(), grid.size(), 1});
  for (size_t e = 0; e < grid.size(); ++e)
    for (size_t t = 0; t < grid.size(); ++t) {
      const datetime maturity = datetime_helper::add_tenor(expiry_dates[e], tenor(grid[t]));
      const calibration_ir_hjm_swaption swaption(curve, expiry_dates[e], maturity, tenor("1Y"), convention);
      vector<double> root(2, 0.0);
      const double strike = swaption.swap_rate();
      swaption.initial_root(root, strike, market_model);
      vols(e, t, size_t{0}) = swaption.implied_volatility(strike, market_model, root, 50, 1e-14);
    }
  return std::make_shared<const ir_volatility_surface>(today, tenors(grid), tenors(grid), std::vector<double>{}, vols);
}

void print_fit(const calibration_ir_hjm& driver, const ptr_const<ir_volatility_surface>& surface,
               const parameter_markovian_hjm& fitted) {
  model_markovian_hjm model(fitted, today, {}, true);
  std::printf("\n  swaption     market(bp)  model(bp)  error(bp)\n");
  double worst = 0.0;
  for (size_t i = 0; i < driver.swaptions().size(); ++i) {
    const auto& target = *driver.swaptions()[i];
    const double strike = target.swap_rate();
    vector<double> root(fitted.number_of_factors(), 0.0);
    target.initial_root(root, strike, model);
    const double model_vol = target.implied_volatility(strike, model, root, 20, 1e-10);
    const double market_vol = target.swaption()->implied_volatility(surface, strike);
    const std::string label = grid[i % grid.size()] + "x" + grid[i / grid.size()];
    std::printf("  %-10s %11.2f %10.2f %10.4f\n", label.c_str(), 1e4 * market_vol, 1e4 * model_vol,
                1e4 * (model_vol - market_vol));
    worst = std::max(worst, std::abs(model_vol - market_vol));
  }
  std::printf("  largest error: %.4f bp\n", 1e4 * worst);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const auto start_time = std::chrono::steady_clock::now();
    const std::string output = argc > 1 ? argv[1] : "hjm_parameters.json";
    smp_tools_api::GetInstance().set_backend(smp_tools_api::TBB, 0);

    const auto curve = market_curve();
    const auto convention = std::make_shared<const day_count_convention>();
    const auto surface = market_surface(curve, convention);

    // Every expiry x tenor of the grid as a CMS target: 16 swaptions.
    const auto targets = std::make_shared<const calibration_ir_targets_configuration>(
        tenor("1Y"), tenors(grid), tenor("10Y"), tenors(grid), std::vector<std::vector<double>>{}, false, false, true);
    const calibration_ir_hjm driver(today, curve, targets, convention);

    // Two factors, a slow and a fast one, negatively correlated; the regularisation keeps the many decay rows
    // (one per start and end date) smooth where the targets do not pin them.
    const matrix<double> correlation = {{1.0, -0.3}, {-0.3, 1.0}};
    const auto settings = std::make_shared<const calibration_hjm_settings>(
        2, std::vector<double>{0.0005, 0.03}, std::vector<double>{0.001, 1.0}, parameter_markovian_hjm_type::HULL_WHITE,
        false, 200, true, false, 1e-10, 10.0, true, true);
    matrix<double> decays(driver.calibration_dates().size(), 2);
    matrix<double> vols(driver.expiry_dates().size(), 2);
    for (size_t r = 0; r < decays.rows(); ++r) {
      decays(r, 0) = 0.03;
      decays(r, 1) = 0.5;
    }
    for (size_t r = 0; r < vols.rows(); ++r) {
      vols(r, 0) = 0.006;
      vols(r, 1) = 0.004;
    }
    const auto start = std::make_shared<const parameter_markovian_hjm>(
        decays, vols, correlation, driver.calibration_dates(), driver.expiry_dates(), convention,
        parameter_markovian_hjm_type::HULL_WHITE);

    std::printf("Calibrating a two-factor Markovian HJM model to %zu swaptions...\n",
                driver.swaptions().size());
    const auto fitted = driver.calibrate(surface, correlation, settings, {}, start);
    print_fit(driver, surface, *fitted);

    // Ten years of monthly dates, 10,000 paths.
    constexpr size_t paths = 10000;
    constexpr size_t months = 120;
    std::vector<datetime> dates;
    for (size_t m = 0; m <= months; ++m) dates.push_back(datetime_helper::add_tenor(today, tenor("1M"), static_cast<int>(m)));
    const auto rates = std::make_shared<const diffusion_ir_markovian_hjm>(dates, curve, fitted);
    simulation_manager manager({rates}, {std::make_shared<const change_of_measure>()}, correlation,
                               std::make_shared<const random_config>(random_type::MERSENNE_TWISTER, 20240102, paths,
                                                                     months + 1, 2),
                               dates);
    const auto simulated = diffusion::diffusion_discount_curve(manager.data(0));
    std::printf("\nSimulated P(0,T) against the curve (%zu paths):\n     T    simulated     curve     std.err\n", paths);
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
      std::printf("  %4.0fY  %10.6f  %10.6f  %10.6f\n", static_cast<double>(m) / 12.0, mean, curve->df(today, dates[m]),
                  error);
    }

    parameter_markovian_hjm::write_to_json(output, fitted);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_time).count();
    std::printf("\nCalibrated parameters saved to %s (%.1f s in all).\n", output.c_str(), seconds);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "demo failed: %s\n", e.what());
    return 1;
  }
}
