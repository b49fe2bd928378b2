#pragma once

#include "Vectorization/expressions/expression_nodes.h"
#include "Vectorization/expressions/operators.h"

namespace qavrek {

// Standard normal cumulative distribution function, accurate to a few units in the last
// place over the whole range, including the far lower tail down to the smallest normal
// double.
double normalcdf(double x);

namespace expressions {

struct normalcdf_op {
  double operator()(double x) const { return qavrek::normalcdf(x); }
};

// Element by element: out = normalcdf(x) or any expression such as normalcdf(-d1).
template <operand A>
auto normalcdf(const A& a) {
  return make_unary<normalcdf_op>(a);
}

}  // namespace expressions

}  // namespace qavrek
