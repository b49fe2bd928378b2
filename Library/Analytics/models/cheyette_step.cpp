// The Cheyette step over the paths runs on the widest vector instructions of the machine, chosen at run time;
// this file is compiled once per instruction set, without contraction, so that every set rounds alike.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "Analytics/models/cheyette_step.cpp"
#include <hwy/foreach_target.h>  // re-includes this file once per instruction set
#include <hwy/highway.h>

#ifndef QAVREK_ANALYTICS_CHEYETTE_STEP_SHARED
#define QAVREK_ANALYTICS_CHEYETTE_STEP_SHARED

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>
#include <vector>

#include "Analytics/models/cheyette_step.h"

namespace qavrek {
namespace cheyette_step_layout {

// The single pass over the paths holds a cache line of every row it touches at once: the rows of the states
// and of `previous` through the integral and the rows of the draws. Rows whose starts lie within a line of
// each other modulo 4 KB (a row length near a multiple of 4 KB, as with a power-of-two path count) fall into
// the same set of the first-level cache; when more of them share a set than it has ways (8, and a little
// slack), they evict each other's lines before the pass is done with them, and the step runs in passes of a
// few rows over blocks of paths instead.
inline bool rows_crowd_cache_sets(size_t factors, size_t paths) {
  constexpr size_t page = 4096;
  constexpr size_t line = 64;
  const size_t row_length = paths * sizeof(double) % page;
  const auto sharing_a_set = [&](size_t rows) {
    size_t count = 0;
    for (size_t r = 0; r < rows; ++r) {
      const size_t offset = r * row_length % page;
      if (offset < line || offset > page - line) ++count;
    }
    return count;
  };
  const size_t state_rows = factors * (factors + 2) + 1;
  return 2 * sharing_a_set(state_rows) + sharing_a_set(factors) > 10;
}

// Paths per block of the passes: a block's rows of the scratch stay in the first-level cache.
constexpr size_t block = 256;

// Scratch of a block: eta and theta of every factor and one drift row, `block` values each; on the stack up
// to 7 factors.
class block_scratch {
 public:
  explicit block_scratch(size_t factors) : factors_(factors) {
    const size_t size = (2 * factors + 1) * block;
    if (size > inline_.size()) heap_.resize(size);
    data_ = heap_.empty() ? inline_.data() : heap_.data();
  }
  block_scratch(const block_scratch&) = delete;
  block_scratch& operator=(const block_scratch&) = delete;

  double* eta(size_t f) { return data_ + f * block; }
  double* theta(size_t f) { return data_ + (factors_ + f) * block; }
  double* drift() { return data_ + 2 * factors_ * block; }

 private:
  size_t factors_;
  std::array<double, 15 * block> inline_;
  std::vector<double> heap_;
  double* data_;
};

}  // namespace cheyette_step_layout
}  // namespace qavrek

#endif  // QAVREK_ANALYTICS_CHEYETTE_STEP_SHARED

#include "Vectorization/over_lanes-inl.h"

