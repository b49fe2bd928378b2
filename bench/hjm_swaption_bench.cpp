// The HJM swaption target's implied volatility of a 10Y x 10Y swaption (annual fixed leg), the unit of
// work of every residual evaluation of the HJM calibration, with one and three factors:
// - warm: the calibration's case, the root of the previous evaluation under a slightly different model
//   (two models whose volatilities differ by 1% take turns), so the search restarts next to the boundary;
// - cold: from the target's initial root each time.

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "Analytics/calibration/ir/hjm/calibration_ir_hjm_swaption.h"
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

// n factors with slow to fast reversions, mildly correlated; volatilities scaled by `scale`.
parameter_markovian_hjm make_parameter(size_t n, double scale) {
  matrix<double> decays(1, n);
  matrix<double> volatilities(1, n);
  matrix<double> correlation(n, n);
  for (size_t k = 0; k < n; ++k) {
    decays(0, k) = 0.03 + 0.4 * static_cast<double>(k);
    volatilities(0, k) = scale * 0.01 / static_cast<double>(k + 1);
    for (size_t j = 0; j < n; ++j) correlation(k, j) = k == j ? 1.0 : 0.3;
  }
  const datetime last(valuation.serial() + 3650);
  return parameter_markovian_hjm(decays, volatilities, correlation, {last}, {last},
                                 std::make_shared<const day_count_convention>(), parameter_markovian_hjm_type::HULL_WHITE);
}

calibration_ir_hjm_swaption ten_by_ten() {
  const auto convention = std::make_shared<const day_count_convention>();
  const auto curve = std::make_shared<const discount_curve>(valuation, 0.03, nullptr, convention);
  const datetime expiry = datetime_helper::add_tenor(valuation, tenor("10Y"));
  return calibration_ir_hjm_swaption(curve, expiry, datetime_helper::add_tenor(expiry, tenor("10Y")), tenor("1Y"),
                                     convention);
}

void warm_start(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const parameter_markovian_hjm base = make_parameter(n, 1.0);
  const parameter_markovian_hjm bumped = make_parameter(n, 1.01);
  const model_markovian_hjm models[2] = {model_markovian_hjm(base, valuation, {}, true),
                                         model_markovian_hjm(bumped, valuation, {}, true)};
  const calibration_ir_hjm_swaption swaption = ten_by_ten();
  const double strike = swaption.swap_rate();
  vector<double> root(n);
  swaption.initial_root(root, strike, models[0]);
  size_t turn = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(swaption.implied_volatility(strike, models[turn], root, 20, 1e-10));
    turn = 1 - turn;
  }
}

void cold_start(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const parameter_markovian_hjm parameter = make_parameter(n, 1.0);
  const model_markovian_hjm model(parameter, valuation, {}, true);
  const calibration_ir_hjm_swaption swaption = ten_by_ten();
  const double strike = swaption.swap_rate();
  vector<double> root(n);
  for (auto _ : state) {
    swaption.initial_root(root, strike, model);
    benchmark::DoNotOptimize(swaption.implied_volatility(strike, model, root, 20, 1e-10));
  }
}

}  // namespace

BENCHMARK(warm_start)->Arg(1)->Arg(3);
BENCHMARK(cold_start)->Arg(1)->Arg(3);
