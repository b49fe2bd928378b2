#include "Math/discretization.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "Core/check.h"

namespace qavrek {

void discretization::uniform(double* out, size_t n, double lower, double upper, double centre) {
  if (n == 0) return;
  QAVREK_CHECK(out != nullptr, "null output for ", n, " points");
  out[0] = lower;
  if (n == 1) return;

  const size_t last = n - 1;
  const double step = (upper - lower) / static_cast<double>(last);
  // The fractional index of the centre: points before it are stepped from lower, points after it from upper.
  const double centre_index = (centre - lower) / step;
  // A point this close to the centre differs from it by rounding alone; the bound stays far below the step so
  // that no two points can merge.
  const double snap = std::min(4.0 * std::numeric_limits<double>::epsilon() *
                                   std::max({std::abs(lower), std::abs(upper), std::abs(centre)}),
                               0.25 * std::abs(step));
  for (size_t i = 1; i < last; ++i) {
    const double point = static_cast<double>(i) < centre_index ? lower + static_cast<double>(i) * step
                                                                : upper - static_cast<double>(last - i) * step;
    out[i] = std::abs(point - centre) <= snap ? centre : point;
  }
  out[last] = upper;
}

}  // namespace qavrek