HWY_BEFORE_NAMESPACE();
namespace qavrek {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;
using namespace cheyette_step_layout;

// ---------------------------------------------------------------------------------------------------------
// The formulas of one vector of paths, shared by the single pass and the passes over blocks.

// What the formulas of factor f read, and of the pair of factors f and g.
struct factor_constants {
  double sigma, nu, skew, inverse_skew, level, shift, rho, weight_end, weight_start, g_end, g_start, cap;
  factor_constants(const cheyette_step_coefficients& step, size_t f)
      : sigma(step.volatilities[f]),
        nu(step.integral_volatilities[f]),
        skew(step.skews[f]),
        inverse_skew(step.inverse_skews[f]),
        level(step.levels[f]),
        shift(step.shifts[f]),
        rho(step.correlations[f * step.factors + f]),
        weight_end(step.weights_end[f * step.factors + f]),
        weight_start(step.weights_start[f * step.factors + f]),
        g_end(step.decays_end[f]),
        g_start(step.decays_start[f]),
        cap(step.cap) {}
};

struct pair_constants {
  double rho, weight_end, weight_start;
  pair_constants(const cheyette_step_coefficients& step, size_t f, size_t g)
      : rho(step.correlations[f * step.factors + g]),
        weight_end(step.weights_end[f * step.factors + g]),
        weight_start(step.weights_start[f * step.factors + g]) {}
};

// eta = sigma M and theta = nu M with M = min(|1 + b (x + L y)|, cap) from the entry states; a zero skew takes
// sigma and nu as they are (M = 1, and 1 times them is the same number).
template <class D, class V = hn::Vec<D>>
HWY_INLINE void local_volatilities(D d, const factor_constants& c, V x, V y, V& eta, V& theta) {
  V multiplier = hn::Set(d, 1.0);
  if (c.skew != 0.0) {
    const V skewed = hn::Mul(hn::Set(d, c.skew), hn::Add(x, hn::Mul(hn::Set(d, c.level), y)));
    const V argument = hn::Abs(hn::Add(hn::Set(d, 1.0), skewed));
    const V cap = hn::Set(d, c.cap);
    multiplier = hn::IfThenElse(hn::Lt(cap, argument), cap, argument);  // as std::min(argument, cap)
  }
  eta = hn::Mul(hn::Set(d, c.sigma), multiplier);
  theta = hn::Mul(hn::Set(d, c.nu), multiplier);
}

// x_f and y_ff at the step's end and the integral's gain from them, given the entry values, the draw, the local
// volatilities and the drift.
template <class D, class V = hn::Vec<D>>
HWY_INLINE void move_factor(D d, const factor_constants& c, V x_start, V y_start, V z, V eta, V theta, V drift,
                            V& x_end, V& y_end, V& gain) {
  const V draw = hn::Sub(z, hn::Set(d, c.shift));
  y_end = hn::Add(y_start, hn::Mul(hn::Mul(hn::Set(d, c.rho), eta), eta));
  const V moved = hn::Sub(x_start, hn::Mul(eta, hn::Add(draw, drift)));
  // The clamp keeps 1 + b (x + L y) from turning negative, as std::max (b > 0) and std::min (b < 0) with the
  // moved x first: a NaN on either side leaves the moved x.
  x_end = moved;
  if (c.skew != 0.0) {
    const V bound = hn::Sub(hn::Mul(hn::Set(d, -c.level), y_end), hn::Set(d, c.inverse_skew));
    x_end = c.skew > 0.0 ? hn::IfThenElse(hn::Lt(moved, bound), bound, moved)
                         : hn::IfThenElse(hn::Lt(bound, moved), bound, moved);
  }
  gain = hn::Add(hn::Mul(hn::Mul(hn::Set(d, 0.5 * c.rho), theta), theta), hn::Mul(hn::Set(d, c.weight_end), y_end));
  gain = hn::Sub(gain, hn::Mul(hn::Set(d, c.weight_start), y_start));
  gain = hn::Add(gain, hn::Mul(theta, draw));
  gain = hn::Add(gain, hn::Mul(hn::Set(d, c.g_end), x_end));
  gain = hn::Sub(gain, hn::Mul(hn::Set(d, c.g_start), x_start));
}

// y_fg and y_gf (g > f) at the step's end and the integral's gain from them.
template <class D, class V = hn::Vec<D>>
HWY_INLINE void move_covariances(D d, const pair_constants& c, V fg_start, V gf_start, V eta_f, V eta_g, V theta_f,
                                 V theta_g, V& fg_end, V& gf_end, V& gain) {
  const V correlation = hn::Set(d, c.rho);
  const V increment = hn::Mul(hn::Mul(correlation, eta_f), eta_g);
  fg_end = hn::Add(fg_start, increment);
  gf_end = hn::Add(gf_start, increment);
  gain = hn::Add(hn::Mul(hn::Mul(correlation, theta_f), theta_g),
                 hn::Mul(hn::Set(d, c.weight_end), hn::Add(fg_end, gf_end)));
  gain = hn::Sub(gain, hn::Mul(hn::Set(d, c.weight_start), hn::Add(fg_start, gf_start)));
}

// Where the rows of the states, `previous` and the draws start, from path `begin` on.
struct step_rows {
  double* states;
  double* previous;
  const double* draws;
  size_t paths;
  size_t begin;
  double* state(size_t r) const { return states + r * paths + begin; }
  double* old(size_t r) const { return previous + r * paths + begin; }
  const double* draw(size_t f) const { return draws + f * paths + begin; }
};

// ---------------------------------------------------------------------------------------------------------
// The single pass: every state row read once and written once per vector of paths, the old values copied to
// `previous` as they are read, the local volatilities and the integral in registers. For 1 to 3 factors, a
// count known at compile time, so that the loops over the factors unroll and the coefficients are copied into
// the step's own frame, where no store to the states can reach them.

#if !HWY_HAVE_SCALABLE  // the local volatilities are held in arrays of vectors, which need a known size

template <size_t kFactors>
struct single_pass_tables {
  static constexpr size_t kRows = kFactors * (kFactors + 2) + 1;  // through the integral

