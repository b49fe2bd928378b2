#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Core/error.h"
#include "Math/finite_difference.h"
#include "Math/pentadiagonal_operations.h"
#include "Math/tridiagonal_operations.h"
#include "PDE/boundary/pde_boundary_indices.h"
#include "PDE/scheme/pde_multi_discrete.h"
#include "PDE/scheme/pde_multi_explicit.h"
#include "PDE/scheme/pde_multi_implicit.h"
#include "PDE/scheme/pde_scheme_one_dimension.h"
#include "scheme_test_support.h"

namespace qavrek {
namespace {

using namespace test;
using kind = pde_boundary_config::boundary_conditions_type;

// Uneven spacings from 0.1 to 0.6, so that no weight is right by symmetry alone.
const std::vector<double> uneven_x{-1.0, -0.4, -0.1, 0.0, 0.15, 0.3, 0.6, 1.0, 1.2};
const std::vector<double> uneven_y{0.0, 0.2, 0.5, 0.6, 0.9, 1.0, 1.4};
const std::vector<double> uneven_z{-0.5, -0.3, 0.0, 0.4, 0.5, 0.8};

// Coefficients of every dimension over the whole tensor, each a smooth function of the node.
struct operators_fixture {
  std::vector<ptr_const<space_grid>> grids;
  std::vector<std::shared_ptr<pde_model_coefficients>> coefficients;
  std::vector<ptr_const<pde_model_coefficients>> shared;
  std::shared_ptr<pde_multi_discrete> discrete;

  operators_fixture(std::vector<ptr_const<space_grid>> g, std::vector<size_t> widths) : grids(std::move(g)) {
    std::vector<size_t> shape;
    for (const auto& grid : grids) shape.push_back(grid->size());
    for (size_t d = 0; d < grids.size(); ++d) {
      coefficients.push_back(std::make_shared<pde_model_coefficients>(shape, true));
      shared.push_back(coefficients.back());
      const std::vector<double> diffusion = on_nodes(grids, [d](const std::vector<double>& x) {
        return 0.2 + 0.1 * double(d) + 0.05 * x[0] * x[0];
      });
      const std::vector<double> convection = on_nodes(grids, [d](const std::vector<double>& x) {
        return 0.3 - 0.2 * double(d) + 0.1 * x.back();
      });
      std::copy(diffusion.begin(), diffusion.end(), coefficients[d]->diffusion().begin());
      std::copy(convection.begin(), convection.end(), coefficients[d]->convection().begin());
    }
    discrete = std::make_shared<pde_multi_discrete>(grids, shared, widths, std::vector<bool>(grids.size(), false));
  }

  void update(const std::vector<pde_boundary_config>& configs) {
    discrete->update_operators(configs, pde_boundary_indices(grids, configs));
  }
  void update() { update(std::vector<pde_boundary_config>(grids.size())); }

  vector<double> values(const std::function<double(const std::vector<double>&)>& f) const {
    const std::vector<double> v = on_nodes(grids, f);
    vector<double> result(v.size());
    std::copy(v.begin(), v.end(), result.begin());
    return result;
  }

