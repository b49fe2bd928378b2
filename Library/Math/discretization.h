#pragma once

#include <cstddef>

namespace qavrek {

class discretization {
 public:
  // n equally spaced points from lower to upper into out: out[0] is exactly lower and out[n - 1] exactly upper.
  // Points below `centre` are stepped from lower and points above it from upper, so a grid symmetric about
  // centre comes out exactly symmetric, and a point that falls on centre up to rounding is centre exactly
  // (the middle point of an odd grid centred on the midpoint, 0 of a grid from -L to L).
  // n = 1 writes lower alone and n = 0 writes nothing. A null out with n > 0 is an error.
  static void uniform(double* out, size_t n, double lower, double upper, double centre);
};

}  // namespace qavrek
