#include "PDE/scheme/pde_scheme_alternating_direction_implicit.h"

#include <algorithm>
#include <cmath>

#include "Core/check.h"
#include "Math/root_finding_algorithms.h"
#include "PDE/scheme/pde_coefficient_checks.h"
#include "PDE/scheme/pde_model_coefficients.h"
#include "PDE/scheme/pde_multi_discrete.h"
#include "PDE/scheme/pde_multi_explicit.h"
#include "PDE/scheme/pde_multi_implicit.h"
#include "PDE/scheme/pde_storage.h"

namespace qavrek {
namespace {

constexpr const char* source_file = "Library/PDE/scheme/pde_scheme_alternating_direction_implicit";
constexpr double epsilon = 2.220446049250313e-16;

double modified_craig_sneyd_theta(size_t d) {
  if (d == 1) return 0.25;
  if (d == 2) return 1.0 / 3.0;
  const double n = double(d);
  return std::max(0.25, n * 0.5 / (std::pow(n / (n - 1.0), n - 1.0) + 1.0));
}

}  // namespace

double details::find_theta(size_t d) {
  QAVREK_CHECK(d > 1, "theta of the two-corrector scheme asked for ", d, " dimensions");
  const double n = double(d);
  auto f = [n](double t) { return std::fma(2.0 * t, std::pow((n - t) / (n - 1.0), n - 1.0), -1.0); };
  double root = 0.5;
  const bool found = root_finding_algorithms::brent(f, 0.0, 0.5, root, 0.0, epsilon, epsilon, 50);
  QAVREK_CHECK(found, "no theta found for ", d, " dimensions");
  return n * root * 0.5;
}

pde_scheme_alternating_direction_implicit::pde_scheme_alternating_direction_implicit(
    const ptr_const<time_grid>& grid, const std::vector<ptr_const<space_grid>>& space_grids,
    const std::vector<ptr_const<pde_model_coefficients>>& coefficients, const std::vector<size_t>& sizes,
    const std::vector<bool>& flags, pde_scheme_type type, bool rescale, const matrix<double>& correlation)
    : pde_scheme(grid, coefficients, type, rescale),
      space_grids_(space_grids),
      boundary_indices_(space_grids.size()) {
  const size_t d = space_grids_.size();
  pde_coefficient_checks::check_correlation(correlation, d);
  operator_ = std::make_shared<pde_multi_discrete>(space_grids_, this->coefficients(), sizes, flags);
  explicit_ = std::make_shared<pde_multi_explicit>(operator_, -1.0, 1.0, 1.0 / double(d), correlation);
  switch (type) {
    case pde_scheme_type::HUNDSDORFER_VERWER:
      theta_ = d == 1 ? 0.5 : details::find_theta(d);
      corrector_ = std::make_shared<pde_multi_explicit>(operator_, -0.5, 0.5, 0.0, correlation);
      break;
    case pde_scheme_type::DOUGLAS:
      theta_ = 0.5;
      break;
    case pde_scheme_type::CRAIG_SNEYD:
      theta_ = 0.5;
      corrector_ = std::make_shared<pde_multi_explicit>(operator_, 0.0, 0.5, 0.0, correlation);
      break;
    case pde_scheme_type::MODIFIED_CRAIG_SNEYD:
      theta_ = modified_craig_sneyd_theta(d);
      corrector_ = std::make_shared<pde_multi_explicit>(operator_, theta_ - 0.5, 0.5, 0.0, correlation);
      break;
    default:
      details::check_fail("initialize", source_file, 231, "");
  }
  implicit_ = std::make_shared<pde_multi_implicit>(operator_, theta_, 1.0);
  first_work_ = vector<double>(operator_->total());
  if (corrector_ != nullptr) second_work_ = vector<double>(operator_->total());
}

pde_scheme_alternating_direction_implicit::~pde_scheme_alternating_direction_implicit() = default;

void pde_scheme_alternating_direction_implicit::diffuse(pde_storage& storage, const boundary_coefficients&,
                                                        double factor) {
  const size_t results = storage.number_of_results();
  if (results == 0) return;
  tensor<double>& stored = storage.result();
  const size_t total = operator_->total();
  QAVREK_CHECK(stored.size() == results * total, "stored values of ", stored.size(), " entries for ", results,
               " results on ", total, " grid nodes");
  matrix<double> values = matrix<double>::view(stored.data(), results, total);
  check_coefficients();
  for (const auto& [key, group] : storage.boundary_configs()) {
    boundary_indices_.assign(space_grids_, key);
    operator_->update_operators(key, boundary_indices_);
    if (!operator_->operators_finite()) refuse_non_finite();
    implicit_->prepare_implicit();
    solve(values);
    if (rescale()) values *= factor;
  }
}

void pde_scheme_alternating_direction_implicit::check_coefficients() const {
  const size_t total = operator_->total();
  for (size_t d = 0; d < coefficients().size(); ++d) {
    const pde_model_coefficients& c = *coefficients()[d];
    QAVREK_CHECK(pde_coefficient_checks::covers(c, total, true), "coefficient set ", d, " holds ",
                 pde_coefficient_checks::sizes_of(c), " for ", total, " grid nodes in ", step_name());
    // The reaction acts at every node and no operator reads it; the operators check the other coefficients as they
    // read them.
    if (!pde_coefficient_checks::all_finite(c.reaction().data(), c.reaction().size())) refuse_non_finite();
  }
}

void pde_scheme_alternating_direction_implicit::refuse_non_finite() const {
  const size_t total = operator_->total();
  for (size_t d = 0; d < coefficients().size(); ++d) {
    const pde_model_coefficients& c = *coefficients()[d];
    const std::string found = pde_coefficient_checks::first_non_finite(c, 0, total, false);
    if (!found.empty()) QAVREK_FAIL(found, " in coefficient set ", d, " for ", step_name());
    // The end rows leave out a convection of 1e6 or more, infinite ones too: only the rows between count.
    const auto [outer, n, inner] = operator_->layout_of(d);
    for (size_t p = 0; p < total; ++p) {
      const size_t m = p / inner % n;
      if (m > 0 && m + 1 < n && !std::isfinite(c.convection()[p])) {
        QAVREK_FAIL("the convection coefficient at node ", p, " is ", c.convection()[p], " in coefficient set ", d,
                    " for ", step_name());
      }
    }
  }
  // Under two dimensions or more the cross terms take the root of every pair's product of diffusions.
  if (coefficients().size() > 1) {
    for (size_t d = 0; d < coefficients().size(); ++d) {
      const double* diffusion = coefficients()[d]->diffusion().data();
      for (size_t p = 0; p < total; ++p) {
        if (diffusion[p] < 0.0) {
          QAVREK_FAIL("the diffusion coefficient at node ", p, " is ", diffusion[p], " in coefficient set ", d,
                      " for ", step_name(), ": a diffusion below zero has no cross term");
        }
      }
    }
  }
  QAVREK_FAIL("the operators of ", step_name(), " overflow: their coefficients are too large");
}

void pde_scheme_alternating_direction_implicit::solve(matrix<double>& values) {
  QAVREK_CHECK(values.columns() == operator_->total(), "rows of ", values.columns(), " values on ",
               operator_->total(), " grid nodes");
  vector<double>& y0 = first_work_;
  vector<double>& y1 = second_work_;
  for (size_t r = 0; r < values.rows(); ++r) {
    vector<double> u = values.row(r);
    y0 = 0.0;
    explicit_->apply_explicit(y0, u);
    explicit_->apply_mixed(y0, u);
    explicit_->apply_reaction(y0, 1.0, u);
    switch (type()) {
      case pde_scheme_type::HUNDSDORFER_VERWER:
        y1 = y0;
        implicit_->solve_implicit(y0);
        corrector_->apply_explicit(y1, y0);
        corrector_->apply_mixed(y1, y0);
        explicit_->apply_reaction(y1, 0.5, y0);
        y1 -= y0;
        implicit_->solve_implicit(y1);
        y0 += y1;
        u += y0;
        break;
      case pde_scheme_type::DOUGLAS:
        implicit_->solve_implicit(y0);
        explicit_->apply_reaction(u, 0.5, y0);
        u += y0;
        break;
      case pde_scheme_type::CRAIG_SNEYD:
      case pde_scheme_type::MODIFIED_CRAIG_SNEYD:
        y1 = y0;
        implicit_->solve_implicit(y0);
        if (type() == pde_scheme_type::MODIFIED_CRAIG_SNEYD) corrector_->apply_explicit(y1, y0);
        corrector_->apply_mixed(y1, y0);
        corrector_->apply_reaction(y1, 0.5, y0);
        implicit_->solve_implicit(y1);
        u += y1;
        break;
      default:
        details::check_fail("solve", source_file, 188, "");
    }
  }
}

}  // namespace qavrek
