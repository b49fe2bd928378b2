#include "Math/karhunen_loeve_expansion.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

#include "Core/check.h"

namespace qavrek {
namespace {

// (e^z - 1) / z, 1 + z / 2 where the quotient would lose its digits.
double phi(double z) { return std::abs(z) < std::numeric_limits<double>::epsilon() ? 1.0 + 0.5 * z : std::expm1(z) / z; }

// Grid of y. Each step interpolates once, so the interpolation errors add up over the steps: the spacing
// follows the fourth root of the time step (the cubic's error goes as the spacing^4), which keeps their sum
// near 1e-7 over 5 years whatever the step (a spacing of 1/49 at 10 days), and never exceeds 1/32, a
// fraction of the rate's relative scale. The grid reaches 8 standard deviations of the factor beyond the
// paths' means (a tail of 1e-15) and never exceeds a size that a wild factor value would make unaffordable.
double grid_spacing(double time_step) { return std::min(1.0 / 32.0, 0.05 * std::sqrt(std::sqrt(time_step))); }
constexpr double grid_reach = 8.0;
constexpr double grid_padding = 4.0;  // points beyond the reach, for the interpolation stencil
constexpr size_t max_grid_points = size_t(1) << 14;

// Far beyond any horizon and step a model would use; it keeps a tiny step from exhausting memory.
constexpr size_t max_steps = 1'000'000;

void check_times(std::span<const double> values, std::span<const double> times, const char* what) {
  QAVREK_CHECK(!values.empty() && values.size() == times.size(), "the ", what, " need one time per value and at least one value, not ",
               values.size(), " values and ", times.size(), " times");
  for (size_t k = 0; k < times.size(); ++k) {
    QAVREK_CHECK(std::isfinite(values[k]) && std::isfinite(times[k]), "the ", what, " value and time ", k,
                 " must be finite, not ", values[k], " at ", times[k]);
    QAVREK_CHECK(k == 0 || times[k - 1] < times[k], "the ", what, " times must increase: ", times[k - 1], " then ",
                 times[k]);
  }
}

// Cubic Lagrange interpolation of values[0 .. size) at a fractional index, clamped to the grid (size >= 4).
inline double interpolate(const double* values, size_t size, double position) {
  const double last = static_cast<double>(size - 1);
  position = std::clamp(position, 0.0, last);
  const double cell = std::clamp(std::floor(position), 1.0, last - 2.0);
  const double f = position - cell;
  const double* v = values + static_cast<size_t>(cell) - 1;
  const double fm = f - 1.0;
  const double fm2 = f - 2.0;
  const double fp = f + 1.0;
  return (-f * fm * fm2 * v[0] + fp * fm * fm2 * 3.0 * v[1] - fp * f * fm2 * 3.0 * v[2] + fp * f * fm * v[3]) / 6.0;
}

// The value of a piecewise-constant parameter on the interval that ends at s: (times[k - 1], times[k]].
size_t interval_ending_at(std::span<const double> times, double s) {
  const auto at = std::lower_bound(times.begin(), times.end(), s);
  return std::min(size_t(at - times.begin()), times.size() - 1);
}

}  // namespace

karhunen_loeve_expansion::karhunen_loeve_expansion(double t, double T, double mean_reversion,
                                                   std::span<const double> levels, std::span<const double> level_times,
                                                   std::span<const double> squared_volatilities,
                                                   std::span<const double> volatility_times, double time_step)
    : karhunen_loeve_expansion(t, T, decay_type::mean_reversion, std::span<const double>(&mean_reversion, 1),
                               std::span<const double>(&t, 1), levels, level_times, squared_volatilities,
                               volatility_times, time_step) {}

karhunen_loeve_expansion::karhunen_loeve_expansion(double t, double T, decay_type type, std::span<const double> decays,
                                                   std::span<const double> decay_times, std::span<const double> levels,
                                                   std::span<const double> level_times,
                                                   std::span<const double> squared_volatilities,
                                                   std::span<const double> volatility_times, double time_step)
    : loading_(type == decay_type::loading) {
  QAVREK_CHECK(std::isfinite(t) && std::isfinite(T) && t <= T, "the price runs from t to T, t <= T, not from ", t,
               " to ", T);
  QAVREK_CHECK(std::isfinite(time_step) && time_step > 0.0, "the time step must be positive, not ", time_step);
  check_times(decays, decay_times, "decays");
  check_times(levels, level_times, "levels");
  check_times(squared_volatilities, volatility_times, "squared volatilities");
  for (size_t k = 0; k < squared_volatilities.size(); ++k)
    QAVREK_CHECK(squared_volatilities[k] >= 0.0, "squared volatility ", k, " is negative: ", squared_volatilities[k]);
  time_step_ = time_step;
  if (t == T) return;

  // The pieces between t, T and the level, volatility and decay times inside (t, T); a decay time where the
  // decay does not change cuts nothing.
  std::vector<double> cuts{t, T};
  for (const auto& times : {level_times, volatility_times})
    for (double time : times)
      if (t < time && time < T) cuts.push_back(time);
  for (size_t k = 0; k + 1 < decays.size(); ++k)
    if (decays[k] != decays[k + 1] && t < decay_times[k] && decay_times[k] < T) cuts.push_back(decay_times[k]);
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());

