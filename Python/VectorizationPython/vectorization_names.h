#pragma once

#include "Frame/python_name.h"
#include "Vectorization/matrix.h"
#include "Vectorization/tensor.h"
#include "Vectorization/vector.h"

namespace qavrek::python {

template <>
inline constexpr const char* python_name<vector<double>> = "vector_IdE";
template <>
inline constexpr const char* python_name<matrix<double>> = "matrix_IdE";
template <>
inline constexpr const char* python_name<tensor<double>> = "tensor_IdE";

}  // namespace qavrek::python
