#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "Math/levenberg_marquardt.h"

namespace {

using qavrek::levenberg_marquardt;
using qavrek::lm_parameters;
using qavrek::matrix;
using qavrek::vector;

// A volatility calibration in miniature, so that the optimiser's own cost (Jacobian scans, the SVD of the scaled
// Jacobian, the trial steps) dominates: volatilities in (0.001, 0.1) through a tanh map, model values
// sqrt(mean of p_j^2 over the first k_i of them), residuals 1e6 (market - model), market values from planted
// volatilities. Arguments: targets m, unknowns n, and whether the Jacobian is analytic or forward differences.
class calibration_shaped_problem {
 public:
  calibration_shaped_problem(size_t m, size_t n) : m_(m), n_(n), spans_(m), market_(m), p_(n) {
    for (size_t i = 0; i < m; ++i) spans_[i] = std::min(n, (i + 1) * n / m + 2);
    std::vector<double> planted(n);
    for (size_t j = 0; j < n; ++j) planted[j] = 0.012 + 0.006 * std::sin(static_cast<double>(j));
    for (size_t i = 0; i < m; ++i) market_[i] = model(planted, i);
  }

  void residual(const vector<double>& x, vector<double>& r) {
    map(x);
    for (size_t i = 0; i < m_; ++i) r[i] = scale * (market_[i] - model(p_, i));
  }

  void jacobian(const vector<double>& x, matrix<double>& jacobian) {
    map(x);
    for (size_t i = 0; i < m_; ++i) {
      const double value = model(p_, i);
      for (size_t j = 0; j < spans_[i]; ++j) {
        const double t = std::tanh(0.1 * x[j]), slope = 0.05 * (upper - lower) * (1.0 - t * t);
        jacobian(i, j) = -scale * p_[j] / (static_cast<double>(spans_[i]) * value) * slope;
      }
    }
  }

  // Every volatility at 2%.
  vector<double> start() const {
    return vector<double>(n_, std::atanh((2.0 * 0.02 - lower - upper) / (upper - lower)) / 0.1);
  }

 private:
  static constexpr double lower = 0.001, upper = 0.1, scale = 1e6;

  void map(const vector<double>& x) {
    for (size_t j = 0; j < n_; ++j) p_[j] = 0.5 * (lower + upper + (upper - lower) * std::tanh(0.1 * x[j]));
  }

  double model(const std::vector<double>& p, size_t i) const {
    double sum = 0.0;
    for (size_t j = 0; j < spans_[i]; ++j) sum += p[j] * p[j];
    return std::sqrt(sum / static_cast<double>(spans_[i]));
  }

  size_t m_, n_;
  std::vector<size_t> spans_;
  std::vector<double> market_, p_;
};

void calibrate(benchmark::State& state) {
  const auto m = static_cast<size_t>(state.range(0)), n = static_cast<size_t>(state.range(1));
  const bool analytic = state.range(2) != 0;
  calibration_shaped_problem problem(m, n);
  lm_parameters parameters(m, n, 200);
  parameters.step_tolerance = 1e-6;
  const auto residual = [&](const vector<double>& x, vector<double>& r) { problem.residual(x, r); };
  const auto jacobian = [&](const vector<double>& x, matrix<double>& j) { problem.jacobian(x, j); };
  const levenberg_marquardt optimiser =
      analytic ? levenberg_marquardt(parameters, residual, jacobian) : levenberg_marquardt(parameters, residual);
  size_t iterations = 0, evaluations = 0;
  for (auto _ : state) {
    vector<double> x = problem.start();
    const auto output = optimiser(x);
    iterations = output.iterations;
    evaluations = output.residual_evaluations;
    benchmark::DoNotOptimize(x.data());
  }
  state.counters["iterations"] = static_cast<double>(iterations);
  state.counters["residual_evaluations"] = static_cast<double>(evaluations);
}

BENCHMARK(calibrate)
    ->ArgNames({"m", "n", "analytic"})
    ->Args({5, 5, 1})
    ->Args({40, 60, 1})
    ->Args({100, 90, 1})
    ->Args({100, 90, 0})
    ->Args({300, 250, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
