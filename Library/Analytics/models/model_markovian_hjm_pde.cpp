#include "Analytics/models/model_markovian_hjm.h"

#include <algorithm>
#include <vector>

#include "Analytics/models/bilinear_form.h"
#include "Analytics/models/factor_scratch.h"
#include "Core/check.h"
#include "PDE/grid/space_grid.h"
#include "PDE/scheme/pde_model_coefficients.h"

namespace qavrek {
namespace {

// Read-only vector view over a grid axis, so that the element-wise evaluator checks its size.
const vector<double> axis_view(const std::vector<double>& axis) {
  return vector<double>::view(const_cast<double*>(axis.data()), axis.size());
}

// Where a factor's points sit in a tensor of `count` values: one value per point of its grid (count equals its
// size), or one per node of the product of the grids, grid 0 outermost, where each point of grid i is repeated
// over `inner` nodes and the block of its points over `outer` blocks. size_of(j) is the size of grid j.
struct factor_layout {
  size_t outer = 1;
  size_t inner = 1;
};

template <class Size>
factor_layout layout_on_grids(size_t count, size_t factors, size_t i, const Size& size_of) {
  const size_t points = size_of(i);
  if (count == points) return {};
  factor_layout layout;
  for (size_t j = 0; j < i; ++j) layout.outer *= size_of(j);
  for (size_t j = i + 1; j < factors; ++j) layout.inner *= size_of(j);
  QAVREK_CHECK(count == layout.outer * points * layout.inner, "a coefficient tensor of ", count,
               " values holds neither the ", points, " points of factor ", i, "'s grid nor the ",
               layout.outer * points * layout.inner, " nodes of the product of the grids");
  return layout;
}

// The coefficients of one factor over the step: diffusion 1/2 variance, no convection, and the reaction
// level + slope x at every node of the factor's point x.
template <class Size>
void write_factor_coefficients(tensor<double>& diffusion, tensor<double>& convection, tensor<double>& reaction,
                               const std::vector<double>& axis, size_t factors, size_t i, const Size& size_of,
                               double variance, double level, double slope) {
  const size_t count = reaction.size();
  QAVREK_CHECK(diffusion.size() == count && convection.size() == count, "the coefficient tensors of factor ", i,
               " hold ", diffusion.size(), ", ", convection.size(), " and ", count, " values");
  const factor_layout layout = layout_on_grids(count, factors, i, size_of);
  const size_t points = axis.size();
  double* values = reaction.data();
  if (layout.inner == 1) {
    for (size_t block = 0; block < layout.outer; ++block, values += points)
      for (size_t p = 0; p < points; ++p) values[p] = level + slope * axis[p];
  } else {
    for (size_t block = 0; block < layout.outer; ++block) {
      for (size_t p = 0; p < points; ++p) {
        double* nodes = values + (block * points + p) * layout.inner;
        std::fill(nodes, nodes + layout.inner, level + slope * axis[p]);
      }
    }
  }
  convection.fill(0.0);
  diffusion.fill(0.5 * variance);
}

}  // namespace

bool model_markovian_hjm::has_covariance_at(const datetime& t) const {
  if (!t.is_valid()) return false;
  if (full_covariance_flag_ || t == valuation_date_) return true;
  // Equality, not equivalence: lower_bound alone would take an unset date for any.
  const auto found = std::lower_bound(simulation_dates_.begin(), simulation_dates_.end(), t);
  return found != simulation_dates_.end() && *found == t;
}

void model_markovian_hjm::check_covariance_date(const datetime& t, const char* operation) const {
  QAVREK_CHECK(has_covariance_at(t), operation, " at ", t,
               " needs the covariance of the states there, which a simulation model tabulates at the valuation date "
               "and its simulation dates only");
}

void model_markovian_hjm::pde_step_terms(const datetime& t, const datetime& T, double* work) const {
  check_covariance_date(t, "the PDE coefficients");
  check_covariance_date(T, "the PDE coefficients");
  QAVREK_CHECK(!(T < t), "the PDE coefficients need the step's dates in time order, not ", t, " then ", T);
  const size_t n = number_of_factors();
  const size_t k_t = date_offset(t);
  const size_t k_end = date_offset(T);
  double* variance = work;
  double* level = work + n;
  double* slope = work + 2 * n;
  double* rest = work + 3 * n;
  matrix<double> covariance_t = matrix<double>::view(rest, n, n);
  matrix<double> covariance_end = matrix<double>::view(rest + n * n, n, n);
  vector<double> decay_t = vector<double>::view(rest + 2 * n * n, n);
  vector<double> decay_end = vector<double>::view(rest + 2 * n * n + n, n);
  double* drift_t = rest + 2 * n * n + 2 * n;
  double* drift_end = rest + 2 * n * n + 3 * n;
  double* integral_t = rest + 2 * n * n + 4 * n;
  double* integral_end = rest + 2 * n * n + 5 * n;
  continue_states_variable_covariance(t, k_t, covariance_t);
  continue_states_variable_covariance(T, k_end, covariance_end);
  decay(t, k_t, decay_t);
  decay(T, k_end, decay_end);
  continue_integral_decay_into(t, k_t, integral_t);
  continue_integral_decay_into(T, k_end, integral_end);
  state_drift_into(t, k_t, drift_t);
  state_drift_into(T, k_end, drift_end);

  const double half_dt = 0.5 * year_fraction(t, T);
  for (size_t i = 0; i < n; ++i) {
    // The factor's share of the short rate is D_i (x_i + (S G)_i), x_i = mu_i + the grid point.
    double covariance_term_t = 0.0;
    double covariance_term_end = 0.0;
    for (size_t j = 0; j < n; ++j) {
      covariance_term_t += covariance_t(i, j) * integral_t[j];
      covariance_term_end += covariance_end(i, j) * integral_end[j];
    }
    variance[i] = std::max(covariance_end(i, i) - covariance_t(i, i), 0.0);
    level[i] = -half_dt * (decay_t[i] * (drift_t[i] + covariance_term_t) +
                           decay_end[i] * (drift_end[i] + covariance_term_end));
    slope[i] = -half_dt * (decay_t[i] + decay_end[i]);
  }
}

void model_markovian_hjm::coefficients(std::span<tensor<double>> diffusions, std::span<tensor<double>> convections,
                                       std::span<tensor<double>> reactions, std::span<const std::vector<double>> axes,
                                       const datetime& t, const datetime& T) const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(diffusions.size() == n && convections.size() == n && reactions.size() == n && axes.size() == n,
               "the PDE coefficients need one grid and three coefficient tensors per factor (", n, ")");
  factor_scratch terms(pde_step_work_size(n));
  pde_step_terms(t, T, terms.data());
  const auto size_of = [&axes](size_t j) { return axes[j].size(); };
  for (size_t i = 0; i < n; ++i)
    write_factor_coefficients(diffusions[i], convections[i], reactions[i], axes[i], n, i, size_of,
                              terms.block(0)[i], terms.block(n)[i], terms.block(2 * n)[i]);
}

