#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "PDE/scheme/pde_scheme.h"
#include "scheme_test_support.h"

namespace qavrek {
namespace {

using namespace test;
using type = pde_scheme_type;

// The heat equation du/dt = sum_d r_d u_dd + sum_{i<j} 2 rho_ij sqrt(r_i r_j) u_ij over one day, from a centred
// Gaussian of covariance rho_ij sqrt(v_i v_j): the solution stays Gaussian, of covariance
// rho_ij (sqrt(v_i v_j) + 2 t sqrt(r_i r_j)).
struct heat_problem {
  std::vector<double> rates;      // r per dimension, per day
  std::vector<double> variances;  // v per dimension at the start
  matrix<double> rho;             // empty: uncorrelated

  double correlation(size_t i, size_t j) const { return i == j ? 1.0 : rho.empty() ? 0.0 : rho(i, j); }

  double covariance(size_t i, size_t j, double t) const {
    return correlation(i, j) * (std::sqrt(variances[i] * variances[j]) + 2.0 * t * std::sqrt(rates[i] * rates[j]));
  }

  // The Gaussian density after t days, through the Cholesky factor of the covariance.
  double exact(const std::vector<double>& x, double t) const {
    const size_t n = x.size();
    std::vector<double> l(n * n, 0.0), z(n);
    double log_det = 0.0, q = 0.0;
    for (size_t i = 0; i < n; ++i) {
      for (size_t j = 0; j <= i; ++j) {
        double sum = covariance(i, j, t);
        for (size_t k = 0; k < j; ++k) sum -= l[i * n + k] * l[j * n + k];
        l[i * n + j] = i == j ? std::sqrt(sum) : sum / l[j * n + j];
      }
      double rest = x[i];
      for (size_t k = 0; k < i; ++k) rest -= l[i * n + k] * z[k];
      z[i] = rest / l[i * n + i];
      q += z[i] * z[i];
      log_det += 2.0 * std::log(l[i * n + i]);
    }
    return std::exp(-0.5 * q - 0.5 * log_det) / std::pow(2.0 * std::numbers::pi, 0.5 * double(n));
  }
};

struct solution {
  std::vector<ptr_const<space_grid>> grids;
  std::vector<double> values;
};

// Rolls the start over one day on uniform grids of the given numbers of points, each spanning six standard
// deviations of the end on either side.
solution solve_heat(const heat_problem& h, type t, const std::vector<size_t>& points,
                    const std::vector<size_t>& widths, const ptr_const<time_grid>& grid) {
  const size_t dimensions = points.size();
  solution s;
  std::vector<std::shared_ptr<pde_model_coefficients>> coefficients;
  std::vector<ptr_const<pde_model_coefficients>> shared;
  for (size_t d = 0; d < dimensions; ++d) {
    const double reach = 6.0 * std::sqrt(h.covariance(d, d, 1.0));
    s.grids.push_back(uniform_axis(points[d], -reach, reach));
  }
  for (size_t d = 0; d < dimensions; ++d) {
    coefficients.push_back(std::make_shared<pde_model_coefficients>(points, dimensions > 1));
    shared.push_back(coefficients.back());
  }
  const auto scheme = pde_scheme::create_scheme(grid, s.grids, shared, widths, std::vector<bool>(dimensions, false),
                                                t, false, h.rho);
  pde_storage storage(1, 1, points);
  const std::vector<double> start = on_nodes(s.grids, [&](const std::vector<double>& x) { return h.exact(x, 0.0); });
  std::copy(start.begin(), start.end(), storage.result().begin());
  roll(*scheme, *grid, storage, {{shared[0], shared[0]}}, [&](double from, double to) {
    for (size_t d = 0; d < dimensions; ++d) fill_step(*coefficients[d], {h.rates[d], 0.0, 0.0}, std::abs(to - from));
  });
  s.values.assign(storage.result().begin(), storage.result().end());
  return s;
}

double max_error(const heat_problem& h, const solution& s) {
  const std::vector<double> end = on_nodes(s.grids, [&](const std::vector<double>& x) { return h.exact(x, 1.0); });
  double error = 0.0;
  for (size_t p = 0; p < end.size(); ++p) error = std::max(error, std::abs(s.values[p] - end[p]));
  return error;
}

// The largest difference between two one-dimensional solutions at the points of the coarser, whose grid nests in
// the finer's.
double max_difference(const solution& coarse, const solution& fine) {
  const size_t ratio = (fine.values.size() - 1) / (coarse.values.size() - 1);
  double difference = 0.0;
  for (size_t i = 0; i < coarse.values.size(); ++i) {
    difference = std::max(difference, std::abs(coarse.values[i] - fine.values[i * ratio]));
  }
  return difference;
}

// The order of convergence from three solutions, each with half the step (in time or space) of the previous one,
// by their successive differences: the error of the other variable cancels out.
double richardson_order(const solution& a, const solution& b, const solution& c) {
  return std::log2(max_difference(a, b) / max_difference(b, c));
}

const heat_problem one_dimension{{0.5}, {1.0}, {}};

// 8, 16 and 32 steps on 201 points of width 5, whose space error is far below the time error.
TEST(HeatOneDimension, OrderInTime) {
  struct time_case {
    type t;
    double order;
    double error;  // bound on the error after 32 steps against the exact Gaussian (peak 0.28)
  };
  // Measured 2.003, 2.019 and 0.961; the errors 7.7e-6, 2.5e-6 and 8.2e-4, bounded with some margin.
  const std::vector<time_case> cases{{type::CRANK_NICOLSON, 2.0, 1e-5},
                                     {type::TWO_STAGE_IMPLICIT, 2.0, 4e-6},
                                     {type::IMPLICIT, 1.0, 1e-3}};
  for (const time_case& c : cases) {
    std::vector<solution> s;
    for (size_t steps : {8, 16, 32}) {
      // Crank-Nicolson starts with two fully implicit half steps (Rannacher), which keep the order.
      const double dt = 1.0 / double(steps);
      const auto grid = c.t == type::CRANK_NICOLSON ? rannacher_steps(1.0, dt, 2) : equal_steps(1.0, steps);
      s.push_back(solve_heat(one_dimension, c.t, {201}, {5}, grid));
    }
    EXPECT_NEAR(richardson_order(s[0], s[1], s[2]), c.order, 0.1) << int(c.t);
    EXPECT_LT(max_error(one_dimension, s[2]), c.error) << int(c.t);
  }
}

// 21, 41 and 81 points under the same 20 steps.
TEST(HeatOneDimension, OrderInSpace) {
  std::vector<solution> s[2];
  for (size_t w : {0, 1}) {
    for (size_t n : {21, 41, 81}) {
      s[w].push_back(solve_heat(one_dimension, type::TWO_STAGE_IMPLICIT, {n}, {3 + 2 * w}, equal_steps(1.0, 20)));
    }
  }
  // Measured 2.10 and 3.88.
  EXPECT_NEAR(richardson_order(s[0][0], s[0][1], s[0][2]), 2.0, 0.15);
  EXPECT_GT(richardson_order(s[1][0], s[1][1], s[1][2]), 3.5);
  // Against the exact Gaussian on 81 points: measured 3.9e-4 and 8.7e-7.
  EXPECT_LT(max_error(one_dimension, s[0][2]), 5e-4);
  EXPECT_LT(max_error(one_dimension, s[1][2]), 2e-5);
}

// Uncorrelated, the split schemes solve the product of two one-dimensional Gaussians of different widths on
// 81 x 65 points with 16 steps.
TEST(HeatTwoDimensions, UncorrelatedIsTheProductOfGaussians) {
  const heat_problem h{{0.5, 0.3}, {1.0, 0.8}, {}};
  for (type t : {type::HUNDSDORFER_VERWER, type::DOUGLAS, type::CRAIG_SNEYD, type::MODIFIED_CRAIG_SNEYD}) {
    // Measured 3.05e-4 for every type, second order with h and dt (1.24e-3 at half the resolution); peak 0.10.
    EXPECT_LT(max_error(h, solve_heat(h, t, {81, 65}, {3, 3}, equal_steps(1.0, 16))), 4e-4) << int(t);
  }
}

// Correlated, the error against the bivariate Gaussian when the grid step and the time step are halved together.
// The corrector schemes converge with order 2: their predictor's cross stencil carries a damping term of order
// h^2 that the correctors leave out, which adds an error of order dt h^2, so that the order shows with h and dt
// refined together. The one-stage scheme keeps the cross term explicit: first order in time, unless rho = 0.
TEST(HeatTwoDimensions, CorrelatedConvergesWithOrderTwo) {
  struct correlated_case {
    type t;
    double rho;
    double order;  // at least, between the two finest levels
    double error;  // at most, on the finest level (peak 0.12)
  };
  // Measured orders between the two finest levels 1.88 to 1.93 (1.97 one level further), errors up to 1.6e-4,
  // the same for both signs of rho; the one-stage scheme 2.01 without correlation, 0.70 with.
  const std::vector<correlated_case> cases{
      {type::HUNDSDORFER_VERWER, 0.7, 1.8, 2e-4},   {type::HUNDSDORFER_VERWER, -0.7, 1.8, 2e-4},
      {type::CRAIG_SNEYD, 0.7, 1.8, 2e-4},          {type::CRAIG_SNEYD, -0.7, 1.8, 2e-4},
      {type::MODIFIED_CRAIG_SNEYD, 0.7, 1.8, 2e-4}, {type::MODIFIED_CRAIG_SNEYD, -0.7, 1.8, 2e-4},
      {type::DOUGLAS, 0.0, 1.9, 1e-4},
  };
  for (const correlated_case& c : cases) {
    const heat_problem h{{0.5, 0.3}, {1.0, 0.8}, matrix<double>{{1.0, c.rho}, {c.rho, 1.0}}};
    std::vector<double> errors;
    for (size_t k : {2, 4, 8}) {
      errors.push_back(max_error(h, solve_heat(h, c.t, {20 * k + 1, 16 * k + 1}, {3, 3}, equal_steps(1.0, 4 * k))));
    }
    EXPECT_GT(std::log2(errors[1] / errors[2]), c.order) << int(c.t) << " rho " << c.rho;
    EXPECT_GT(std::log2(errors[0] / errors[1]), 1.4) << int(c.t) << " rho " << c.rho;
    EXPECT_LT(errors[2], c.error) << int(c.t) << " rho " << c.rho;
  }
  const heat_problem h{{0.5, 0.3}, {1.0, 0.8}, matrix<double>{{1.0, 0.7}, {0.7, 1.0}}};
  const double coarse = max_error(h, solve_heat(h, type::DOUGLAS, {81, 65}, {3, 3}, equal_steps(1.0, 16)));
  const double fine = max_error(h, solve_heat(h, type::DOUGLAS, {161, 129}, {3, 3}, equal_steps(1.0, 32)));
  EXPECT_LT(std::log2(coarse / fine), 1.2);
}

// Three dimensions of different sizes and stencils: uncorrelated, the product of three one-dimensional Gaussians;
// correlated pair by pair, the trivariate Gaussian, the cross term of each pair acting in the plane of its axes.
// Two resolutions: 21 x 17 x 13 points with 8 steps, then twice as fine (peak 0.038).
TEST(HeatThreeDimensions, SeparableAndCorrelatedGaussians) {
  const matrix<double> rho{{1.0, 0.5, -0.3}, {0.5, 1.0, 0.2}, {-0.3, 0.2, 1.0}};
  for (bool correlated : {false, true}) {
    const heat_problem h{{0.5, 0.3, 0.2}, {1.0, 0.8, 0.6}, correlated ? rho : matrix<double>{}};
    for (type t : {type::HUNDSDORFER_VERWER, type::DOUGLAS, type::CRAIG_SNEYD, type::MODIFIED_CRAIG_SNEYD}) {
      const double coarse = max_error(h, solve_heat(h, t, {21, 17, 13}, {3, 5, 3}, equal_steps(1.0, 8)));
      const double fine = max_error(h, solve_heat(h, t, {41, 33, 25}, {3, 5, 3}, equal_steps(1.0, 16)));
      // Measured: uncorrelated 7.3e-4 with order 2.23; correlated up to 1.19e-3 with orders 1.29 to 1.42, still
      // short of the asymptote on grids this coarse (1.6 to 2.1 one level finer).
      EXPECT_LT(fine, correlated ? 1.5e-3 : 1e-3) << int(t) << (correlated ? " correlated" : "");
      EXPECT_GT(std::log2(coarse / fine), correlated ? 1.2 : 1.9) << int(t) << (correlated ? " correlated" : "");
    }
  }
}

}  // namespace
}  // namespace qavrek
