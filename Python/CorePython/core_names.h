#pragma once

#include "Frame/python_name.h"
#include "Random/device_type.h"

namespace qavrek::python {

// The generators' device is declared by the Random library but registered here, so that every module
// that reads it finds it once Core is imported.
template <>
inline constexpr const char* python_name<device_type> = "device_type";

}  // namespace qavrek::python
