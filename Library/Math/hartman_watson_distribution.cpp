#include "Math/hartman_watson_distribution.h"

#include <cmath>
#include <complex>
#include <iterator>
#include <limits>
#include <numbers>
#include <utility>
#include <vector>

#include "Core/check.h"

namespace qavrek {
namespace {

using complex = std::complex<double>;

// The variances the quadrature serves: below, the path's points underflow; above, no model has any use.
constexpr double smallest_variance = 1e-100;
constexpr double largest_variance = 100.0;
// log Z is integrated where its density is within e^-25 (1e-11) of its peak.
constexpr double density_depth = 25.0;
// The path integral in y = v / sqrt(c) stops where e^(-y^2) is below 1e-18.
constexpr double path_end = 6.5;
// A density factor exp(Phi_s / c) below this underflows: the node's weight is 0.
constexpr double smallest_exponent = -745.0;
constexpr size_t newton_iterations = 60;

// Complex division without the checks for infinities of the library's operator.
complex divide(complex a, complex b) {
  const double scale = 1.0 / std::norm(b);
  return complex((a.real() * b.real() + a.imag() * b.imag()) * scale,
                 (a.imag() * b.real() - a.real() * b.imag()) * scale);
}

// The terms k = 2 .. 13 of sum q^k / (2k)! and of its first three derivatives, per power q^(k-2):
// 1 / (2k)!, k / (2k)!, k (k - 1) / (2k)! and k (k - 1) (k - 2) / (2k)!. Up to |q| = 4 the terms left out
// are below 1e-18 of the first.
struct series_term {
  double value, slope, curvature, third;
};
constexpr series_term term(double k) {
  double factorial = 1.0;
  for (int j = 2; j <= 2 * static_cast<int>(k); ++j) factorial *= j;
  return {1.0 / factorial, k / factorial, k * (k - 1.0) / factorial, k * (k - 1.0) * (k - 2.0) / factorial};
}
constexpr series_term series[] = {term(2), term(3), term(4),  term(5),  term(6),  term(7),
                                  term(8), term(9), term(10), term(11), term(12), term(13)};
constexpr double series_radius = 4.0;

// A square root of q (either does), without the library's guards against overflow.
complex square_root(complex q) {
  const double r = std::sqrt(q.real() * q.real() + q.imag() * q.imag());
  if (q.real() >= 0.0) {
    const double u = std::sqrt(0.5 * (r + q.real()));
    return complex(u, 0.5 * q.imag() / u);
  }
  const double w = std::sqrt(0.5 * (r - q.real()));
  return complex(0.5 * q.imag() / w, w);
}

// Phi is even in zeta, so it is a function F of q = zeta^2, analytic in q:
//   F(q) = e q / 2 + a (cosh sqrt(q) - 1 - q / 2) = e q / 2 + a sum over k >= 2 of q^k / (2k)!,
// with the excess e = a - 1 kept apart so that F near the merging saddles (a close to 1) has no
// cancellation. Its saddle q_s is a regular critical point for every a (F''(q_s) > 0, about 1/12 near
// a = 1), so the path q(v) is analytic in v and needs no care where the saddles of Phi merge.
struct phase {
  double excess;
  double a;

  struct values {
    complex value, slope, curvature, third;  // F and its first three derivatives
  };