  single_pass_tables(const cheyette_step_coefficients& step, const step_rows& rows)
      : factors(make<factor_constants, kFactors>([&](size_t k) { return factor_constants(step, k); })),
        pairs(make<pair_constants, kFactors * kFactors>(
            [&](size_t k) { return pair_constants(step, k / kFactors, k % kFactors); })),
        states(make<double*, kRows>([&](size_t r) { return rows.state(r); })),
        previous(make<double*, kRows>([&](size_t r) { return rows.old(r); })),
        draws(make<const double*, kFactors>([&](size_t f) { return rows.draw(f); })) {}

  template <class T, size_t kCount, class Make>
  static std::array<T, kCount> make(const Make& value) {
    return make<T>(value, std::make_index_sequence<kCount>());
  }
  template <class T, class Make, size_t... k>
  static std::array<T, sizeof...(k)> make(const Make& value, std::index_sequence<k...>) {
    return {value(k)...};
  }

  std::array<factor_constants, kFactors> factors;
  std::array<pair_constants, kFactors * kFactors> pairs;
  std::array<double*, kRows> states, previous;
  std::array<const double*, kFactors> draws;
};

// One vector of paths; the factors are template arguments, so that every index below is a constant.
template <size_t kFactors, class D>
class single_pass_lanes {
 public:
  using V = hn::Vec<D>;

  single_pass_lanes(D d, const single_pass_tables<kFactors>& tables, size_t p) : d_(d), t_(tables), p_(p) {}

  HWY_INLINE void run() {
    // Every factor's drift reads the thetas of all factors: the local volatilities come first.
    volatilities<0>();
    sum_ = load(t_.states, integral_row);
    store(sum_, t_.previous, integral_row);
    factors<0>();
    store(sum_, t_.states, integral_row);
  }

 private:
  static constexpr size_t n = kFactors;
  static constexpr size_t volatility_row = n * (n + 1);
  static constexpr size_t integral_row = n * (n + 2);
  static constexpr size_t y_row(size_t f, size_t g) { return n * (1 + f) + g; }

  template <class Rows>
  HWY_INLINE V load(const Rows& rows, size_t r) const {
    return hn::LoadU(d_, rows[r] + p_);
  }
  template <class Rows>
  HWY_INLINE void store(V value, const Rows& rows, size_t r) const {
    hn::StoreU(value, d_, rows[r] + p_);
  }

  template <size_t f>
  HWY_INLINE void volatilities() {
    if constexpr (f < n) {
      local_volatilities(d_, t_.factors[f], load(t_.states, f), load(t_.states, y_row(f, f)), eta_[f], theta_[f]);
      store(eta_[f], t_.states, volatility_row + f);
      store(theta_[f], t_.previous, volatility_row + f);
      volatilities<f + 1>();
    }
  }

  // sum_g rho_fg theta_g, g in order.
  template <size_t f, size_t g = 0>
  HWY_INLINE V drift(V partial) const {
    if constexpr (g == n) {
      return partial;
    } else {
      const V term = hn::Mul(hn::Set(d_, t_.pairs[f * n + g].rho), theta_[g]);
      return drift<f, g + 1>(g == 0 ? term : hn::Add(partial, term));
    }
  }

  template <size_t f>
  HWY_INLINE void factors() {
    if constexpr (f < n) {
      const V x_start = load(t_.states, f);
      const V y_start = load(t_.states, y_row(f, f));
      store(x_start, t_.previous, f);
      store(y_start, t_.previous, y_row(f, f));
      V x_end, y_end, gain;
      move_factor(d_, t_.factors[f], x_start, y_start, load(t_.draws, f), eta_[f], theta_[f],
                  drift<f>(hn::Zero(d_)), x_end, y_end, gain);
      store(x_end, t_.states, f);
      store(y_end, t_.states, y_row(f, f));
      sum_ = hn::Add(sum_, gain);
      covariances<f, f + 1>();
      factors<f + 1>();
    }
  }

