#include "Math/levenberg_marquardt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <ostream>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "Core/error.h"
#include "Core/logger.h"

namespace qavrek {
namespace {

using residual_function = levenberg_marquardt::residual_function;
using jacobian_function = levenberg_marquardt::jacobian_function;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// The record as the calibration drivers fill it, with the tolerance they pass through.
lm_parameters driver_parameters(size_t m, size_t n, size_t max_iterations, double tolerance) {
  lm_parameters p(m, n, max_iterations);
  p.central_differences = false;
  p.damping_decrease_ratio = 0.75;
  p.acceptance_ratio = 0.0;
  p.residual_tolerance = 0.0;
  p.step_tolerance = tolerance;
  p.initial_damping = 0.01;
  p.damping_decrease_factor = 0.1;
  p.damping_factor = 2;
  return p;
}

double norm(const std::vector<double>& v) {
  double sum = 0.0;
  for (double value : v) sum += value * value;
  return std::sqrt(sum);
}

// The optimiser and the tests sum the same squares in different orders, which leaves them a few units in the
// last place apart.
void expect_same_norm(double a, double b) { EXPECT_NEAR(a, b, 1e-14 * std::max(a, b)); }

std::vector<double> values(const vector<double>& v) { return std::vector<double>(v.begin(), v.end()); }

struct problem {
  std::string name;
  size_t m, n;
  std::vector<double> start;
  residual_function residual;
  jacobian_function jacobian;
  std::optional<std::vector<double>> solution;  // none when the minimisers form a manifold
  double residual_norm;                         // |r| at the minimum
  double residual_tolerance;
  // Per unknown, absolute: how far the result may lie from the solution, and from the result with the analytic
  // Jacobian; with the analytic or central-difference Jacobian, and with the forward-difference one.
  double solution_tolerance;
  double forward_difference_tolerance;
};

void PrintTo(const problem& p, std::ostream* out) { *out << p.name; }

// r = (10 (x1 - x0^2), 1 - x0), the minimum 0 at (1, 1) at the end of a curved valley.
problem rosenbrock() {
  return {"rosenbrock",
          2,
          2,
          {-1.2, 1.0},
          [](const vector<double>& x, vector<double>& r) {
            r[0] = 10.0 * (x[1] - x[0] * x[0]);
            r[1] = 1.0 - x[0];
          },
          [](const vector<double>& x, matrix<double>& j) {
            j(0, 0) = -20.0 * x[0];
            j(0, 1) = 10.0;
            j(1, 0) = -1.0;
          },
          std::vector<double>{1.0, 1.0},
          // A zero residual is reached up to rounding of O(1) terms.
          0.0,
          1e-14,
          // An isolated zero-residual minimum: the Jacobian's accuracy sets the speed, not the point reached
          // (r = 0 is stationary for any J), and the last step is Newton-like, so every mode is at rounding level.
          1e-8,
          1e-8};
}

// Noise-free samples of 2 exp(-0.7 t) + 0.3 on t = 0, 0.25, ..., 5 fitted by a exp(-b t) + c.
problem exponential_fit() {
  constexpr size_t m = 21;
  const auto model = [](double a, double b, double c, double t) { return a * std::exp(-b * t) + c; };
  return {"exponential_fit",
          m,
          3,
          {1.0, 0.2, 0.0},
          [model](const vector<double>& x, vector<double>& r) {
            for (size_t i = 0; i < m; ++i) {
              const double t = 0.25 * static_cast<double>(i);
              r[i] = model(x[0], x[1], x[2], t) - model(2.0, 0.7, 0.3, t);
            }
          },
          [](const vector<double>& x, matrix<double>& j) {
            for (size_t i = 0; i < m; ++i) {
              const double t = 0.25 * static_cast<double>(i), e = std::exp(-x[1] * t);
              j(i, 0) = e;
              j(i, 1) = -x[0] * t * e;
              j(i, 2) = 1.0;
            }
          },
          std::vector<double>{2.0, 0.7, 0.3},
          // The data are exact to rounding (1e-16), so the fit is exact up to rounding too.
          0.0,
          1e-14,
          // An isolated zero-residual minimum, as for Rosenbrock, in a well-conditioned problem: the parameters
          // come back to rounding level in every mode; 1e-10 is the accuracy asked of a noise-free fit.
          1e-10,
          1e-10};
}

// A quadratic fitted to eight values of cos: a linear problem with a non-zero residual, whose solution solves the
// normal equations A^T A x = A^T b (here by Cramer's rule, independently of the optimiser).
problem linear_least_squares() {
  constexpr size_t m = 8;
  std::array<std::array<double, 3>, m> a{};
  std::array<double, m> b{};
  for (size_t i = 0; i < m; ++i) {
    const double t = 0.4 * static_cast<double>(i);
    a[i] = {1.0, t, t * t};
    b[i] = std::cos(t);
  }
  std::array<std::array<double, 3>, 3> normal{};
  std::array<double, 3> right{};
  for (size_t i = 0; i < m; ++i) {
    for (size_t k = 0; k < 3; ++k) {
      right[k] += a[i][k] * b[i];
      for (size_t l = 0; l < 3; ++l) normal[k][l] += a[i][k] * a[i][l];
    }
  }
  const auto determinant = [](const std::array<std::array<double, 3>, 3>& q) {
    return q[0][0] * (q[1][1] * q[2][2] - q[1][2] * q[2][1]) - q[0][1] * (q[1][0] * q[2][2] - q[1][2] * q[2][0]) +
           q[0][2] * (q[1][0] * q[2][1] - q[1][1] * q[2][0]);
  };
  std::vector<double> solution(3);
  for (size_t k = 0; k < 3; ++k) {
    auto replaced = normal;
    for (size_t l = 0; l < 3; ++l) replaced[l][k] = right[l];
    solution[k] = determinant(replaced) / determinant(normal);
  }
  double minimum = 0.0;
  for (size_t i = 0; i < m; ++i) {
    const double r = a[i][0] * solution[0] + a[i][1] * solution[1] + a[i][2] * solution[2] - b[i];
    minimum += r * r;
  }
  return {"linear_least_squares",
          m,
          3,
          {0.0, 0.0, 0.0},
          [a, b](const vector<double>& x, vector<double>& r) {
            for (size_t i = 0; i < m; ++i) r[i] = a[i][0] * x[0] + a[i][1] * x[1] + a[i][2] * x[2] - b[i];
          },
          [a](const vector<double>&, matrix<double>& j) {
            for (size_t i = 0; i < m; ++i) {
              for (size_t k = 0; k < 3; ++k) j(i, k) = a[i][k];
            }
          },
          solution,
          // The minimum of the cost is flat: an error of 1e-10 in x changes |r| by far less than 1e-12.
          std::sqrt(minimum),
          1e-12,
          // The optimiser stops once the residuals are orthogonal to the columns within a cosine of 1e-10; the point
          // then agrees with the normal equations' solution to ~5e-12 (measured), and 1e-10 allows for the rounding
          // of both.
          1e-10,
          // Forward differences carry a rounding error of eps |r_i| / h ~ sqrt(eps) |r_i| ~ 1e-9 in each Jacobian
          // entry, and with a non-zero residual that moves the stationary point by the same order (5e-10 measured).
          1e-8};
}

// Two equations in four unknowns, a sphere of radius 2 cut by a quadric: the zeros form a surface, and the
// optimiser must still reach one of them although J^T J is singular everywhere.
problem underdetermined() {
  return {"underdetermined",
          2,
          4,
          {1.0, 0.5, -0.5, 0.25},
          [](const vector<double>& x, vector<double>& r) {
            r[0] = x[0] * x[0] + x[1] * x[1] + x[2] * x[2] + x[3] * x[3] - 4.0;
            r[1] = x[0] * x[1] - x[2] + x[3] - 0.5;
          },
          [](const vector<double>& x, matrix<double>& j) {
            for (size_t k = 0; k < 4; ++k) j(0, k) = 2.0 * x[k];
            j(1, 0) = x[1];
            j(1, 1) = x[0];
            j(1, 2) = -1.0;
            j(1, 3) = 1.0;
          },
          std::nullopt,
          // Terms of order 1; the last step is Newton-like, so |r| ends at rounding level.
          0.0,
          1e-14,
          // The three modes walk to the surface along paths that differ by the error of their Jacobian (~1e-11
          // for central differences, ~1e-8 for forward differences) and land that close to one another.
          1e-9,
          1e-7};
}

// A quintic through twelve of its own values on [0, 1] in the monomial basis: a zero-residual linear problem whose
// scaled Jacobian has a condition number near 1e4, so a step that lost the small directions would stall far from
// the coefficients that generated the data.
problem ill_conditioned_polynomial() {
  constexpr size_t m = 12, n = 6;
  const std::vector<double> coefficients = {1.0, -2.0, 3.0, -4.0, 5.0, -6.0};
  const auto powers = [](size_t i) {
    const double t = static_cast<double>(i) / static_cast<double>(m - 1);
    std::array<double, n> p{};
    p[0] = 1.0;
    for (size_t k = 1; k < n; ++k) p[k] = p[k - 1] * t;
    return p;
  };
  const auto fit = [powers](const std::vector<double>& c, size_t i) {
    const auto p = powers(i);
    double value = 0.0;
    for (size_t k = 0; k < n; ++k) value += c[k] * p[k];
    return value;
  };
  return {"ill_conditioned_polynomial",
          m,
          n,
          std::vector<double>(n, 0.0),
          [fit, coefficients](const vector<double>& x, vector<double>& r) {
            const std::vector<double> c(x.begin(), x.end());
            for (size_t i = 0; i < m; ++i) r[i] = fit(c, i) - fit(coefficients, i);
          },
          [powers](const vector<double>&, matrix<double>& j) {
            for (size_t i = 0; i < m; ++i) {
              const auto p = powers(i);
              for (size_t k = 0; k < n; ++k) j(i, k) = p[k];
            }
          },
          coefficients,
          // A zero residual reached to rounding of terms of order 10.
          0.0,
          1e-12,
          // Rounding of order 1e-15 in the residuals, amplified by the condition number, moves the coefficients by
          // ~1e-11; finite differences are exact for a linear map up to the rounding of their increment (~1e-8).
          1e-9,
          1e-6};
}

// A line fitted with a third column that is the sum of the first two: the minimisers form a line along
// (1, 1, -1), which the residuals cannot see.
problem rank_deficient() {
  constexpr size_t m = 5;
  const auto columns = [](size_t i) {
    const double t = static_cast<double>(i);
    return std::array<double, 3>{1.0, t, 1.0 + t};
  };
  return {"rank_deficient",
          m,
          3,
          {0.25, -0.5, 0.75},
          [columns](const vector<double>& x, vector<double>& r) {
            for (size_t i = 0; i < m; ++i) {
              const auto a = columns(i);
              r[i] = a[0] * x[0] + a[1] * x[1] + a[2] * x[2] - (2.0 - 0.5 * static_cast<double>(i));
            }
          },
          [columns](const vector<double>&, matrix<double>& j) {
            for (size_t i = 0; i < m; ++i) {
              const auto a = columns(i);
              for (size_t k = 0; k < 3; ++k) j(i, k) = a[k];
            }
          },
          std::nullopt,
          // The data lie on a line: a zero residual, reached to rounding.
          0.0,
          1e-13,
          // The modes move only across the null line, by steps that differ by their Jacobians' errors.
          1e-9,
          1e-6};
}

// Wraps a problem's callbacks and records what the optimiser asks of them.
class recorder {
 public:
  explicit recorder(const problem& p) : problem_(p) {}

