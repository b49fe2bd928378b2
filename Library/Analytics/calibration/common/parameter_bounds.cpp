#include "Analytics/calibration/common/parameter_bounds.h"

#include <algorithm>
#include <cmath>

#include "Core/check.h"

namespace qavrek {
namespace {

// Where a starting value on or beyond a bound starts, as a fraction of the half-width from the centre.
constexpr double maximum_start_position = 0.9;

}  // namespace

parameter_bounds parameter_bounds::read(const std::vector<double>& values, const char* name) {
  QAVREK_CHECK_AT("calibrate", __FILE__, __LINE__, values.size() >= 2, "the ", name,
                  " bounds need two values, but got ", values.size());
  const parameter_bounds b{std::fmin(values[0], values[1]), std::fmax(values[0], values[1])};
  QAVREK_CHECK_AT("calibrate", __FILE__, __LINE__, std::isfinite(b.lo) && std::isfinite(b.hi), "the ", name,
                  " bounds are not finite");
  return b;
}

double parameter_bounds::unbounded(double p) const {
  if (!(hi > lo)) return 0.0;  // a single admissible value: every unknown maps to it
  double t = (2.0 * p - lo - hi) / (hi - lo);
  if (!(p > lo && p < hi)) {
    t = std::clamp(t, -maximum_start_position, maximum_start_position);
  } else if (std::abs(t) >= 1.0) {
    t = std::copysign(std::nextafter(1.0, 0.0), t);  // inside, but within rounding of a bound
  }
  return std::atanh(t) / tanh_scale;
}

double parameter_bounds::bounded(double x) const { return 0.5 * (lo + hi + (hi - lo) * std::tanh(tanh_scale * x)); }

double parameter_bounds::bounded_derivative(double x) const {
  const double t = std::tanh(tanh_scale * x);
  return (hi - lo) * 0.5 * tanh_scale * (1.0 - t * t);
}

}  // namespace qavrek
