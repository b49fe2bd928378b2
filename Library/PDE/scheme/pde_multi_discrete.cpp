#include "PDE/scheme/pde_multi_discrete.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "Core/check.h"
#include "Math/finite_difference.h"
#include "PDE/boundary/pde_boundary_indices.h"
#include "PDE/grid/space_grid.h"
#include "PDE/scheme/pde_coefficient_checks.h"
#include "PDE/scheme/pde_model_coefficients.h"

namespace qavrek {
namespace {

// Small stencils give their weights in five entries centred on the row's point.
using centred = std::array<double, 5>;
constexpr size_t centre = 2;

// At the ends of the domain a convection this large stands for "no convection".
constexpr double unbounded_convection = 1e6;

// Second-derivative weights at points[index] of a stencil of `count` points, centred.
centred second_derivative(const double* points, size_t count, size_t index) {
  std::array<double, 3 * 5> w{};
  finite_difference::weights(points[index], points, count, 2, w.data());
  centred second{};
  for (size_t j = 0; j < count; ++j) second[centre + j - index] = w[2 * count + j];
  return second;
}

}  // namespace

pde_multi_discrete::pde_multi_discrete(const std::vector<ptr_const<space_grid>>& grids,
                                       const std::vector<ptr_const<pde_model_coefficients>>& coefficients,
                                       const std::vector<size_t>& widths, const std::vector<bool>& flags)
    : grids_(grids), coefficients_(coefficients), widths_(widths), flags_(flags) {
  const size_t d_count = grids_.size();
  QAVREK_CHECK(d_count > 0, "no space grid");
  QAVREK_CHECK(coefficients_.size() == d_count && widths_.size() == d_count && flags_.size() == d_count,
               d_count, " space grids with ", coefficients_.size(), " coefficient sets, ", widths_.size(),
               " stencil widths and ", flags_.size(), " flags");
  for (size_t d = 0; d < d_count; ++d) {
    QAVREK_CHECK(grids_[d] != nullptr && grids_[d]->size() >= 3, "space grid ", d, " needs at least 3 points");
    const std::vector<double>& x = grids_[d]->axis();
    for (size_t i = 1; i < x.size(); ++i) {
      QAVREK_CHECK(x[i - 1] < x[i], "space grid ", d, " is not strictly ascending at point ", i);
    }
    QAVREK_CHECK(widths_[d] == 3 || widths_[d] == 5, "stencil width ", widths_[d], " of dimension ", d,
                 " is neither 3 nor 5");
    // A product that wraps would pass for a small tensor, and the operators would be written past its end.
    QAVREK_CHECK(x.size() <= std::numeric_limits<size_t>::max() / total_, "the nodes of ", d + 1,
                 " space grids are more than a size can count");
    total_ *= x.size();
  }
  size_t outer = 1;
  for (size_t d = 0; d < d_count; ++d) {
    const size_t n = grids_[d]->size();
    layouts_.push_back({outer, n, total_ / (outer * n)});
    outer *= n;
  }
  for (size_t d = 0; d < d_count; ++d) {
    const pde_model_coefficients* c = coefficients_[d].get();
    QAVREK_CHECK(c != nullptr, "coefficient set ", d, " is null");
    QAVREK_CHECK(c->diffusion().size() == total_ && c->convection().size() == total_ &&
                     (c->reaction().empty() || c->reaction().size() == total_),
                 "coefficient set ", d, " does not cover the ", total_, " grid nodes");
  }

  // Weights per dimension, band-major (band k of grid point i at k * N + i), so that the rows of every line are
  // written in passes over contiguous memory.
  for (size_t d = 0; d < d_count; ++d) {
    const size_t n = layouts_[d].n, w = widths_[d];
    std::vector<double> first(w * n), second(w * n);
    finite_difference::nonuniform_derivation(grids_[d]->axis().data(), n, first.data(), second.data(), flags_[d], w);
    first_weights_.emplace_back(w * n);
    second_weights_.emplace_back(w * n);
    for (size_t i = 0; i < n; ++i) {
      for (size_t k = 0; k < w; ++k) {
        first_weights_[d][k * n + i] = first[i * w + k];
        second_weights_[d][k * n + i] = second[i * w + k];
      }
    }
    operators_.emplace_back(w * total_);
  }

  for (size_t d = 0; d < d_count; ++d) add_cross_weights(d);
  for (size_t i = 0; i < d_count; ++i) {
    for (size_t j = i + 1; j < d_count; ++j) {
      pair_index_[{i, j}] = mixed_coefficients_.size();
      mixed_coefficients_.emplace_back(total_);
    }
  }
}

void pde_multi_discrete::add_cross_weights(size_t d) {
  const std::vector<double>& x = grids_[d]->axis();
  const size_t n = x.size();
  std::vector<double> first(3 * n), second(3 * n);
  finite_difference::nonuniform_derivation(x.data(), n, first.data(), second.data(), flags_[d], 3);
  std::vector<double> first_bands(3 * n, 0.0), damping_bands(3 * n, 0.0);
  for (size_t m = 1; m + 1 < n; ++m) {
    const double lower = x[m] - x[m - 1], upper = x[m + 1] - x[m];
    const double scale = lower * upper / (lower + upper);
    for (size_t k = 0; k < 3; ++k) {
      first_bands[k * n + m] = first[m * 3 + k];
      damping_bands[k * n + m] = scale * second[m * 3 + k];
    }
  }
  cross_first_weights_.push_back(std::move(first_bands));
  cross_damping_weights_.push_back(std::move(damping_bands));
}

void pde_multi_discrete::update_operators(const std::vector<pde_boundary_config>& configs,
                                          const pde_boundary_indices& indices) {
  QAVREK_CHECK(configs.size() >= dimensions() && indices.lower_index.size() >= dimensions(), configs.size(),
               " boundary configurations for ", dimensions(), " dimensions");
  for (size_t d = 0; d < dimensions(); ++d) {
    QAVREK_CHECK(pde_coefficient_checks::covers(*coefficients_[d], total_, true), "coefficient set ", d, " holds ",
                 pde_coefficient_checks::sizes_of(*coefficients_[d]), " for ", total_, " grid nodes");
  }
  using kind = pde_boundary_config::boundary_conditions_type;
  std::uint64_t non_finite = 0;
  for (size_t d = 0; d < dimensions(); ++d) {
    const size_t w = widths_[d];
    const size_t lower = indices.lower_index[d];
    const size_t upper = indices.last_index(d, grids_[d]->axis());
    operators_[d].fill(0.0);
    if (upper < lower || upper - lower + 1 < w) continue;
    non_finite |= update_interior_rows(d, lower, upper);
    if (configs[d].up_type() == kind::DIRICHLET || configs[d].down_type() == kind::DIRICHLET) {
      update_rows_next_to_ends(d, lower, upper, indices.lower_value[d], indices.upper_value[d]);
    }
    update_end_rows(d, lower, upper);
  }
  non_finite |= update_mixed_coefficients();
  operators_finite_ = !pde_coefficient_checks::any_non_finite(non_finite);
}

namespace {

// The entries of one band over the interior rows of dimension d; `check` ORs their non-finite words into the
// result (for the centre band, which every coefficient of the row reaches, with no extra pass over memory).
template <bool check>
std::uint64_t write_interior_band(double* band, const double* second, const double* first, const double* diffusion,
                                  const double* convection, const pde_multi_discrete::layout& l, size_t lower,
                                  size_t upper) {
  const auto [outer, n, inner] = l;
  std::uint64_t non_finite = 0;
  for (size_t o = 0; o < outer; ++o) {
    const size_t block = o * n * inner;
    if (inner == 1) {
      for (size_t i = lower + 1; i < upper; ++i) {
        const size_t p = block + i;
        band[p] = -(second[i] * diffusion[p] + first[i] * convection[p]);
        if constexpr (check) non_finite |= pde_coefficient_checks::non_finite_word(band[p]);
      }
      continue;
    }
    for (size_t i = lower + 1; i < upper; ++i) {
      const double w2 = second[i], w1 = first[i];
      const size_t row = block + i * inner;
      for (size_t p = row; p < row + inner; ++p) {
        band[p] = -(w2 * diffusion[p] + w1 * convection[p]);
        if constexpr (check) non_finite |= pde_coefficient_checks::non_finite_word(band[p]);
      }
    }
  }
  return non_finite;
}

}  // namespace

std::uint64_t pde_multi_discrete::update_interior_rows(size_t d, size_t lower, size_t upper) {
  const size_t n = layouts_[d].n, w = widths_[d];
  const double* diffusion = coefficients_[d]->diffusion().data();
  const double* convection = coefficients_[d]->convection().data();
  std::uint64_t non_finite = 0;
  for (size_t k = 0; k < w; ++k) {
    double* band = operators_[d].data() + k * total_;
    const double* second = second_weights_[d].data() + k * n;
    const double* first = first_weights_[d].data() + k * n;
    if (k == w / 2) {
      non_finite |= write_interior_band<true>(band, second, first, diffusion, convection, layouts_[d], lower, upper);
    } else {
      write_interior_band<false>(band, second, first, diffusion, convection, layouts_[d], lower, upper);
    }
  }
  return non_finite;
}

void pde_multi_discrete::write_rows(size_t d, size_t i, const double* second, const double* first,
                                    bool second_order) {
  const auto [outer, n, inner] = layouts_[d];
  const size_t w = widths_[d], half = w / 2;
  const double* diffusion = coefficients_[d]->diffusion().data();
  const double* convection = coefficients_[d]->convection().data();
  for (size_t k = 0; k < w; ++k) {
    double* band = operators_[d].data() + k * total_;
    const double w2 = second_order ? second[centre + k - half] : 0.0;  // end rows have no diffusion
    const double w1 = first[centre + k - half];
    for (size_t o = 0; o < outer; ++o) {
      const size_t row = (o * n + i) * inner;
      if (second_order) {
        for (size_t p = row; p < row + inner; ++p) band[p] = -(w2 * diffusion[p] + w1 * convection[p]);
        continue;
      }
      for (size_t p = row; p < row + inner; ++p) {
        const double c = convection[p];
        band[p] = std::abs(c) < unbounded_convection ? -w1 * c : 0.0;
      }
    }
  }
}

void pde_multi_discrete::update_end_rows(size_t d, size_t lower, size_t upper) {
  const std::vector<double>& x = grids_[d]->axis();
  centred lower_first{}, upper_first{};
  if (widths_[d] == 3 || flags_[d]) {
    // Two points: the first derivative from the end spacing.
    const double h_lower = x[lower + 1] - x[lower], h_upper = x[upper] - x[upper - 1];
    lower_first[centre] = -1.0 / h_lower;
    lower_first[centre + 1] = 1.0 / h_lower;
    upper_first[centre - 1] = -1.0 / h_upper;
    upper_first[centre] = 1.0 / h_upper;
  } else {
    finite_difference::nonuniform_five_points_derivative_0(&x[lower], 0, lower_first.data());
    finite_difference::nonuniform_five_points_derivative_0(&x[upper - 2], 2, upper_first.data());
  }
  write_rows(d, lower, nullptr, lower_first.data(), false);
  write_rows(d, upper, nullptr, upper_first.data(), false);
}

void pde_multi_discrete::update_rows_next_to_ends(size_t d, size_t lower, size_t upper, double lower_value,
                                                  double upper_value) {
  const std::vector<double>& x = grids_[d]->axis();
  centred first{}, second{};
  if (widths_[d] == 3) {
    const std::array<double, 3> low{lower_value, x[lower + 1], x[lower + 2]};
    finite_difference::nonuniform_three_points_derivative_mid(low.data(), 1, first.data(), second.data(), flags_[d]);
    write_rows(d, lower + 1, second.data(), first.data(), true);
    const std::array<double, 3> up{x[upper - 2], x[upper - 1], upper_value};
    finite_difference::nonuniform_three_points_derivative_mid(up.data(), 1, first.data(), second.data(), flags_[d]);
    write_rows(d, upper - 1, second.data(), first.data(), true);
    return;
  }
  const std::array<double, 4> low{lower_value, x[lower + 1], x[lower + 2], x[lower + 3]};
  finite_difference::nonuniform_five_points_derivative_1(low.data(), 1, first.data());
  second = second_derivative(low.data(), 4, 1);
  write_rows(d, lower + 1, second.data(), first.data(), true);
  const std::array<double, 4> up{x[upper - 3], x[upper - 2], x[upper - 1], upper_value};
  finite_difference::nonuniform_five_points_derivative_1(up.data(), 2, first.data());
  second = second_derivative(up.data(), 4, 2);
  write_rows(d, upper - 1, second.data(), first.data(), true);
}

std::uint64_t pde_multi_discrete::update_mixed_coefficients() {
  std::uint64_t non_finite = 0;
  for (const auto& [dimensions, pair] : pair_index_) {
    const double* d_i = coefficients_[dimensions.first]->diffusion().data();
    const double* d_j = coefficients_[dimensions.second]->diffusion().data();
    double* mixed = mixed_coefficients_[pair].data();
    for (size_t p = 0; p < total_; ++p) {
      mixed[p] = 2.0 * std::sqrt(d_i[p] * d_j[p]);
      // An overflow, and a negative diffusion, whose root is NaN.
      non_finite |= pde_coefficient_checks::non_finite_word(mixed[p]);
    }
  }
  return non_finite;
}

}  // namespace qavrek
