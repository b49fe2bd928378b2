#include "Analytics/change_of_measure/change_of_measure.h"

#include <utility>

#include "Core/check.h"

namespace qavrek {

change_of_measure::change_of_measure(matrix<double>&& correlation, matrix<double>&& volatility) noexcept
    : correlation_(std::move(correlation)), volatility_(std::move(volatility)) {}

double change_of_measure::row_dot(size_t i, size_t j) const {
  if (correlation_.empty() || volatility_.empty()) return 0.0;
  // Called once per factor and step, not per path: the checks cost nothing next to the simulation,
  // and a shape mismatch would otherwise read outside both matrices.
  const size_t n = volatility_.columns();
  QAVREK_CHECK(i < volatility_.rows(), "step ", i, " is beyond the ", volatility_.rows(), " rows of the volatility");
  QAVREK_CHECK(j < correlation_.rows(), "factor ", j, " is beyond the ", correlation_.rows(),
               " rows of the correlation");
  QAVREK_CHECK(n <= correlation_.columns(), "the correlation has ", correlation_.columns(),
               " columns, fewer than the ", n, " of the volatility");
  const double* volatility_row = volatility_[i];
  const double* correlation_row = correlation_[j];
  double sum = 0.0;
  for (size_t k = 0; k < n; ++k) sum += volatility_row[k] * correlation_row[k];
  return sum;
}

}  // namespace qavrek