  residual_function residual() {
    return [this](const vector<double>& x, vector<double>& r) {
      zero_on_entry_ = zero_on_entry_ && std::all_of(r.begin(), r.end(), [](double v) { return v == 0.0; });
      problem_.residual(x, r);
      latest_residual_point_ = values(x);
      evaluations_.push_back({values(x), norm(values(r))});
    };
  }

  jacobian_function jacobian() {
    return [this](const vector<double>& x, matrix<double>& j) {
      zero_on_entry_ = zero_on_entry_ && std::all_of(j.begin(), j.end(), [](double v) { return v == 0.0; });
      jacobian_at_latest_residual_point_ = jacobian_at_latest_residual_point_ && values(x) == latest_residual_point_;
      ++jacobian_calls_;
      problem_.jacobian(x, j);
    };
  }

  struct evaluation {
    std::vector<double> x;
    double residual_norm;
  };
  const std::vector<evaluation>& evaluations() const { return evaluations_; }
  const std::vector<double>& latest_residual_point() const { return latest_residual_point_; }
  bool zero_on_entry() const { return zero_on_entry_; }
  bool jacobian_at_latest_residual_point() const { return jacobian_at_latest_residual_point_; }
  size_t jacobian_calls() const { return jacobian_calls_; }

  // The lowest |r| seen at a finite point.
  double best_residual_norm() const {
    double best = std::numeric_limits<double>::infinity();
    for (const auto& e : evaluations_) {
      if (std::isfinite(e.residual_norm)) best = std::min(best, e.residual_norm);
    }
    return best;
  }

