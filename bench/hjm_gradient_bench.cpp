// One target's row of the HJM calibration's Jacobian against one valuation of the same target, for a
// 10Y x 10Y swaption (annual fixed leg) and a 10Y x 6M caplet under one and three factors with
// parameters on a yearly grid:
// - valuation: implied_volatility from the root of the previous evaluation (the residual's unit of work),
//   either under the same model (the root is accepted at once: the cheapest valuation there is) or, as in
//   a calibration, under a model whose volatilities moved by 1% since (two models take turns);
// - gradient: implied_volatility_aad, then the model's fill_aad and finalize_aad and the parameter set's
//   finalize_aad on a zeroed array, which leaves the derivative with respect to every parameter.
// The counters "valuations" and "moved_model_valuations" are the gradient's time over each valuation's,
// measured in the same run.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
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
constexpr size_t parameter_years = 20;

// n factors with slow to fast reversions, mildly correlated, volatilities changing every year.
parameter_markovian_hjm make_parameter(size_t n, double scale = 1.0) {
  matrix<double> decays(parameter_years, n);
  matrix<double> volatilities(parameter_years, n);
  matrix<double> correlation(n, n);
  std::vector<datetime> dates;
  for (size_t r = 0; r < parameter_years; ++r) {
    dates.push_back(datetime_helper::add_tenor(valuation, tenor(std::to_string(r + 1) + "Y")));
    for (size_t k = 0; k < n; ++k) {
      decays(r, k) = 0.03 + 0.4 * static_cast<double>(k);
      volatilities(r, k) = scale * (0.01 + 0.0002 * static_cast<double>(r)) / static_cast<double>(k + 1);
    }
  }
  for (size_t k = 0; k < n; ++k)
    for (size_t j = 0; j < n; ++j) correlation(k, j) = k == j ? 1.0 : 0.3;
  return parameter_markovian_hjm(decays, volatilities, correlation, dates, dates,
                                 std::make_shared<const day_count_convention>(),
                                 parameter_markovian_hjm_type::HULL_WHITE);
}

calibration_ir_hjm_swaption ten_years_into(const char* length, const char* frequency) {
  const auto convention = std::make_shared<const day_count_convention>();
  const auto curve = std::make_shared<const discount_curve>(valuation, 0.03, nullptr, convention);
  const datetime expiry = datetime_helper::add_tenor(valuation, tenor("10Y"));
  return calibration_ir_hjm_swaption(curve, expiry, datetime_helper::add_tenor(expiry, tenor(length)),
                                     tenor(frequency), convention);
}

struct setup {
  explicit setup(size_t n, double scale = 1.0)
      : parameter(make_parameter(n, scale)), model(parameter, valuation, {}, true) {
    parameter.register_at(0);
    model.register_at(parameter.state_parameters_size());
    adjoints.resize(parameter.state_parameters_size() + model.state_parameters_size());
  }

  double valuation_once(const calibration_ir_hjm_swaption& target, double strike, vector<double>& root) const {
    return target.implied_volatility(strike, model, root, 20, 1e-10);
  }

  double gradient_once(const calibration_ir_hjm_swaption& target, double strike, double volatility,
                       vector<double>& root) {
    std::fill(adjoints.begin(), adjoints.end(), 0.0);
    target.implied_volatility_aad(-1.0, volatility, strike, model, root, adjoints.data());
    model.fill_aad(adjoints.data());
    model.finalize_aad(adjoints.data());
    parameter.finalize_aad(adjoints.data());
    return adjoints[0];
  }

  parameter_markovian_hjm parameter;
  model_markovian_hjm model;
  std::vector<double> adjoints;
};

void gradient_against_valuation(benchmark::State& state, const calibration_ir_hjm_swaption& target) {
  const size_t n = static_cast<size_t>(state.range(0));
  setup s(n);
  const setup moved(n, 1.01);
  const double strike = target.swap_rate() + 0.002;
  vector<double> root(n, 0.0);
  target.initial_root(root, strike, s.model);
  const double volatility = s.valuation_once(target, strike, root);
  using clock = std::chrono::steady_clock;
  clock::duration valuation_time{};
  clock::duration moved_valuation_time{};
  clock::duration gradient_time{};
  for (auto _ : state) {
    const auto start = clock::now();
    benchmark::DoNotOptimize(s.valuation_once(target, strike, root));
    const auto valued = clock::now();
    benchmark::DoNotOptimize(s.gradient_once(target, strike, volatility, root));
    const auto differentiated = clock::now();
    // Away to the moved model and back: two valuations that each restart from the other model's root.
    benchmark::DoNotOptimize(moved.valuation_once(target, strike, root));
    benchmark::DoNotOptimize(s.valuation_once(target, strike, root));
    const auto end = clock::now();
    valuation_time += valued - start;
    gradient_time += differentiated - valued;
    moved_valuation_time += (end - differentiated) / 2;
  }
  const auto seconds = [](clock::duration time) { return std::chrono::duration<double>(time).count(); };
  state.counters["valuations"] = seconds(gradient_time) / seconds(valuation_time);
  state.counters["moved_model_valuations"] = seconds(gradient_time) / seconds(moved_valuation_time);
  state.counters["parameters"] = static_cast<double>(s.parameter.state_parameters_size());
}

void swaption(benchmark::State& state) { gradient_against_valuation(state, ten_years_into("10Y", "1Y")); }
void caplet(benchmark::State& state) { gradient_against_valuation(state, ten_years_into("6M", "6M")); }

}  // namespace

BENCHMARK(swaption)->Arg(1)->Arg(3);
BENCHMARK(caplet)->Arg(1)->Arg(3);
