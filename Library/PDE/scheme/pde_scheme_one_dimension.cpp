#include "PDE/scheme/pde_scheme_one_dimension.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "Core/check.h"
#include "Core/interruption.h"
#include "Math/finite_difference.h"
#include "Math/pentadiagonal_operations.h"
#include "Math/tridiagonal_operations.h"
#include "PDE/grid/space_grid.h"
#include "PDE/grid/time_grid.h"
#include "PDE/scheme/pde_coefficient_checks.h"
#include "PDE/scheme/pde_model_coefficients.h"
#include "PDE/scheme/pde_storage.h"
#include "Vectorization/vector_clones.h"

namespace qavrek {
namespace {

constexpr const char* source_file = "Library/PDE/scheme/pde_scheme_one_dimension";

// Identity and operator weights of CRANK_NICOLSON, TWO_STAGE_IMPLICIT and IMPLICIT.
constexpr std::array<double, 3> identity_weights{0.5, 1.0, 1.0};
constexpr std::array<double, 3> operator_weights{0.25, 0.29289321881345254, 1.0};  // 1 - 1/sqrt 2 for the second
// The second stage of TWO_STAGE_IMPLICIT starts from (1 + sqrt 2) v - sqrt 2 u.
constexpr double stage_weight = 2.4142135623730945, start_weight = -1.4142135623730945;

// Small stencils give their weights in five entries centred on the row's point.
using centred = std::array<double, 5>;
constexpr size_t centre = 2;

// The boundary coefficient set of a side must cover the grid where its end rows read it.
const pde_model_coefficients& end_set(const pde_model_coefficients* ends, size_t n, const char* side) {
  QAVREK_CHECK(ends != nullptr && ends->convection().size() == n && ends->reaction().size() == n, "the ", side,
               " boundary coefficients do not cover the ", n, " grid points");
  return *ends;
}

// What the interior rows of a non-uniform grid are built from.
struct interior_rows {
  const double *diffusion, *convection, *reaction, *second, *first;
  size_t width;
  double a, b, s;
};

// Band k of the rows strictly inside [lower, upper]: fma(-b D, w2, -s C w1), the centre band adding a - b R; returns
// the non-finite words of the entries (pde_coefficient_checks). On the instruction sets with a fused multiply-add
// the copy for them runs it as one instruction, where the baseline calls the library; both round once, so the bits
// are the same (the file is compiled without contraction, so that no other sum is fused in those copies).
QAVREK_VECTOR_CLONES
std::uint64_t write_interior_band(double* band, const interior_rows& r, size_t k, size_t lower, size_t upper) {
  const size_t w = r.width, half = w / 2;
  const bool is_centre = k == half;
  std::uint64_t words = 0;
  for (size_t i = lower + half; i + half <= upper; ++i) {
    const double alpha = -r.b * r.diffusion[i], gamma = -r.s * r.convection[i];
    double entry = std::fma(alpha, r.second[i * w + k], gamma * r.first[i * w + k]);
    if (is_centre) entry += r.a - r.b * r.reaction[i];
    band[i] = entry;
    words |= pde_coefficient_checks::non_finite_word(entry);
  }
  return words;
}

// What the interior rows of a uniform grid are built from: the spacing h and the coefficients.
struct uniform_rows {
  const double *diffusion, *convection, *reaction;
  double a, b, s, h;
};

// The rows first ... last of the closed-form stencils, (1, -2, 1) and (-1/2, 0, 1/2) over three bands, or
// (-1, 16, -30, 16, -1) / 12 and (1, -8, 0, 8, -1) / 12 over five; returns the non-finite words of the entries.
QAVREK_VECTOR_CLONES
std::uint64_t write_uniform_rows_3(double* __restrict below, double* __restrict centre_band, double* __restrict above,
                                   const uniform_rows& r, size_t first, size_t last) {
  using pde_coefficient_checks::non_finite_word;
  std::uint64_t words = 0;
  for (size_t i = first; i <= last; ++i) {
    const double alpha = -r.b * r.diffusion[i] / (r.h * r.h), gamma = -r.s * r.convection[i] / r.h;
    below[i] = alpha - 0.5 * gamma;
    centre_band[i] = r.a - r.b * r.reaction[i] - 2.0 * alpha;
    above[i] = alpha + 0.5 * gamma;
    words |= non_finite_word(below[i]) | non_finite_word(centre_band[i]) | non_finite_word(above[i]);
  }
  return words;
}

QAVREK_VECTOR_CLONES
std::uint64_t write_uniform_rows_5(double* const* band, const uniform_rows& r, size_t first, size_t last) {
  using pde_coefficient_checks::non_finite_word;
  double* __restrict b0 = band[0];
  double* __restrict b1 = band[1];
  double* __restrict b2 = band[2];
  double* __restrict b3 = band[3];
  double* __restrict b4 = band[4];
  std::uint64_t words = 0;
  for (size_t i = first; i <= last; ++i) {
    const double alpha = -r.b * r.diffusion[i] / (r.h * r.h), gamma = -r.s * r.convection[i] / r.h;
    b0[i] = (gamma - alpha) / 12.0;
    b1[i] = (2.0 * alpha - gamma) * 2.0 / 3.0;
    b2[i] = r.a - r.b * r.reaction[i] - 2.5 * alpha;
    b3[i] = (2.0 * alpha + gamma) * 2.0 / 3.0;
    b4[i] = (alpha + gamma) * (-1.0 / 12.0);
    words |= non_finite_word(b0[i]) | non_finite_word(b1[i]) | non_finite_word(b2[i]) | non_finite_word(b3[i]) |
             non_finite_word(b4[i]);
  }
  return words;
}

bool same_bits(double a, double b) noexcept {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

bool same_bits(const double* a, const double* b, size_t n) noexcept {
  return n == 0 || std::memcmp(a, b, n * sizeof(double)) == 0;
}

}  // namespace

pde_scheme_one_dimension::pde_scheme_one_dimension(const ptr_const<time_grid>& grid,
                                                   const ptr_const<space_grid>& space,
                                                   const ptr_const<pde_model_coefficients>& coefficients,
                                                   size_t width, pde_scheme_type type, bool rescale)
    : pde_scheme(grid, {coefficients}, type, rescale),
      space_{space},
      width_(width),
      boundary_indices_(1),
      factorised_(space != nullptr ? space->size() : 0) {
  QAVREK_CHECK(space != nullptr && space->size() >= 3, "the space grid needs at least 3 points");
  const std::vector<double>& x = space->axis();
  const size_t n = x.size();
  for (size_t i = 1; i < n; ++i) QAVREK_CHECK(x[i - 1] < x[i], "the space grid is not strictly ascending at ", i);
  QAVREK_CHECK(coefficients != nullptr && coefficients->diffusion().size() == n &&
                   coefficients->convection().size() == n && coefficients->reaction().size() == n,
               "the coefficient set does not cover the ", n, " grid points");
  QAVREK_CHECK(width_ == 3 || width_ == 5, "stencil width ", width_, " is neither 3 nor 5");
  operator_matrix_ = matrix<double>(width_, n);
  const int variant = int(type) - int(pde_scheme_type::CRANK_NICOLSON);
  if (variant < 0 || variant > 2) details::check_fail("pde_scheme_one_dimension", source_file, 385, "");
  set_weights(identity_weights[variant], operator_weights[variant]);
  first_weights_.resize(width_ * n);
  second_weights_.resize(width_ * n);
  finite_difference::nonuniform_derivation(x.data(), n, first_weights_.data(), second_weights_.data(), false,
                                           width_);
}

void pde_scheme_one_dimension::set_weights(double a, double b) {
  a_ = a;
  b_ = b;
  s_ = grid().is_direction_forward() ? -b : b;
}

void pde_scheme_one_dimension::initialize(size_t step) {
  pde_scheme::initialize(step);
  if (type() != pde_scheme_type::CRANK_NICOLSON) return;
  rannacher_ = grid().is_rannacher(step);
  if (rannacher_) {
    set_weights(1.0, 1.0);
  } else {
    set_weights(identity_weights[0], operator_weights[0]);
  }
}

void pde_scheme_one_dimension::diffuse(pde_storage& storage, const boundary_coefficients& data, double factor) {
  const size_t results = storage.number_of_results();
  if (results == 0) return;
  const size_t n = space_[0]->size();
  tensor<double>& stored = storage.result();
  tensor<double>& previous = storage.previous_result();
  QAVREK_CHECK(stored.size() == results * n && previous.size() == stored.size(), "stored values of ",
               stored.size(), " entries for ", results, " results on ", n, " grid points");
  QAVREK_CHECK(data.size() >= storage.boundary_configs().size(), data.size(),
               " pairs of boundary coefficients for ", storage.boundary_configs().size(), " boundary groups");
  // A model may have replaced the tensors since the scheme was made: the rows read them up to the last point.
  const pde_model_coefficients& c = *coefficients()[0];
  QAVREK_CHECK(pde_coefficient_checks::covers(c, n, false), "the coefficient set holds ",
               pde_coefficient_checks::sizes_of(c), " for ", n, " grid points in ", step_name());
  size_t group = 0;
  for (const auto& [key, entries] : storage.boundary_configs()) {
    const boundary_coefficient_pair& ends = data[group++];
    prepare_matrix(key, ends);
    switch (type()) {
      case pde_scheme_type::IMPLICIT:
        solve(stored.data(), results);
        break;
      case pde_scheme_type::TWO_STAGE_IMPLICIT:
        previous = stored;
        solve(stored.data(), results);
        stored = stage_weight * stored + start_weight * previous;
        solve(stored.data(), results);
        break;
      case pde_scheme_type::CRANK_NICOLSON:
        if (rannacher_) {
          solve(stored.data(), results);
          break;
        }
        previous = stored;
        solve(stored.data(), results);
        stored -= previous;
        break;
      default:
        details::check_fail("diffuse", source_file, 492, "");
    }
    if (rescale()) stored *= factor;
  }
}

void pde_scheme_one_dimension::prepare_matrix(const std::vector<pde_boundary_config>& key,
                                              const boundary_coefficient_pair& ends) {
  boundary_indices_.assign(space_, key);
  set_domain();
  const std::array<double, 8> end_values = end_coefficients(key, ends);
  if (factorised_.matches(*this, key[0], end_values)) return;
  // Nothing below is kept unless all of it succeeds.
  factorised_.valid = false;
  build_rows(key, ends);
  if (!rows_finite()) refuse_non_finite(key, ends);
  factorise();
  factorised_.remember(*this, key[0], end_values);
}

void pde_scheme_one_dimension::build_matrix(const std::vector<pde_boundary_config>& key,
                                            const boundary_coefficient_pair& ends) {
  factorised_.valid = false;
  boundary_indices_.assign(space_, key);
  set_domain();
  build_rows(key, ends);
}

void pde_scheme_one_dimension::set_domain() {
  const size_t lower = boundary_indices_.lower_index[0];
  const size_t upper = boundary_indices_.last_index(0, space_[0]->axis());
  lower_ = upper_ = 0;
  has_rows_ = upper >= lower && upper - lower + 1 >= width_;
  if (!has_rows_) return;
  lower_ = lower;
  upper_ = upper;
}

std::array<double, 8> pde_scheme_one_dimension::end_coefficients(const std::vector<pde_boundary_config>& key,
                                                                 const boundary_coefficient_pair& ends) const {
  using kind = pde_boundary_config::boundary_conditions_type;
  std::array<double, 8> values{};
  if (!has_rows_) return values;
  const size_t n = space_[0]->size(), half = width_ / 2;
  if (key[0].down_type() == kind::NO_DIFFUSION) {
    const pde_model_coefficients& c = end_set(ends.second.get(), n, "lower");
    for (size_t j = 0; j < half; ++j) {
      values[2 * j] = c.convection()[lower_ + j];
      values[2 * j + 1] = c.reaction()[lower_ + j];
    }
  }
  if (key[0].up_type() == kind::NO_DIFFUSION) {
    const pde_model_coefficients& c = end_set(ends.first.get(), n, "upper");
    for (size_t j = 0; j < half; ++j) {
      values[4 + 2 * j] = c.convection()[upper_ - j];
      values[4 + 2 * j + 1] = c.reaction()[upper_ - j];
    }
  }
  return values;
}

void pde_scheme_one_dimension::build_rows(const std::vector<pde_boundary_config>& key,
                                          const boundary_coefficient_pair& ends) {
  const size_t n = space_[0]->size();
  const size_t lower = lower_, upper = upper_;

  // Every row starts as a held value; the rows of the domain are then written over.
  row_words_ = 0;
  operator_matrix_.fill(0.0);
  double* diagonal = operator_matrix_[width_ / 2];
  std::fill(diagonal, diagonal + n, a_);
  if (!has_rows_) return;

  if (space_[0]->is_uniform()) {
    build_uniform_rows(lower, upper);
  } else {
    build_interior_rows(lower, upper);
  }
  build_lower_rows(key[0].down_type(), lower, ends.second.get());
  build_upper_rows(key[0].up_type(), upper, ends.first.get());
}

void pde_scheme_one_dimension::build_interior_rows(size_t lower, size_t upper) {
  const pde_model_coefficients& c = *coefficients()[0];
  const interior_rows rows{c.diffusion().data(), c.convection().data(), c.reaction().data(), second_weights_.data(),
                           first_weights_.data(), width_, a_, b_, s_};
  for (size_t k = 0; k < width_; ++k) row_words_ |= write_interior_band(operator_matrix_[k], rows, k, lower, upper);
}

void pde_scheme_one_dimension::build_uniform_rows(size_t lower, size_t upper) {
  const std::vector<double>& x = space_[0]->axis();
  const pde_model_coefficients& c = *coefficients()[0];
  const double *diffusion = c.diffusion().data(), *convection = c.convection().data(), *reaction = c.reaction().data();
  const double h = x[lower + 2] - x[lower + 1];
  const double lower_level = boundary_indices_.lower_value[0], upper_level = boundary_indices_.upper_value[0];
  const bool lower_floats = lower_level != x[lower], upper_floats = upper_level != x[upper];
  double* band[5] = {};
  for (size_t k = 0; k < width_; ++k) band[k] = operator_matrix_[k];
  const uniform_rows rows{diffusion, convection, reaction, a_, b_, s_, h};

  if (width_ == 5) {
    const size_t first = lower + (lower_floats ? 3 : 2), last = upper - (upper_floats ? 3 : 2);
    if (first <= last) row_words_ |= write_uniform_rows_5(band, rows, first, last);
    centred first_weights{}, second_weights{};
    if (lower_floats) {
      const std::array<double, 5> points{lower_level, x[lower + 1], x[lower + 2], x[lower + 3], x[lower + 4]};
      finite_difference::nonuniform_five_points_derivative_mid(points.data(), 2, first_weights.data(),
                                                               second_weights.data(), false);
      set_row(lower + 2, *coefficients()[0], second_weights.data(), first_weights.data());
    }
    if (upper_floats) {
      const std::array<double, 5> points{x[upper - 4], x[upper - 3], x[upper - 2], x[upper - 1], upper_level};
      finite_difference::nonuniform_five_points_derivative_mid(points.data(), 2, first_weights.data(),
                                                               second_weights.data(), false);
      set_row(upper - 2, *coefficients()[0], second_weights.data(), first_weights.data());
    }
    return;
  }

  row_words_ |= write_uniform_rows_3(band[0], band[1], band[2], rows, lower + 1, upper - 1);
  // The row next to a floating end, on its uneven three points; the first derivative falls back on the divided
  // difference across the row when the end lies very close to it and diffusion is weak.
  auto uneven_row = [&](size_t i, double left, double right) {
    const double h_left = x[i] - left, h_right = right - x[i];
    const double k = 1.0 / (h_left * h_right * (h_left + h_right));
    const double delta = 2.0 * k * b_ * diffusion[i], kappa = k * s_ * convection[i];
    const bool divided = h_left / h_right < 0.2 && delta < 0.0012500000000000002;
    const double c_left = divided ? h_left * h_right * kappa : h_right * h_right * kappa;
    const double c_right = divided ? h_left * h_right * kappa : h_left * h_left * kappa;
    band[0][i] = c_left - h_right * delta;
    band[1][i] = a_ - b_ * reaction[i] + (h_left + h_right) * delta + (c_right - c_left);
    band[2][i] = -(h_left * delta + c_right);
  };
  if (lower_floats) uneven_row(lower + 1, lower_level, x[lower + 2]);
  if (upper_floats) uneven_row(upper - 1, x[upper - 2], upper_level);
}

void pde_scheme_one_dimension::set_row(size_t i, const pde_model_coefficients& c, const double* second,
                                       const double* first) {
  const double alpha = second == nullptr ? 0.0 : -b_ * c.diffusion()[i], gamma = -s_ * c.convection()[i];
  const size_t half = width_ / 2;
  for (size_t k = 0; k < width_; ++k) {
    const double w2 = second == nullptr ? 0.0 : second[centre + k - half];
    operator_matrix_(k, i) = std::fma(alpha, w2, gamma * first[centre + k - half]);
  }
  operator_matrix_(half, i) += a_ - b_ * c.reaction()[i];
}

void pde_scheme_one_dimension::build_lower_rows(pde_boundary_config::boundary_conditions_type type, size_t lower,
                                                const pde_model_coefficients* ends) {
  using kind = pde_boundary_config::boundary_conditions_type;
  if (type != kind::NO_DIFFUSION) return;  // DIRICHLET and other sides keep their held values
  const std::vector<double>& x = space_[0]->axis();
  const pde_model_coefficients& c = end_set(ends, x.size(), "lower");
  const double level = boundary_indices_.lower_value[0];
  centred first{};
  if (width_ == 3) {
    const double h = x[lower + 1] - level;
    first[centre] = -1.0 / h;
    first[centre + 1] = 1.0 / h;
    set_row(lower, c, nullptr, first.data());
    return;
  }
  const std::array<double, 4> points{level, x[lower + 1], x[lower + 2], x[lower + 3]};
  finite_difference::nonuniform_five_points_derivative_0(points.data(), 0, first.data());
  set_row(lower, c, nullptr, first.data());
  finite_difference::nonuniform_five_points_derivative_1(points.data(), 1, first.data());
  set_row(lower + 1, c, nullptr, first.data());
}

void pde_scheme_one_dimension::build_upper_rows(pde_boundary_config::boundary_conditions_type type, size_t upper,
                                                const pde_model_coefficients* ends) {
  using kind = pde_boundary_config::boundary_conditions_type;
  if (type != kind::NO_DIFFUSION) return;
  const std::vector<double>& x = space_[0]->axis();
  const pde_model_coefficients& c = end_set(ends, x.size(), "upper");
  const double level = boundary_indices_.upper_value[0];
  centred first{};
  if (width_ == 3) {
    const double h = level - x[upper - 1];
    first[centre - 1] = -1.0 / h;
    first[centre] = 1.0 / h;
    set_row(upper, c, nullptr, first.data());
    return;
  }
  const std::array<double, 4> points{x[upper - 3], x[upper - 2], x[upper - 1], level};
  finite_difference::nonuniform_five_points_derivative_0(points.data() + 1, 2, first.data());
  set_row(upper, c, nullptr, first.data());
  finite_difference::nonuniform_five_points_derivative_1(points.data(), 2, first.data());
  set_row(upper - 1, c, nullptr, first.data());
}

bool pde_scheme_one_dimension::rows_finite() const noexcept {
  if (pde_coefficient_checks::any_non_finite(row_words_)) return false;
  // The rows at and next to the ends, built one by one, were not counted.
  const size_t span = std::min<size_t>(3, upper_ + 1 - lower_);
  for (size_t k = 0; k < width_; ++k) {
    if (!pde_coefficient_checks::all_finite(operator_matrix_[k] + lower_, span) ||
        !pde_coefficient_checks::all_finite(operator_matrix_[k] + upper_ + 1 - span, span)) {
      return false;
    }
  }
  return true;
}

void pde_scheme_one_dimension::refuse_non_finite(const std::vector<pde_boundary_config>& key,
                                                 const boundary_coefficient_pair& ends) const {
  using kind = pde_boundary_config::boundary_conditions_type;
  const size_t half = width_ / 2;
  std::string found = pde_coefficient_checks::first_non_finite(*coefficients()[0], lower_, upper_ + 1);
  if (found.empty() && key[0].down_type() == kind::NO_DIFFUSION) {
    found = pde_coefficient_checks::first_non_finite(*ends.second, lower_, lower_ + half);
    if (!found.empty()) found += " in the lower boundary set";
  }
  if (found.empty() && key[0].up_type() == kind::NO_DIFFUSION) {
    found = pde_coefficient_checks::first_non_finite(*ends.first, upper_ + 1 - half, upper_ + 1);
    if (!found.empty()) found += " in the upper boundary set";
  }
  if (found.empty()) QAVREK_FAIL("the matrix of ", step_name(), " overflows: its coefficients are too large");
  QAVREK_FAIL(found, " for ", step_name());
}

pde_scheme_one_dimension::factorisation::factorisation(size_t n)
    : diffusion(n), convection(n), reaction(n) {}

bool pde_scheme_one_dimension::factorisation::matches(const pde_scheme_one_dimension& scheme,
                                                       const pde_boundary_config& config,
                                                       const std::array<double, 8>& ends) const noexcept {
  if (!valid) return false;
  const pde_boundary_indices& indices = scheme.boundary_indices_;
  const pde_model_coefficients& c = *scheme.coefficients()[0];
  const size_t n = diffusion.size();
  return same_bits(a, scheme.a_) && same_bits(b, scheme.b_) && same_bits(s, scheme.s_) &&
         down == config.down_type() && up == config.up_type() && lower == scheme.lower_ && upper == scheme.upper_ &&
         has_rows == scheme.has_rows_ && same_bits(lower_value, indices.lower_value[0]) &&
         same_bits(upper_value, indices.upper_value[0]) && same_bits(end_values.data(), ends.data(), ends.size()) &&
         same_bits(diffusion.data(), c.diffusion().data(), n) &&
         same_bits(convection.data(), c.convection().data(), n) && same_bits(reaction.data(), c.reaction().data(), n);
}

void pde_scheme_one_dimension::factorisation::remember(const pde_scheme_one_dimension& scheme,
                                                        const pde_boundary_config& config,
                                                        const std::array<double, 8>& ends) {
  const pde_model_coefficients& c = *scheme.coefficients()[0];
  a = scheme.a_;
  b = scheme.b_;
  s = scheme.s_;
  down = config.down_type();
  up = config.up_type();
  lower = scheme.lower_;
  upper = scheme.upper_;
  has_rows = scheme.has_rows_;
  lower_value = scheme.boundary_indices_.lower_value[0];
  upper_value = scheme.boundary_indices_.upper_value[0];
  end_values = ends;
  std::copy(c.diffusion().begin(), c.diffusion().end(), diffusion.begin());
  std::copy(c.convection().begin(), c.convection().end(), convection.begin());
  std::copy(c.reaction().begin(), c.reaction().end(), reaction.begin());
  valid = true;
}

void pde_scheme_one_dimension::factorise() {
  const size_t n = space_[0]->size();
  if (width_ == 3) {
    tridiagonal_operations::decomposition(operator_matrix_.data(), 1, n, 1, false);
  } else {
    pentadiagonal_operations::decomposition(operator_matrix_.data(), 1, n, 1, false);
  }
}

// Many results (instruments) make a solve long: an interruption point every so many rows.
void pde_scheme_one_dimension::solve(double* values, size_t rows) const {
  constexpr size_t rows_between_points = 1024;
  const size_t n = space_[0]->size();
  for (size_t r = 0; r < rows; ++r) {
    if (r % rows_between_points == rows_between_points - 1) interruption::point();
    if (width_ == 3) {
      tridiagonal_operations::solve_decomposed(values + r * n, operator_matrix_.data(), 1, n, 1, false);
    } else {
      pentadiagonal_operations::solve_decomposed(values + r * n, operator_matrix_.data(), 1, n, 1, false);
    }
  }
}

}  // namespace qavrek
