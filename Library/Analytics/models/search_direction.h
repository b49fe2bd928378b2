#pragma once

#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

// Search directions of the root searches in a Gaussian factor space; the searches subtract the
// direction from their current point.

// From the gradient g, the curvature matrix H (square, as wide as g) and the value v: with r = |g|,
// b = r + 1/r and a = v (1 - 1/r^2) / r, w = b g + a H g; d = (v b / |w|^2) w when w.g > 0, otherwise the
// Newton step (v / r^2) g (which is also what H = 0 gives). Returns r; when r or 1/r is below 2^-52, d
// is left as it was. d has the size of g.
double direction_matrix_product(vector<double>& d, const vector<double>& g, const matrix<double>& H, double v);

// Replaces x by its projection on the line of g, ((x.g)/(g.g)) g; leaves x alone when g.g is below 2^-52.
void direction_projection(vector<double>& x, const vector<double>& g);

}  // namespace qavrek
