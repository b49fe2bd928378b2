#pragma once

#include <utility>
#include <vector>

#include "Core/pointers.h"
#include "PDE/scheme/pde_model_coefficients.h"

namespace qavrek {

// The coefficients at the ends of the domain, one pair per key of a storage's boundary groups (in key order): the
// set read at the upper end first, the set read at the lower end second. The one-dimensional scheme reads their
// convection and reaction at its end rows; the alternating-direction-implicit scheme does not read them.
using boundary_coefficient_pair = std::pair<ptr_const<pde_model_coefficients>, ptr_const<pde_model_coefficients>>;
using boundary_coefficients = std::vector<boundary_coefficient_pair>;

}  // namespace qavrek
