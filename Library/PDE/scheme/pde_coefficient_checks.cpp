#include "PDE/scheme/pde_coefficient_checks.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "Core/check.h"
#include "Math/cholesky_decomposition.h"
#include "PDE/scheme/pde_model_coefficients.h"
#include "Vectorization/vector_clones.h"

namespace qavrek::pde_coefficient_checks {
namespace {

// A correlation's eigenvalues may fall this far below zero by rounding.
constexpr double semidefinite_tolerance = 1e-10;
// Its diagonal and its two triangles may differ by rounding from 1 and from each other.
constexpr double rounding = std::numeric_limits<double>::epsilon();

}  // namespace

bool covers(const pde_model_coefficients& coefficients, size_t nodes, bool empty_reaction) noexcept {
  const size_t reaction = coefficients.reaction().size();
  return coefficients.diffusion().size() == nodes && coefficients.convection().size() == nodes &&
         (reaction == nodes || (empty_reaction && reaction == 0));
}

std::string sizes_of(const pde_model_coefficients& coefficients) {
  return details::concat("diffusion of ", coefficients.diffusion().size(), ", convection of ",
                         coefficients.convection().size(), " and reaction of ", coefficients.reaction().size(),
                         " values");
}

// One pass over the bits, with no branch and no comparison, so that every instruction set runs it on its widest
// vectors.
QAVREK_VECTOR_CLONES
bool all_finite(const double* values, size_t n) noexcept {
  std::uint64_t words = 0;
  for (size_t i = 0; i < n; ++i) words |= non_finite_word(values[i]);
  return !any_non_finite(words);
}

std::string first_non_finite(const pde_model_coefficients& coefficients, size_t first, size_t last,
                             bool with_convection) {
  struct named {
    const char* name;
    const tensor<double>& values;
  };
  for (const named& c : {named{"diffusion", coefficients.diffusion()}, named{"convection", coefficients.convection()},
                         named{"reaction", coefficients.reaction()}}) {
    if (c.values.empty() || (!with_convection && &c.values == &coefficients.convection())) continue;
    for (size_t p = first; p < last && p < c.values.size(); ++p) {
      if (!std::isfinite(c.values[p])) {
        return details::concat("the ", c.name, " coefficient at node ", p, " is ", c.values[p]);
      }
    }
  }
  return {};
}

void check_correlation(const matrix<double>& correlation, size_t d) {
  if (correlation.empty()) return;
  QAVREK_CHECK(correlation.rows() >= d && correlation.columns() >= d, "a correlation of ", correlation.rows(), " x ",
               correlation.columns(), " for ", d, " dimensions");
  matrix<double> block(d, d);
  for (size_t i = 0; i < d; ++i) {
    QAVREK_CHECK(std::abs(correlation(i, i) - 1.0) <= rounding, "the correlation of dimension ", i,
                 " with itself is ", correlation(i, i), ", not 1");
    for (size_t j = 0; j < d; ++j) {
      const double rho = correlation(i, j);
      QAVREK_CHECK(std::abs(rho) <= 1.0, "the correlation of dimensions ", i, " and ", j, " is ", rho,
                   ": a correlation lies in [-1, 1]");
      QAVREK_CHECK(std::abs(rho - correlation(j, i)) <= rounding, "the correlation is not symmetric: ", rho, " at (",
                   i, ", ", j, ") and ", correlation(j, i), " at (", j, ", ", i, ")");
      block(i, j) = rho + (i == j ? semidefinite_tolerance : 0.0);
    }
  }
  QAVREK_CHECK(cholesky_decomposition(block.data(), static_cast<long long>(d), 'L'), "the correlation of ", d,
               " dimensions is not positive semidefinite");
}

}  // namespace qavrek::pde_coefficient_checks