  // Up to |q| = 4 by the series, beyond through cosh and sinh of either square root.
  values at(complex q) const {
    // Without a: f = cosh - 1 - q/2 = sum q^k / (2k)!, and its first three derivatives in q.
    complex c, s, t, u;
    if (std::norm(q) < series_radius * series_radius) {
      constexpr int last = std::size(series) - 1;
      c = series[last].value;
      s = series[last].slope;
      t = series[last].curvature;
      u = series[last].third;
      for (int k = last - 1; k >= 1; --k) {
        c = c * q + series[k].value;
        s = s * q + series[k].slope;
        t = t * q + series[k].curvature;
        u = u * q + series[k].third;
      }
      c = (c * q + series[0].value) * q * q;
      s = (s * q + series[0].slope) * q;
      t = t * q + series[0].curvature;  // the k = 2 term of the third derivative is 0
    } else {
      const complex root = square_root(q);
      const double grow = std::exp(root.real());
      const double shrink = 1.0 / grow;
      const double cos_w = std::cos(root.imag()), sin_w = std::sin(root.imag());
      const complex cosh_root(0.5 * (grow + shrink) * cos_w, 0.5 * (grow - shrink) * sin_w);
      const complex sinh_root(0.5 * (grow - shrink) * cos_w, 0.5 * (grow + shrink) * sin_w);
      const complex sinh_over_root = divide(sinh_root, root);
      c = cosh_root - 1.0 - 0.5 * q;
      s = 0.5 * (sinh_over_root - 1.0);
      t = divide(cosh_root - sinh_over_root, 4.0 * q);
      // cosh sqrt(q) solves 4q f'' + 2f' - f = 0, so f''' = (f' - 6 f'') / 4q.
      u = divide(s + 0.5 - 6.0 * t, 4.0 * q);
    }
    return {0.5 * excess * q + a * c, 0.5 * excess + a * s, a * t, a * u};
  }
};

// x - sin x, sinh x - x, x - tanh x and tan x - x, by their series for small x (the terms left out
// are below 1e-17 of the first).
double x_minus_sin(double x) {
  if (x > 0.25) return x - std::sin(x);
  const double s = x * x;
  return x * s * (1.0 / 6.0 - s * (1.0 / 120.0 - s * (1.0 / 5040.0 - s / 362880.0)));
}
double sinh_minus_x(double x) {
  if (x > 0.25) return std::sinh(x) - x;
  const double s = x * x;
  return x * s * (1.0 / 6.0 + s * (1.0 / 120.0 + s * (1.0 / 5040.0 + s / 362880.0)));
}
double x_minus_tanh(double x) {
  if (x > 0.125) return x - std::tanh(x);
  const double s = x * x;
  return x * s * (1.0 / 3.0 - s * (2.0 / 15.0 - s * (17.0 / 315.0 - s * (62.0 / 2835.0 - s * 1382.0 / 155925.0))));
}
double tan_minus_x(double x) {
  if (x > 0.125) return std::tan(x) - x;
  const double s = x * x;
  return x * s * (1.0 / 3.0 + s * (2.0 / 15.0 + s * (17.0 / 315.0 + s * (62.0 / 2835.0 + s * 1382.0 / 155925.0))));
}

// A root in (lower, upper) of an increasing function, given as {value, slope}, by Newton steps that fall
// back on bisection (or on doubling while the bracket is open above).
template <class Function>
double safeguarded_newton(Function&& f, double x, double lower, double upper) {
  for (int iteration = 0; iteration < 200; ++iteration) {
    const auto [value, slope] = f(x);
    if (value == 0.0) return x;
    (value < 0.0 ? lower : upper) = x;
    double next = x - value / slope;
    if (!(next > lower && next < upper)) next = std::isinf(upper) ? 2.0 * x : 0.5 * (lower + upper);
    if (std::abs(next - x) <= 4.0 * std::numeric_limits<double>::epsilon() * std::abs(next)) return next;
    x = next;
  }
  return x;
}

// The saddle of Phi where the path starts: -i w with w = a sin w when a > 1, u with u = a sinh u when
// a < 1, 0 when a = 1. Both solve Phi' = 0 in the form without cancellation: (w - sin w) = e sin w and
// (sinh u - u) = -e sinh u.
complex saddle(double excess, double a) {
  if (excess == 0.0) return 0.0;
  if (excess > 0.0) {
    const double w = safeguarded_newton(
        [&](double x) {
          return std::pair{x_minus_sin(x) - excess * std::sin(x), 1.0 - a * std::cos(x)};
        },
        std::min(std::sqrt(6.0 * excess / a), std::numbers::pi * a / (1.0 + a)), 0.0, std::numbers::pi);
    return complex(0.0, -w);
  }
  // Away from a = 1 the plain form a sinh u - u has no cancellation, and a is exact where e is not.
  const bool near_one = excess > -0.5;
  const double u = safeguarded_newton(
      [&](double x) {
        const double value = near_one ? sinh_minus_x(x) + excess * std::sinh(x) : a * std::sinh(x) - x;
        return std::pair{value, a * std::cosh(x) - 1.0};
      },
      std::min(std::sqrt(-6.0 * excess / a), std::log(2.0 / a) + std::log1p(std::log(2.0 / a))), 0.0,
      std::numeric_limits<double>::infinity());
  return complex(u, 0.0);
}

// The size of the density of log Z in terms of the saddle, without the slowly varying path integral:
//   f = Phi_s / c - log(a) / 2.
// Both are explicit in the saddle's coordinate: a = u / sinh u, Phi_s = u tanh(u/2) - u^2/2 on the side
// a < 1, a = w / sin w, Phi_s = w^2/2 - w tan(w/2) on the side a > 1; and d f / d log a = a (cosh zeta_s
// - 1) / c - 1/2, that is u tanh(u/2) / c - 1/2 and -w tan(w/2) / c - 1/2.
struct saddle_profile {
  double c;

