#pragma once

// Market, parameter sets and a Monte Carlo of swaptions shared by the Cheyette target and driver tests.

#include <cmath>
#include <memory>
#include <vector>

#include "Analytics/change_of_measure/change_of_measure.h"
#include "Analytics/diffusion/ir/diffusion_ir_cheyette.h"
#include "Analytics/models/model_cheyette.h"
#include "Analytics/parameters/parameter_cheyette.h"
#include "Analytics/simulation/simulation_manager.h"
#include "Instrument/instrument_ir_swaption.h"
#include "Market/discount_curve.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Vectorization/tensor.h"
#include "monte_carlo_test_support.h"
#include "simulation_test_support.h"

namespace qavrek::cheyette_test {

inline const datetime& valuation() {
  static const datetime date(2024, 1, 15);
  return date;
}

inline datetime years_after(int years) { return datetime(2024 + years, 1, 15); }

inline ptr_const<day_count_convention> act_365f() { return std::make_shared<const day_count_convention>(); }

// A rising curve: about 2.5% short, 4.5% at 20 years.
inline ptr_const<discount_curve> market_curve() {
  return std::make_shared<const discount_curve>(
      valuation(),
      std::vector{years_after(1), years_after(2), years_after(3), years_after(5), years_after(7), years_after(10),
                  years_after(20)},
      std::vector{0.9753, 0.9466, 0.9153, 0.8487, 0.7809, 0.6859, 0.4066});
}

// One Hull-White factor, mean reversion `decay`, volatility rows to each of `volatility_dates`.
inline ptr_const<parameter_markovian_hjm> hull_white(double decay, const std::vector<double>& volatilities,
                                                     const std::vector<datetime>& volatility_dates) {
  matrix<double> sigma(volatilities.size(), 1);
  for (size_t r = 0; r < volatilities.size(); ++r) sigma(r, 0) = volatilities[r];
  return std::make_shared<const parameter_markovian_hjm>(matrix<double>{{decay}}, sigma, matrix<double>{{1.0}},
                                                         std::vector{years_after(1)}, volatility_dates, act_365f(),
                                                         parameter_markovian_hjm_type::HULL_WHITE);
}

inline ptr_const<parameter_cheyette> cheyette(const ptr_const<parameter_markovian_hjm>& hjm,
                                              const std::vector<double>& skews, const std::vector<datetime>& skew_dates,
                                              double level) {
  matrix<double> b(skews.size(), 1);
  for (size_t r = 0; r < skews.size(); ++r) b(r, 0) = skews[r];
  return std::make_shared<const parameter_cheyette>(hjm, b, skew_dates, level);
}

// Monte Carlo prices of a swaption at each strike, discounted to the valuation date: the Cheyette
// diffusion on `steps` equal steps (in days) to the expiry, the payoff at the expiry on the simulated
// curve, times the simulated discount factor.
inline std::vector<simulation_test::sample> monte_carlo(const ptr_const<parameter_cheyette>& parameter,
                                                        const ptr_const<discount_curve>& curve,
                                                        const instrument_ir_swaption& swaption, size_t paths,
                                                        size_t steps, size_t seed = 20240521) {
  const datetime& expiry = swaption.swap()->expiry();
  const double days = expiry.serial() - valuation().serial();
  std::vector<datetime> dates;
  for (size_t k = 0; k <= steps; ++k)
    dates.emplace_back(valuation().serial() + std::round(days * static_cast<double>(k) / static_cast<double>(steps)));
  const auto rate = std::make_shared<const diffusion_ir_cheyette>(dates, curve, parameter);
  simulation_manager manager(
      {rate}, {std::make_shared<const change_of_measure>()}, matrix<double>{{1.0}},
      simulation_test::random_configuration(paths, dates.size(), 1, random_type::MERSENNE_TWISTER, seed), dates);
  const ptr_const<discount_curve> simulated = diffusion::diffusion_discount_curve(manager.data(0));
  manager.states_initialize();
  for (size_t t = 1; t < dates.size(); ++t) manager.propagate(t);

  vector<double> discount(paths);
  simulated->discounting(discount, expiry);
  tensor<double> payoffs({swaption.size(), paths});
  swaption.value(expiry, {simulated}, payoffs);
  std::vector<simulation_test::sample> prices(swaption.size());
  for (size_t k = 0; k < swaption.size(); ++k)
    for (size_t p = 0; p < paths; ++p) prices[k].add(discount[p] * payoffs[k * paths + p]);
  return prices;
}

}  // namespace qavrek::cheyette_test
