#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>

#include "Vectorization/exp_batch.h"
#include "Vectorization/normalcdf.h"
#include "Vectorization/vector.h"

namespace {

using qavrek::vector;

constexpr size_t paths = 10000;

struct operands {
  vector<double> a, b, c, d;
  operands() : a(paths), b(paths), c(paths), d(paths) {
    for (size_t i = 0; i < paths; ++i) {
      b[i] = 0.01 * static_cast<double>(i % 97);
      c[i] = -0.5 + 0.001 * static_cast<double>(i % 1009);
      d[i] = 0.25;
    }
  }
};

// The expression a = exp(b * c + d) through the evaluator.
void expression_exp_affine(benchmark::State& state) {
  operands x;
  for (auto _ : state) {
    x.a = exp(x.b * x.c + x.d);
    benchmark::DoNotOptimize(x.a.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * paths));
}
BENCHMARK(expression_exp_affine);

// The same written as a plain loop: the evaluator should cost nothing on top of it.
void plain_loop_exp_affine(benchmark::State& state) {
  operands x;
  for (auto _ : state) {
    double* a = x.a.data();
    const double *b = x.b.data(), *c = x.c.data(), *d = x.d.data();
    for (size_t i = 0; i < paths; ++i) a[i] = std::exp(b[i] * c[i] + d[i]);
    benchmark::DoNotOptimize(a);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * paths));
}
BENCHMARK(plain_loop_exp_affine);

// Arithmetic alone, which the compiler turns into SIMD code.
void expression_affine(benchmark::State& state) {
  operands x;
  for (auto _ : state) {
    x.a = x.b * x.c + 0.5 * x.d - x.a;
    benchmark::DoNotOptimize(x.a.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * paths));
}
BENCHMARK(expression_affine);

void expression_normalcdf(benchmark::State& state) {
  operands x;
  for (auto _ : state) {
    x.a = normalcdf(x.c * 8.0);
    benchmark::DoNotOptimize(x.a.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * paths));
}
BENCHMARK(expression_normalcdf);

// The batched exponential over arguments in [-5, 5), whose results are all normal numbers, and over the same
// with one overflowing argument in every 256, which sends every block through the clamps and special values.
vector<double> exp_arguments(bool with_overflows) {
  vector<double> x(paths);
  for (size_t i = 0; i < paths; ++i) x[i] = -5.0 + 0.001 * static_cast<double>((i * 7919) % 10000);
  if (with_overflows) {
    for (size_t i = 0; i < paths; i += 256) x[i] = 800.0;
  }
  return x;
}

template <class Exponential>
void exp_batch_run(benchmark::State& state, bool with_overflows, const Exponential& exponential) {
  const vector<double> x = exp_arguments(with_overflows);
  const vector<double> b = exp_arguments(false);
  vector<double> y(paths);
  for (auto _ : state) {
    exponential(x.data(), b.data(), y.data());
    benchmark::DoNotOptimize(y.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * paths));
}

void exp_batch_normal_results(benchmark::State& state) {
  exp_batch_run(state, false, [](const double* x, const double*, double* y) { qavrek::exp_batch(x, y, paths); });
}
BENCHMARK(exp_batch_normal_results);

void exp_batch_with_overflows(benchmark::State& state) {
  exp_batch_run(state, true, [](const double* x, const double*, double* y) { qavrek::exp_batch(x, y, paths); });
}
BENCHMARK(exp_batch_with_overflows);

void exp_batch_sum(benchmark::State& state) {
  exp_batch_run(state, false,
                [](const double* a, const double* b, double* y) { qavrek::exp_batch_sum(a, b, y, paths); });
}
BENCHMARK(exp_batch_sum);

void exp_batch_saturated(benchmark::State& state) {
  exp_batch_run(state, true,
                [](const double* x, const double*, double* y) { qavrek::exp_batch_saturated(x, y, paths); });
}
BENCHMARK(exp_batch_saturated);

}  // namespace