  // log a and f as functions of u (a <= 1), with d f / du.
  double log_a_of_u(double u) const { return -std::log1p(sinh_minus_x(u) / u); }
  std::pair<double, double> f_of_u(double u) const {
    const double h = 0.5 * u;
    const double phi = -u * x_minus_tanh(h);                      // u tanh(u/2) - u^2/2
    const double dlog_a = -x_minus_tanh(u) / (u * std::tanh(u));  // 1/u - coth u
    return {phi / c - 0.5 * log_a_of_u(u), (u * std::tanh(h) / c - 0.5) * dlog_a};
  }
  // The same as functions of w (a >= 1).
  double log_a_of_w(double w) const { return std::log1p(x_minus_sin(w) / std::sin(w)); }
  std::pair<double, double> f_of_w(double w) const {
    const double h = 0.5 * w;
    const double phi = -w * tan_minus_x(h);                    // w^2/2 - w tan(w/2)
    const double dlog_a = tan_minus_x(w) / (w * std::tan(w));  // 1/w - cot w
    return {phi / c - 0.5 * log_a_of_w(w), (-w * std::tan(h) / c - 0.5) * dlog_a};
  }
};

// The interval of log a over which the density of log Z is within e^-depth of its largest value (up to
// the path integral's slow variation). The largest value lies at u tanh(u/2) = c/2 (so a < 1), and f
// falls on either side of it: towards a -> 0 like -(log a)^2 / 2c, towards a -> infinity like -2a / c.
std::pair<double, double> log_a_range(double c, double depth) {
  const saddle_profile p{c};
  const double mode = safeguarded_newton(
      [&](double u) {
        const double h = 0.5 * u;
        return std::pair{u * std::tanh(h) - 0.5 * c, std::tanh(h) + h * (1.0 - std::tanh(h) * std::tanh(h))};
      },
      std::sqrt(c), 0.0, std::numeric_limits<double>::infinity());
  const double target = p.f_of_u(mode).first - depth;
  // Left: u beyond the mode, where f decreases.
  const double left = safeguarded_newton(
      [&](double u) {
        const auto [f, df] = p.f_of_u(u);
        return std::pair{target - f, -df};
      },
      mode + std::sqrt(std::sqrt(24.0 * c * depth)) + std::sqrt(2.0 * c * depth), mode,
      std::numeric_limits<double>::infinity());
  // Right: back through a = 1 (f = 0 there) onto the side a > 1, unless f has fallen far enough before.
  double right;
  if (target >= 0.0) {
    right = p.log_a_of_u(safeguarded_newton(
        [&](double u) {
          const auto [f, df] = p.f_of_u(u);
          return std::pair{f - target, df};
        },
        0.5 * mode, 0.0, mode));
  } else {
    right = p.log_a_of_w(safeguarded_newton(
        [&](double w) {
          const auto [f, df] = p.f_of_w(w);
          return std::pair{target - f, -df};
        },
        std::min(std::sqrt(std::sqrt(-24.0 * target * c)), 3.0), 0.0, std::numbers::pi));
  }
  return {p.log_a_of_u(left), right};
}

// Solves F(q) = target by Newton's method from q. A step with |step F''| <= 1e-8 |F'| leaves an error below
// 1e-16 of the distance |F' / F''| over which F' changes: it is the last, and F' is carried to the new
// point to first order instead of evaluated again. Steps that stop shrinking (rounding) end it too.
phase::values follow_path(const phase& phi, double target, complex& q) {
  double previous = std::numeric_limits<double>::infinity();
  for (size_t iteration = 0; iteration < newton_iterations; ++iteration) {
    phase::values at = phi.at(q);
    const complex step = divide(at.value - target, at.slope);
    const double size = std::norm(step);
    if (!(size < previous)) return at;
    q -= step;
    if (size * std::norm(at.curvature) <= 1e-16 * std::norm(at.slope)) {
      at.slope -= at.curvature * step;
      at.curvature -= at.third * step;
      return at;
    }
    previous = size;
  }
  return phi.at(q);
}

// The path integral's rule. ds/dv is even in v (the path's other half, v < 0, is its mirror image, with
// s(-v) = -s(v)) and analytic, so the integral over y > 0 is half the one over the line, taken on the
// symmetric rule over [-path_end, path_end]: the centre y = 0 and the positive points, ascending (each
// point of the path starts from the one before), their weights times e^(-y^2).
struct path_rule {
  double centre_weight;
  std::vector<double> y;
  std::vector<double> weights;

