// Model discount factors on Gaussian factor loadings, their state adjoint, and the search directions of
// the root searches.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Analytics/models/model_dfs.h"
#include "Analytics/models/search_direction.h"
#include "Core/error.h"

namespace qavrek {
namespace {

const matrix<double> loadings{{0.1, -0.2, 0.05}, {0.4, 0.1, 0.3}, {0.9, 0.5, -0.2}, {1.6, 0.2, 0.7}};
const std::vector<double> market{0.99, 0.95, 0.9, 0.82};

// exp(-(G_i - G_0).x - 1/2 (|G_i|^2 - |G_0|^2)), inside the bounds.
double unbounded_exponent(const matrix<double>& g, const vector<double>& x, size_t i) {
  double sum = 0.0;
  for (size_t k = 0; k < g.columns(); ++k) sum += (g(i, k) - g(0, k)) * x[k] + 0.5 * (g(i, k) * g(i, k) - g(0, k) * g(0, k));
  return -sum;
}

TEST(ModelDfs, DatesArePricedRelativeToTheFirst) {
  const vector<double> x{0.3, -1.2, 0.7};
  std::vector<double> out(market.size());
  model_dfs(out, x, loadings, market);
  EXPECT_EQ(out[0], market[0]);
  for (size_t i = 1; i < market.size(); ++i)
    EXPECT_NEAR(out[i], market[i] * std::exp(unbounded_exponent(loadings, x, i)), 1e-15) << i;

  const std::vector<double> one{0.97};
  std::vector<double> single(1);
  model_dfs(single, x, loadings, one);
  EXPECT_EQ(single[0], 0.97);
  vector<double> adjoint(3, 5.0);
  model_dfs_adjoint(adjoint, loadings, x, {2.0});
  for (double value : adjoint) EXPECT_EQ(value, 0.0);
}

// With G_0 = 0 and G_1 = (1), the exponent sum of date 1 is x + 1/2: x picks it.
TEST(ModelDfs, ExponentBounds) {
  const matrix<double> g{{0.0}, {1.0}};
  struct bound_case {
    double x;
    double exponent;     // of the discount factor
    bool contributes;    // to the state adjoint
  };
  const std::vector<bound_case> cases{
      {36.5, -37.0, true},     // exactly 37: inside
      {37.0, -37.0, false},    // 37.5: held at -37
      {-300.5, 300.0, true},   // exactly -300: inside
      {-301.0, 300.0, false},  // -300.5: held at 300
      {2.5, -3.0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("x = " + std::to_string(c.x));
    const vector<double> x{c.x};
    std::vector<double> out(2);
    model_dfs(out, x, g, {1.0, 0.5});
    EXPECT_EQ(out[1], 0.5 * std::exp(c.exponent));
    vector<double> adjoint(1);
    model_dfs_adjoint(adjoint, g, x, {0.0, 3.0});
    EXPECT_EQ(adjoint[0], c.contributes ? -3.0 : 0.0);
  }
}

// The adjoint is the gradient of sum_i a_i log(out_i) = sum_i a_i (log market_i + y_i): central differences
// of an exponent that is linear in x are exact up to the rounding of the objective (~1e-14), which a step of
// 1e-4 magnifies to ~1e-10.
TEST(ModelDfs, AdjointIsTheGradientOfTheWeightedLogDiscountFactors) {
  const std::vector<double> weights{0.7, -1.3, 2.1, 0.4};
  for (const vector<double>& x : {vector<double>{0.3, -1.2, 0.7}, vector<double>{0.0, 0.0, 0.0},
                                  vector<double>{40.0, 0.0, 0.0}}) {
    vector<double> adjoint(3);
    model_dfs_adjoint(adjoint, loadings, x, weights);
    const auto objective = [&](const vector<double>& state) {
      std::vector<double> out(market.size());
      model_dfs(out, state, loadings, market);
      double sum = 0.0;
      for (size_t i = 0; i < out.size(); ++i) sum += weights[i] * std::log(out[i]);
      return sum;
    };
    const double h = 1e-4;
    for (size_t k = 0; k < 3; ++k) {
      vector<double> up = x;
      vector<double> down = x;
      up[k] += h;
      down[k] -= h;
      EXPECT_NEAR(adjoint[k], (objective(up) - objective(down)) / (2.0 * h), 1e-8) << "factor " << k << " at x0 " << x[0];
    }
  }
}

TEST(ModelDfs, ShapesThatDoNotFitAreRefused) {
  const vector<double> x{0.3, -1.2, 0.7};
  std::vector<double> short_out(2);
  EXPECT_THROW(model_dfs(short_out, x, loadings, market), Error);
  std::vector<double> out(5);
  EXPECT_THROW(model_dfs(out, x, loadings, {1.0, 1.0, 1.0, 1.0, 1.0}), Error);  // one row too few
  const vector<double> two{0.3, -1.2};
  out.resize(4);
  EXPECT_THROW(model_dfs(out, two, loadings, market), Error);
  vector<double> short_adjoint(2);
  try {
    model_dfs_adjoint(short_adjoint, loadings, x, {1.0, 1.0});
    FAIL() << "a state adjoint of the wrong size was accepted";
  } catch (const Error& error) {
    EXPECT_NE(std::string(error.what()).find("expression has diferrent size "), std::string::npos) << error.what();
  }
}

TEST(SearchDirection, WithoutCurvatureTheDirectionIsTheNewtonStep) {
  const vector<double> g{0.6, -0.8, 1.5};
  const double r2 = 0.36 + 0.64 + 2.25;
  vector<double> d(3);
  const double r = direction_matrix_product(d, g, matrix<double>(3, 3), 0.4);
  EXPECT_DOUBLE_EQ(r, std::sqrt(r2));
  for (size_t k = 0; k < 3; ++k) EXPECT_NEAR(d[k], 0.4 / r2 * g[k], 1e-16);
}

TEST(SearchDirection, CurvatureBendsTheDirectionUnlessItTurnsItAround) {
  const vector<double> g{0.6, -0.8, 1.5};
  const double r = std::sqrt(0.36 + 0.64 + 2.25);
  const double v = 0.4;
  const double b = r + 1.0 / r;
  const matrix<double> bend{{0.5, 0.2, 0.0}, {0.2, -0.3, 0.1}, {0.0, 0.1, 0.8}};
  vector<double> d(3);
  direction_matrix_product(d, g, bend, v);
  // d is w scaled so that d.w = v b, w = b g + a H g.
  const double a = v * (1.0 - 1.0 / (r * r)) / r;
  vector<double> w = b * g;
  for (size_t j = 0; j < 3; ++j)
    for (size_t l = 0; l < 3; ++l) w[j] += a * bend(j, l) * g[l];
  double d_dot_w = 0.0;
  for (size_t k = 0; k < 3; ++k) d_dot_w += d[k] * w[k];
  EXPECT_NEAR(d_dot_w, v * b, 1e-15);
  for (size_t k = 1; k < 3; ++k) EXPECT_NEAR(d[k] * w[0], d[0] * w[k], 1e-15) << "parallel to w";

  // A curvature that turns w against g falls back to the Newton step.
  const matrix<double> opposite{{-40.0, 0.0, 0.0}, {0.0, -40.0, 0.0}, {0.0, 0.0, -40.0}};
  direction_matrix_product(d, g, opposite, v);
  for (size_t k = 0; k < 3; ++k) EXPECT_NEAR(d[k], v / (r * r) * g[k], 1e-16);
}

TEST(SearchDirection, DegenerateGradientsLeaveTheDirectionAlone) {
  for (const double scale : {1e-17, 1e17}) {
    const vector<double> g{scale, 0.0};
    vector<double> d{7.0, 8.0};
    EXPECT_DOUBLE_EQ(direction_matrix_product(d, g, matrix<double>(2, 2), 1.0), scale);
    EXPECT_EQ(d[0], 7.0);
    EXPECT_EQ(d[1], 8.0);
  }
  vector<double> wrong(3);
  EXPECT_THROW(direction_matrix_product(wrong, vector<double>{1.0, 2.0}, matrix<double>(2, 2), 1.0), Error);
}

TEST(SearchDirection, ProjectionOnTheLineOfTheDirection) {
  const vector<double> g{1.0, 2.0, -2.0};
  vector<double> x{0.5, -1.0, 3.0};
  const vector<double> original = x;
  direction_projection(x, g);
  // Parallel to g, and the remainder orthogonal to it.
  for (size_t k = 1; k < 3; ++k) EXPECT_NEAR(x[k] * g[0], x[0] * g[k], 1e-15);
  double remainder = 0.0;
  for (size_t k = 0; k < 3; ++k) remainder += (original[k] - x[k]) * g[k];
  EXPECT_NEAR(remainder, 0.0, 1e-15);

  vector<double> kept{0.5, -1.0, 3.0};
  direction_projection(kept, vector<double>{1e-9, 0.0, 0.0});  // g.g = 1e-18: no direction
  EXPECT_EQ(kept[2], 3.0);
  vector<double> wrong(2);
  EXPECT_THROW(direction_projection(wrong, g), Error);
}

}  // namespace
}  // namespace qavrek
