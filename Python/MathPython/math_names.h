#pragma once

#include "Frame/python_name.h"
#include "Math/normal_distribution.h"

namespace qavrek::python {

template <>
inline constexpr const char* python_name<normal_distribution> = "normalDistribution";

}  // namespace qavrek::python
