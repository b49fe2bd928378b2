#pragma once

#include <cstddef>

#include "Math/finite_difference.h"

// The boundary-stencil weights behind one signature, for tables of cases; `second` is left alone by the forms that
// give first-derivative weights only.
namespace qavrek::test {

using stencil_form = void (*)(const double* points, size_t index, double* first, double* second);

inline void three_mid(const double* p, size_t i, double* first, double* second) {
  finite_difference::nonuniform_three_points_derivative_mid(p, i, first, second, false);
}
inline void five_mid(const double* p, size_t i, double* first, double* second) {
  finite_difference::nonuniform_five_points_derivative_mid(p, i, first, second, false);
}
inline void five_0(const double* p, size_t i, double* first, double*) {
  finite_difference::nonuniform_five_points_derivative_0(p, i, first);
}
inline void five_1(const double* p, size_t i, double* first, double*) {
  finite_difference::nonuniform_five_points_derivative_1(p, i, first);
}

}  // namespace qavrek::test
