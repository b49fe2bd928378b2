#pragma once

#include <cstdint>
#include <vector>

namespace qavrek {

// The coordinate a space grid lives in, as a function of the model's variable. Stored as numbers; other values
// leave values unchanged.
enum class transformation_type : std::int32_t {
  NONE = 0,
  LOG = 1,
  SQRT = 2,
  EXP = 3,
};

// Puts a value, or every value of an axis, into the transformed coordinate in place, with the floating-point rules
// of log, sqrt and exp (a non-positive value's log is NaN or -infinity).
void apply_transformation(transformation_type transformation, double& value);
void apply_transformation_to_axis(transformation_type transformation, std::vector<double>& values);

}  // namespace qavrek
