#include "Math/root_finding_algorithms.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "Core/check.h"

namespace qavrek {
namespace {

constexpr double epsilon = std::numeric_limits<double>::epsilon();

struct sample {
  double x;
  double residual;  // f(x) - target
};

bool opposite_signs(const sample& p, const sample& q) { return (p.residual < 0.0) != (q.residual < 0.0); }

// One search: evaluates f, remembers the best point and the last evaluated one, and runs Brent's iterations.
class brent_search {
 public:
  brent_search(const std::function<double(double)>& f, double target, double tol1, double tol2)
      : f_(f), target_(target), tol1_(tol1), relative_(std::max(tol2, epsilon)) {}

  sample evaluate(double x) {
    last_ = x;
    const sample s{x, f_(x) - target_};
    if (!std::isnan(s.residual) && (!has_best_ || std::abs(s.residual) < std::abs(best_.residual))) {
      best_ = s;
      has_best_ = true;
    }
    return s;
  }

  bool is_root(const sample& s) const { return std::abs(s.residual) <= tol1_; }

  // Leaves x in root, evaluating f there once more when the last evaluation was elsewhere.
  bool finish(double x, bool found, double& root) {
    if (last_ != x) evaluate(x);
    root = x;
    return found;
  }

  bool fail(double& root) { return finish(has_best_ ? best_.x : last_, false, root); }

  // Brent's iterations from a bracket [a, b] whose residuals have opposite signs, b the current estimate.
  bool iterate(sample a, sample b, size_t max_iterations, double& root) {
    sample c = a;  // the contrapoint: the root lies between b and c
    double step = b.x - a.x;
    double previous_step = step;
    for (size_t iteration = 0;; ++iteration) {
      if (!opposite_signs(b, c)) {
        c = a;
        step = previous_step = b.x - a.x;
      }
      if (std::abs(c.residual) < std::abs(b.residual)) {
        a = b;
        b = c;
        c = a;
      }
      const double tolerance = 2.0 * relative_ * std::abs(b.x) + std::numeric_limits<double>::min();
      const double half_width = 0.5 * (c.x - b.x);
      if (is_root(b) || std::abs(half_width) <= tolerance) return finish(b.x, true, root);
      if (iteration == max_iterations) return finish(b.x, false, root);

      if (std::abs(previous_step) >= tolerance && std::abs(a.residual) > std::abs(b.residual)) {
        const auto [p, q] = interpolation_step(a, b, c, half_width);
        // Accept the interpolation only while it stays well inside the bracket and keeps shrinking fast.
        if (2.0 * p < std::min(3.0 * half_width * q - std::abs(tolerance * q), std::abs(previous_step * q))) {
          previous_step = step;
          step = p / q;
        } else {
          step = previous_step = half_width;
        }
      } else {
        step = previous_step = half_width;
      }
      a = b;
      const double next = b.x + (std::abs(step) > tolerance ? step : std::copysign(tolerance, half_width));
      b = evaluate(next);
      if (std::isnan(b.residual)) return fail(root);
    }
  }

 private:
  // Inverse quadratic interpolation through a, b, c (the secant when a and c coincide), as p / q with p >= 0.
  static std::pair<double, double> interpolation_step(const sample& a, const sample& b, const sample& c,
                                                      double half_width) {
    const double s = b.residual / a.residual;
    double p = 0.0;
    double q = 0.0;
    if (a.x == c.x) {
      p = 2.0 * half_width * s;
      q = 1.0 - s;
    } else {
      const double qa = a.residual / c.residual;
      const double r = b.residual / c.residual;
      p = s * (2.0 * half_width * qa * (qa - r) - (b.x - a.x) * (r - 1.0));
      q = (qa - 1.0) * (r - 1.0) * (s - 1.0);
    }
    if (p > 0.0) {
      q = -q;
    } else {
      p = -p;
    }
    return {p, q};
  }

  const std::function<double(double)>& f_;
  double target_;
  double tol1_;
  double relative_;
  double last_ = std::numeric_limits<double>::quiet_NaN();
  sample best_{};
  bool has_best_ = false;
};

}  // namespace

bool root_finding_algorithms::brent(const std::function<double(double)>& f, double lower, double upper, double& root,
                                    double target, double tol1, double tol2, size_t max_iterations) {
  QAVREK_CHECK(static_cast<bool>(f), "no function to solve");
  QAVREK_CHECK(std::isfinite(lower) && std::isfinite(upper), "the bracket [", lower, ", ", upper,
               "] must be finite");
  QAVREK_CHECK(tol1 >= 0.0 && tol2 >= 0.0, "tolerances must be non-negative, got ", tol1, " and ", tol2);
  if (lower > upper) std::swap(lower, upper);

  brent_search search(f, target, tol1, tol2);
  const bool start_inside = std::isfinite(root) && lower <= root && root <= upper;
  if (!start_inside) {
    const sample low = search.evaluate(lower);
    if (std::isnan(low.residual)) return search.fail(root);
    if (search.is_root(low)) return search.finish(low.x, true, root);
    const sample high = upper == lower ? low : search.evaluate(upper);
    if (std::isnan(high.residual)) return search.fail(root);
    if (search.is_root(high)) return search.finish(high.x, true, root);
    if (!opposite_signs(low, high)) return search.fail(root);
    return search.iterate(low, high, max_iterations, root);
  }

  // From the start, search the half of the bracket that shows the sign change.
  const sample start = search.evaluate(root);
  if (std::isnan(start.residual)) return search.fail(root);
  if (search.is_root(start)) return search.finish(start.x, true, root);
  const sample low = root == lower ? start : search.evaluate(lower);
  if (std::isnan(low.residual)) return search.fail(root);
  if (search.is_root(low)) return search.finish(low.x, true, root);
  if (opposite_signs(low, start)) return search.iterate(low, start, max_iterations, root);
  const sample high = root == upper ? start : search.evaluate(upper);
  if (std::isnan(high.residual)) return search.fail(root);
  if (search.is_root(high)) return search.finish(high.x, true, root);
  if (!opposite_signs(start, high)) return search.fail(root);
  return search.iterate(high, start, max_iterations, root);
}

}  // namespace qavrek
