#include "Util/black_scholes.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "Core/check.h"
#include "Util/bracketed_newton.h"
#include "Util/standard_normal.h"

namespace qavrek {
namespace {

// The price of the out-of-the-money option (the call when forward < strike, else the put) for a total
// standard deviation s > 0: its time value, which no intrinsic value swamps.
double out_of_the_money_value(double forward, double strike, double s) {
  const double d1 = std::log(forward / strike) / s + 0.5 * s;
  const double d2 = d1 - s;
  const double value = forward < strike ? forward * standard_normal::cdf(d1) - strike * standard_normal::cdf(d2)
                                        : strike * standard_normal::cdf(-d2) - forward * standard_normal::cdf(-d1);
  return std::max(value, 0.0);
}

// d value / d s, the same for both options.
double out_of_the_money_slope(double forward, double strike, double s) {
  return forward * standard_normal::density(std::log(forward / strike) / s + 0.5 * s);
}

// The standard deviation at which the out-of-the-money option is worth `target`, with
// 0 < target < min(forward, strike).
double implied_standard_deviation(double forward, double strike, double target) {
  const double moneyness = std::abs(std::log(forward / strike));
  // The value is convex in s below sqrt(2 |x|) and concave above. Newton on the value from that point
  // climbs monotonically to a root above it; a root below it is found on the logarithm of the value,
  // which also keeps far out-of-the-money prices well scaled.
  const auto on_value = [&](double s) {
    return std::pair{out_of_the_money_value(forward, strike, s) - target, out_of_the_money_slope(forward, strike, s)};
  };
  const auto on_log_value = [&](double s) {
    const double value = out_of_the_money_value(forward, strike, s);
    return std::pair{std::log(value) - std::log(target), out_of_the_money_slope(forward, strike, s) / value};
  };
  constexpr double infinity = std::numeric_limits<double>::infinity();
  if (moneyness == 0.0) {
    // At the money the value forward * erf(s / (2 sqrt 2)) is concave and at most forward * s / sqrt(2 pi),
    // so this start lies left of the root.
    return bracketed_newton::solve(on_value, standard_normal::sqrt_2pi * target / forward, 0.0, infinity);
  }
  const double inflection = std::sqrt(2.0 * moneyness);
  if (target < out_of_the_money_value(forward, strike, inflection))
    return bracketed_newton::solve(on_log_value, inflection, 0.0, inflection);
  return bracketed_newton::solve(on_value, inflection, inflection, infinity);
}

double check_call_put(double call_put) {
  QAVREK_CHECK(!std::isnan(call_put), "the call/put flag is not a number");
  return call_put > 0.0 ? 1.0 : -1.0;
}

}  // namespace

double black_scholes::price(double forward, double strike, double expiry, double volatility, double numeraire,
                            double call_put) {
  if (std::isnan(forward) || std::isnan(strike) || std::isnan(expiry) || std::isnan(volatility) ||
      std::isnan(numeraire) || std::isnan(call_put))
    return std::numeric_limits<double>::quiet_NaN();
  QAVREK_CHECK(forward >= 0.0, "a lognormal forward cannot be ", forward);
  QAVREK_CHECK(expiry >= 0.0, "the expiry ", expiry, " is negative");
  QAVREK_CHECK(volatility >= 0.0, "the volatility ", volatility, " is negative");
  const double theta = call_put > 0.0 ? 1.0 : -1.0;
  const double intrinsic = std::max(theta * (forward - strike), 0.0);
  const double s = volatility * std::sqrt(expiry);
  if (strike <= 0.0 || forward == 0.0 || s == 0.0) return numeraire * intrinsic;
  // Without bound on the spread the out-of-the-money option is worth the lesser of forward and strike.
  if (std::isinf(s)) return numeraire * (intrinsic + std::min(forward, strike));
  return numeraire * (intrinsic + out_of_the_money_value(forward, strike, s));
}

double black_scholes::vega(double forward, double strike, double expiry, double volatility, double numeraire) {
  if (std::isnan(forward) || std::isnan(strike) || std::isnan(expiry) || std::isnan(volatility) ||
      std::isnan(numeraire))
    return std::numeric_limits<double>::quiet_NaN();
  QAVREK_CHECK(forward >= 0.0, "a lognormal forward cannot be ", forward);
  QAVREK_CHECK(expiry >= 0.0, "the expiry ", expiry, " is negative");
  QAVREK_CHECK(volatility >= 0.0, "the volatility ", volatility, " is negative");
  if (strike <= 0.0 || forward == 0.0 || expiry == 0.0) return 0.0;
  const double sqrt_expiry = std::sqrt(expiry);
  const double s = volatility * sqrt_expiry;
  // At zero volatility only the at-the-money option still moves with it, at the rate of d1 = 0.
  if (s == 0.0) return forward == strike ? numeraire * forward * sqrt_expiry * standard_normal::inverse_sqrt_2pi : 0.0;
  return numeraire * out_of_the_money_slope(forward, strike, s) * sqrt_expiry;
}

double black_scholes::implied_volatility(double forward, double strike, double expiry, double price, double numeraire,
                                         double call_put) {
  QAVREK_CHECK(forward > 0.0 && std::isfinite(forward), "a lognormal forward cannot be ", forward);
  QAVREK_CHECK(strike > 0.0 && std::isfinite(strike), "no volatility is implied by a price at the strike ", strike);
  QAVREK_CHECK(expiry > 0.0 && std::isfinite(expiry), "no volatility is implied at the expiry ", expiry);
  QAVREK_CHECK(numeraire > 0.0 && std::isfinite(numeraire), "the numeraire ", numeraire, " is not positive");
  QAVREK_CHECK(std::isfinite(price), "the price ", price, " is not finite");
  const double theta = check_call_put(call_put);
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
  QAVREK_CHECK(time_value < std::min(forward, strike), "the price ", price, " reaches ",
               numeraire * (theta > 0.0 ? forward : strike), ", the bound that no finite volatility gives");
  return implied_standard_deviation(forward, strike, time_value) / std::sqrt(expiry);
}

}  // namespace qavrek
