#include "PDE/scheme/pde_multi_implicit.h"

#include <utility>

#include "Core/check.h"
#include "Math/pentadiagonal_operations.h"
#include "Math/tridiagonal_operations.h"
#include "PDE/scheme/pde_multi_discrete.h"

namespace qavrek {

pde_multi_implicit::pde_multi_implicit(std::shared_ptr<const pde_multi_discrete> discrete, double a, double b)
    : discrete_(std::move(discrete)), a_(a), b_(b) {
  QAVREK_CHECK(discrete_ != nullptr, "no operators");
  for (size_t d = 0; d < discrete_->dimensions(); ++d) matrices_.emplace_back(discrete_->operator_of(d).size());
}

void pde_multi_implicit::prepare_implicit() {
  for (size_t d = 0; d < discrete_->dimensions(); ++d) {
    vector<double>& m = matrices_[d];
    m = a_ * discrete_->operator_of(d);
    const auto [outer, n, inner] = discrete_->layout_of(d);
    const size_t total = discrete_->total();
    double* diagonal = m.data() + discrete_->width(d) / 2 * total;
    for (size_t p = 0; p < total; ++p) diagonal[p] += b_;
    if (discrete_->width(d) == 3) {
      tridiagonal_operations::decomposition(m.data(), outer, n, inner, false);
    } else {
      pentadiagonal_operations::decomposition(m.data(), outer, n, inner, false);
    }
  }
}

void pde_multi_implicit::solve_implicit(vector<double>& x) const {
  QAVREK_CHECK(x.size() == discrete_->total(), "a vector of ", x.size(), " values on ", discrete_->total(),
               " grid nodes");
  for (size_t d = 0; d < discrete_->dimensions(); ++d) {
    const auto [outer, n, inner] = discrete_->layout_of(d);
    const double* m = matrices_[d].data();
    if (discrete_->width(d) == 3) {
      tridiagonal_operations::solve_decomposed(x.data(), m, outer, n, inner, false);
    } else {
      pentadiagonal_operations::solve_decomposed(x.data(), m, outer, n, inner, false);
    }
  }
}

}  // namespace qavrek
