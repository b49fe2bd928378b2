#pragma once

// What the Black-Karasinski tests share: dates counted in days from one valuation date, parameter sets in
// ACT/365F (a year fraction is days / 365), the model's rate in closed form, and a Monte Carlo of the exact
// Ornstein-Uhlenbeck factor on daily steps.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "Analytics/parameters/parameter_black_karasinski.h"
#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Vectorization/matrix.h"
#include "simulation_test_support.h"

namespace qavrek::black_karasinski_test {

inline datetime valuation() { return datetime(2024, 1, 15); }
inline datetime day(int days) { return datetime(valuation().serial() + days); }
inline double years(const datetime& date) { return (date.serial() - valuation().serial()) / 365.0; }

// The piecewise inputs of a Black-Karasinski set, dates in days from the valuation date.
struct set_up {
  double mean_reversion;
  std::vector<double> volatilities;  // one per volatility date: (d_{k-1}, d_k], the last after the last
  std::vector<int> volatility_days;
  std::vector<double> levels;  // one per level date: from it on, the first also before it
  std::vector<int> level_days;
  short time_step_in_days = 10;
  short number_of_roots = 8;
  parameter_markovian_hjm_type type = parameter_markovian_hjm_type::HULL_WHITE;
  std::vector<double> decays = {};  // several HJM decay rows (one per volatility date) instead of one

  // The level in force on day d, and the volatility of the day that ends on day d.
  double level_on(int d) const {
    size_t k = 0;
    for (size_t i = 0; i < level_days.size(); ++i)
      if (level_days[i] <= d) k = i;
    return levels[k];
  }
  double volatility_until(int d) const {
    for (size_t i = 0; i < volatility_days.size(); ++i)
      if (d <= volatility_days[i]) return volatilities[i];
    return volatilities.back();
  }
  // The decay row of the day that ends on day d (the decay rows share the volatility dates).
  double decay_until(int d) const {
    if (decays.empty()) return mean_reversion;
    for (size_t i = 0; i < volatility_days.size(); ++i)
      if (d <= volatility_days[i]) return decays[i];
    return decays.back();
  }

