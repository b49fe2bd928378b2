#include "PDE/scheme/pde_multi_explicit.h"

#include <cstddef>
#include <type_traits>
#include <utility>
#include <vector>

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

// The cross-stencil weights of one axis at one grid point (lower neighbour, point, upper neighbour), or the three
// bands of those weights from one grid point on.
template <typename T>
struct three {
  T lower, point, upper;
};

three<double> weights_at(const std::vector<double>& bands, size_t n, size_t m) {
  return {bands[m], bands[n + m], bands[2 * n + m]};
}

three<const double*> bands_from(const std::vector<double>& bands, size_t n, size_t m) {
  return {bands.data() + m, bands.data() + n + m, bands.data() + 2 * n + m};
}

// The weight of node k of a run: from a band along axis j, or the same on a run across it.
double weight_of(const double* band, size_t k) { return band[k]; }
double weight_of(double weight, size_t) { return weight; }

// out[k] += factor mixed[k] S_k over a run of `count` nodes (every pointer at the run's first node), with
// S = (a_i (x) a_j + alpha b_i (x) b_j) u on the nodes at offsets {-s_i, 0, s_i} x {-s_j, 0, s_j}. The weights of
// axis i are fixed along the run; those of axis j are bands (J a pointer) on a run along axis j, where s_j = 1, and
// fixed on a run across it.
template <bool damped, typename J>
void accumulate_cross_run(double* __restrict out, const double* u, const double* mixed, size_t count, ptrdiff_t s_i,
                          ptrdiff_t s_j, const three<double>& a_i, const three<double>& b_i, const three<J>& a_j,
                          const three<J>& b_j, double alpha, double factor) {
  const ptrdiff_t step = std::is_pointer_v<J> ? 1 : s_j;
  for (size_t k = 0; k < count; ++k) {
    auto along = [&](const three<J>& w, ptrdiff_t row) {
      const double* v = u + k + row;
      return weight_of(w.lower, k) * v[-step] + weight_of(w.point, k) * v[0] + weight_of(w.upper, k) * v[step];
    };
    double s = a_i.lower * along(a_j, -s_i) + a_i.point * along(a_j, 0) + a_i.upper * along(a_j, s_i);
    if constexpr (damped) {
      s += alpha * (b_i.lower * along(b_j, -s_i) + b_i.point * along(b_j, 0) + b_i.upper * along(b_j, s_i));
    }
    out[k] += factor * mixed[k] * s;
  }
}

template <typename J>
void add_cross_run(double* out, const double* u, const double* mixed, size_t count, ptrdiff_t s_i, ptrdiff_t s_j,
                   const three<double>& a_i, const three<double>& b_i, const three<J>& a_j, const three<J>& b_j,
                   double alpha, double factor) {
  if (alpha != 0.0) {
    accumulate_cross_run<true>(out, u, mixed, count, s_i, s_j, a_i, b_i, a_j, b_j, alpha, factor);
  } else {
    accumulate_cross_run<false>(out, u, mixed, count, s_i, s_j, a_i, b_i, a_j, b_j, alpha, factor);
  }
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
    const double factor = rho * scale_;
    const auto& layout_i = discrete_->layout_of(i);
    const auto& layout_j = discrete_->layout_of(j);
    const size_t n_i = layout_i.n, n_j = layout_j.n;
    const size_t before = layout_i.outer, between = layout_j.outer / (before * n_i), after = layout_j.inner;
    const auto s_i = ptrdiff_t(layout_i.inner), s_j = ptrdiff_t(after);
    const std::vector<double>& first_i = discrete_->cross_first_weights(i);
    const std::vector<double>& damping_i = discrete_->cross_damping_weights(i);
    const std::vector<double>& first_j = discrete_->cross_first_weights(j);
    const std::vector<double>& damping_j = discrete_->cross_damping_weights(j);
    const double* u = in.data();
    const double* mixed = discrete_->mixed_coefficients(pair).data();
    double* result = out.data();
    // The nodes inside both axes, by (a, m, b) of the layout p = (((a n_i + m) between + b) n_j + q) after + c:
    // one run along axis j when it is the innermost, else one run across it per grid point q.
    for (size_t a = 0; a < before; ++a) {
      for (size_t m = 1; m + 1 < n_i; ++m) {
        const three<double> a_i = weights_at(first_i, n_i, m), b_i = weights_at(damping_i, n_i, m);
        for (size_t b = 0; b < between; ++b) {
          const size_t base = ((a * n_i + m) * between + b) * n_j * after;
          if (after == 1) {
            const size_t p = base + 1;
            add_cross_run(result + p, u + p, mixed + p, n_j - 2, s_i, s_j, a_i, b_i, bands_from(first_j, n_j, 1),
                          bands_from(damping_j, n_j, 1), alpha, factor);
            continue;
          }
          for (size_t q = 1; q + 1 < n_j; ++q) {
            const size_t p = base + q * after;
            add_cross_run(result + p, u + p, mixed + p, after, s_i, s_j, a_i, b_i, weights_at(first_j, n_j, q),
                          weights_at(damping_j, n_j, q), alpha, factor);
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