  std::vector<size_t> pieces(cuts.size() - 1);
  size_t total = 0;
  for (size_t p = 0; p + 1 < cuts.size(); ++p) {
    // A piece a hair longer than whole steps (rounding of year fractions) takes no extra step.
    const double count = std::ceil((cuts[p + 1] - cuts[p]) / time_step - 1e-9);
    QAVREK_CHECK(count <= double(max_steps - total), "a time step of ", time_step, " cuts [", t, ", ", T,
                 "] into more than ", max_steps, " steps");
    pieces[p] = std::max<size_t>(1, static_cast<size_t>(count));
    total += pieces[p];
  }
  steps_.reserve(total);

  // Inside a piece the loading is that of the interval ending at the piece's end; at the piece's start it is the
  // previous piece's. The state is x times the largest of their sizes, so that |c|, |e| <= 1.
  const auto loading_at = [&](double s) { return decays[interval_ending_at(decay_times, s)]; };
  if (loading_) {
    scale_ = std::abs(loading_at(t));
    for (size_t p = 1; p < cuts.size(); ++p) scale_ = std::max(scale_, std::abs(loading_at(cuts[p])));
    if (scale_ == 0.0) scale_ = 1.0;
  }

  double mean_decay = 1.0;
  double variance = 0.0;
  for (size_t p = 0; p < pieces.size(); ++p) {
    const double a = cuts[p];
    const double b = cuts[p + 1];
    const size_t m = pieces[p];
    for (size_t j = 0; j < m; ++j) {
      const double start = j == 0 ? a : a + (b - a) * double(j) / double(m);
      const double end = j + 1 == m ? b : a + (b - a) * double(j + 1) / double(m);
      const double h = end - start;
      // The level of the last level time not after the start; the volatility and decay of the intervals that
      // end at the step's end.
      const auto level_at = std::upper_bound(level_times.begin(), level_times.end(), start);
      const size_t level = level_at == level_times.begin() ? 0 : size_t(level_at - level_times.begin()) - 1;
      const double squared_volatility = squared_volatilities[interval_ending_at(volatility_times, end)];
      const double log_half_rate = std::log(0.5 * h) + levels[level];

      step next;
      double step_variance;
      if (loading_) {
        step_variance = scale_ * scale_ * squared_volatility * h;
        next = {log_half_rate, 1.0, std::sqrt(step_variance), loading_at(start) / scale_, loading_at(end) / scale_};
      } else {
        const double kappa = decays[interval_ending_at(decay_times, end)];
        step_variance = squared_volatility * h * phi(-2.0 * kappa * h);
        next = {log_half_rate, std::exp(-kappa * h), std::sqrt(step_variance), 1.0, 1.0};
      }
      steps_.push_back(next);

      mean_decay *= next.decay;
      variance = variance * next.decay * next.decay + step_variance;
      smallest_decay_ = std::min(smallest_decay_, mean_decay);
      largest_decay_ = std::max(largest_decay_, mean_decay);
      largest_deviation_ = std::max(largest_deviation_, std::sqrt(variance));
    }
  }
}