  // The node's index along every dimension.
  std::vector<size_t> indices(size_t p) const {
    std::vector<size_t> m(grids.size());
    for (size_t d = grids.size(); d-- > 0;) {
      m[d] = p % grids[d]->size();
      p /= grids[d]->size();
    }
    return m;
  }
};

// On a function of one coordinate, sum_d A_d u is -(D u'' + C u') of that coordinate's dimension: exact for
// quadratics at the interior rows, whatever the spacing, and the one-sided convection at the end rows.
TEST(Operators, RowsAreTheDerivativesAlongEachDimension) {
  for (const std::vector<size_t>& widths : {std::vector<size_t>{3, 5, 3}, std::vector<size_t>{5, 3, 5}}) {
    operators_fixture f({given_axis(uneven_x), given_axis(uneven_y), given_axis(uneven_z)}, widths);
    f.update();
    const pde_multi_explicit part(f.discrete, -1.0, 1.0, 0.0, {});
    for (size_t d = 0; d < 3; ++d) {
      const std::vector<double>& x = f.grids[d]->axis();
      const size_t n = x.size();
      auto g = [](double y) { return 0.5 + y - 0.75 * y * y; };
      vector<double> out(f.discrete->total(), 0.0);
      part.apply_explicit(out, f.values([&](const std::vector<double>& point) { return g(point[d]); }));
      // out = -sum_d A_d u = D u'' + C u'
      for (size_t p = 0; p < out.size(); ++p) {
        const size_t m = f.indices(p)[d];
        const double diffusion = f.coefficients[d]->diffusion()[p], convection = f.coefficients[d]->convection()[p];
        double expected = diffusion * -1.5 + convection * (1.0 - 1.5 * x[m]);
        if (m == 0 || m == n - 1) {
          // Only the convection, by the slope over the end spacing (width 3) or exact on three points (width 5).
          const size_t next = m == 0 ? 1 : n - 2;
          const double slope = (g(x[next]) - g(x[m])) / (x[next] - x[m]);
          expected = convection * (widths[d] == 3 ? slope : 1.0 - 1.5 * x[m]);
        }
        EXPECT_NEAR(out[p], expected, 1e-12) << "dimension " << d << " node " << p;
      }
    }
  }
}

// Three-point end rows are a slope: -C (u[1] - u[0]) / h, of the dimension of a first derivative. On u = x the
// whole operator gives -C everywhere, end rows included.
TEST(Operators, ThreePointEndRowsAreConvectionOverTheSpacing) {
  operators_fixture f({given_axis({0.0, 0.05, 0.3, 0.4, 1.0})}, {3});
  f.coefficients[0]->diffusion().fill(0.7);
  f.coefficients[0]->convection().fill(2.0);
  f.update();
  const pde_multi_explicit part(f.discrete, 1.0, 1.0, 0.0, {});
  vector<double> out(5, 0.0);
  part.apply_explicit(out, f.values([](const std::vector<double>& x) { return x[0]; }));
  for (size_t i = 0; i < 5; ++i) EXPECT_NEAR(out[i], -2.0, 1e-13) << i;
  // The end row couples the end node with its neighbour alone.
  const vector<double>& bands = f.discrete->operator_of(0);
  EXPECT_EQ(bands[0 * 5 + 0], 0.0);
  EXPECT_DOUBLE_EQ(bands[1 * 5 + 0], 2.0 / 0.05);
  EXPECT_DOUBLE_EQ(bands[2 * 5 + 0], -2.0 / 0.05);
  EXPECT_DOUBLE_EQ(bands[0 * 5 + 4], 2.0 / 0.6);
  EXPECT_DOUBLE_EQ(bands[1 * 5 + 4], -2.0 / 0.6);
}

TEST(Operators, UnboundedConvectionLeavesTheEndRowsEmpty) {
  for (size_t width : {3, 5}) {
    operators_fixture f({given_axis(uneven_x)}, {width});
    f.coefficients[0]->convection().fill(-2e6);
    f.update();
    const vector<double>& bands = f.discrete->operator_of(0);
    const size_t n = uneven_x.size();
    for (size_t k = 0; k < width; ++k) {
      EXPECT_EQ(bands[k * n], 0.0) << width;
      EXPECT_EQ(bands[k * n + n - 1], 0.0) << width;
      EXPECT_NE(bands[k * n + n / 2], 0.0) << width;  // the interior keeps it
    }
  }
}

// A DIRICHLET side whose domain floats between grid points: the end node stands at the level, the rows next to
// the ends use it, and the rows outside the domain do not move their values. A level on a grid point closes the
// domain at that point, with no row on a spacing of zero.
TEST(Operators, FloatingEndsPutTheEndNodeAtTheLevel) {
  struct level_case {
    double high;
    size_t end;  // the node of the upper end
  };
  const double low = -0.25;  // lower index 2 (x = -0.1)
  for (const level_case& level : {level_case{0.45, 6}, level_case{0.6, 6}}) {
    for (size_t width : {3, 5}) {
      operators_fixture f({given_axis(uneven_x), given_axis(uneven_y)}, {width, 3});
      f.update({pde_boundary_config(kind::DIRICHLET, true, level.high, kind::NO_DIFFUSION, true, low),
                pde_boundary_config()});
      EXPECT_TRUE(f.discrete->operators_finite());
      const pde_multi_explicit part(f.discrete, -1.0, 1.0, 0.0, {});
      struct function {
        std::function<double(double)> value, first, second;
      };
      // Quadratics are exact on the three-point rows, cubics on the four-point rows of width 5.
      std::vector<function> functions{{[](double x) { return 1.0 - 2.0 * x + 3.0 * x * x; },
                                       [](double x) { return -2.0 + 6.0 * x; }, [](double) { return 6.0; }}};
      if (width == 5) {
        functions.push_back({[](double x) { return x * x * x; }, [](double x) { return 3.0 * x * x; },
                             [](double x) { return 6.0 * x; }});
      }
      for (const function& g : functions) {
        // Values along x, with the end nodes holding the function at the levels.
        const vector<double> u = f.values([&](const std::vector<double>& p) {
          return g.value(p[0] == uneven_x[2] ? low : p[0] == uneven_x[level.end] ? level.high : p[0]);
        });
        vector<double> out(f.discrete->total(), 0.0);
        part.apply_explicit(out, u);
        for (size_t p = 0; p < out.size(); ++p) {
          const size_t m = f.indices(p)[0];
          const double x = uneven_x[m];
          const double diffusion = f.coefficients[0]->diffusion()[p], convection = f.coefficients[0]->convection()[p];
          ASSERT_TRUE(std::isfinite(out[p])) << width << " node " << m;
          if (m < 2 || m > level.end) {
            EXPECT_NEAR(out[p], 0.0, 1e-13) << "outside the domain, node " << m;
          } else if (m == 3 || m + 1 == level.end) {
            EXPECT_NEAR(out[p], diffusion * g.second(x) + convection * g.first(x), 1e-12)
                << width << " next to an end, node " << m << ", level " << level.high;
          }
        }
      }
    }
  }
}

// Cross terms: the three-point weights are exact on quadratics on any spacing, and the damping vanishes on what is
// linear in either coordinate of the pair, so that on x y (1 + x) + 2 x z - y z (1 + z) every pair adds
// 2 rho_ij sqrt(D_i D_j) d2u/dx_i dx_j, the cross term of the correlated heat equation, at the nodes away from the
// ends of both its axes, damped or not. Two-point divided differences would miss the x^2 y and y z^2 parts on this
// uneven spacing.
TEST(Operators, MixedTermIsTheCrossDerivativeOfTheCorrelatedEquation) {
  operators_fixture f({given_axis(uneven_x), given_axis(uneven_y), given_axis(uneven_z)}, {3, 5, 3});
  f.update();
  const matrix<double> rho{{1.0, 0.6, -0.3}, {0.6, 1.0, 0.45}, {-0.3, 0.45, 1.0}};
  const vector<double> u = f.values([](const std::vector<double>& p) {
    return p[0] * p[1] * (1.0 + p[0]) + 2 * p[0] * p[2] - p[1] * p[2] * (1.0 + p[2]);
  });
  // The cross derivatives of the pairs (0, 1), (0, 2), (1, 2).
  auto derivative = [](size_t i, size_t j, const std::vector<double>& x) {
    return i == 0 ? (j == 1 ? 1.0 + 2.0 * x[0] : 2.0) : -1.0 - 2.0 * x[2];
  };
  for (double alpha : {0.0, 0.5}) {
    const pde_multi_explicit part(f.discrete, 0.0, 1.0, alpha, rho);
    vector<double> out(u.size(), 0.0);
    part.apply_mixed(out, u);
    for (size_t p = 0; p < u.size(); ++p) {
      const std::vector<size_t> m = f.indices(p);
      const std::vector<double> x{uneven_x[m[0]], uneven_y[m[1]], uneven_z[m[2]]};
      double expected = 0.0;
      for (size_t i = 0; i < 3; ++i) {
        for (size_t j = i + 1; j < 3; ++j) {
          const bool inside = m[i] > 0 && m[i] + 1 < f.grids[i]->size() && m[j] > 0 && m[j] + 1 < f.grids[j]->size();
          if (!inside) continue;
          const double d_i = f.coefficients[i]->diffusion()[p], d_j = f.coefficients[j]->diffusion()[p];
          expected += 2.0 * rho(i, j) * std::sqrt(d_i * d_j) * derivative(i, j, x);
        }
      }
      // Weights up to 1 / (0.1 0.3) on values of order 1: rounding of a few 1e-14.
      EXPECT_NEAR(out[p], expected, 1e-12) << "alpha " << alpha << " node " << p;
    }
  }

  // The cross weights of every axis are finite, and 0 at its ends.
  for (size_t d = 0; d < 3; ++d) {
    const size_t n = f.grids[d]->size();
    for (const std::vector<double>* bands :
         {&f.discrete->cross_first_weights(d), &f.discrete->cross_damping_weights(d)}) {
      ASSERT_EQ(bands->size(), 3 * n);
      for (size_t k = 0; k < 3; ++k) {
        for (size_t m = 0; m < n; ++m) {
          const double w = (*bands)[k * n + m];
          EXPECT_TRUE(m == 0 || m + 1 == n ? w == 0.0 : std::isfinite(w)) << d << " " << k << " " << m;
        }
      }
    }
  }
}

// The damping part of the stencil vanishes on x y; on x^2 y^2 (d4u/dx2 dy2 = 4) of a uniform grid it adds
// 2 rho sqrt(D_i D_j) alpha h_i h_j, its leading term alpha h_i h_j / 4 d4u/dx_i2 dx_j2 exactly, with alpha of the
// sign of rho. Without correlation, or with one dimension, nothing is added.
TEST(Operators, MixedTermWithAlphaAndWithoutPairs) {
  operators_fixture f({uniform_axis(7, -1.0, 1.0), uniform_axis(6, 0.0, 2.0)}, {3, 3});
  f.update();
  const double h_0 = 2.0 / 6.0, h_1 = 2.0 / 5.0;
  const matrix<double> rho{{1.0, -0.7}, {-0.7, 1.0}};
  for (bool square : {false, true}) {
    const vector<double> u = f.values([square](const std::vector<double>& p) {
      return square ? p[0] * p[0] * p[1] * p[1] : p[0] * p[1];
    });
    vector<double> plain(u.size(), 0.0), damped(u.size(), 0.0), none(u.size(), 0.0);
    pde_multi_explicit(f.discrete, 0.0, 1.0, 0.0, rho).apply_mixed(plain, u);
    pde_multi_explicit(f.discrete, 0.0, 1.0, 0.5, rho).apply_mixed(damped, u);
    pde_multi_explicit(f.discrete, 0.0, 1.0, 0.5, {}).apply_mixed(none, u);
    for (size_t p = 0; p < u.size(); ++p) {
      const std::vector<size_t> m = f.indices(p);
      const bool inside = m[0] > 0 && m[0] < 6 && m[1] > 0 && m[1] < 5;
      const double root = std::sqrt(f.coefficients[0]->diffusion()[p] * f.coefficients[1]->diffusion()[p]);
      const double damping = square && inside ? 2.0 * -0.7 * root * -0.5 * h_0 * h_1 : 0.0;
      EXPECT_NEAR(damped[p] - plain[p], damping, 1e-14) << square << " " << p;
      EXPECT_EQ(none[p], 0.0);
    }
  }

  operators_fixture single({given_axis(uneven_x)}, {5});
  single.update();
  vector<double> out(uneven_x.size(), 0.0);
  pde_multi_explicit(single.discrete, 0.0, 1.0, 1.0, matrix<double>{{1.0}}).apply_mixed(out, single.values([](auto& p) { return p[0] * p[0]; }));
  for (double v : out) EXPECT_EQ(v, 0.0);
}

TEST(Operators, ReactionAddsOverDimensionsAndChecksSizes) {
  operators_fixture f({uniform_axis(4, 0.0, 1.0), uniform_axis(3, 0.0, 1.0)}, {3, 3});
  f.coefficients[0]->reaction().fill(-0.25);
  f.coefficients[1]->reaction().fill(-0.5);
  const pde_multi_explicit part(f.discrete, 0.0, 1.0, 0.0, {});
  vector<double> in(12, 2.0), out(12, 1.0);
  part.apply_reaction(out, 0.5, in);
  for (double v : out) EXPECT_DOUBLE_EQ(v, 1.0 + 0.5 * (-0.75) * 2.0);

  vector<double> shorter(11, 0.0);
  try {
    part.apply_reaction(shorter, 1.0, in);
    ADD_FAILURE() << "no size check";
  } catch (const Error& error) {
    EXPECT_EQ(error.location().function, "run");
    EXPECT_EQ(error.location().file, "Library/Vectorization/expressions/expressions_evaluator");
    EXPECT_EQ(error.location().line, 68);
    EXPECT_EQ(std::string(error.what()),
              "Expected expr.size() == rhs.size() to be true, but got false.  expression has diferrent size 12 than "
              "destination 11");
  }
  EXPECT_THROW(part.apply_explicit(shorter, in), Error);
}

// The implicit part solves (a A_0 + b)^-1 then (a A_1 + b)^-1: multiplying back in reverse order restores y.
TEST(Operators, ImplicitSolvesAlongEveryDimension) {
  operators_fixture f({given_axis(uneven_x), given_axis(uneven_y)}, {5, 3});
  f.update();
  const double a = 0.4, b = 1.0;
  pde_multi_implicit implicit(f.discrete, a, b);
  implicit.prepare_implicit();
  const vector<double> y = f.values([](const std::vector<double>& p) { return std::sin(p[0] + 2 * p[1]); });
  vector<double> x = y;
  implicit.solve_implicit(x);
  for (size_t d = 2; d-- > 0;) {
    const auto [outer, n, inner] = f.discrete->layout_of(d);
    vector<double> back = b * x;
    if (f.discrete->width(d) == 3) {
      tridiagonal_operations::multiply(back.data(), x.data(), f.discrete->operator_of(d).data(), outer, n, inner, a, false);
    } else {
      pentadiagonal_operations::multiply(back.data(), x.data(), f.discrete->operator_of(d).data(), outer, n, inner, a, false);
    }
    x = back;
  }
  for (size_t p = 0; p < y.size(); ++p) EXPECT_NEAR(x[p], y[p], 1e-13);
}

// The one-dimensional matrix a - b (D d2/dx2 + R) - s C d/dx, row by row.
class one_dimension_matrix {
 public:
  one_dimension_matrix(const ptr_const<space_grid>& grid, size_t width)
      : coefficients_(std::make_shared<pde_model_coefficients>(std::vector<size_t>{grid->size()}, false)),
        ends_(std::make_shared<pde_model_coefficients>(std::vector<size_t>{grid->size()}, false)),
        scheme_(equal_steps(1.0, 1), grid, coefficients_, width, pde_scheme_type::CRANK_NICOLSON, false) {
    for (size_t i = 0; i < grid->size(); ++i) {
      const double x = grid->axis()[i];
      coefficients_->diffusion()[i] = 0.3 + 0.1 * x * x;
      coefficients_->convection()[i] = 0.2 - 0.4 * x;
      coefficients_->reaction()[i] = -0.05 * (1.0 + x);
      ends_->convection()[i] = -0.6 + x;
      ends_->reaction()[i] = -0.2;
    }
    scheme_.initialize(1);  // a = 1/2, b = s = 1/4
  }