  path_rule(const vector<double>& nodes, const vector<double>& rule_weights) {
    const size_t m = nodes.size() - 1;
    centre_weight = 0.5 * path_end * rule_weights[m];
    for (size_t k = m; k-- > 0;) {
      const double point = path_end * nodes[k];
      y.push_back(point);
      weights.push_back(path_end * rule_weights[k] * std::exp(-point * point));
    }
  }
};

// z h(z) at a = z c, with excess = a - 1 computed apart.
double scaled_density(double excess, double a, double c, const path_rule& rule) {
  const phase phi{excess, a};
  const complex saddle_root = saddle(excess, a);
  const complex start = saddle_root * saddle_root;
  const phase::values at_start = phi.at(start);
  const double start_value = at_start.value.real();
  const double exponent = start_value / c - 0.125 * c;
  if (exponent < smallest_exponent) return 0.0;

  // The path leaves the saddle with q' = -i sqrt(2 / F''(q_s)), so ds/dv = -Im(q') / 2 = 1 / sqrt(2 F'') there.
  const double curvature = at_start.curvature.real();
  const complex leaving(0.0, -std::sqrt(2.0 / curvature));
  double sum = rule.centre_weight / std::sqrt(2.0 * curvature);
  const double root_c = std::sqrt(c);
  complex q = start;
  phase::values at = at_start;
  double previous_v = 0.0;
  for (size_t i = 0; i < rule.y.size(); ++i) {
    const double v = root_c * rule.y[i];
    const double dv = v - previous_v;
    if (i == 0) {
      q = start + dv * leaving;
    } else {
      // A third-order step along the path: F' q' = -2v, F'' q'^2 + F' q'' = -2 and
      // F''' q'^3 + 3 F'' q' q'' + F' q''' = 0.
      const complex first = divide(-2.0 * previous_v, at.slope);
      const complex second = divide(-2.0 - at.curvature * first * first, at.slope);
      const complex third = divide(-(at.third * first * first + 3.0 * at.curvature * second) * first, at.slope);
      q += dv * (first + dv * (0.5 * second + dv * third / 6.0));
    }
    at = follow_path(phi, start_value - v * v, q);
    // ds/dv = -Im(q') / 2 = Im(v / F').
    sum += rule.weights[i] * divide(v, at.slope).imag();
    previous_v = v;
  }
  return std::exp(exponent) / (std::numbers::pi * std::sqrt(a * c)) * sum;
}

void size_output(vector<double>& out, size_t size, const char* name) {
  if (out.size() == size) return;
  QAVREK_CHECK(out.owner(), name, " is a view of ", out.size(), " values, the rule has ", size);
  out.resize(size);
}

}  // namespace

void hartman_watson_distribution::cheyette_density(vector<double>& weights, vector<double>& nodes, double variance,
                                                   const vector<double>& rule_nodes, const vector<double>& rule_weights,
                                                   const vector<double>& fine_nodes,
                                                   const vector<double>& fine_weights) {
  QAVREK_CHECK(variance >= smallest_variance && variance <= largest_variance, "the variance ", variance,
               " is outside [", smallest_variance, ", ", largest_variance, "]");
  QAVREK_CHECK(!rule_nodes.empty() && rule_weights.size() == 2 * rule_nodes.size() - 1, "the rule has ",
               rule_nodes.size(), " nodes and ", rule_weights.size(), " weights");
  QAVREK_CHECK(!fine_nodes.empty() && fine_weights.size() == 2 * fine_nodes.size() - 1, "the fine rule has ",
               fine_nodes.size(), " nodes and ", fine_weights.size(), " weights");
  const size_t n = rule_nodes.size() - 1;
  size_output(weights, 2 * n + 1, "weights");
  size_output(nodes, 2 * n + 1, "nodes");

  // log a = log(z c) on the rule over the range where the density is within e^-25 of its peak.
  const double c = variance;
  const auto [lowest, highest] = log_a_range(c, density_depth);
  const double centre = 0.5 * (lowest + highest);
  const double half_width = 0.5 * (highest - lowest);
  const double log_c = std::log(c);
  const path_rule path(fine_nodes, fine_weights);
  for (size_t k = 0; k <= 2 * n; ++k) {
    const double xi = k <= n ? rule_nodes[k] : -rule_nodes[2 * n - k];
    const double log_a = centre + half_width * xi;
    nodes[k] = std::exp(log_a - log_c);
    weights[k] = rule_weights[k] * half_width * scaled_density(std::expm1(log_a), std::exp(log_a), c, path);
  }
}

}  // namespace qavrek