void karhunen_loeve_expansion::survival_probability(const vector<double>& x, double decay, const vector<double>& roots,
                                                    const vector<double>& weights, vector<double>& out) const {
  QAVREK_CHECK(out.size() == x.size(), "the prices have ", out.size(), " entries for ", x.size(), " factor values");
  QAVREK_CHECK(!roots.empty() && roots.size() == weights.size(), "the rule needs as many weights as roots, at least one, not ",
               roots.size(), " roots and ", weights.size(), " weights");
  QAVREK_CHECK(std::isfinite(decay), "the decay must be finite, not ", decay);
  if (x.empty()) return;
  if (steps_.empty()) {
    out.fill(1.0);
    return;
  }

  // The paths start from z(t) = scale x, and the log rate at t is the first step's log_half_rate plus
  // loading_at_t z(t).
  const double scale = initial_scale(decay);
  const double loading_at_t = initial_loading(decay);
  double lowest = std::numeric_limits<double>::infinity();
  double highest = -lowest;
  for (size_t j = 0; j < x.size(); ++j) {
    QAVREK_CHECK(std::isfinite(x[j]), "factor value ", j, " is not finite: ", x[j]);
    lowest = std::min(lowest, scale * x[j]);
    highest = std::max(highest, scale * x[j]);
  }
  if (largest_deviation_ == 0.0) {
    deterministic_prices(x, decay, out);
    return;
  }
  // The paths' means (the product of the steps' m times z(t)) stay between these bounds.
  const double mean_low = std::min({lowest, lowest * smallest_decay_, lowest * largest_decay_});
  const double mean_high = std::max({highest, highest * smallest_decay_, highest * largest_decay_});
  const double reach = grid_reach * largest_deviation_;
  QAVREK_CHECK(std::isfinite(mean_high - mean_low + 2.0 * reach), "the paths from factor values in [", lowest, ", ",
               highest, "] reach beyond the doubles: the decays or deviations over the expansion overflow");
  double spacing = grid_spacing(time_step_);
  if ((mean_high - mean_low + 2.0 * reach) / spacing + 2.0 * grid_padding + 1.0 > double(max_grid_points))
    spacing = (mean_high - mean_low + 2.0 * reach) / double(max_grid_points - 2 * size_t(grid_padding) - 2);
  // Grid points are whole multiples of the spacing, so z = 0 is one of them when it is in range.
  const double first = std::floor((mean_low - reach) / spacing) - grid_padding;
  const double last = std::ceil((mean_high + reach) / spacing) + grid_padding;
  const size_t size = static_cast<size_t>(last - first) + 1;

  std::vector<double> value(size, 1.0);
  std::vector<double> discounted(size);
  std::vector<double> end_kill(size);
  std::vector<double> start_kill_values(loading_ ? size : 0);
  std::vector<double> shifts(roots.size());
  double total_weight = 0.0;
  for (size_t k = 0; k < weights.size(); ++k) total_weight += weights[k];

  for (auto s = steps_.rbegin(); s != steps_.rend(); ++s) {
    for (size_t j = 0; j < size; ++j) {
      end_kill[j] = std::exp(-std::exp(s->log_half_rate + s->end_loading * ((first + double(j)) * spacing)));
      discounted[j] = end_kill[j] * value[j];
    }
    // The log rate at the step's start has its own loading only where the loading jumps there.
    const double start_loading = std::next(s) == steps_.rend() ? loading_at_t : s->start_loading;
    const double* kill = end_kill.data();
    if (start_loading != s->end_loading) {
      for (size_t j = 0; j < size; ++j)
        start_kill_values[j] = std::exp(-std::exp(s->log_half_rate + start_loading * ((first + double(j)) * spacing)));
      kill = start_kill_values.data();
    }
    // Grid point j moves to fractional index (first + j) m - first, plus the innovation's shift.
    const double* w = discounted.data();
    if (s->deviation == 0.0) {
      for (size_t j = 0; j < size; ++j)
        value[j] = kill[j] * total_weight * interpolate(w, size, (first + double(j)) * s->decay - first);
      continue;
    }
    for (size_t k = 0; k < roots.size(); ++k) shifts[k] = s->deviation * roots[k] / spacing;
    for (size_t j = 0; j < size; ++j) {
      const double centre = (first + double(j)) * s->decay - first;
      double expectation = 0.0;
      for (size_t k = 0; k < shifts.size(); ++k) expectation += weights[k] * interpolate(w, size, centre + shifts[k]);
      value[j] = kill[j] * expectation;
    }
  }

  for (size_t j = 0; j < x.size(); ++j) {
    const double price = interpolate(value.data(), size, scale * x[j] / spacing - first);
    out[j] = std::clamp(price, std::numeric_limits<double>::min(), 1.0);
  }
}

void karhunen_loeve_expansion::deterministic_prices(const vector<double>& x, double decay, vector<double>& out) const {
  const double scale = initial_scale(decay);
  for (size_t j = 0; j < x.size(); ++j) {
    double z = scale * x[j];
    double integral = 0.0;
    for (size_t i = 0; i < steps_.size(); ++i) {
      const step& s = steps_[i];
      const double next = z * s.decay;
      const double start_loading = i == 0 ? initial_loading(decay) : s.start_loading;
      integral += std::exp(s.log_half_rate + start_loading * z) + std::exp(s.log_half_rate + s.end_loading * next);
      z = next;
    }
    out[j] = std::max(std::exp(-integral), std::numeric_limits<double>::min());
  }
}

}  // namespace qavrek
