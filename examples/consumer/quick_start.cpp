// Prices a swaption under a one-factor Hull-White model, calibrates the model to swaption quotes, and
// saves and loads the calibrated parameter set.
//
//   quick_start [file.json]      (default: hull_white.json in the working directory)
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/calibration/ir/hjm/calibration_ir_hjm.h"
#include "Util/datetime_helper.h"

using namespace qavrek;

int main(int argc, char** argv) {
  const std::string file = argc > 1 ? argv[1] : "hull_white.json";
  const datetime today(2024, 1, 2);
  const auto act365 = std::make_shared<const day_count_convention>();     // ACT/365F
  const auto curve = std::make_shared<const discount_curve>(today, 0.03);  // flat 3%, continuously compounded

  // A 5Y x 5Y payer swaption with an annual fixed leg, struck at the money.
  const datetime expiry = datetime_helper::add_tenor(today, tenor("5Y"));
  const calibration_ir_hjm_swaption swaption(curve, expiry, datetime_helper::add_tenor(expiry, tenor("5Y")),
                                             tenor("1Y"), act365);
  const double strike = swaption.swap_rate();

  // Hull-White: decay 5% per year, normal volatility 100 bp per year (each a single row, dated 30Y).
  const datetime last = datetime_helper::add_tenor(today, tenor("30Y"));
  const parameter_markovian_hjm hull_white({{0.05}}, {{0.01}}, {{1.0}}, {last}, {last}, act365,
                                           parameter_markovian_hjm_type::HULL_WHITE);
  const model_markovian_hjm model(hull_white, today, {}, true);
  vector<double> root(1, 0.0), gradient(1, 0.0);
  const double price = swaption.value(strike, model, root, gradient, 50, 1e-12);
  std::printf("5Y x 5Y at %.4f%%: price %.6f, Black volatility %.2f%%\n", 100.0 * strike, price,
              100.0 * swaption.implied_volatility(strike, model, root, 50, 1e-12));

  // Calibrate the volatility (one row per expiry) to 20% Black volatilities of 1Y..5Y x 5Y swaptions,
  // starting from the model above; the decay is held at 5% by bounds that admit that value only.
  const std::vector<tenor> expiries = {tenor("1Y"), tenor("2Y"), tenor("3Y"), tenor("4Y"), tenor("5Y")};
  const auto quotes = std::make_shared<const ir_volatility_surface>(
      today, expiries, std::vector<tenor>{tenor("5Y")}, std::vector<double>{}, tensor<double>({5, 1, 1}, 0.20));
  const auto targets = std::make_shared<const calibration_ir_targets_configuration>(
      tenor("1Y"), std::vector<tenor>(expiries), tenor("10Y"), std::vector<tenor>{tenor("5Y")},
      std::vector<std::vector<double>>{}, false, false, true);
  const auto settings = std::make_shared<const calibration_hjm_settings>(
      1, std::vector<double>{0.0001, 0.05}, std::vector<double>{0.05, 0.05}, parameter_markovian_hjm_type::HULL_WHITE);
  const calibration_ir_hjm calibration(today, curve, targets, act365);
  const auto start = std::make_shared<const parameter_markovian_hjm>(
      matrix<double>(calibration.calibration_dates().size(), 1, 0.05),
      matrix<double>(calibration.expiry_dates().size(), 1, 0.01), matrix<double>{{1.0}},
      calibration.calibration_dates(), calibration.expiry_dates(), act365, parameter_markovian_hjm_type::HULL_WHITE);
  const auto calibrated = calibration.calibrate(quotes, matrix<double>{{1.0}}, settings, {}, start);

  // Save, load back, and reprice the swaption with the loaded set.
  parameter_markovian_hjm::write_to_json(file, calibrated);
  const auto loaded = parameter_markovian_hjm::read_from_json(file);
  const model_markovian_hjm recalibrated(*loaded, today, {}, true);
  std::printf("calibrated volatilities (bp):");
  for (double v : loaded->volatilities()) std::printf(" %.2f", 1e4 * v);
  std::printf("\n5Y x 5Y repriced from %s: Black volatility %.2f%%\n", file.c_str(),
              100.0 * swaption.implied_volatility(strike, recalibrated, root, 50, 1e-12));
  return 0;
}