  ptr_mutable<parameter_black_karasinski> parameter() const {
    std::vector<datetime> volatility_dates, level_dates;
    for (int d : volatility_days) volatility_dates.push_back(day(d));
    for (int d : level_days) level_dates.push_back(day(d));
    matrix<double> volatility_rows(volatilities.size(), 1);
    for (size_t i = 0; i < volatilities.size(); ++i) volatility_rows(i, 0) = volatilities[i];
    matrix<double> decay_rows(decays.empty() ? 1 : decays.size(), 1);
    for (size_t i = 0; i < decay_rows.rows(); ++i) decay_rows(i, 0) = decays.empty() ? mean_reversion : decays[i];
    const std::vector<datetime> decay_dates =
        decays.empty() ? std::vector<datetime>{volatility_dates.back()} : volatility_dates;
    auto hjm = std::make_shared<parameter_markovian_hjm>(decay_rows, volatility_rows, matrix<double>{{1.0}},
                                                         decay_dates, volatility_dates,
                                                         std::make_shared<const day_count_convention>(), type);
    return std::make_shared<parameter_black_karasinski>(hjm, levels, level_dates, time_step_in_days, number_of_roots);
  }
};

// Volatilities change at 2 and 10 years, levels at 1, 3 and 6 years.
inline set_up piecewise_rate() {
  return {0.1, {0.35, 0.25}, {730, 3650}, {std::log(0.02), std::log(0.025), std::log(0.03), std::log(0.035)},
          {0, 365, 1095, 2190}};
}

// A default intensity: high volatility, faster reversion.
inline set_up credit_intensity() { return {0.4, {0.9, 0.7}, {1095, 3650}, {std::log(0.015), std::log(0.025)}, {0, 1460}}; }

// Integral of sigma(u)^2 e^{c u} over [from, to] (years), sigma piecewise on the volatility days.
inline double weighted_variance(const set_up& s, double from, double to, double c) {
  const auto primitive = [c](double u) { return c == 0.0 ? u : std::exp(c * u) / c; };
  double sum = 0.0;
  double a = from;
  for (size_t k = 0; k <= s.volatility_days.size() && a < to; ++k) {
    const double end = k < s.volatility_days.size() ? std::min(to, s.volatility_days[k] / 365.0) : to;
    if (end <= a) continue;
    const double sigma = k < s.volatility_days.size() ? s.volatilities[k] : s.volatilities.back();
    sum += sigma * sigma * (primitive(end) - primitive(a));
    a = end;
  }
  return sum;
}

using simulation_test::sample;

// E[exp(-integral of r over [start, start + horizons[h] days])] for r = exp(level + y) and y starting at
// y0, simulated exactly from day to day with the trapezoid over each day; one sample per horizon from the same
// paths. HULL_WHITE: y_{k+1} = e^{-kappa_k / 365} y_k + d_k Z with the day's mean reversion kappa_k.
// PICEWISE_CONSTANT: y = D x with D the day's decay row (the row of the interval that ends on that day) and
// x_{k+1} = x_k + sigma_k sqrt(1 / 365) Z, so that y jumps where D does.
inline std::vector<sample> monte_carlo_prices(const set_up& s, int start_day, double y0, const std::vector<int>& horizons,
                                              size_t paths, unsigned seed) {
  const int last = *std::max_element(horizons.begin(), horizons.end());
  const double h = 1.0 / 365.0;
  const bool hull_white = s.type == parameter_markovian_hjm_type::HULL_WHITE;
  // Per day k the state z (y, or x) moves as z -> decay[k] z + deviation[k] Z; the log rate at the start of
  // day k is level[k] + loading[k] z.
  std::vector<double> decay(last), deviation(last), level(last), level_change(last, 1.0), loading(last + 1, 1.0);
  for (int k = 0; k < last; ++k) {
    const double sigma = s.volatility_until(start_day + k + 1);
    if (hull_white) {
      const double kappa = s.decay_until(start_day + k + 1);
      decay[k] = std::exp(-kappa * h);
      deviation[k] = sigma * (kappa == 0.0 ? std::sqrt(h) : std::sqrt(-std::expm1(-2.0 * kappa * h) / (2.0 * kappa)));
    } else {
      decay[k] = 1.0;
      deviation[k] = sigma * std::sqrt(h);
    }
    level[k] = s.level_on(start_day + k);
    if (k > 0) level_change[k - 1] = std::exp(level[k] - level[k - 1]);
  }
  if (!hull_white)
    for (int k = 0; k <= last; ++k) loading[k] = s.decay_until(start_day + k);
  const double z0 = y0 / loading[0];
  // Box-Muller pairs: the daily steps make the draws the test's main cost.
  std::mt19937_64 generator(seed);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  double spare = 0.0;
  bool has_spare = false;
  const auto normal = [&] {
    if (has_spare) {
      has_spare = false;
      return spare;
    }
    const double radius = std::sqrt(-2.0 * std::log(1.0 - uniform(generator)));
    const double angle = 2.0 * std::numbers::pi * uniform(generator);
    spare = radius * std::sin(angle);
    has_spare = true;
    return radius * std::cos(angle);
  };
  std::vector<sample> result(horizons.size());
  for (size_t p = 0; p < paths; ++p) {
    double z = z0, integral = 0.0;
    double rate = std::exp(level[0] + loading[0] * z);  // at the start of day k, with day k's level
    for (int k = 0; k < last; ++k) {
      const double after = decay[k] * z + deviation[k] * normal();
      const double rate_after = std::exp(level[k] + loading[k + 1] * after);
      integral += 0.5 * h * (rate + rate_after);
      rate = rate_after * level_change[k];
      z = after;
      for (size_t i = 0; i < horizons.size(); ++i)
        if (horizons[i] == k + 1) result[i].add(std::exp(-integral));
    }
  }
  return result;
}

}  // namespace qavrek::black_karasinski_test
