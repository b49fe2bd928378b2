#include "PDE/scheme/pde_multi_explicit.h"

#include <utility>

#include "Core/check.h"
#include "Math/pentadiagonal_operations.h"
#include "Math/tridiagonal_operations.h"
#include "PDE/scheme/pde_model_coefficients.h"
#include "PDE/scheme/pde_multi_discrete.h"

namespace qavrek {
namespace {

// The banded products and the stencil read and write raw memory: both vectors must span the tensor.
void check_sizes(const char* function, const vector<double>& out, const vector<double>& in, size_t total) {
  QAVREK_CHECK_AT(function, __FILE__, __LINE__, out.size() == total && in.size() == total, "vectors of ",
                  out.size(), " and ", in.size(), " values on ", total, " grid nodes");
}

}  // namespace

pde_multi_explicit::pde_multi_explicit(std::shared_ptr<const pde_multi_discrete> discrete, double factor,
                                       double scale, double alpha, const matrix<double>& correlation)
    : discrete_(std::move(discrete)), factor_(factor), scale_(scale), alpha_(alpha), correlation_(correlation) {
  QAVREK_CHECK(discrete_ != nullptr, "no operators");
  const size_t d = discrete_->dimensions();
  QAVREK_CHECK(correlation_.empty() || (correlation_.rows() >= d && correlation_.columns() >= d),
               "a correlation of ", correlation_.rows(), " x ", correlation_.columns(), " for ", d, " dimensions");
}

void pde_multi_explicit::apply_explicit(vector<double>& out, const vector<double>& in) const {
  check_sizes(__func__, out, in, discrete_->total());
  for (size_t d = 0; d < discrete_->dimensions(); ++d) {
    const auto [outer, n, inner] = discrete_->layout_of(d);
    const double* bands = discrete_->operator_of(d).data();
    if (discrete_->width(d) == 3) {
      tridiagonal_operations::multiply(out.data(), in.data(), bands, outer, n, inner, factor_, false);
    } else {
      pentadiagonal_operations::multiply(out.data(), in.data(), bands, outer, n, inner, factor_, false);
    }
  }
}

void pde_multi_explicit::apply_mixed(vector<double>& out, const vector<double>& in) const {
  if (correlation_.empty()) return;
  check_sizes(__func__, out, in, discrete_->total());
  for (const auto& [dimensions, pair] : discrete_->pair_index()) {
    const auto [i, j] = dimensions;
    const double rho = correlation_(i, j);
    if (rho == 0.0) continue;
    // The damping part leans on the diagonal of the correlation's sign, so that reflecting an axis (rho to -rho)
    // mirrors the stencil.
    const double alpha = rho > 0.0 ? alpha_ : -alpha_;
    const double corner = scale_ * (alpha + 1.0), anti_corner = scale_ * (alpha - 1.0), edge = 2.0 * scale_ * alpha;
    const auto& layout_i = discrete_->layout_of(i);
    const auto& layout_j = discrete_->layout_of(j);
    const size_t n_i = layout_i.n, n_j = layout_j.n;
    const size_t before = layout_i.outer, between = layout_j.outer / (before * n_i), after = layout_j.inner;
    const size_t s_i = layout_i.inner, s_j = after;
    const double* u = in.data();
    const double* mixed = discrete_->mixed_coefficients(pair).data();
    double* result = out.data();
    // The nodes inside both axes: for each (a, m, b) one contiguous run over the inner points of axis j.
    for (size_t a = 0; a < before; ++a) {
      for (size_t m = 1; m + 1 < n_i; ++m) {
        for (size_t b = 0; b < between; ++b) {
          const size_t base = ((a * n_i + m) * between + b) * n_j * after;
          for (size_t p = base + after; p < base + (n_j - 1) * after; ++p) {
            const double s = corner * (u[p + s_i + s_j] + u[p - s_i - s_j]) +
                              anti_corner * (u[p - s_i + s_j] + u[p + s_i - s_j]) +
                              edge * (2.0 * u[p] - u[p + s_i] - u[p - s_i] - u[p + s_j] - u[p - s_j]);
            result[p] += rho * mixed[p] * s;
          }
        }
      }
    }
  }
}

void pde_multi_explicit::apply_reaction(vector<double>& out, double c, const vector<double>& in) const {
  for (size_t d = 0; d < discrete_->dimensions(); ++d) {
    const tensor<double>& reaction = discrete_->coefficients(d).reaction();
    if (!reaction.empty()) out += c * reaction * in;
  }
}

}  // namespace qavrek
