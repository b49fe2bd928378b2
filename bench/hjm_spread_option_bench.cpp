// The HJM CMS spread option's price of a call on the quarterly 10Y - 2Y spread fixed in 5 years, two
// correlated factors, at the money and 50 bp away:
// - cold: from the target's initial root each time, as the driver's experimental pricing starts;
// - warm: from the root of the previous valuation, as the driver's put follows its call;
// - expected spread: the model's forward of the spread, the driver's strike.

#include <benchmark/benchmark.h>

#include <memory>

#include "Analytics/calibration/ir/hjm/calibration_ir_hjm_spread_option.h"
#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Market/discount_curve.h"
#include "Util/datetime.h"
#include "Util/datetime_helper.h"
#include "Util/day_count_convention.h"
#include "Util/tenor.h"

namespace {

using namespace qavrek;

const datetime valuation(2024, 1, 2);

// A slow and a fast factor, negatively correlated: a spread with a normal volatility of some 20 bp.
parameter_markovian_hjm two_factors() {
  const datetime last(valuation.serial() + 3650);
  return parameter_markovian_hjm({{0.03, 0.5}}, {{0.01, 0.008}}, {{1.0, -0.4}, {-0.4, 1.0}}, {last}, {last},
                                 std::make_shared<const day_count_convention>(),
                                 parameter_markovian_hjm_type::HULL_WHITE);
}

calibration_ir_hjm_spread_option ten_two() {
  const auto convention = std::make_shared<const day_count_convention>();
  const auto curve = std::make_shared<const discount_curve>(valuation, 0.03, nullptr, convention);
  const datetime expiry = datetime_helper::add_tenor(valuation, tenor("5Y"));
  return calibration_ir_hjm_spread_option(curve, expiry, datetime_helper::add_tenor(expiry, tenor("10Y")),
                                          datetime_helper::add_tenor(expiry, tenor("2Y")), tenor("3M"), convention,
                                          1.0, 1.0, true);
}

struct setup {
  setup() : parameter(two_factors()), model(parameter, valuation, {}, true), option(ten_two()) {
    forward = option.spread(model, vector<double>(2, 0.0));
  }
  parameter_markovian_hjm parameter;
  model_markovian_hjm model;
  calibration_ir_hjm_spread_option option;
  double forward = 0.0;
};

void cold_start(benchmark::State& state) {
  const setup s;
  const double strike = s.forward + 1e-4 * static_cast<double>(state.range(0));
  vector<double> root(2);
  vector<double> direction(2);
  for (auto _ : state) {
    s.option.initial_root(root, strike, s.model);
    benchmark::DoNotOptimize(s.option.value(strike, s.model, root, direction, true, 20, 1e-13));
  }
}

void warm_start(benchmark::State& state) {
  const setup s;
  const double strike = s.forward + 1e-4 * static_cast<double>(state.range(0));
  vector<double> root(2);
  vector<double> direction(2);
  s.option.initial_root(root, strike, s.model);
  for (auto _ : state) benchmark::DoNotOptimize(s.option.value(strike, s.model, root, direction, true, 20, 1e-13));
}

void expected_spread(benchmark::State& state) {
  const setup s;
  const vector<double> state_vector(2, 0.0);
  for (auto _ : state) benchmark::DoNotOptimize(s.option.spread(s.model, state_vector));
}

}  // namespace

BENCHMARK(cold_start)->Arg(0)->Arg(50)->Unit(benchmark::kMicrosecond);
BENCHMARK(warm_start)->Arg(0)->Arg(50)->Unit(benchmark::kMicrosecond);
BENCHMARK(expected_spread)->Unit(benchmark::kMicrosecond);
