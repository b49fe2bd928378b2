#pragma once

// Market, parameter sets and a Monte Carlo of swaptions shared by the Cheyette target and driver tests.

#include <algorithm>
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
#include "Random/random.h"
#include "Random/random_settings.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Vectorization/matrix.h"
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

// Hull-White mean reversion 3%, normal volatilities near 80 bp, in rows to each of the next ten years.
inline ptr_const<parameter_markovian_hjm> ten_year_hjm() {
  std::vector<datetime> dates;
  for (int y = 1; y <= 10; ++y) dates.push_back(years_after(y));
  return hull_white(0.03, {0.009, 0.008, 0.0085, 0.0075, 0.008, 0.008, 0.0078, 0.0076, 0.0075, 0.0074}, dates);
}

inline ptr_const<parameter_cheyette> cheyette(const ptr_const<parameter_markovian_hjm>& hjm,
                                              const std::vector<double>& skews, const std::vector<datetime>& skew_dates,
                                              double level) {
  matrix<double> b(skews.size(), 1);
  for (size_t r = 0; r < skews.size(); ++r) b(r, 0) = skews[r];
  return std::make_shared<const parameter_cheyette>(hjm, b, skew_dates, level);
}

// The model as the calibration builds it: on the HJM volatility dates, with reduced states. It borrows its
// parameter set, which the pointer returned keeps alive with it.
inline ptr_const<model_cheyette> model_on(const ptr_const<parameter_cheyette>& parameter) {
  struct owner {
    ptr_const<parameter_cheyette> parameter;
    model_cheyette model;
    explicit owner(const ptr_const<parameter_cheyette>& p)
        : parameter(p), model(*p, valuation(), p->parameters()->volatilities_dates(), true, false) {}
  };
  const auto held = std::make_shared<const owner>(parameter);
  return ptr_const<model_cheyette>(held, &held->model);
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

// The same swaption's discounted payoffs by the Cheyette diffusion driven step by step, on `steps` (even) steps of
// about equal length to the expiry and, on the same Brownian paths, on the steps / 2 steps of twice that length, each
// coarse draw joining the two fine ones it spans. The scheme's weak error being of first order in the step, the
// mean of coarse less fine estimates the fine run's Euler bias, and the shared paths make it sharp. The factors'
// draws are correlated by `correlation`; a seed gives the same draws to every parameter set with as many factors,
// so that runs of two sets may be compared path by path. One row per strike, one column per path.
struct euler_payoffs {
  matrix<double> fine;
  matrix<double> coarse;
};

inline euler_payoffs coupled_monte_carlo(const ptr_const<parameter_cheyette>& parameter,
                                         const ptr_const<discount_curve>& curve, const instrument_ir_swaption& swaption,
                                         const matrix<double>& correlation, size_t paths, size_t steps,
                                         size_t seed = 20240521) {
  const interest_rate_swap& swap = *swaption.swap();
  const datetime& expiry = swap.expiry();
  const double days = expiry.serial() - valuation().serial();
  std::vector<datetime> fine_dates, coarse_dates;
  for (size_t k = 0; k <= steps; ++k) {
    fine_dates.emplace_back(valuation().serial() +
                            std::round(days * static_cast<double>(k) / static_cast<double>(steps)));
    if (k % 2 == 0) coarse_dates.push_back(fine_dates.back());
  }
  const diffusion_ir_cheyette fine(fine_dates, curve, parameter);
  const diffusion_ir_cheyette coarse(coarse_dates, curve, parameter);
  const size_t n = fine.number_of_factors();
  const change_of_measure measure;

  // Correlated draws from independent ones through the lower Cholesky factor of the correlation.
  matrix<double> lower(n, n);
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j <= i; ++j) {
      double sum = correlation(i, j);
      for (size_t k = 0; k < j; ++k) sum -= lower(i, k) * lower(j, k);
      lower(i, j) = i == j ? std::sqrt(sum) : sum / lower(j, j);
    }
  const auto generator = random::random_generator_factory(
      random_type::MERSENNE_TWISTER, std::make_shared<const random_settings>(seed, paths, steps + 1, n));
  matrix<double> independent(n, paths), draws(n, paths), first_half(n, paths), joined(n, paths);
  auto draw = [&] {
    generator->gaussians(independent.data(), n * paths, 0);
    for (size_t i = 0; i < n; ++i)
      for (size_t p = 0; p < paths; ++p) {
        double sum = 0.0;
        for (size_t k = 0; k <= i; ++k) sum += lower(i, k) * independent(k, p);
        draws(i, p) = sum;
      }
  };

  matrix<double> fine_states(fine.number_of_states(), paths), fine_previous;
  matrix<double> coarse_states(coarse.number_of_states(), paths), coarse_previous;
  fine.states_initialize(fine_states);
  coarse.states_initialize(coarse_states);
  for (size_t k = 1; k <= steps; ++k) {
    draw();
    fine.propagate_state(fine_states, fine_previous, k, draws, measure);
    if (k % 2 == 1) {
      first_half = draws;
      continue;
    }
    // The Brownian increment over both fine steps, in units of its own standard deviation.
    const double a = fine_dates[k - 1].serial() - fine_dates[k - 2].serial();
    const double b = fine_dates[k].serial() - fine_dates[k - 1].serial();
    const double wa = std::sqrt(a / (a + b)), wb = std::sqrt(b / (a + b));
    for (size_t i = 0; i < n; ++i)
      for (size_t p = 0; p < paths; ++p) joined(i, p) = wa * first_half(i, p) + wb * draws(i, p);
    coarse.propagate_state(coarse_states, coarse_previous, k / 2, joined, measure);
  }

  // Discount factors from the valuation date to the swap's dates on each path: discounting to the expiry times
  // the simulated bond from there.
  const std::vector<datetime>& swap_dates = swap.all_dates();
  auto payoffs = [&](const diffusion_ir_cheyette& rate, const matrix<double>& states) {
    vector<double> discount(paths), log_bond(paths);
    rate.discounting(discount, states, expiry);
    matrix<double> dfs(swap_dates.size(), paths);
    for (size_t j = 0; j < swap_dates.size(); ++j) {
      rate.log_df(log_bond, states, expiry, swap_dates[j]);
      for (size_t p = 0; p < paths; ++p) dfs(j, p) = discount[p] * std::exp(log_bond[p]);
    }
    vector<double> floating(paths), annuity(paths);
    swap.path_values(dfs, floating, annuity);
    const double sign = swaption.is_call() ? 1.0 : -1.0;
    matrix<double> out(swaption.size(), paths);
    for (size_t s = 0; s < swaption.size(); ++s)
      for (size_t p = 0; p < paths; ++p)
        out(s, p) = std::max(sign * (floating[p] - swaption.strikes()[s] * annuity[p]), 0.0);
    return out;
  };
  return {payoffs(fine, fine_states), payoffs(coarse, coarse_states)};
}

// A simulated price per strike with its standard error and the estimate of its Euler bias. With a control, a run
// on the same paths whose prices are known (`control_prices`), the price is the known one plus the mean path by
// path difference to the control: the noise that the two runs share drops out.
struct simulated_price {
  double price;
  double standard_error;
  double bias;
};

inline std::vector<simulated_price> simulated_prices(const euler_payoffs& run, const euler_payoffs* control = nullptr,
                                                     const std::vector<double>& control_prices = {}) {
  std::vector<simulated_price> out;
  for (size_t k = 0; k < run.fine.rows(); ++k) {
    simulation_test::sample estimate, bias;
    for (size_t p = 0; p < run.fine.columns(); ++p) {
      estimate.add(run.fine(k, p) - (control != nullptr ? control->fine(k, p) : 0.0));
      bias.add(run.coarse(k, p) - run.fine(k, p));
    }
    out.push_back({(control != nullptr ? control_prices[k] : 0.0) + estimate.mean(), estimate.standard_error(),
                   bias.mean()});
  }
  return out;
}

}  // namespace qavrek::cheyette_test
