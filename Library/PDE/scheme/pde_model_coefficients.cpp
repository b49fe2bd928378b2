#include "PDE/scheme/pde_model_coefficients.h"

#include <utility>

namespace qavrek {

pde_model_coefficients::pde_model_coefficients(std::vector<size_t> dimensions, bool with_correlation)
    : diffusion_(dimensions),
      convection_(dimensions),
      reaction_(dimensions),
      correlation_(with_correlation ? std::move(dimensions) : std::vector<size_t>{0}) {}

}  // namespace qavrek
