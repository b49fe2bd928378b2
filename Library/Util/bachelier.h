#pragma once

namespace qavrek {

// The normal (Bachelier) model: numeraire x E[max(theta (F_T - K), 0)] with F_T normal around
// `forward`, absolute standard deviation volatility x sqrt(expiry). `call_put` > 0 prices a call and
// any other value a put (the callers pass +1.0 and -1.0).
class bachelier {
 public:
  // A NaN argument gives NaN; a negative expiry or volatility is an error; a zero standard deviation
  // gives the intrinsic value.
  static double price(double forward, double strike, double expiry, double volatility, double numeraire,
                      double call_put);

  // The normal volatility whose price is `price`. The forward and strike must be finite, the expiry and
  // numeraire positive and finite and the price finite. A price at its intrinsic value, or below it by
  // no more than rounding, gives 0; a price further below it is an error.
  static double implied_volatility(double forward, double strike, double expiry, double price, double numeraire,
                                   double call_put);
};

}  // namespace qavrek