  template <size_t f, size_t g>
  HWY_INLINE void covariances() {
    if constexpr (g < n) {
      const V fg_start = load(t_.states, y_row(f, g));
      const V gf_start = load(t_.states, y_row(g, f));
      store(fg_start, t_.previous, y_row(f, g));
      store(gf_start, t_.previous, y_row(g, f));
      V fg_end, gf_end, gain;
      move_covariances(d_, t_.pairs[f * n + g], fg_start, gf_start, eta_[f], eta_[g], theta_[f], theta_[g], fg_end,
                       gf_end, gain);
      store(fg_end, t_.states, y_row(f, g));
      store(gf_end, t_.states, y_row(g, f));
      sum_ = hn::Add(sum_, gain);
      covariances<f, g + 1>();
    }
  }

  D d_;
  const single_pass_tables<kFactors>& t_;
  size_t p_;
  V eta_[kFactors];
  V theta_[kFactors];
  V sum_;
};

template <size_t kFactors>
struct single_pass {
  const single_pass_tables<kFactors>& tables;
  template <class D>
  HWY_INLINE void operator()(D d, size_t p) const {
    single_pass_lanes<kFactors, D>(d, tables, p).run();
  }
};

template <size_t kFactors>
void step_in_one_pass(const cheyette_step_coefficients& step, const step_rows& rows) {
  const single_pass_tables<kFactors> tables(step, rows);
  over_lanes(rows.paths, single_pass<kFactors>{tables});
}

#endif  // !HWY_HAVE_SCALABLE

// ---------------------------------------------------------------------------------------------------------
// The passes over blocks of paths, each over a few rows of the states: the local volatilities and a drift go
// through a scratch that stays in the first-level cache.

struct copy_pass {
  const double* HWY_RESTRICT from;
  double* HWY_RESTRICT to;
  template <class D>
  HWY_INLINE void operator()(D d, size_t i) const {
    hn::StoreU(hn::LoadU(d, from + i), d, to + i);
  }
};

struct local_volatility_pass {
  factor_constants c;
  const double* HWY_RESTRICT x;
  const double* HWY_RESTRICT y;
  double* HWY_RESTRICT eta_row;
  double* HWY_RESTRICT theta_row;
  double* HWY_RESTRICT eta_scratch;
  double* HWY_RESTRICT theta_scratch;
  template <class D>
  HWY_INLINE void operator()(D d, size_t i) const {
    hn::Vec<D> eta, theta;
    local_volatilities(d, c, hn::LoadU(d, x + i), hn::LoadU(d, y + i), eta, theta);
    hn::StoreU(eta, d, eta_row + i);
    hn::StoreU(eta, d, eta_scratch + i);
    hn::StoreU(theta, d, theta_row + i);
    hn::StoreU(theta, d, theta_scratch + i);
  }
};

// drift = rho theta_g for the first g, drift + rho theta_g after it.
struct drift_pass {
  double rho;
  bool first;
  const double* HWY_RESTRICT theta;
  double* HWY_RESTRICT drift;
  template <class D>
  HWY_INLINE void operator()(D d, size_t i) const {
    const auto term = hn::Mul(hn::Set(d, rho), hn::LoadU(d, theta + i));
    hn::StoreU(first ? term : hn::Add(hn::LoadU(d, drift + i), term), d, drift + i);
  }
};

struct move_factor_pass {
  factor_constants c;
  const double* HWY_RESTRICT z;
  const double* HWY_RESTRICT eta;
  const double* HWY_RESTRICT theta;
  const double* HWY_RESTRICT drift;
  double* HWY_RESTRICT x;
  double* HWY_RESTRICT x_old;
  double* HWY_RESTRICT y;
  double* HWY_RESTRICT y_old;
  double* HWY_RESTRICT integral;
  template <class D>
  HWY_INLINE void operator()(D d, size_t i) const {
    const auto x_start = hn::LoadU(d, x + i);
    const auto y_start = hn::LoadU(d, y + i);
    hn::StoreU(x_start, d, x_old + i);
    hn::StoreU(y_start, d, y_old + i);
    hn::Vec<D> x_end, y_end, gain;
    move_factor(d, c, x_start, y_start, hn::LoadU(d, z + i), hn::LoadU(d, eta + i), hn::LoadU(d, theta + i),
                hn::LoadU(d, drift + i), x_end, y_end, gain);
    hn::StoreU(x_end, d, x + i);
    hn::StoreU(y_end, d, y + i);
    hn::StoreU(hn::Add(hn::LoadU(d, integral + i), gain), d, integral + i);
  }
};

struct move_covariance_pass {
  pair_constants c;
  const double* HWY_RESTRICT eta_f;
  const double* HWY_RESTRICT eta_g;
  const double* HWY_RESTRICT theta_f;
  const double* HWY_RESTRICT theta_g;
  double* HWY_RESTRICT y_fg;
  double* HWY_RESTRICT y_fg_old;
  double* HWY_RESTRICT y_gf;
  double* HWY_RESTRICT y_gf_old;
  double* HWY_RESTRICT integral;
  template <class D>
  HWY_INLINE void operator()(D d, size_t i) const {
    const auto fg_start = hn::LoadU(d, y_fg + i);
    const auto gf_start = hn::LoadU(d, y_gf + i);
    hn::StoreU(fg_start, d, y_fg_old + i);
    hn::StoreU(gf_start, d, y_gf_old + i);
    hn::Vec<D> fg_end, gf_end, gain;
    move_covariances(d, c, fg_start, gf_start, hn::LoadU(d, eta_f + i), hn::LoadU(d, eta_g + i),
                     hn::LoadU(d, theta_f + i), hn::LoadU(d, theta_g + i), fg_end, gf_end, gain);
    hn::StoreU(fg_end, d, y_fg + i);
    hn::StoreU(gf_end, d, y_gf + i);
    hn::StoreU(hn::Add(hn::LoadU(d, integral + i), gain), d, integral + i);
  }
};

void step_in_blocks(const cheyette_step_coefficients& step, double* states, double* previous, const double* draws,
                    size_t paths) {
  const size_t n = step.factors;
  const size_t volatility_row = n * (n + 1);
  const size_t integral_row = n * (n + 2);
  const auto y_row = [n](size_t f, size_t g) { return n * (1 + f) + g; };
  block_scratch scratch(n);
  for (size_t begin = 0; begin < paths; begin += block) {
    const size_t count = std::min(block, paths - begin);
    const step_rows rows{states, previous, draws, paths, begin};
    double* integral = rows.state(integral_row);
    over_lanes(count, copy_pass{integral, rows.old(integral_row)});
    for (size_t f = 0; f < n; ++f)
      over_lanes(count, local_volatility_pass{factor_constants(step, f), rows.state(f), rows.state(y_row(f, f)),
                                              rows.state(volatility_row + f), rows.old(volatility_row + f),
                                              scratch.eta(f), scratch.theta(f)});
    for (size_t f = 0; f < n; ++f) {
      for (size_t g = 0; g < n; ++g)
        over_lanes(count, drift_pass{step.correlations[f * n + g], g == 0, scratch.theta(g), scratch.drift()});
      over_lanes(count, move_factor_pass{factor_constants(step, f), rows.draw(f), scratch.eta(f), scratch.theta(f),
                                         scratch.drift(), rows.state(f), rows.old(f), rows.state(y_row(f, f)),
                                         rows.old(y_row(f, f)), integral});
      for (size_t g = f + 1; g < n; ++g)
        over_lanes(count, move_covariance_pass{pair_constants(step, f, g), scratch.eta(f), scratch.eta(g),
                                               scratch.theta(f), scratch.theta(g), rows.state(y_row(f, g)),
                                               rows.old(y_row(f, g)), rows.state(y_row(g, f)), rows.old(y_row(g, f)),
                                               integral});
    }
  }
}

void step_cheyette_paths(const cheyette_step_coefficients& step, const double* draws, double* previous,
                         double* states, size_t paths) {
#if !HWY_HAVE_SCALABLE
  if (!rows_crowd_cache_sets(step.factors, paths)) {
    const step_rows rows{states, previous, draws, paths, 0};
    switch (step.factors) {
      case 1:
        return step_in_one_pass<1>(step, rows);
      case 2:
        return step_in_one_pass<2>(step, rows);
      case 3:
        return step_in_one_pass<3>(step, rows);
      default:
        break;
    }
  }
#endif
  step_in_blocks(step, states, previous, draws, paths);
}

}  // namespace HWY_NAMESPACE
}  // namespace qavrek
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace qavrek {

HWY_EXPORT(step_cheyette_paths);

void cheyette_step(const cheyette_step_coefficients& step, const double* draws, double* previous, double* states,
                   size_t paths) {
  HWY_DYNAMIC_DISPATCH(step_cheyette_paths)(step, draws, previous, states, paths);
}

}  // namespace qavrek
#endif  // HWY_ONCE
