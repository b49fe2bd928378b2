#include "Util/bachelier.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "Core/check.h"
#include "Util/bracketed_newton.h"
#include "Util/standard_normal.h"

namespace qavrek {
namespace {

// Time value of an option whose strike lies `distance` >= 0 out of the money, for a standard
// deviation s > 0: the out-of-the-money option's price s phi(z) - distance N(-z), z = distance / s.
double time_value_at(double distance, double s) {
  const double z = distance / s;
  return std::max(s * standard_normal::density(z) - distance * standard_normal::cdf(-z), 0.0);
}

// The standard deviation at which the time value is `target` > 0.
double implied_standard_deviation(double distance, double target) {
  // At the money the time value is s / sqrt(2 pi).
  if (distance == 0.0) return standard_normal::sqrt_2pi * target;
  // The time value is convex in s, below s / sqrt(2 pi) and above its asymptote s / sqrt(2 pi) - distance / 2,
  // which brackets the root. Newton runs on its logarithm, which keeps far out-of-the-money prices well
  // scaled; from the lower end it climbs to the root.
  const double lower = standard_normal::sqrt_2pi * target;
  const double upper =
      standard_normal::sqrt_2pi * (target + 0.5 * distance) * (1.0 + 8.0 * std::numeric_limits<double>::epsilon());
  const auto on_log_value = [&](double s) {
    const double value = time_value_at(distance, s);
    return std::pair{std::log(value) - std::log(target), standard_normal::density(distance / s) / value};
  };
  return bracketed_newton::solve(on_log_value, lower, 0.0, upper);
}

}  // namespace

double bachelier::price(double forward, double strike, double expiry, double volatility, double numeraire,
                        double call_put) {
  if (std::isnan(forward) || std::isnan(strike) || std::isnan(expiry) || std::isnan(volatility) ||
      std::isnan(numeraire) || std::isnan(call_put))
    return std::numeric_limits<double>::quiet_NaN();
  QAVREK_CHECK(expiry >= 0.0, "the expiry ", expiry, " is negative");
  QAVREK_CHECK(volatility >= 0.0, "the volatility ", volatility, " is negative");
  const double theta = call_put > 0.0 ? 1.0 : -1.0;
  const double intrinsic = std::max(theta * (forward - strike), 0.0);
  const double s = volatility * std::sqrt(expiry);
  if (s == 0.0) return numeraire * intrinsic;
  return numeraire * (intrinsic + time_value_at(std::abs(forward - strike), s));
}

double bachelier::implied_volatility(double forward, double strike, double expiry, double price, double numeraire,
                                     double call_put) {
  QAVREK_CHECK(std::isfinite(forward) && std::isfinite(strike), "the forward ", forward, " or the strike ", strike,
               " is not finite");
  QAVREK_CHECK(expiry > 0.0 && std::isfinite(expiry), "no volatility is implied at the expiry ", expiry);
  QAVREK_CHECK(numeraire > 0.0 && std::isfinite(numeraire), "the numeraire ", numeraire, " is not positive");
  QAVREK_CHECK(std::isfinite(price), "the price ", price, " is not finite");
  QAVREK_CHECK(!std::isnan(call_put), "the call/put flag is not a number");
  const double theta = call_put > 0.0 ? 1.0 : -1.0;
  const double undiscounted = price / numeraire;
  const double intrinsic = std::max(theta * (forward - strike), 0.0);
  const double time_value = undiscounted - intrinsic;
  // A time value within the rounding of the intrinsic value and of the division is no time value: it
  // is zero volatility rather than whatever volatility the rounding noise implies.
  const double rounding = 4.0 * std::numeric_limits<double>::epsilon() * (intrinsic + std::abs(undiscounted));
  if (time_value <= rounding) {
    QAVREK_CHECK(time_value >= -rounding, "the price ", price, " is below the intrinsic value ", numeraire * intrinsic,
                 " of the option");
    return 0.0;
  }
  return implied_standard_deviation(std::abs(forward - strike), time_value) / std::sqrt(expiry);
}

}  // namespace qavrek
