#pragma once

// What the tests of the HJM CMS spread option share: spread options on the swaption tests' market curve,
// the exact spread of the model in a Gaussian state, and quadratures of the exact pay-off under the
// expiry's forward measure (one factor: adaptive Gauss-Kronrod between the exercise boundaries; two
// factors: Gauss-Hermite across, the same adaptive rule along the second factor).

#include <boost/math/quadrature/gauss_kronrod.hpp>
#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "Analytics/calibration/ir/hjm/calibration_ir_hjm_spread_option.h"
#include "Analytics/tests/hjm_swaption_test_support.h"
#include "Core/check.h"
#include "Math/normal_distribution.h"
#include "Util/bachelier.h"

namespace qavrek::hjm_spread_option_test {

using namespace hjm_swaption_test;

struct spread_case {
  std::string expiry;
  std::string long_length;
  std::string short_length;
  std::string frequency;
  double long_weight = 1.0;
  double short_weight = 1.0;
};

inline std::string describe(const spread_case& c) {
  return c.expiry + " " + c.long_length + "-" + c.short_length + " every " + c.frequency + " (" +
         std::to_string(c.long_weight) + ", " + std::to_string(c.short_weight) + ")";
}

// The option on the spread that case c fixes `c.expiry` after the valuation date.
inline calibration_ir_hjm_spread_option spread_option(const spread_case& c, bool use_forward_measure = true) {
  const datetime start = after(valuation(), c.expiry);
  return calibration_ir_hjm_spread_option(market_curve(), start, after(start, c.long_length),
                                          after(start, c.short_length), tenor(c.frequency), act_365f(), c.long_weight,
                                          c.short_weight, use_forward_measure);
}

// The spread w_l S_l(y) - w_s S_s(y) in the state y (one entry per factor) of the model's loadings
// relative to the expiry, each swap rate read on its own dates' model discount factors
// P_i = Pm_i exp(-G_i.y - 1/2 |G_i|^2) (common factors of the P_i cancel in a swap rate).
class exact_spread {
 public:
  exact_spread(const interest_rate_spread& spread, const model_markovian_hjm& model)
      : spread_(spread), long_(*spread.long_swap(), model), short_(*spread.short_swap(), model) {}

  double operator()(const std::vector<double>& y) const {
    return spread_.long_weight() * long_.rate(y) - spread_.short_weight() * short_.rate(y);
  }

 private:
  class rate_in_state {
   public:
    rate_in_state(const interest_rate_swap& swap, const model_markovian_hjm& model)
        : swap_(swap), G_(swap.all_dates().size(), model.number_of_factors()), dfs_(swap.all_dates().size()) {
      model.decompose(G_, swap.expiry(), swap.all_dates(), true);
    }
    double rate(const std::vector<double>& y) const {
      for (size_t i = 0; i < dfs_.size(); ++i) {
        double exponent = 0.0;
        for (size_t k = 0; k < G_.columns(); ++k) exponent -= G_(i, k) * y[k] + 0.5 * G_(i, k) * G_(i, k);
        dfs_[i] = swap_.dfs()[i] * std::exp(exponent);
      }
      return swap_.swap_rate(dfs_);
    }

   private:
    const interest_rate_swap& swap_;
    matrix<double> G_;
    mutable std::vector<double> dfs_;
  };

