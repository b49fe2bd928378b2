#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>

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

}  // namespace
