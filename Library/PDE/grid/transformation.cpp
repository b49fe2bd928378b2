#include "PDE/grid/transformation.h"

#include <cmath>

namespace qavrek {

void apply_transformation(transformation_type transformation, double& value) {
  switch (transformation) {
    case transformation_type::LOG:
      value = std::log(value);
      break;
    case transformation_type::SQRT:
      value = std::sqrt(value);
      break;
    case transformation_type::EXP:
      value = std::exp(value);
      break;
    default:
      break;
  }
}

void apply_transformation_to_axis(transformation_type transformation, std::vector<double>& values) {
  // One loop per transformation, so that each is a plain loop over the values.
  switch (transformation) {
    case transformation_type::LOG:
      for (double& v : values) v = std::log(v);
      break;
    case transformation_type::SQRT:
      for (double& v : values) v = std::sqrt(v);
      break;
    case transformation_type::EXP:
      for (double& v : values) v = std::exp(v);
      break;
    default:
      break;
  }
}

}  // namespace qavrek
