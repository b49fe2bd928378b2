// Markovian HJM calibrations: one factor to five swaptions, and three factors to a 10 x 10 swaption grid on
// 1, 2, 4 and 8 threads (oneTBB backend).

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/calibration/ir/hjm/calibration_ir_hjm.h"
#include "Core/smp_tools_api.h"

namespace {

using namespace qavrek;

const datetime today(2024, 1, 2);

std::vector<tenor> years(std::initializer_list<int> counts) {
  std::vector<tenor> out;
  for (int c : counts) out.emplace_back(std::to_string(c) + "Y");
  return out;
}

ptr_const<discount_curve> curve() {
  std::vector<datetime> dates;
  std::vector<double> dfs;
  for (int y = 1; y <= 40; ++y) {
    dates.emplace_back(today.year() + y, today.month(), today.day());
    dfs.push_back(std::exp(-(0.02 + 0.01 * (1.0 - std::exp(-y / 8.0))) * y));
  }
  return std::make_shared<const discount_curve>(today, dates, dfs);
}

ptr_const<ir_volatility_surface> surface(const std::vector<tenor>& expiries, const std::vector<tenor>& tenors) {
  tensor<double> vols({expiries.size(), tenors.size(), 1});
  for (size_t e = 0; e < expiries.size(); ++e)
    for (size_t t = 0; t < tenors.size(); ++t)
      vols(e, t, size_t{0}) = 0.15 + 0.1 * std::exp(-0.25 * static_cast<double>(e + 1)) +
                              0.05 * std::exp(-0.2 * static_cast<double>(t + 1));
  return std::make_shared<const ir_volatility_surface>(today, expiries, tenors, std::vector<double>{}, vols);
}

void calibrate(benchmark::State& state, const std::vector<tenor>& expiries, const std::vector<tenor>& tenors,
               const matrix<double>& correlation, int max_iterations) {
  const auto convention = std::make_shared<const day_count_convention>();
  const auto targets = std::make_shared<const calibration_ir_targets_configuration>(
      tenor("1Y"), std::vector<tenor>(expiries), tenor("10Y"), std::vector<tenor>(tenors),
      std::vector<std::vector<double>>{}, false, false, true);
  const calibration_ir_hjm driver(today, curve(), targets, convention);
  const auto vols = surface(expiries, tenors);
  const size_t n = correlation.rows();
  const auto settings = std::make_shared<const calibration_hjm_settings>(
      n, std::vector<double>{0.0005, 0.03}, std::vector<double>{0.001, 1.0}, parameter_markovian_hjm_type::HULL_WHITE,
      false, max_iterations, false, false, 1e-8, 10.0, true, true);
  matrix<double> decays(driver.calibration_dates().size(), n);
  matrix<double> volatilities(driver.expiry_dates().size(), n);
  for (size_t r = 0; r < decays.rows(); ++r)
    for (size_t k = 0; k < n; ++k) decays(r, k) = 0.03 * std::pow(5.0, static_cast<double>(k));
  for (size_t r = 0; r < volatilities.rows(); ++r)
    for (size_t k = 0; k < n; ++k) volatilities(r, k) = 0.008 / static_cast<double>(k + 1);
  const auto start = std::make_shared<const parameter_markovian_hjm>(decays, volatilities, correlation,
                                                                     driver.calibration_dates(), driver.expiry_dates(),
                                                                     convention, parameter_markovian_hjm_type::HULL_WHITE);
  for (auto _ : state) benchmark::DoNotOptimize(driver.calibrate(vols, correlation, settings, {}, start));
  state.counters["targets"] = static_cast<double>(driver.swaptions().size());
}

void BM_OneFactorFiveSwaptions(benchmark::State& state) {
  smp_tools_api::GetInstance().set_backend(smp_tools_api::SEQUENTIAL, 1);
  calibrate(state, years({1, 2, 3, 4, 5}), years({5}), matrix<double>{{1.0}}, 200);
}
BENCHMARK(BM_OneFactorFiveSwaptions)->Unit(benchmark::kMillisecond);

void BM_ThreeFactorsGrid(benchmark::State& state) {
  smp_tools_api::GetInstance().set_backend(smp_tools_api::TBB, static_cast<size_t>(state.range(0)));
  const std::vector<tenor> grid = years({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  // A capped iteration count keeps a run to seconds: the cost per iteration is what is measured.
  calibrate(state, grid, grid, matrix<double>{{1.0, 0.5, 0.2}, {0.5, 1.0, 0.4}, {0.2, 0.4, 1.0}}, 10);
  smp_tools_api::GetInstance().set_backend(smp_tools_api::SEQUENTIAL, 1);
}
BENCHMARK(BM_ThreeFactorsGrid)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
