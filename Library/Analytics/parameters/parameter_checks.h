#pragma once

#include <vector>

#include "Util/datetime.h"
#include "Vectorization/matrix.h"

// Checks that the validate() of every parameter set shares: what makes values, dates and a correlation
// usable by the models. A set runs them in its constructor and after loading, so that a file passes
// exactly the checks that code does. Each failure goes through Core's check routine under the function
// name "validate".
namespace qavrek::parameter_checks {

// The largest magnitude of a parameter value. The sets hold rates, speeds, volatilities, levels and
// skews in annual units, none of which comes near it: a value beyond it is a damaged file or a wrong
// unit, on which the models' exponentials and squares would overflow.
inline constexpr double max_magnitude = 1e6;

// Every value finite and within max_magnitude; `name` says what the values are in the message.
void check_values(const matrix<double>& values, const char* name);
void check_values(const std::vector<double>& values, const char* name);
void check_value(double value, const char* name);

// Every date set, a calendar date (years 1 to 9999), and later than the one before it.
void check_dates(const std::vector<datetime>& dates, const char* name);

// Mirrored entries closer than the machine epsilon; a NaN is never close.
bool is_symmetric(const matrix<double>& correlation);

// A square, symmetric matrix with entries in [-1, 1] that is positive semidefinite. The diagonal is not
// forced to 1: the sets document what set_state_parameters does to it.
void check_correlation(const matrix<double>& correlation);

// A correlation matrix: as check_correlation, with a unit diagonal (to 1e-12, the rounding of a
// correlation computed from covariances). `function` names the caller in the failure.
void check_correlation_matrix(const matrix<double>& correlation, const char* function = "validate");

}  // namespace qavrek::parameter_checks
