#pragma once

#include "Core/aad_state_parameters_manager.h"
#include "Frame/python_name.h"
#include "Random/device_type.h"

namespace qavrek::python {

// The generators' device is declared by the Random library but registered here, so that every module
// that reads it finds it once Core is imported.
template <>
inline constexpr const char* python_name<device_type> = "device_type";
// The base that the parameter sets of other modules find by this name.
template <>
inline constexpr const char* python_name<aad_state_parameters_manager> = "aadStateParametersManager";

}  // namespace qavrek::python
