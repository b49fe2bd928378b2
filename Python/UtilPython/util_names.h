#pragma once

#include "Frame/python_name.h"
#include "Util/calendar.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Util/key.h"
#include "Util/tenor.h"

namespace qavrek::python {

template <>
inline constexpr const char* python_name<datetime> = "datetime";
template <>
inline constexpr const char* python_name<tenor> = "tenor";
template <>
inline constexpr const char* python_name<key> = "key";
template <>
inline constexpr const char* python_name<calendar> = "calendar";
template <>
inline constexpr const char* python_name<day_count_convention> = "dayCountConvention";
template <>
inline constexpr const char* python_name<day_count_convention_type> = "day_count_convention_type";

}  // namespace qavrek::python
