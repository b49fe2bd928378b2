// The Cheyette swaption target's volatilities at five strikes, and a one-factor Cheyette calibration to ten
// caplets and ten coterminal swaptions at three strikes each, from volatilities planted by a known set.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/calibration/ir/cheyette/calibration_ir_cheyette.h"
#include "Util/datetime_helper.h"

namespace {

using namespace qavrek;

const datetime today(2024, 1, 2);

std::vector<tenor> years(int first, int last) {
  std::vector<tenor> out;
  for (int y = first; y <= last; ++y) out.emplace_back(std::to_string(y) + "Y");
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

// One Hull-White factor with volatility rows every six months to ten years.
ptr_const<parameter_markovian_hjm> hull_white(double decay, double volatility) {
  std::vector<datetime> dates;
  for (int m = 6; m <= 120; m += 6) dates.push_back(datetime_helper::add_tenor(today, tenor(std::to_string(m) + "M")));
  matrix<double> volatilities(dates.size(), 1);
  for (size_t r = 0; r < dates.size(); ++r) volatilities(r, 0) = volatility * (1.0 + 0.2 * std::sin(0.7 * double(r)));
  return std::make_shared<const parameter_markovian_hjm>(
      matrix<double>{{decay}}, volatilities, matrix<double>{{1.0}}, std::vector<datetime>{dates.front()}, dates,
      std::make_shared<const day_count_convention>(), parameter_markovian_hjm_type::HULL_WHITE);
}

ptr_const<parameter_cheyette> cheyette(const ptr_const<parameter_markovian_hjm>& hjm, size_t rows) {
  matrix<double> skews(rows, 1);
  for (size_t r = 0; r < rows; ++r) skews(r, 0) = 12.0 + 3.0 * std::cos(0.5 * double(r));
  const std::vector<datetime>& dates = hjm->volatilities_dates();
  return std::make_shared<const parameter_cheyette>(hjm, skews,
                                                    std::vector<datetime>(dates.begin(), dates.begin() + rows), -5.0);
}

// A surface that returns each target's planted volatilities at its strikes exactly.
ptr_const<ir_volatility_surface> planted_surface(const calibration_ir_cheyette& driver,
                                                 const ptr_const<parameter_cheyette>& truth) {
  const auto model =
      std::make_shared<const model_cheyette>(*truth, today, truth->parameters()->volatilities_dates(), true, false);
  const std::vector<tenor> axis = years(1, 10);
  std::vector<double> strikes;
  for (const auto& target : driver.swaptions())
    for (double k : target->swaptions()->strikes()) strikes.push_back(k);
  std::sort(strikes.begin(), strikes.end());
  strikes.erase(std::unique(strikes.begin(), strikes.end()), strikes.end());
  auto position = [&](auto&& lands) {
    size_t i = 0;
    while (i + 1 < axis.size() && !lands(axis[i])) ++i;
    return i;
  };
  tensor<double> nodes({axis.size(), axis.size(), strikes.size()}, 0.2);
  std::vector<double> planted;
  for (const auto& target : driver.swaptions()) {
    const interest_rate_swap& swap = *target->swaptions()->swap();
    const size_t e = position([&](const tenor& t) { return datetime_helper::add_tenor(today, t) == swap.expiry(); });
    const size_t m =
        position([&](const tenor& t) { return datetime_helper::add_tenor(swap.expiry(), t) == swap.maturity(); });
    target->values(planted, model, model->variance(target->expiry()));
    const std::vector<double>& target_strikes = target->swaptions()->strikes();
    for (size_t j = 0; j < target_strikes.size(); ++j) {
      const size_t k = std::lower_bound(strikes.begin(), strikes.end(), target_strikes[j]) - strikes.begin();
      nodes[(e * axis.size() + m) * strikes.size() + k] = planted[j];
    }
  }
  return std::make_shared<const ir_volatility_surface>(today, axis, axis, strikes, nodes);
}

void BM_ValuesFiveStrikes(benchmark::State& state) {
  const auto hjm = hull_white(0.03, 0.008);
  const auto parameter = cheyette(hjm, 1);
  const auto model = std::make_shared<const model_cheyette>(*parameter, today, hjm->volatilities_dates(), true, false);
  const calibration_ir_cheyette_swaption target(true, curve(), datetime(2029, 1, 2), datetime(2034, 1, 2), tenor("1Y"),
                                                std::make_shared<const day_count_convention>(),
                                                {0.6, 0.8, 1.0, 1.25, 1.6}, true);
  const double variance = model->variance(target.expiry());
  std::vector<double> volatilities;
  for (auto _ : state) {
    target.values(volatilities, model, variance);
    benchmark::DoNotOptimize(volatilities.data());
  }
}
BENCHMARK(BM_ValuesFiveStrikes)->Unit(benchmark::kMicrosecond);

void BM_CalibrateTenCapletsTenCoterminals(benchmark::State& state) {
  std::vector<std::vector<double>> rows(20, {0.8, 1.0, 1.25});
  const auto targets = std::make_shared<const calibration_ir_targets_configuration>(
      tenor("1Y"), years(1, 10), tenor("11Y"), std::vector<tenor>{}, std::move(rows), true, true, false);
  const calibration_ir_cheyette driver(today, curve(), targets, std::make_shared<const day_count_convention>());
  const auto surface = planted_surface(driver, cheyette(hull_white(0.03, 0.008), 20));
  const auto settings = std::make_shared<const calibration_cheyette_settings>(
      std::vector<double>{1e-4, 0.05}, std::vector<double>{-0.2, 0.5}, std::vector<double>{0.5, 40.0},
      parameter_markovian_hjm_type::HULL_WHITE);
  for (auto _ : state) {
    state.PauseTiming();
    const auto start = hull_white(0.01, 0.01);
    state.ResumeTiming();
    benchmark::DoNotOptimize(driver.calibrate(surface, settings, start));
  }
  state.counters["targets"] = static_cast<double>(driver.swaptions().size());
}
BENCHMARK(BM_CalibrateTenCapletsTenCoterminals)->Unit(benchmark::kMillisecond);

}  // namespace
