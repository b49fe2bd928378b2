#pragma once

namespace qavrek {

// The inverse Gaussian law of mean 1 and shape lambda, IG(1, lambda).
class inverse_gaussian_distribution {
 public:
  // Its distribution function
  //   F(x, lambda) = Phi(sqrt(lambda / x) (x - 1)) + exp(2 lambda) Phi(-sqrt(lambda / x) (x + 1)),
  // with Phi the standard normal distribution function; IG(mu, s) at y is cdf(y / mu, s / mu).
  // Equivalently F(x, lambda) = P(tau <= x / lambda), tau the first time a Brownian motion with unit volatility
  // and drift lambda reaches 1. That reading extends the same closed form to lambda < 0 (with x < 0), where
  // the law is defective: F tends to exp(2 lambda) as x tends to -infinity. Hence:
  //   0 when x / lambda <= 0 (no time has passed), the limit at x / lambda = +infinity,
  //   NaN for NaN arguments and for lambda = 0 (the limit there depends on x / lambda, which is lost).
  // The second term is evaluated through the scaled complementary error function, so large lambda neither
  // overflows exp(2 lambda) nor loses the term.
  static double cdf(double x, double lambda) noexcept;
};

}  // namespace qavrek