  const interest_rate_spread& spread_;
  rate_in_state long_;
  rate_in_state short_;
};

// Beyond this many standard deviations the Gaussian weight (below 1e-22) is nothing next to the checks.
constexpr double truncation = 10.0;

// The integral of f(u) phi(u) over [-10, 10], phi the standard normal density, f smooth between the
// given cuts. 61-point Gauss-Kronrod, bisected until the error estimate falls below 1e-13 of the piece.
inline double gaussian_integral(const std::function<double(double)>& f, const std::vector<double>& cuts) {
  std::vector<double> points{-truncation};
  for (double cut : cuts)
    if (cut > points.back() && cut < truncation) points.push_back(cut);
  points.push_back(truncation);
  const auto weighted = [&](double u) { return f(u) * normal_distribution::density(u); };
  double sum = 0.0;
  for (size_t i = 1; i < points.size(); ++i)
    sum += boost::math::quadrature::gauss_kronrod<double, 61>::integrate(weighted, points[i - 1], points[i], 10, 1e-13);
  return sum;
}

// The points of [-10, 10] where f changes sign: a scan in steps of 0.25 (the spreads of the tests are
// close to linear on that scale), each crossing then bisected to the last bit.
inline std::vector<double> sign_changes(const std::function<double(double)>& f) {
  std::vector<double> roots;
  constexpr double step = 0.25;
  double a = -truncation;
  double fa = f(a);
  for (double b = a + step; b <= truncation + 1e-12; b += step) {
    const double fb = f(b);
    if ((fa < 0.0) != (fb < 0.0)) {
      double lo = a;
      double hi = b;
      const bool rising = fa < 0.0;
      for (int i = 0; i < 200 && hi - lo > 0.0; ++i) {
        const double mid = 0.5 * (lo + hi);
        if (mid == lo || mid == hi) break;
        ((f(mid) < 0.0) == rising ? lo : hi) = mid;
      }
      roots.push_back(0.5 * (lo + hi));
    }
    a = b;
    fa = fb;
  }
  return roots;
}

// E[(theta (s(u) - K))+] for a standard normal u, theta = +1 (call) or -1 (put): the pay-off integrated
// between its kinks, where it is smooth.
inline double expected_payoff(const std::function<double(double)>& s, double strike, bool is_call) {
  const double theta = is_call ? 1.0 : -1.0;
  const auto payoff = [&](double u) { return std::max(theta * (s(u) - strike), 0.0); };
  return gaussian_integral(payoff, sign_changes([&](double u) { return s(u) - strike; }));
}

// Nodes and weights of the n-point Gauss-Hermite rule for the standard normal weight: sum w_i f(x_i) is
// E[f(u)], exact for polynomials of degree 2n - 1. The roots of the orthonormal Hermite polynomial h_n
// (computed by its three-term recurrence, which does not overflow at large n) are bracketed on a grid finer
// than their smallest spacing, about pi / sqrt(2n), and bisected to the last bit; each weight is
// 1 / (n h_{n-1}(x)^2).
struct gauss_hermite {
  explicit gauss_hermite(size_t n) : nodes(n), weights(n) {
    // h_n and h_{n-1} at x for the weight exp(-x^2/2) / sqrt(2 pi).
    const auto hermite = [n](double x, double& previous) {
      double current = 1.0;
      previous = 0.0;
      for (size_t j = 1; j <= n; ++j) {
        const double next = (x * current - std::sqrt(j - 1.0) * previous) / std::sqrt(static_cast<double>(j));
        previous = current;
        current = next;
      }
      return current;
    };
    std::vector<double> positive;
    const double largest = std::sqrt(4.0 * n + 2.0) + 1.0;
    const double step = 0.25 / std::sqrt(2.0 * n + 1.0);
    double previous = 0.0;
    double a = n % 2 == 1 ? step : 0.0;  // an odd n has its middle root at 0
    double fa = hermite(a, previous);
    for (double b = a + step; b < largest; b += step) {
      const double fb = hermite(b, previous);
      if ((fa < 0.0) != (fb < 0.0)) {
        double lo = a;
        double hi = b;
        const bool rising = fa < 0.0;
        for (int i = 0; i < 200; ++i) {
          const double mid = 0.5 * (lo + hi);
          if (mid == lo || mid == hi) break;
          ((hermite(mid, previous) < 0.0) == rising ? lo : hi) = mid;
        }
        positive.push_back(0.5 * (lo + hi));
      }
      a = b;
      fa = fb;
    }
    QAVREK_CHECK(positive.size() == n / 2, "found ", positive.size(), " positive Gauss-Hermite nodes of ", n);
    const auto weight = [&](double x) {
      hermite(x, previous);
      return 1.0 / (n * previous * previous);
    };
    const size_t half = n / 2;
    for (size_t i = 0; i < half; ++i) {
      nodes[half - 1 - i] = -positive[i];
      nodes[n - half + i] = positive[i];
      weights[half - 1 - i] = weights[n - half + i] = weight(positive[i]);
    }
    if (n % 2 == 1) {
      nodes[half] = 0.0;
      weights[half] = weight(0.0);
    }
  }

  std::vector<double> nodes;
  std::vector<double> weights;
};

// E[g(u1, u2)] for independent standard normal u1, u2 when g(u1, .) is handled exactly by `along`: an
// n-point Gauss-Hermite rule across u1.
inline double across_first_factor(const gauss_hermite& rule, const std::function<double(double)>& along) {
  double sum = 0.0;
  for (size_t i = 0; i < rule.nodes.size(); ++i) sum += rule.weights[i] * along(rule.nodes[i]);
  return sum;
}

// The spread option's price under the model by quadrature of its exact pay-off, and the expected spread:
// with one factor along it, with two a Gauss-Hermite rule across the first factor (the expectation along the
// second is smooth in it: 64 nodes integrate polynomials of degree 127 exactly, and 128 move no price by
// 1e-12).
class payoff_quadrature {
 public:
  payoff_quadrature(const interest_rate_spread& spread, const model_markovian_hjm& model)
      : discount_(spread.dfs()[0]), spread_(spread, model), factors_(model.number_of_factors()), rule_(64) {
    QAVREK_CHECK(factors_ == 1 || factors_ == 2, "the quadrature takes one or two factors, not ", factors_);
  }

  // E[spread].
  double forward() const {
    return expectation([&](const std::function<double(double)>& s) { return gaussian_integral(s, {}); });
  }

  // P(0, expiry) E[(theta (spread - K))+].
  double price(double strike, bool is_call) const {
    return discount_ *
           expectation([&](const std::function<double(double)>& s) { return expected_payoff(s, strike, is_call); });
  }

 private:
  // E[f(spread along the last factor)] taken over the other factor, if any.
  double expectation(const std::function<double(const std::function<double(double)>&)>& along) const {
    if (factors_ == 1) return along([&](double u) { return spread_({u}); });
    return across_first_factor(rule_, [&](double u1) { return along([&](double u2) { return spread_({u1, u2}); }); });
  }

  double discount_;
  exact_spread spread_;
  size_t factors_;
  gauss_hermite rule_;
};

// The normal volatility of a spread option price: its forward the expected spread, its numeraire the
// discount factor to the expiry.
inline double normal_volatility(double price, double forward, double strike, const interest_rate_spread& spread,
                                bool is_call) {
  return bachelier::implied_volatility(forward, strike, spread.long_swap()->expiry_double(), price, spread.dfs()[0],
                                       is_call ? 1.0 : -1.0);
}

}  // namespace qavrek::hjm_spread_option_test
