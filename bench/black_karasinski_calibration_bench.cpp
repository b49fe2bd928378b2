// The credit Black-Karasinski level calibration on a 10-year quarterly survival curve with the default settings
// (129 nodes, 30-day steps after ten daily ones, a tolerance of 1e-13), without and with the rates adjustment of
// two Hull-White factors, and one survival solve to 10 years.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "Analytics/calibration/credit/black_karasinski/calibration_credit_black_karasinski.h"
#include "Analytics/models/model_black_karasinski.h"
#include "Analytics/parameters/parameter_black_karasinski.h"
#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Analytics/pde_pricing/black_karasinski_pde_solver.h"
#include "Analytics/settings/calibration_black_karasinski_settings.h"
#include "Market/survival_curve.h"
#include "Util/datetime.h"
#include "Util/datetime_helper.h"
#include "Util/day_count_convention.h"
#include "Util/tenor.h"

namespace {

using namespace qavrek;

const datetime valuation(2024, 1, 2);

std::vector<datetime> quarterly_dates() {
  std::vector<datetime> dates;
  for (int quarter = 0; quarter <= 40; ++quarter)
    dates.push_back(datetime_helper::add_tenor(valuation, tenor(3 * quarter, tenor::unit::MONTHS)));
  return dates;
}

// A hazard rate rising from 1% to 3% over ten years.
ptr_const<survival_curve> market_curve() {
  const std::vector<datetime> all = quarterly_dates();
  const std::vector<datetime> dates(all.begin() + 1, all.end());
  std::vector<double> probabilities;
  for (const datetime& date : dates) {
    const double t = (date.serial() - valuation.serial()) / 365.0;
    probabilities.push_back(std::exp(-(0.01 * t + 0.001 * t * t)));
  }
  return std::make_shared<const survival_curve>(valuation, dates, probabilities);
}

// An intensity reverting at 0.1 with a volatility of 0.5.
ptr_mutable<parameter_black_karasinski> intensity() {
  const std::vector<datetime> dates = quarterly_dates();
  auto hjm = std::make_shared<parameter_markovian_hjm>(
      matrix<double>{{0.1}}, matrix<double>{{0.5}}, matrix<double>{{1.0}}, std::vector{dates.back()},
      std::vector{dates.back()}, std::make_shared<const day_count_convention>(),
      parameter_markovian_hjm_type::HULL_WHITE);
  return std::make_shared<parameter_black_karasinski>(hjm, std::vector<double>(dates.size(), 0.0), dates);
}

ptr_const<parameter_markovian_hjm> hull_white_rates() {
  const datetime end(valuation.serial() + 3700);
  return std::make_shared<const parameter_markovian_hjm>(
      matrix<double>{{0.05, 0.5}}, matrix<double>{{0.01, 0.008}}, matrix<double>{{1.0, -0.4}, {-0.4, 1.0}},
      std::vector{end}, std::vector{end}, std::make_shared<const day_count_convention>(),
      parameter_markovian_hjm_type::HULL_WHITE);
}

void calibrate(benchmark::State& state, const calibration_credit_black_karasinski& calibration) {
  const auto parameter = intensity();
  for (auto _ : state) {
    // Every date is solved again from the same start.
    std::ranges::fill(parameter->levels_parameter(), 0.0);
    calibration.calibrate_level(*parameter);
    benchmark::DoNotOptimize(parameter->levels_parameter().data());
  }
}

void calibrate_level(benchmark::State& state) {
  const auto settings = std::make_shared<const calibration_black_karasinski_settings>(tenor("3M"), 0.1);
  calibrate(state,
            calibration_credit_black_karasinski(valuation, market_curve(), settings, nullptr, matrix<double>{{0.0}}));
}

void calibrate_level_with_rates(benchmark::State& state) {
  const auto settings = std::make_shared<const calibration_black_karasinski_settings>(tenor("3M"), 0.1);
  calibrate(state, calibration_credit_black_karasinski(valuation, market_curve(), settings, hull_white_rates(),
                                                       matrix<double>{{0.3, -0.2}}));
}

// One backward solve over the whole grid, its step matrices rebuilt each time (the level changes).
void survival_to_ten_years(benchmark::State& state) {
  const auto parameter = intensity();
  const std::vector<datetime>& dates = parameter->levels_parameter_dates();
  const calibration_black_karasinski_settings settings(tenor("3M"), 0.1);
  black_karasinski_pde_solver solver(valuation, parameter->levels_parameter(), *parameter, dates, settings);
  const model_black_karasinski model(*parameter, valuation, solver.time_grid(), true);
  solver.update(model);
  solver.update_states(1.0);
  std::ranges::fill(parameter->levels_parameter(), std::log(0.02));
  double level = std::log(0.02);
  for (auto _ : state) {
    level += 1e-9;
    std::ranges::fill(parameter->levels_parameter(), level);
    benchmark::DoNotOptimize(solver.survival_probability(dates.size() - 1, true));
  }
  state.counters["steps"] = double(solver.level_positions().back());
}

BENCHMARK(calibrate_level)->Unit(benchmark::kMillisecond);
BENCHMARK(calibrate_level_with_rates)->Unit(benchmark::kMillisecond);
BENCHMARK(survival_to_ten_years)->Unit(benchmark::kMicrosecond);

}  // namespace
