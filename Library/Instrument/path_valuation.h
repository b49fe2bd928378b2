#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include <memory>
#include <string>

#include "Core/check.h"
#include "Core/pointers.h"
#include "Market/discount_curve.h"
#include "Market/market_data.h"
#include "Util/datetime.h"
#include "Vectorization/matrix.h"
#include "Vectorization/tensor.h"
#include "Vectorization/vector.h"

namespace qavrek {

// What the instruments share to value themselves path by path.

// mkt_data[index] as a T (a discount curve, a survival curve); `what` names it in the error.
template <class T>
const T& market_data_at(const std::vector<ptr_const<market_data>>& mkt_data, size_t index, const char* what) {
  QAVREK_CHECK(index < mkt_data.size(), "market data ", index, " (", what, ") is missing: ", mkt_data.size(),
               " given");
  const T* data = dynamic_cast<const T*>(mkt_data[index].get());
  QAVREK_CHECK(data != nullptr, "market data ", index, " is not a ", what);
  return *data;
}

// The number of paths of an output tensor of `values` rows (one per value of the instrument) and one
// column per path.
inline size_t output_paths(const tensor<double>& output, size_t values) {
  QAVREK_CHECK(output.dimension() == 2 && output.shape()[0] == values, "output must be ", values,
               " values x paths, it has ", output.dimension(), " dimensions");
  return output.shape()[1];
}

// Discount factors over the paths of a discount curve (a simulated view, or a deterministic curve that
// answers alike on every path) for the instruments that value themselves path by path. The matrices
// hold one row per date and one column per path, so that every loop runs contiguously over the paths.

// dfs(i, j) = P_j(from, dates[i]) on path j of `curve`; `dfs` is resized to dates x paths when it owns
// its storage.
void path_discount_factors(matrix<double>& dfs, const discount_curve& curve, const datetime& from,
                           const std::vector<datetime>& dates, size_t paths);

// Turns discount factors from a simulation date into discount factors from the valuation date: column j
// times numeraire[j], the path's discounting to that date. With `market_dfs` (moment matching) each row
// is then rescaled so that its mean over the paths is the market's discount factor of its date, which
// removes the Monte Carlo error of the paths' bond prices.
void discount_paths(matrix<double>& dfs, const vector<double>& numeraire, const std::vector<double>* market_dfs);

// The mean of path values with its Monte Carlo standard error.
class path_sample {
 public:
  void add(double x) noexcept {
    sum_ += x;
    sum_of_squares_ += x * x;
    ++count_;
  }
  double mean() const noexcept { return sum_ / static_cast<double>(count_); }
  // Zero for fewer than two paths.
  double standard_error() const noexcept {
    if (count_ < 2) return 0.0;
    const double n = static_cast<double>(count_);
    const double variance = std::max(sum_of_squares_ / n - mean() * mean(), 0.0) * n / (n - 1.0);
    return std::sqrt(variance / n);
  }

 private:
  double sum_ = 0.0;
  double sum_of_squares_ = 0.0;
  size_t count_ = 0;
};

// Logs one strike's Monte Carlo value at verbosity 0 (debug output of the simulated valuations).
void log_simulated_value(const char* instrument, double strike, const path_sample& sample);

}  // namespace qavrek
