#pragma once

// What the tests of the HJM swaption target share: a log-linear market curve in ACT/365F from the
// valuation date of the HJM model tests, swaption targets on it, and models built as the calibration
// builds them (full covariance, no simulation dates).

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Analytics/calibration/ir/hjm/calibration_ir_hjm_swaption.h"
#include "Analytics/models/model_markovian_hjm.h"
#include "Analytics/tests/hjm_model_test_support.h"
#include "Market/discount_curve.h"
#include "Util/datetime_helper.h"
#include "Util/day_count_convention.h"
#include "Util/tenor.h"

namespace qavrek::hjm_swaption_test {

using namespace hjm_test;

// The calibration's search settings.
constexpr size_t calibration_iterations = 20;
constexpr double calibration_tolerance = 1e-10;

inline ptr_const<day_count_convention> act_365f() { return std::make_shared<const day_count_convention>(); }

// Nodes of an upward-sloping curve out to 30 years (zero rates 2.5% to 3.6%), so that every swap of the
// tests lies inside the nodes.
inline const std::vector<datetime>& curve_dates() {
  static const std::vector<datetime> dates = days({182, 365, 730, 1826, 3652, 7305, 10957});
  return dates;
}

inline const std::vector<double>& curve_dfs() {
  static const std::vector<double> dfs = [] {
    const double zero_rates[] = {0.025, 0.027, 0.029, 0.032, 0.034, 0.036, 0.035};
    std::vector<double> out;
    for (size_t i = 0; i < curve_dates().size(); ++i) out.push_back(std::exp(-zero_rates[i] * years(curve_dates()[i])));
    return out;
  }();
  return dfs;
}

inline ptr_const<discount_curve> market_curve() {
  return std::make_shared<const discount_curve>(valuation(), curve_dates(), curve_dfs(), nullptr, act_365f());
}

inline datetime after(const datetime& date, const std::string& period) {
  return datetime_helper::add_tenor(date, tenor(period));
}

// The swaption expiring `expiry` after the valuation date on the swap that runs `length` from there.
inline calibration_ir_hjm_swaption target(const std::string& expiry, const std::string& length,
                                          const std::string& frequency) {
  const datetime start = after(valuation(), expiry);
  return calibration_ir_hjm_swaption(market_curve(), start, after(start, length), tenor(frequency), act_365f());
}

// A parameter set with the model that reads it (the model keeps a pointer to the set).
struct hjm_setup {
  explicit hjm_setup(parameter_markovian_hjm p) : parameter(std::move(p)), model(parameter, valuation(), {}, true) {}
  hjm_setup(const hjm_setup&) = delete;
  hjm_setup& operator=(const hjm_setup&) = delete;

  size_t factors() const { return model.number_of_factors(); }

  parameter_markovian_hjm parameter;
  model_markovian_hjm model;
};

// Hull-White: constant mean reversion and volatility of the short rate.
inline parameter_markovian_hjm hull_white_parameter(double mean_reversion, double volatility) {
  return make_parameter(parameter_markovian_hjm_type::HULL_WHITE, {{mean_reversion}}, days({3650}), {{volatility}},
                        days({3650}), {{1.0}});
}

// Three correlated factors with slow, medium and fast reversion.
inline parameter_markovian_hjm three_factor_parameter() {
  return make_parameter(parameter_markovian_hjm_type::HULL_WHITE, {{0.02, 0.3, 1.0}}, days({3650}),
                        {{0.007, 0.006, 0.005}}, days({3650}),
                        {{1.0, 0.5, -0.3}, {0.5, 1.0, 0.2}, {-0.3, 0.2, 1.0}});
}

// The model discount factors of the swap's dates in factor state x, straight from their definition
// P_i = Pm_i exp(-G_i.x - 1/2 |G_i|^2) on the model's loadings relative to the expiry (G_0 = 0).
inline std::vector<double> dfs_in_state(const interest_rate_swap& swap, const model_markovian_hjm& model,
                                        const std::vector<double>& x) {
  const size_t n = swap.all_dates().size();
  matrix<double> G(n, model.number_of_factors());
  model.decompose(G, swap.expiry(), swap.all_dates(), true);
  std::vector<double> dfs(n);
  for (size_t i = 0; i < n; ++i) {
    double exponent = 0.0;
    for (size_t k = 0; k < G.columns(); ++k) exponent -= G(i, k) * x[k] + 0.5 * G(i, k) * G(i, k);
    dfs[i] = swap.dfs()[i] * std::exp(exponent);
  }
  return dfs;
}

// The swap value at strike K in factor state x.
inline double swap_value_in_state(const calibration_ir_hjm_swaption& target, const model_markovian_hjm& model,
                                  double strike, const std::vector<double>& x) {
  const interest_rate_swap& swap = *target.swaption();
  return swap.value(strike, dfs_in_state(swap, model, x));
}

inline std::vector<double> as_std(const vector<double>& x) { return std::vector<double>(x.begin(), x.end()); }

}  // namespace qavrek::hjm_swaption_test
