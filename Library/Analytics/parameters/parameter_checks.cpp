#include "Analytics/parameters/parameter_checks.h"

#include <cmath>
#include <limits>

#include "Core/check.h"
#include "Math/cholesky_decomposition.h"

namespace qavrek::parameter_checks {
namespace {

// A correlation may be singular (two factors that move together). It passes when adding this to its
// diagonal makes it positive definite, so that the rounding of its entries cannot refuse it.
constexpr double semidefinite_tolerance = 1e-10;

// How far a diagonal entry may be from 1: the rounding of a correlation computed from covariances
// (c_ii / sqrt(c_ii c_ii)), far below anything that changes a variance.
constexpr double unit_diagonal_tolerance = 1e-12;

bool is_parameter_value(double value) { return std::abs(value) <= max_magnitude; }  // false for NaN

}  // namespace

void check_values(const matrix<double>& values, const char* name) {
  for (size_t r = 0; r < values.rows(); ++r)
    for (size_t c = 0; c < values.columns(); ++c)
      if (!is_parameter_value(values(r, c)))
        details::check_fail("validate", __FILE__, __LINE__,
                            details::concat("the ", name, " hold ", values(r, c), " at (", r, ", ", c,
                                            "): a parameter is finite and at most ", max_magnitude, " in size"));
}

void check_values(const std::vector<double>& values, const char* name) {
  for (size_t i = 0; i < values.size(); ++i)
    if (!is_parameter_value(values[i]))
      details::check_fail("validate", __FILE__, __LINE__,
                          details::concat("the ", name, " hold ", values[i], " at ", i,
                                          ": a parameter is finite and at most ", max_magnitude, " in size"));
}

void check_value(double value, const char* name) {
  if (!is_parameter_value(value))
    details::check_fail("validate", __FILE__, __LINE__,
                        details::concat("the ", name, " is ", value, ": a parameter is finite and at most ",
                                        max_magnitude, " in size"));
}

void check_dates(const std::vector<datetime>& dates, const char* name) {
  static const double first_day = datetime(1, 1, 1).serial();
  static const double last_day = datetime(9999, 12, 31).serial();
  for (size_t i = 0; i < dates.size(); ++i) {
    const double serial = dates[i].serial();
    if (!(serial >= first_day && serial <= last_day))
      details::check_fail("validate", __FILE__, __LINE__,
                          details::concat("the ", name, " hold ", serial, " at ", i,
                                          ": a date is set and lies in the years 1 to 9999"));
    if (i > 0 && !(dates[i - 1] < dates[i]))
      details::check_fail("validate", __FILE__, __LINE__,
                          details::concat("the ", name, " do not increase: ", dates[i - 1], " at ", i - 1,
                                          " is followed by ", dates[i]));
  }
}

bool is_symmetric(const matrix<double>& correlation) {
  for (size_t i = 0; i < correlation.rows(); ++i)
    for (size_t j = 0; j < i; ++j)
      if (!(std::abs(correlation(i, j) - correlation(j, i)) < std::numeric_limits<double>::epsilon())) return false;
  return true;
}

namespace {

void check_correlation_in(const char* function, const matrix<double>& correlation, bool unit_diagonal) {
  const size_t n = correlation.rows();
  QAVREK_CHECK_AT(function, __FILE__, __LINE__, correlation.columns() == n, "the correlation is ", n, " x ",
                  correlation.columns());
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j < n; ++j)
      if (!(std::abs(correlation(i, j)) <= 1.0))
        details::check_fail(function, __FILE__, __LINE__,
                            details::concat("the correlation holds ", correlation(i, j), " at (", i, ", ", j,
                                            "): a correlation lies in [-1, 1]"));
  if (unit_diagonal)
    for (size_t i = 0; i < n; ++i)
      if (!(std::abs(correlation(i, i) - 1.0) <= unit_diagonal_tolerance))
        details::check_fail(function, __FILE__, __LINE__,
                            details::concat("the correlation holds ", correlation(i, i), " at (", i, ", ", i,
                                            "): a correlation matrix has 1 on its diagonal"));
  if (!is_symmetric(correlation))
    details::check_fail(function, __FILE__, __LINE__, "correlation matrix is not symetric");
  matrix<double> shifted(correlation);
  for (size_t i = 0; i < n; ++i) shifted(i, i) += semidefinite_tolerance;
  if (!cholesky_decomposition(shifted.data(), static_cast<long long>(n), 'L'))
    details::check_fail(function, __FILE__, __LINE__, "the correlation matrix is not positive semidefinite");
}

}  // namespace

void check_correlation(const matrix<double>& correlation) { check_correlation_in("validate", correlation, false); }

void check_correlation_matrix(const matrix<double>& correlation, const char* function) {
  check_correlation_in(function, correlation, true);
}

}  // namespace qavrek::parameter_checks