 private:
  const problem& problem_;
  std::vector<evaluation> evaluations_;
  std::vector<double> latest_residual_point_;
  bool zero_on_entry_ = true;
  bool jacobian_at_latest_residual_point_ = true;
  size_t jacobian_calls_ = 0;
};

enum class jacobian_mode { analytic, forward_differences, central_differences };

const char* name_of(jacobian_mode mode) {
  switch (mode) {
    case jacobian_mode::analytic:
      return "analytic";
    case jacobian_mode::forward_differences:
      return "forward differences";
    case jacobian_mode::central_differences:
      return "central differences";
  }
  return "";
}

struct run_result {
  optimization_algorithm_output output;
  std::vector<double> x;  // what the optimiser wrote back
};

run_result solve(const problem& p, recorder& record, jacobian_mode mode, lm_parameters parameters) {
  parameters.central_differences = mode == jacobian_mode::central_differences;
  const levenberg_marquardt optimiser = mode == jacobian_mode::analytic
                                            ? levenberg_marquardt(parameters, record.residual(), record.jacobian())
                                            : levenberg_marquardt(parameters, record.residual());
  vector<double> x(p.start.size());
  std::copy(p.start.begin(), p.start.end(), x.begin());
  optimization_algorithm_output output = optimiser(x);
  return {std::move(output), values(x)};
}

class levenberg_marquardt_problems : public ::testing::TestWithParam<problem> {};

// Each problem from its start, with the analytic Jacobian and with both finite-difference Jacobians: the known
// minimum is reached, the three land on the same point, and the callbacks are used as the drivers rely on.
TEST_P(levenberg_marquardt_problems, ReachesTheMinimumWithEveryJacobian) {
  const problem& p = GetParam();
  std::vector<std::vector<double>> solutions;
  std::vector<double> tolerances;
  for (const jacobian_mode mode :
       {jacobian_mode::analytic, jacobian_mode::forward_differences, jacobian_mode::central_differences}) {
    SCOPED_TRACE(name_of(mode));
    recorder record(p);
    const run_result result = solve(p, record, mode, driver_parameters(p.m, p.n, 200, 1e-12));
    const optimization_algorithm_output& out = result.output;

    EXPECT_TRUE(out.converged()) << out.reason();
    EXPECT_EQ(result.x, values(out.unknowns));
    const double tolerance =
        mode == jacobian_mode::forward_differences ? p.forward_difference_tolerance : p.solution_tolerance;
    tolerances.push_back(tolerance);
    if (p.solution) {
      for (size_t k = 0; k < p.n; ++k) EXPECT_NEAR(result.x[k], (*p.solution)[k], tolerance) << k;
    }
    EXPECT_NEAR(out.residual_norm, p.residual_norm, p.residual_tolerance);
    expect_same_norm(out.initial_residual_norm, record.evaluations().front().residual_norm);

    // The returned point is the best one evaluated, and the callbacks were last left there.
    EXPECT_EQ(record.latest_residual_point(), result.x);
    expect_same_norm(out.residual_norm, record.evaluations().back().residual_norm);
    expect_same_norm(out.residual_norm, record.best_residual_norm());
    EXPECT_TRUE(record.zero_on_entry());

    EXPECT_EQ(out.residual_evaluations, record.evaluations().size());
    EXPECT_LE(out.accepted_steps, out.iterations);
    EXPECT_LE(out.iterations, 200u);
    if (mode == jacobian_mode::analytic) {
      EXPECT_TRUE(record.jacobian_at_latest_residual_point());
      EXPECT_EQ(out.jacobian_evaluations, record.jacobian_calls());
    } else {
      // Every Jacobian costs n (forward) or 2n (central) evaluations besides the iterations' own.
      const size_t per_jacobian = mode == jacobian_mode::central_differences ? 2 * p.n : p.n;
      const size_t besides = out.residual_evaluations - out.jacobian_evaluations * per_jacobian;
      EXPECT_GE(besides, 1 + out.iterations);
      EXPECT_LE(besides, 2 + out.iterations);  // the start, the trials, and at most one return to the best point
    }
    solutions.push_back(result.x);
  }
  for (size_t mode = 1; mode < solutions.size(); ++mode) {
    for (size_t k = 0; k < p.n; ++k)
      EXPECT_NEAR(solutions[mode][k], solutions[0][k], tolerances[mode])
          << name_of(static_cast<jacobian_mode>(mode)) << " " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(Problems, levenberg_marquardt_problems,
                         ::testing::Values(rosenbrock(), exponential_fit(), linear_least_squares(), underdetermined(),
                                           ill_conditioned_polynomial(), rank_deficient()),
                         [](const auto& info) { return info.param.name; });

// r = log(x) - log(2) from x = 10: the undamped first steps land at x < 0, where the residual is NaN, so the
// first trials are rejected.
problem logarithm() {
  return {"logarithm",
          1,
          1,
          {10.0},
          [](const vector<double>& x, vector<double>& r) { r[0] = std::log(x[0]) - std::log(2.0); },
          [](const vector<double>& x, matrix<double>& j) { j(0, 0) = 1.0 / x[0]; },
          std::vector<double>{2.0},
          // Only the fields the tests read: a zero-residual root with the last, Newton-like step taken, so 2 is
          // reached to a few units in the last place.
          0.0,
          0.0,
          1e-14,
          1e-14};
}

// A cap on the trial steps ends the run there, at the best point so far, with the callbacks left at it: after
// accepted steps (Rosenbrock) and after rejected ones (the logarithm's first trials).
TEST(levenberg_marquardt, MaxIterationsStopsAtTheBestPointSoFar) {
  struct capped {
    problem p;
    size_t cap;
  };
  const std::vector<capped> cases = {{rosenbrock(), 0},  {rosenbrock(), 1}, {rosenbrock(), 3},
                                     {rosenbrock(), 10}, {logarithm(), 1},  {logarithm(), 2}};
  for (const auto& [p, cap] : cases) {
    SCOPED_TRACE(p.name + " " + std::to_string(cap));
    recorder record(p);
    const run_result result = solve(p, record, jacobian_mode::analytic, driver_parameters(p.m, p.n, cap, 1e-12));
    const optimization_algorithm_output& out = result.output;
    EXPECT_EQ(out.status, optimization_status::max_iterations);
    EXPECT_FALSE(out.converged());
    EXPECT_EQ(out.iterations, cap);
    EXPECT_LE(out.residual_evaluations, cap + 2);
    EXPECT_LE(out.jacobian_evaluations, out.accepted_steps + 1);
    expect_same_norm(out.residual_norm, record.best_residual_norm());
    EXPECT_EQ(record.latest_residual_point(), result.x);
    if (out.accepted_steps == 0) {
      EXPECT_EQ(result.x, p.start);
    }
  }
}

// Trials where the residual is not finite are rejected (never taken, never reported), and the damping brings the
// run back to the root.
TEST(levenberg_marquardt, NonFiniteTrialResidualsAreRejected) {
  const problem p = logarithm();
  for (const jacobian_mode mode : {jacobian_mode::analytic, jacobian_mode::forward_differences}) {
    SCOPED_TRACE(name_of(mode));
    recorder record(p);
    const run_result result = solve(p, record, mode, driver_parameters(1, 1, 200, 1e-12));
    const auto& evaluations = record.evaluations();
    EXPECT_TRUE(
        std::any_of(evaluations.begin(), evaluations.end(), [](const auto& e) { return std::isnan(e.residual_norm); }));
    EXPECT_TRUE(result.output.converged()) << result.output.reason();
    EXPECT_NEAR(result.x[0], 2.0, p.solution_tolerance);
    expect_same_norm(result.output.residual_norm, record.best_residual_norm());
    EXPECT_EQ(record.latest_residual_point(), result.x);
  }
}

// The shape of a volatility calibration: volatilities p_j in (0.001, 0.1) reached through p = mid + half
// tanh(0.1 x), model values sqrt(mean of p_j^2 over the first k_i of them), residuals 1e6 (market - model), and
// the drivers' default tolerance 1e-6. Market values come from planted volatilities, so a zero residual exists.
TEST(levenberg_marquardt, CalibrationShapedProblemsMeetTheirTargets) {
  constexpr double lower = 0.001, upper = 0.1, scale = 1e6;
  const auto volatility = [&](double x) { return 0.5 * (lower + upper + (upper - lower) * std::tanh(0.1 * x)); };
  struct shape {
    size_t targets, unknowns;
  };
  // Fewer targets than unknowns, as many, and more.
  for (const auto [m, n] : {shape{10, 20}, shape{40, 60}, shape{30, 30}, shape{100, 90}}) {
    SCOPED_TRACE(std::to_string(m) + " targets, " + std::to_string(n) + " unknowns");
    std::vector<size_t> spans(m);  // target i sees the first spans[i] volatilities
    for (size_t i = 0; i < m; ++i) spans[i] = std::min(n, (i + 1) * n / m + 2);
    const auto model = [&](const std::vector<double>& p, size_t i) {
      double sum = 0.0;
      for (size_t j = 0; j < spans[i]; ++j) sum += p[j] * p[j];
      return std::sqrt(sum / static_cast<double>(spans[i]));
    };
    const auto volatilities = [&](const vector<double>& x) {
      std::vector<double> p(n);
      for (size_t j = 0; j < n; ++j) p[j] = volatility(x[j]);
      return p;
    };
    std::vector<double> planted(n), market(m);
    for (size_t j = 0; j < n; ++j) planted[j] = 0.012 + 0.006 * std::sin(static_cast<double>(j));
    for (size_t i = 0; i < m; ++i) market[i] = model(planted, i);

    const residual_function residual = [&](const vector<double>& x, vector<double>& r) {
      const std::vector<double> p = volatilities(x);
      for (size_t i = 0; i < m; ++i) r[i] = scale * (market[i] - model(p, i));
    };
    const jacobian_function jacobian = [&](const vector<double>& x, matrix<double>& jac) {
      const std::vector<double> p = volatilities(x);
      for (size_t i = 0; i < m; ++i) {
        const double value = model(p, i);
        for (size_t j = 0; j < spans[i]; ++j) {
          const double slope = 0.05 * (upper - lower) * (1.0 - std::pow(std::tanh(0.1 * x[j]), 2));
          jac(i, j) = -scale * p[j] / (static_cast<double>(spans[i]) * value) * slope;
        }
      }
    };
    for (const bool analytic : {true, false}) {
      SCOPED_TRACE(analytic ? "analytic" : "forward differences");
      const lm_parameters parameters = driver_parameters(m, n, 200, 1e-6);
      const levenberg_marquardt optimiser =
          analytic ? levenberg_marquardt(parameters, residual, jacobian) : levenberg_marquardt(parameters, residual);
      vector<double> x(n, std::atanh((2.0 * 0.02 - lower - upper) / (upper - lower)) / 0.1);  // all at 2%
      const optimization_algorithm_output out = optimiser(x);
      EXPECT_TRUE(out.converged()) << out.reason();
      // The step test stops once the Newton-like steps are 1e-6 relative, and the last one is taken, which
      // leaves |r| near 1e-11 (measured), model values within 1e-16 of the market; 1e-10 is well inside the
      // 1e-8 a calibration must reach, yet a run stopped a step early would miss it.
      const std::vector<double> p = volatilities(x);
      for (size_t i = 0; i < m; ++i) EXPECT_NEAR(model(p, i), market[i], 1e-10) << i;
      // Marquardt's damping decrease reaches the Gauss-Newton regime in a few steps (six or seven here).
      EXPECT_LE(out.iterations, 20u);
    }
  }
}

// Problems with nothing to do stop before any trial step, with the reason that says why.
TEST(levenberg_marquardt, DegenerateProblemsStopAtOnce) {
  struct degenerate {
    std::string name;
    size_t m, n;
    residual_function residual;
    optimization_status status;
  };
  const std::vector<degenerate> cases = {
      {"no_residuals", 0, 2, [](const vector<double>&, vector<double>&) {}, optimization_status::residual_tolerance},
      {"exact_fit_at_the_start", 2, 2, [](const vector<double>& x, vector<double>& r) { r[0] = x[0] - 0.5; },
       optimization_status::residual_tolerance},
      {"no_unknowns", 2, 0, [](const vector<double>&, vector<double>& r) { r[0] = 1.0; },
       optimization_status::gradient_tolerance},
      {"residuals_that_ignore_the_unknowns", 3, 2,
       [](const vector<double>&, vector<double>& r) { r[0] = r[1] = r[2] = 1.0; },
       optimization_status::gradient_tolerance},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const levenberg_marquardt optimiser(driver_parameters(c.m, c.n, 200, 1e-12), c.residual);
    vector<double> x(c.n, 0.5);
    const optimization_algorithm_output out = optimiser(x);
    EXPECT_EQ(out.status, c.status);
    EXPECT_TRUE(out.converged());
    EXPECT_EQ(out.iterations, 0u);
    for (double value : x) EXPECT_EQ(value, 0.5);
  }
}

// Directions the residuals cannot see get no step: the steps live in the row space of the scaled Jacobian J S^-1,
// so from any start the rank-deficient line fit moves orthogonally to its null direction n = (1, 1, -1) in the
// metric S^2 (the squared column norms 5, 30 and 55 of its constant Jacobian).
TEST(levenberg_marquardt, NullDirectionsGetNoStep) {
  const problem p = rank_deficient();
  for (const std::vector<double>& start :
       std::vector<std::vector<double>>{{0.25, -0.5, 0.75}, {10.0, 20.0, -30.0}, {0.0, 0.0, 0.0}}) {
    const levenberg_marquardt optimiser(driver_parameters(p.m, p.n, 200, 1e-12), p.residual, p.jacobian);
    vector<double> x{std::span<const double>(start)};
    const optimization_algorithm_output out = optimiser(x);
    EXPECT_TRUE(out.converged()) << out.reason();
    EXPECT_NEAR(out.residual_norm, 0.0, 1e-13);
    // Rounding of the steps only: their components along the null line are of order eps times their size (< 100).
    EXPECT_NEAR(5.0 * (x[0] - start[0]) + 30.0 * (x[1] - start[1]) - 55.0 * (x[2] - start[2]), 0.0, 1e-11);
  }
}

// Exceptions of either callback pass through the optimiser unchanged, at the first call or in the middle of the
// run, and x keeps its starting values.
TEST(levenberg_marquardt, CallbackExceptionsPassThrough) {
  struct failure {
    std::string name;
    int failing_residual_call;  // 1-based; 0: never
    int failing_jacobian_call;
  };
  const std::vector<failure> cases = {
      {"first_residual", 1, 0}, {"later_residual", 4, 0}, {"first_jacobian", 0, 1}, {"later_jacobian", 0, 3}};
  const problem p = rosenbrock();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int residual_calls = 0, jacobian_calls = 0;
    const levenberg_marquardt optimiser(
        driver_parameters(2, 2, 200, 1e-12),
        [&](const vector<double>& x, vector<double>& r) {
          if (++residual_calls == c.failing_residual_call) throw std::runtime_error("residual failed");
          p.residual(x, r);
        },
        [&](const vector<double>& x, matrix<double>& j) {
          if (++jacobian_calls == c.failing_jacobian_call) throw std::runtime_error("jacobian failed");
          p.jacobian(x, j);
        });
    vector<double> x{-1.2, 1.0};
    try {
      optimiser(x);
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), c.failing_residual_call > 0 ? "residual failed" : "jacobian failed");
    }
    EXPECT_EQ(x[0], -1.2);
    EXPECT_EQ(x[1], 1.0);
  }
}

// Settings and arguments the optimiser cannot work with are refused with Core's error.
TEST(levenberg_marquardt, RefusesInvalidInput) {
  const residual_function residual = [](const vector<double>& x, vector<double>& r) { r[0] = x[0]; };
  const auto with = [](const std::function<void(lm_parameters&)>& change) {
    lm_parameters p = driver_parameters(1, 1, 10, 1e-12);
    change(p);
    return p;
  };
  const std::vector<std::pair<std::string, lm_parameters>> invalid = {
      {"negative_acceptance", with([](lm_parameters& p) { p.acceptance_ratio = -0.5; })},
      {"increase_above_decrease", with([](lm_parameters& p) { p.damping_increase_ratio = 0.8; })},
      {"nan_step_tolerance", with([](lm_parameters& p) { p.step_tolerance = nan; })},
      {"negative_residual_tolerance", with([](lm_parameters& p) { p.residual_tolerance = -1.0; })},
      {"negative_gradient_tolerance", with([](lm_parameters& p) { p.gradient_tolerance = -1.0; })},
      {"zero_damping", with([](lm_parameters& p) { p.initial_damping = 0.0; })},
      {"maximum_below_initial_damping", with([](lm_parameters& p) { p.maximum_damping = 1e-3; })},
      {"negative_difference_step", with([](lm_parameters& p) { p.finite_difference_step = -1e-8; })},
      {"damping_decrease_factor_one", with([](lm_parameters& p) { p.damping_decrease_factor = 1.0; })},
      {"damping_factor_one", with([](lm_parameters& p) { p.damping_factor = 1; })},
  };
  for (const auto& [name, parameters] : invalid) {
    EXPECT_THROW(levenberg_marquardt(parameters, residual), Error) << name;
  }

  const lm_parameters valid = driver_parameters(1, 1, 10, 1e-12);
  EXPECT_THROW(levenberg_marquardt(valid, residual_function()), Error);
  EXPECT_THROW(levenberg_marquardt(valid, residual, jacobian_function()), Error);

  const levenberg_marquardt optimiser(valid, residual);
  vector<double> wrong_size{1.0, 2.0};
  EXPECT_THROW(optimiser(wrong_size), Error);

  const levenberg_marquardt nan_at_start(valid, [](const vector<double>&, vector<double>& r) { r[0] = nan; });
  vector<double> x{1.0};
  EXPECT_THROW(nan_at_start(x), Error);

  const levenberg_marquardt nan_jacobian(valid, residual,
                                         [](const vector<double>&, matrix<double>& j) { j(0, 0) = nan; });
  EXPECT_THROW(nan_jacobian(x), Error);
  EXPECT_EQ(x[0], 1.0);
}

// Captures the log while it lives and restores the sink and the cutoff after.
class levenberg_marquardt_print : public ::testing::Test {
 protected:
  void SetUp() override {
    cutoff_ = logger::GetCurrentVerbosityCutoff();
    previous_ = logger::SetSink([this](int verbosity, std::string_view, unsigned, std::string_view message) {
      lines_.push_back({verbosity, std::string(message)});
    });
  }
  void TearDown() override {
    logger::SetSink(previous_);
    logger::SetCurrentVerbosityCutoff(cutoff_);
  }

