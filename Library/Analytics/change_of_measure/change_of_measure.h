#pragma once

#include <cstddef>

#include "Vectorization/matrix.h"

namespace qavrek {

// The drift correction that simulating a diffusion under the chosen measure adds to each of its
// factors. It holds two row-major matrices: `correlation`, one row per factor of the diffusion, and
// `volatility`, one row per simulation step, with the columns of both running over the drivers of
// the numeraire. The models read it only through row_dot.
class change_of_measure {
 public:
  // Both matrices empty: every correction is zero.
  change_of_measure() = default;
  // Takes both matrices over without copying; the arguments are left without data.
  change_of_measure(matrix<double>&& correlation, matrix<double>&& volatility) noexcept;

  const matrix<double>& correlation() const noexcept { return correlation_; }
  const matrix<double>& volatility() const noexcept { return volatility_; }

  // The correction of factor j at step i: sum over k < volatility.columns() of
  // volatility(i, k) * correlation(j, k); 0 when either matrix is empty.
  double row_dot(size_t i, size_t j) const;

 private:
  matrix<double> correlation_;
  matrix<double> volatility_;
};

}  // namespace qavrek
