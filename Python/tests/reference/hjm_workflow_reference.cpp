// The Markovian HJM workflow of the Python module tests, run through the C++ API alone, so that the test
// can compare the two runs number for number.
//
//   hjm_workflow_reference <folder>
//
// reads from the folder what the test wrote there (inputs.json with the market and the simulation, and the
// library's own files of the targets, the two-factor set to plant, the settings, the starting set, the
// credit set and the random configuration) and writes:
//   planted.json     the at-the-money volatilities of the targets under the planted set, node by node
//                    ("volatilities"[expiry][tenor]), which the test puts on its surface;
//   calibrated.json  the set calibrated to those volatilities (the library's file);
//   fit.json         the volatilities of the targets under the calibrated set, node by node;
//   cms.json         the experimental CMS spread volatility under the calibrated set at "cms_expiry", under
//                    the forward measure ("forward") and the other ("spot");
//   paths.bin        per recorded date ("recorded_steps", indices of simulation dates), the discount factor
//                    from the valuation date and then the survival probability of every path, as
//                    little-endian doubles, simulated with the calibrated set read back from its file.

#include <algorithm>
#include <cstdio>
#include <exception>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Analytics/calibration/ir/hjm/calibration_ir_hjm.h"
#include "Analytics/common/random_config.h"
#include "Analytics/diffusion/common/diffusion.h"
#include "Analytics/diffusion/credit/diffusion_credit_markovian_hjm.h"
#include "Analytics/diffusion/ir/diffusion_ir_markovian_hjm.h"
#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Analytics/settings/calibration_hjm_settings.h"
#include "Analytics/settings/calibration_ir_targets_configuration.h"
#include "Analytics/simulation/simulation_manager.h"
#include "Market/discount_curve.h"
#include "Market/ir_volatility_surface.h"
#include "Market/survival_curve.h"
#include "Util/datetime_helper.h"
#include "Util/day_count_convention.h"
#include "Vectorization/matrix.h"
#include "Vectorization/tensor.h"
#include "Vectorization/vector.h"

