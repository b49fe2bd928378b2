// The Black-Karasinski model over a batch of paths: its simulation step beside the one-factor HJM step it
// drives (the same run, so the two compare), and the conditional price of a 5-year bond at the default
// 10-day step and 8 roots.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "Analytics/models/model_black_karasinski.h"
#include "Analytics/parameters/parameter_black_karasinski.h"
#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "bench_support.h"

namespace {

using namespace qavrek;

using bench::paths;
using bench::valuation;

// A rate: reversion 0.1, volatility 0.3, levels rising over ten years.
ptr_mutable<parameter_black_karasinski> make_parameter() {
  const datetime last(valuation.serial() + 3650);
  auto hjm = std::make_shared<parameter_markovian_hjm>(
      matrix<double>{{0.1}}, matrix<double>{{0.3}}, matrix<double>{{1.0}}, std::vector{last}, std::vector{last},
      std::make_shared<const day_count_convention>(), parameter_markovian_hjm_type::HULL_WHITE);
  std::vector<double> levels;
  std::vector<datetime> level_dates;
  for (int year = 0; year < 10; ++year) {
    levels.push_back(std::log(0.02 + 0.002 * year));
    level_dates.emplace_back(valuation.serial() + 365.0 * year);
  }
  return std::make_shared<parameter_black_karasinski>(hjm, levels, level_dates);
}

// Monthly steps over two years, round and round: the model's, then its HJM driver's alone.
void black_karasinski_step(benchmark::State& state) {
  const auto parameter = make_parameter();
  const std::vector<datetime> dates = bench::dates_every_30_days(24);
  bench::run_steps(state, model_black_karasinski(*parameter, valuation, dates, false), dates.size());
}

void hjm_step(benchmark::State& state) {
  bench::hjm_step(state, *make_parameter()->parameters(), bench::dates_every_30_days(24));
}

// ln P(1 year, 6 years) on every path, the factors spread as the model spreads them after a year;
// time_per_path in seconds.
void five_year_bond(benchmark::State& state) {
  const auto parameter = make_parameter();
  const std::vector<datetime> dates = {valuation, datetime(valuation.serial() + 365)};
  const model_black_karasinski model(*parameter, valuation, dates, false);
  const datetime t = dates[1], maturity(t.serial() + 5 * 365);
  matrix<double> states(2, paths);
  const double deviation = std::sqrt(model.variance(t)) / model.factor_decay(t);
  const matrix<double> gaussians = bench::standard_normals(1);
  for (size_t p = 0; p < paths; ++p) states(0, p) = deviation * gaussians(0, p);
  vector<double> log_prices(paths);
  for (auto _ : state) {
    model.conditional_price(states, t, maturity, log_prices);
    benchmark::DoNotOptimize(log_prices.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * paths));
  state.counters["time_per_path"] = benchmark::Counter(static_cast<double>(state.iterations() * paths),
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert,
                                                     benchmark::Counter::kIs1000);
}

BENCHMARK(hjm_step);
BENCHMARK(black_karasinski_step);
BENCHMARK(five_year_bond)->Unit(benchmark::kMillisecond);

}  // namespace
