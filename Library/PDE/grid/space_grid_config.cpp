#include "PDE/grid/space_grid_config.h"

namespace qavrek {

space_grid_config::space_grid_config(space_grid_type type, bool transform_start, bool transform_end,
                                     transformation_type transformation, double tolerance, double scaling,
                                     double bracket_fraction)
    : type_(type),
      transform_start_(transform_start),
      transform_end_(transform_end),
      transformation_(transformation),
      scaling_(scaling),
      bracket_fraction_(bracket_fraction),
      tolerance_(tolerance) {}

}  // namespace qavrek
