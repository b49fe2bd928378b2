#include "Math/finite_difference.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "Core/check.h"

namespace qavrek {
namespace {

constexpr size_t band = 5;
constexpr size_t band_centre = band / 2;
// Stencils here have at most five points and derivatives of order at most two.
constexpr size_t max_points = 5;
constexpr size_t max_orders = 3;

// Overwrites the first-derivative weights of the point at `index` of a stencil of `count` points by the divided
// difference across its neighbours; `first` is centred on that point.
void divided_difference_weights(const double* points, size_t count, size_t index, double* first, size_t centre) {
  const size_t left = index > 0 ? index - 1 : index;
  const size_t right = index + 1 < count ? index + 1 : index;
  std::fill(first, first + 2 * centre + 1, 0.0);
  if (left == right) return;
  const double inverse_span = 1.0 / (points[right] - points[left]);
  first[centre + left - index] = -inverse_span;
  first[centre + right - index] = inverse_span;
}

// Weights at points[index] of a stencil of `count` points into five-entry bands centred on it; `second` may be null.
void stencil_band_weights(const char* function, const double* points, size_t count, size_t index, double* first,
                          double* second, bool divided_difference) {
  QAVREK_CHECK_AT(function, __FILE__, __LINE__, points != nullptr && first != nullptr, "null stencil or output");
  const bool fits = index < count && index <= band_centre && count - 1 - index <= band_centre;
  QAVREK_CHECK_AT(function, __FILE__, __LINE__, fits, "point ", index, " of a stencil of ", count,
                  " points does not fit a band of ", band);
  const size_t orders = second != nullptr ? 3 : 2;
  std::array<double, max_points * max_orders> w{};
  finite_difference::weights(points[index], points, count, orders - 1, w.data());

  std::fill(first, first + band, 0.0);
  if (second != nullptr) std::fill(second, second + band, 0.0);
  for (size_t j = 0; j < count; ++j) {
    const size_t k = band_centre + j - index;
    first[k] = w[count + j];
    if (second != nullptr) second[k] = w[2 * count + j];
  }
  if (divided_difference) divided_difference_weights(points, count, index, first, band_centre);
}

}  // namespace

void finite_difference::weights(double at, const double* points, size_t count, size_t max_order, double* weights) {
  if (count == 0) return;
  QAVREK_CHECK(points != nullptr && weights != nullptr, "null points or weights for a stencil of ", count, " points");
  QAVREK_CHECK(std::isfinite(at), "derivative taken at ", at);
  const size_t orders = max_order + 1;
  auto w = [&](size_t order, size_t j) -> double& { return weights[order * count + j]; };
  std::fill(weights, weights + orders * count, 0.0);

  // Fornberg (1988): the weights of the Lagrange interpolant's derivatives, adding one point at a time.
  w(0, 0) = 1.0;
  QAVREK_CHECK(std::isfinite(points[0]), "stencil point 0 is ", points[0]);
  double previous_product = 1.0;
  double offset = points[0] - at;
  for (size_t i = 1; i < count; ++i) {
    QAVREK_CHECK(std::isfinite(points[i]), "stencil point ", i, " is ", points[i]);
    const size_t top = std::min(i, max_order);
    const double previous_offset = offset;
    offset = points[i] - at;
    double product = 1.0;
    for (size_t j = 0; j < i; ++j) {
      const double difference = points[i] - points[j];
      QAVREK_CHECK(difference != 0.0, "stencil points ", j, " and ", i, " are both ", points[i]);
      product *= difference;
      if (j + 1 == i) {
        for (size_t m = top; m >= 1; --m) {
          w(m, i) = previous_product * (double(m) * w(m - 1, i - 1) - previous_offset * w(m, i - 1)) / product;
        }
        w(0, i) = -previous_product * previous_offset * w(0, i - 1) / product;
      }
      for (size_t m = top; m >= 1; --m) w(m, j) = (offset * w(m, j) - double(m) * w(m - 1, j)) / difference;
      w(0, j) = offset * w(0, j) / difference;
    }
    previous_product = product;
  }
}

void finite_difference::nonuniform_derivation(const double* x, size_t n, double* first, double* second,
                                              bool divided_difference, size_t width) {
  QAVREK_CHECK(width == 3 || width == 5, "stencil width ", width, " is neither 3 nor 5");
  if (n == 0) return;
  QAVREK_CHECK(x != nullptr && first != nullptr && second != nullptr, "null axis or weights for ", n, " points");
  const size_t half = width / 2;
  std::array<double, max_points * max_orders> w{};
  for (size_t i = 0; i < n; ++i) {
    const size_t lower = i >= half ? i - half : 0;
    const size_t upper = std::min(n - 1, i + half);
    const size_t count = upper - lower + 1;
    weights(x[i], x + lower, count, 2, w.data());

    double* first_row = first + i * width;
    double* second_row = second + i * width;
    std::fill(first_row, first_row + width, 0.0);
    std::fill(second_row, second_row + width, 0.0);
    for (size_t j = 0; j < count; ++j) {
      const size_t k = lower + j + half - i;
      first_row[k] = w[count + j];
      second_row[k] = w[2 * count + j];
    }
    if (divided_difference) divided_difference_weights(x + lower, count, i - lower, first_row, half);
  }
}

void finite_difference::nonuniform_three_points_derivative_mid(const double* points, size_t index, double* first,
                                                               double* second, bool divided_difference) {
  QAVREK_CHECK(second != nullptr, "null second-derivative output");
  stencil_band_weights(__func__, points, 3, index, first, second, divided_difference);
}

void finite_difference::nonuniform_five_points_derivative_mid(const double* points, size_t index, double* first,
                                                              double* second, bool divided_difference) {
  QAVREK_CHECK(second != nullptr, "null second-derivative output");
  stencil_band_weights(__func__, points, 5, index, first, second, divided_difference);
}

void finite_difference::nonuniform_five_points_derivative_0(const double* points, size_t index, double* first) {
  stencil_band_weights(__func__, points, 3, index, first, nullptr, false);
}

void finite_difference::nonuniform_five_points_derivative_1(const double* points, size_t index, double* first) {
  stencil_band_weights(__func__, points, 4, index, first, nullptr, false);
}

}  // namespace qavrek