namespace {

using namespace qavrek;
using json = nlohmann::json;

// The searches of the calibration's own pricing.
constexpr size_t root_iterations = 20;
constexpr double root_tolerance = 1e-10;

std::vector<datetime> dates_of(const json& serials) {
  std::vector<datetime> dates;
  for (const auto& serial : serials) dates.emplace_back(serial.get<double>());
  return dates;
}

matrix<double> matrix_of(const json& rows) {
  matrix<double> out(rows.size(), rows.at(0).size());
  for (size_t i = 0; i < out.rows(); ++i)
    for (size_t j = 0; j < out.columns(); ++j) out(i, j) = rows.at(i).at(j).get<double>();
  return out;
}

void write_json(const std::string& path, const json& value) { std::ofstream(path) << value.dump(); }

// The at-the-money volatility of each target of the driver under the set, on the grid of the targets'
// expiries and CMS tenors.
std::vector<std::vector<double>> node_volatilities(const calibration_ir_hjm& driver,
                                                   const calibration_ir_targets_configuration& targets,
                                                   const parameter_markovian_hjm& parameter,
                                                   const datetime& valuation_date) {
  const model_markovian_hjm model(parameter, valuation_date, {}, true);
  std::vector<std::vector<double>> nodes;
  for (const tenor& expiry : targets.expiries()) {
    const datetime start = datetime_helper::add_tenor(valuation_date, expiry);
    std::vector<double> row;
    for (const tenor& length : targets.cms_tenors()) {
      const datetime end = datetime_helper::add_tenor(start, length);
      for (const auto& target : driver.swaptions()) {
        if (target->swaption()->expiry() != start || target->swaption()->maturity() != end) continue;
        vector<double> root(parameter.number_of_factors(), 0.0);
        target->initial_root(root, target->swap_rate(), model);
        row.push_back(target->implied_volatility(target->swap_rate(), model, root, root_iterations, root_tolerance));
      }
    }
    nodes.push_back(row);
  }
  return nodes;
}

void run(const std::string& folder) {
  const json inputs = json::parse(std::ifstream(folder + "/inputs.json"));
  const datetime valuation_date(inputs.at("valuation_date").get<double>());
  // The test's day count, calendar included, as the set to plant holds it.
  const auto known = parameter_markovian_hjm::read_from_json(folder + "/known.json");
  const ptr_const<day_count_convention>& convention = known->day_convention();
  const auto curve = std::make_shared<const discount_curve>(
      valuation_date, dates_of(inputs.at("curve").at("dates")), inputs.at("curve").at("dfs").get<std::vector<double>>(),
      nullptr, convention);
  const auto survival = std::make_shared<const survival_curve>(
      valuation_date, dates_of(inputs.at("survival").at("dates")),
      inputs.at("survival").at("probabilities").get<std::vector<double>>(), nullptr, convention);

  // Plant the volatilities of the known set on a surface with one node per target.
  const auto targets = calibration_ir_targets_configuration::read_from_json(folder + "/targets.json");
  const calibration_ir_hjm driver(valuation_date, curve, targets, convention);
  const std::vector<std::vector<double>> planted = node_volatilities(driver, *targets, *known, valuation_date);
  tensor<double> nodes({planted.size(), planted.front().size(), 1});
  for (size_t e = 0; e < planted.size(); ++e)
    for (size_t t = 0; t < planted[e].size(); ++t) nodes(e, t, size_t{0}) = planted[e][t];
  const auto surface = std::make_shared<const ir_volatility_surface>(valuation_date, targets->expiries(),
                                                                     targets->cms_tenors(), std::vector<double>{},
                                                                     nodes, convention);
  write_json(folder + "/planted.json", {{"volatilities", planted}});

  // Calibrate, save and reload.
  const auto settings = calibration_hjm_settings::read_from_json(folder + "/settings.json");
  const auto start = parameter_markovian_hjm::read_from_json(folder + "/start.json");
  const auto fitted = driver.calibrate(surface, matrix_of(inputs.at("calibration_correlation")), settings, {}, start);
  parameter_markovian_hjm::write_to_json(folder + "/calibrated.json", fitted);
  const auto calibrated = parameter_markovian_hjm::read_from_json(folder + "/calibrated.json");
  write_json(folder + "/fit.json",
             {{"volatilities", node_volatilities(driver, *targets, *calibrated, valuation_date)}});
  const datetime cms_expiry(inputs.at("cms_expiry").get<double>());
  const auto cms_spread = [&](bool use_forward_measure) {
    return calibration_ir_hjm::cms_spread_pricing_experimental(valuation_date, cms_expiry, calibrated, curve,
                                                               use_forward_measure);
  };
  write_json(folder + "/cms.json", {{"forward", cms_spread(true)}, {"spot", cms_spread(false)}});

  // Simulate the rate and the credit and record every path at the recorded dates.
  const std::vector<datetime> dates = dates_of(inputs.at("simulation_dates"));
  const auto recorded = inputs.at("recorded_steps").get<std::vector<size_t>>();
  const auto rate = std::make_shared<const diffusion_ir_markovian_hjm>(dates, curve, calibrated);
  const auto intensity = std::make_shared<const diffusion_credit_markovian_hjm>(
      dates, survival, parameter_markovian_hjm::read_from_json(folder + "/credit.json"));
  simulation_manager manager({rate, intensity},
                             {std::make_shared<const change_of_measure>(), std::make_shared<const change_of_measure>()},
                             matrix_of(inputs.at("simulation_correlation")),
                             random_config::read_from_json(folder + "/random.json"), dates);
  const auto discounts = diffusion::diffusion_discount_curve(manager.data(0));
  const auto survivals = diffusion::diffusion_survival_curve(manager.data(1));
  vector<double> values(manager.number_of_paths());
  std::ofstream paths(folder + "/paths.bin", std::ios::binary);
  const auto record = [&] {
    paths.write(reinterpret_cast<const char*>(values.data()),
                static_cast<std::streamsize>(values.size() * sizeof(double)));
  };
  manager.states_initialize();
  for (size_t t = 0; t < dates.size(); ++t) {
    if (t > 0) manager.propagate(t);
    if (std::find(recorded.begin(), recorded.end(), t) == recorded.end()) continue;
    discounts->discounting(values, dates[t]);
    record();
    survivals->survival_probability(values, dates[t]);
    record();
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  try {
    run(argv[1]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