  const matrix<double>& build(const pde_boundary_config& config) {
    scheme_.build_matrix({config}, {ends_, ends_});
    return scheme_.operator_matrix();
  }

  pde_model_coefficients& coefficients() { return *coefficients_; }
  const pde_model_coefficients& ends() const { return *ends_; }

 private:
  std::shared_ptr<pde_model_coefficients> coefficients_, ends_;
  pde_scheme_one_dimension scheme_;
};

// Row i of M applied to the values v.
double row_times(const matrix<double>& m, size_t i, const std::vector<double>& v) {
  const size_t width = m.rows(), half = width / 2;
  double sum = 0.0;
  for (size_t k = 0; k < width; ++k) {
    const size_t j = i + k - half;
    if (j < v.size()) sum += m(k, i) * v[j];
  }
  return sum;
}

// A uniform grid's closed-form stencils are the derivative weights of its points.
TEST(OneDimensionMatrix, UniformStencilsEqualTheWeightsOfTheSamePoints) {
  const auto uniform = uniform_axis(12, -1.0, 1.2);
  for (size_t width : {3, 5}) {
    one_dimension_matrix closed(uniform, width), weighted(given_axis(uniform->axis()), width);
    const matrix<double>& a = closed.build(pde_boundary_config());
    const matrix<double>& b = weighted.build(pde_boundary_config());
    for (size_t k = 0; k < width; ++k) {
      for (size_t i = 0; i < 12; ++i) EXPECT_NEAR(a(k, i), b(k, i), 1e-12) << width << " band " << k << " row " << i;
    }
  }
}

// The interior rows of an uneven grid are fused multiply-adds of the derivative weights, fma(-b D, w2, -s C w1),
// the centre adding a - b R: bit for bit on whatever instruction set the machine runs them (the fused operation
// rounds once, as an instruction or through the library).
TEST(OneDimensionMatrix, InteriorRowsAreTheFusedSumsBitForBit) {
  const auto grid = given_axis(uneven_x);
  const size_t n = uneven_x.size();
  for (size_t width : {3, 5}) {
    one_dimension_matrix m(grid, width);
    const matrix<double>& built = m.build(pde_boundary_config());
    std::vector<double> first(width * n), second(width * n);
    finite_difference::nonuniform_derivation(uneven_x.data(), n, first.data(), second.data(), false, width);
    const pde_model_coefficients& c = m.coefficients();
    const double a = 0.5, b = 0.25, s = 0.25, half = double(width / 2);
    for (size_t i = width / 2; i + width / 2 < n; ++i) {
      for (size_t k = 0; k < width; ++k) {
        const double alpha = -b * c.diffusion()[i], gamma = -s * c.convection()[i];
        double expected = std::fma(alpha, second[i * width + k], gamma * first[i * width + k]);
        if (double(k) == half) expected += a - b * c.reaction()[i];
        EXPECT_EQ(built(k, i), expected) << width << " band " << k << " row " << i;
      }
    }
  }
}

// With a = 1/2, b = s = 1/4: interior rows are a u - b (D u'' + R u + C u'), exact on quadratics;
// NO_DIFFUSION end rows keep a u - b (R_b u + C_b u') of the boundary set by one-sided slopes; DIRICHLET ends
// hold the value, and so do the rows outside a floating domain.
TEST(OneDimensionMatrix, RowsByBoundaryType) {
  const double a = 0.5, b = 0.25;
  auto f = [](double x) { return 1.0 + x - 0.5 * x * x; };
  auto f1 = [](double x) { return 1.0 - x; };
  for (size_t width : {3, 5}) {
    for (bool uniform : {true, false}) {
      const auto grid = uniform ? uniform_axis(11, -1.0, 1.0) : given_axis(uneven_x);
      const std::vector<double>& x = grid->axis();
      const size_t n = x.size(), half = width / 2;
      one_dimension_matrix m(grid, width);
      const pde_model_coefficients& c = m.coefficients();
      std::vector<double> v(n);
      for (size_t i = 0; i < n; ++i) v[i] = f(x[i]);

      const matrix<double>& free_ends = m.build(pde_boundary_config());
      for (size_t i = half; i + half < n; ++i) {
        const double expected = a * v[i] - b * (c.diffusion()[i] * -1.0 + c.reaction()[i] * v[i] + c.convection()[i] * f1(x[i]));
        EXPECT_NEAR(row_times(free_ends, i, v), expected, 1e-12) << width << " interior row " << i;
      }
      const double slope_low = (v[1] - v[0]) / (x[1] - x[0]), slope_high = (v[n - 1] - v[n - 2]) / (x[n - 1] - x[n - 2]);
      for (size_t i : {size_t(0), n - 1}) {
        const double slope = width == 3 ? (i == 0 ? slope_low : slope_high) : f1(x[i]);
        const double expected = a * v[i] - b * (m.ends().reaction()[i] * v[i] + m.ends().convection()[i] * slope);
        EXPECT_NEAR(row_times(free_ends, i, v), expected, 1e-12) << width << " end row " << i;
      }

      const matrix<double>& held = m.build(pde_boundary_config(kind::DIRICHLET, false, 0.0, kind::DIRICHLET, false, 0.0));
      for (size_t i : {size_t(0), size_t(half - 1), n - half, n - 1}) {  // the end rows, two for width 5
        for (size_t k = 0; k < width; ++k) EXPECT_EQ(held(k, i), k == half ? a : 0.0) << width << " row " << i;
      }

      // Floating ends between grid points: outside rows hold, the lower end node stands at the level.
      const double low = x[2] - 0.3 * (x[2] - x[1]), high = x[n - 3] + 0.4 * (x[n - 2] - x[n - 3]);
      const matrix<double>& floating = m.build(pde_boundary_config(kind::DIRICHLET, true, high, kind::NO_DIFFUSION, true, low));
      for (size_t i : {size_t(0), size_t(1), n - 1}) {
        for (size_t k = 0; k < width; ++k) EXPECT_EQ(floating(k, i), k == half ? a : 0.0) << width << " row " << i;
      }
      std::vector<double> w = v;
      w[2] = f(low);
      if (width == 3) {
        const double expected = a * w[2] - b * (m.ends().reaction()[2] * w[2] + m.ends().convection()[2] * (w[3] - w[2]) / (x[3] - low));
        EXPECT_NEAR(row_times(floating, 2, w), expected, 1e-12) << "lower end row";
      }
      if (uniform) {
        // The row next to the lower end is built on the level in place of x[2]: exact on quadratics.
        const size_t i = 2 + half;
        const double expected = a * w[i] - b * (c.diffusion()[i] * -1.0 + c.reaction()[i] * w[i] + c.convection()[i] * f1(x[i]));
        EXPECT_NEAR(row_times(floating, i, w), expected, 1e-12) << width << " row next to the floating end";
      }
    }
  }
}

// A floating upper level on a grid point closes the domain at that point, as a level on the last point closes it
// at the last: the rows up to it are those of the grid that stops there (no row on a spacing of zero), and the
// points beyond hold their values.
TEST(OneDimensionMatrix, FloatingLevelOnAGridPointClosesTheDomainThere) {
  const size_t last = 7;
  for (kind up : {kind::NO_DIFFUSION, kind::DIRICHLET}) {
    for (size_t width : {3, 5}) {
      for (bool uniform : {true, false}) {
        const auto whole = uniform ? uniform_axis(12, -1.0, 1.2) : given_axis({-1.0, -0.8, -0.55, -0.4, -0.1, 0.0,
                                                                               0.15, 0.3, 0.6, 0.75, 1.0, 1.2});
        const std::vector<double>& x = whole->axis();
        const auto cut = given_axis(std::vector<double>(x.begin(), x.begin() + last + 1));
        one_dimension_matrix floating(whole, width), stopped(cut, width);
        const matrix<double>& m =
            floating.build(pde_boundary_config(up, true, x[last], kind::NO_DIFFUSION, true, -2.0));
        const matrix<double>& expected =
            stopped.build(pde_boundary_config(up, false, 0.0, kind::NO_DIFFUSION, false, 0.0));
        const std::string label = std::to_string(int(up)) + " width " + std::to_string(width) +
                                  (uniform ? " uniform" : " uneven");
        for (size_t k = 0; k < width; ++k) {
          for (size_t i = 0; i <= last; ++i) {
            // The uniform grid's closed-form stencils against the weights of the same points: rounding apart.
            EXPECT_NEAR(m(k, i), expected(k, i), 1e-12 * std::max(1.0, std::abs(expected(k, i))))
                << label << " band " << k << " row " << i;
          }
          for (size_t i = last + 1; i < x.size(); ++i) {
            EXPECT_EQ(m(k, i), k == width / 2 ? 0.5 : 0.0) << label << " band " << k << " row " << i;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace qavrek
