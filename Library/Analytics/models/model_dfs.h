#pragma once

#include <vector>

#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

// Model discount factors of a Gaussian model along an instrument's dates. Row i of `loadings` holds the
// loadings G_i of date i on K independent standard Gaussians (e.g. model_markovian_hjm::decompose), and
// every date is priced relative to date 0:
//   s_i = sum_k (G_ik - G_0k) x_k + 1/2 (G_ik^2 - G_0k^2),
//   out[i] = market_dfs[i] exp(-s_i), the exponent held in [-37, 300] (-37 when s_i > 37, 300 when s_i < -300).
// So out[0] = market_dfs[0] always. `out` holds one entry per market discount factor (it is not
// resized); `loadings` has at least that many rows and one column per entry of `state`.
void model_dfs(std::vector<double>& out, const vector<double>& state, const matrix<double>& loadings,
               const std::vector<double>& market_dfs);

// The gradient with respect to the state of sum_i exponent_adjoints[i] y_i, y_i the (bounded) exponent
// of date i in model_dfs: -sum_i exponent_adjoints[i] (G_i - G_0) over the dates whose s_i lies in
// [-300, 37] (a bounded exponent is a constant). Fed with the adjoints of the log discount factors of a
// value, it leaves that value's gradient with respect to the state. `state_adjoint` has K entries.
void model_dfs_adjoint(vector<double>& state_adjoint, const matrix<double>& loadings, const vector<double>& state,
                       const std::vector<double>& exponent_adjoints);

}  // namespace qavrek