void model_markovian_hjm::coefficients(std::span<const std::shared_ptr<pde_model_coefficients>> coefficients,
                                       std::span<const ptr_const<space_grid>> grids, const datetime& t,
                                       const datetime& T) const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(coefficients.size() >= n && grids.size() >= n,
               "the PDE coefficients need one grid and one coefficient set per factor (", n, "), not ", grids.size(),
               " and ", coefficients.size());
  for (size_t i = 0; i < n; ++i)
    QAVREK_CHECK(coefficients[i] != nullptr && grids[i] != nullptr, "factor ", i, " has no grid or coefficient set");
  factor_scratch terms(pde_step_work_size(n));
  pde_step_terms(t, T, terms.data());
  const auto size_of = [&grids](size_t j) { return grids[j]->size(); };
  for (size_t i = 0; i < n; ++i) {
    pde_model_coefficients& set = *coefficients[i];
    write_factor_coefficients(set.diffusion(), set.convection(), set.reaction(), grids[i]->axis(), n, i, size_of,
                              terms.block(0)[i], terms.block(n)[i], terms.block(2 * n)[i]);
  }
}

template <class Axis>
void model_markovian_hjm::grid_conditional_price(double* out, size_t size, const Axis& axis, const datetime& t,
                                                 const datetime& T) const {
  check_covariance_date(t, "the grid price");
  const size_t n = number_of_factors();
  factor_scratch scratch(n * n + 4 * n);
  matrix<double> covariance = matrix<double>::view(scratch.block(0), n, n);
  double* integral_t = scratch.block(n * n);
  double* difference = scratch.block(n * n + n);  // G(T) - G(t)
  double* sum = scratch.block(n * n + 2 * n);     // G(T) + G(t)
  vector<double> drift = vector<double>::view(scratch.block(n * n + 3 * n), n);
  states_variable_covariance(t, covariance);
  integral_decay_into(t, integral_t);
  integral_decay_into(T, difference);
  for (size_t k = 0; k < n; ++k) {
    sum[k] = difference[k] + integral_t[k];
    difference[k] -= integral_t[k];
  }
  const double q = bilinear_form(difference, covariance, sum);
  state_drift(t, drift);

  vector<double> values = vector<double>::view(out, size);
  values = -0.5 * q;
  for (size_t i = 0; i < n; ++i) values -= difference[i] * (drift[i] + axis_view(axis(i)));
}

void model_markovian_hjm::conditional_price(double* out, std::span<const std::vector<double>> axes,
                                            const datetime& t, const datetime& T) const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(axes.size() == n, "the grid price needs one grid per factor (", n, "), not ", axes.size());
  grid_conditional_price(out, axes[0].size(), [&axes](size_t i) -> const std::vector<double>& { return axes[i]; },
                         t, T);
}

void model_markovian_hjm::conditional_price(double* out, std::span<const ptr_const<space_grid>> grids,
                                            const datetime& t, const datetime& T) const {
  const size_t n = number_of_factors();
  QAVREK_CHECK(grids.size() >= n, "the grid price needs one grid per factor (", n, "), not ", grids.size());
  for (size_t i = 0; i < n; ++i) QAVREK_CHECK(grids[i] != nullptr, "factor ", i, " has no grid");
  grid_conditional_price(out, grids[0]->size(),
                         [&grids](size_t i) -> const std::vector<double>& { return grids[i]->axis(); }, t, T);
}

}  // namespace qavrek
