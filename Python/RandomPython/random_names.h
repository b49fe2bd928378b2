#pragma once

#include "CorePython/core_names.h"
#include "Frame/python_name.h"
#include "Random/random.h"
#include "Random/random_settings.h"
#include "Random/random_type.h"

namespace qavrek::python {

template <>
inline constexpr const char* python_name<random> = "random";
template <>
inline constexpr const char* python_name<random_settings> = "randomSettings";
template <>
inline constexpr const char* python_name<random_type> = "random_type";

}  // namespace qavrek::python
