#pragma once

namespace qavrek {

// Black's formula on a lognormal forward: numeraire x E[max(theta (F_T - K), 0)] with F_T lognormal
// around `forward`, total standard deviation volatility x sqrt(expiry). `call_put` > 0 prices a call
// and any other value a put (the callers pass +1.0 and -1.0).
class black_scholes {
 public:
  // A NaN argument gives NaN; a negative forward, expiry or volatility is an error. A strike at or
  // below zero, a zero forward or a zero standard deviation give the intrinsic value, an infinite
  // standard deviation the forward for a call and the strike for a put.
  static double price(double forward, double strike, double expiry, double volatility, double numeraire,
                      double call_put);

  // d price / d volatility, the same for calls and puts. NaN arguments give NaN.
  static double vega(double forward, double strike, double expiry, double volatility, double numeraire = 1.0);

  // The volatility whose price is `price`. The forward, strike, expiry and numeraire must be positive and
  // finite and the price finite. A price at its intrinsic value, or below it by no more than rounding,
  // gives 0; a price further below it, or at or above the bound that no volatility reaches (the forward
  // for a call, the strike for a put, times the numeraire), is an error.
  static double implied_volatility(double forward, double strike, double expiry, double price, double numeraire,
                                   double call_put);
};

}  // namespace qavrek
