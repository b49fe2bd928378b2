#include <benchmark/benchmark.h>

#include <cstddef>
#include <vector>

#include "Core/cpu_allocator.h"
#include "Math/pentadiagonal_operations.h"
#include "Math/tridiagonal_operations.h"

namespace {

using qavrek::pentadiagonal_operations;
using qavrek::tridiagonal_operations;

// The implicit systems of an ADI step on a 200 x 100 grid, solved along dimension 0 (lines of 200 points side by
// side, stride 100) or dimension 1 (200 contiguous lines of 100 points). Reports grid points per second.
constexpr size_t rows = 200, columns = 100, total = rows * columns;

struct layout {
  size_t outer, n, inner;
};

layout along(int dimension) { return dimension == 0 ? layout{1, rows, columns} : layout{rows, columns, 1}; }

// 64-byte aligned, as the operators' blocks are.
struct aligned_block {
  explicit aligned_block(size_t count) : data(qavrek::cpu_allocator::allocate_array<double>(count)) {}
  ~aligned_block() { qavrek::cpu_allocator::free(data); }
  aligned_block(const aligned_block&) = delete;
  aligned_block& operator=(const aligned_block&) = delete;
  double* data;
};

// theta * (diffusion operator) + identity: diagonally dominant bands.
void fill_bands(double* bands, size_t width) {
  const size_t centre = width / 2;
  for (size_t k = 0; k < width; ++k) {
    for (size_t p = 0; p < total; ++p) {
      bands[k * total + p] = k == centre ? 1.0 + 0.4 * double(width) : -0.2 - 0.001 * double(p % 7);
    }
  }
}

template <typename Operations>
void solve(benchmark::State& state, size_t width) {
  const layout l = along(int(state.range(0)));
  aligned_block bands(width * total), values(total);
  fill_bands(bands.data, width);
  Operations::decomposition(bands.data, l.outer, l.n, l.inner, false);
  for (size_t p = 0; p < total; ++p) values.data[p] = 1.0 + 0.01 * double(p % 13);
  for (auto _ : state) {
    Operations::solve_decomposed(values.data, bands.data, l.outer, l.n, l.inner, false);
    benchmark::DoNotOptimize(values.data);
    benchmark::ClobberMemory();
  }
  state.counters["points/s"] = benchmark::Counter(double(total), benchmark::Counter::kIsIterationInvariantRate);
}

template <typename Operations>
void multiply(benchmark::State& state, size_t width) {
  const layout l = along(int(state.range(0)));
  aligned_block bands(width * total), in(total), out(total);
  fill_bands(bands.data, width);
  for (size_t p = 0; p < total; ++p) in.data[p] = out.data[p] = 1.0;
  for (auto _ : state) {
    Operations::multiply(out.data, in.data, bands.data, l.outer, l.n, l.inner, 1e-3, false);
    benchmark::DoNotOptimize(out.data);
    benchmark::ClobberMemory();
  }
  state.counters["points/s"] = benchmark::Counter(double(total), benchmark::Counter::kIsIterationInvariantRate);
}

void tridiagonal_solve(benchmark::State& state) { solve<tridiagonal_operations>(state, 3); }
void pentadiagonal_solve(benchmark::State& state) { solve<pentadiagonal_operations>(state, 5); }
void tridiagonal_multiply(benchmark::State& state) { multiply<tridiagonal_operations>(state, 3); }
void pentadiagonal_multiply(benchmark::State& state) { multiply<pentadiagonal_operations>(state, 5); }

}  // namespace

BENCHMARK(tridiagonal_solve)->ArgName("dimension")->Arg(0)->Arg(1);
BENCHMARK(pentadiagonal_solve)->ArgName("dimension")->Arg(0)->Arg(1);
BENCHMARK(tridiagonal_multiply)->ArgName("dimension")->Arg(0)->Arg(1);
BENCHMARK(pentadiagonal_multiply)->ArgName("dimension")->Arg(0)->Arg(1);
