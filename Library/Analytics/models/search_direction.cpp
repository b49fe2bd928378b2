#include "Analytics/models/search_direction.h"

#include <cmath>
#include <limits>

#include "Core/check.h"

namespace qavrek {
namespace {

constexpr double epsilon = std::numeric_limits<double>::epsilon();

double dot(const vector<double>& a, const vector<double>& b) {
  double sum = 0.0;
  for (size_t k = 0; k < a.size(); ++k) sum += a[k] * b[k];
  return sum;
}

}  // namespace

double direction_matrix_product(vector<double>& d, const vector<double>& g, const matrix<double>& H, double v) {
  const double r = std::sqrt(dot(g, g));
  if (r < epsilon || std::abs(1.0 / r) < epsilon) return r;
  const size_t n = g.size();
  QAVREK_CHECK(H.rows() == n && H.columns() == n, "the curvature is ", H.rows(), " x ", H.columns(), " for ", n,
               " factors");
  const double b = r + 1.0 / r;
  const double a = v * (1.0 - 1.0 / (r * r)) / r;
  d = b * g;
  for (size_t j = 0; j < n; ++j) {
    double product = 0.0;
    for (size_t l = 0; l < n; ++l) product += H(j, l) * g[l];
    d[j] += a * product;
  }
  if (dot(d, g) <= 0.0) {
    d = (v / (r * r)) * g;
  } else {
    d *= v * b / dot(d, d);
  }
  return r;
}

void direction_projection(vector<double>& x, const vector<double>& g) {
  const double gg = dot(g, g);
  if (std::abs(gg) < epsilon) return;
  QAVREK_CHECK(x.size() == g.size(), "the point has ", x.size(), " factors, the direction ", g.size());
  x = (dot(x, g) / gg) * g;
}

}  // namespace qavrek
