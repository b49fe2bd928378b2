#include "Analytics/models/model_dfs.h"

#include <cmath>

#include "Core/check.h"

namespace qavrek {
namespace {

// Beyond these the exponent is held constant: e^-37 is as good as no discount factor next to the
// others, and a discount factor above e^300 only signals a state far outside the model's range.
constexpr double largest_exponent_sum = 37.0;
constexpr double smallest_exponent_sum = -300.0;

void check_shapes(const matrix<double>& loadings, const vector<double>& state, size_t dates) {
  QAVREK_CHECK(state.size() == loadings.columns(), "the state has ", state.size(), " factors, the loadings ",
               loadings.columns());
  QAVREK_CHECK(loadings.rows() >= dates, "the loadings have ", loadings.rows(), " rows for ", dates, " dates");
}

// s_i of date i relative to date 0.
double exponent_sum(const matrix<double>& loadings, const vector<double>& state, size_t i) {
  const double* g = loadings[i];
  const double* g0 = loadings[0];
  double sum = 0.0;
  for (size_t k = 0; k < loadings.columns(); ++k) sum += (g[k] - g0[k]) * state[k] + 0.5 * (g[k] * g[k] - g0[k] * g0[k]);
  return sum;
}

}  // namespace

void model_dfs(std::vector<double>& out, const vector<double>& state, const matrix<double>& loadings,
               const std::vector<double>& market_dfs) {
  const size_t dates = market_dfs.size();
  if (dates == 0) return;
  check_shapes(loadings, state, dates);
  QAVREK_CHECK(out.size() == dates, "the model discount factors have ", out.size(), " entries for ", dates,
               " market discount factors");
  for (size_t i = 0; i < dates; ++i) {
    const double sum = exponent_sum(loadings, state, i);
    out[i] = sum > largest_exponent_sum ? -largest_exponent_sum : sum < smallest_exponent_sum ? -smallest_exponent_sum : -sum;
  }
  for (size_t i = 0; i < dates; ++i) out[i] = market_dfs[i] * std::exp(out[i]);
}

void model_dfs_adjoint(vector<double>& state_adjoint, const matrix<double>& loadings, const vector<double>& state,
                       const std::vector<double>& exponent_adjoints) {
  state_adjoint = 0.0;
  const size_t dates = exponent_adjoints.size();
  if (dates == 0) return;
  check_shapes(loadings, state, dates);
  const vector<double> first = loadings.row(0);
  for (size_t i = dates; i-- > 0;) {
    const double sum = exponent_sum(loadings, state, i);
    if (sum > largest_exponent_sum || sum < smallest_exponent_sum) continue;
    state_adjoint -= exponent_adjoints[i] * (loadings.row(i) - first);
  }
}

}  // namespace qavrek