  std::vector<std::pair<int, std::string>> lines_;

 private:
  int cutoff_ = 0;
  logger::Sink previous_;
};

TEST_F(levenberg_marquardt_print, SummarisesTheRunOnTheLog) {
  const problem p = rosenbrock();
  recorder record(p);
  // As the drivers hold it: a record of n unknowns, replaced by the run's result.
  optimization_algorithm_output out(2);
  out = solve(p, record, jacobian_mode::analytic, driver_parameters(2, 2, 200, 1e-12)).output;
  ASSERT_TRUE(out.converged());

  logger::SetCurrentVerbosityCutoff(0);
  out.print();
  ASSERT_EQ(lines_.size(), 3u);
  for (const auto& [verbosity, message] : lines_) EXPECT_EQ(verbosity, 0);
  EXPECT_NE(lines_[0].second.find(out.reason()), std::string::npos) << lines_[0].second;
  EXPECT_NE(lines_[0].second.find("after " + std::to_string(out.iterations) + " iterations"), std::string::npos)
      << lines_[0].second;
  EXPECT_NE(lines_[2].second.find(std::to_string(out.residual_evaluations) + " residual evaluations"),
            std::string::npos)
      << lines_[2].second;

  // A record that was never run prints too, and a negative cutoff silences the summary.
  lines_.clear();
  optimization_algorithm_output(3).print();
  ASSERT_EQ(lines_.size(), 3u);
  EXPECT_NE(lines_[0].second.find("not run"), std::string::npos);
  lines_.clear();
  logger::SetCurrentVerbosityCutoff(-1);
  out.print();
  EXPECT_TRUE(lines_.empty());
}

}  // namespace
}  // namespace qavrek
