#pragma once

#include <cstddef>

#include "Core/pointers.h"
#include "Random/random_settings.h"
#include "Random/random_type.h"

namespace qavrek {

// A generator is one stream of numbers with a read position. Every call first skips discard_count numbers
// from the position, then writes size numbers and moves past them; uniforms, gaussians and discard consume
// the same stream, one number per output, so any sequence of calls gives exactly the numbers that one long
// draw gives at the same positions.
//
// Each Gaussian is the inverse normal cdf of one uniform, so it is finite and a skip is exact.
class random {
 public:
  virtual ~random();

  random(const random&) = delete;
  random& operator=(const random&) = delete;

  // Uniforms in [0, 1).
  virtual void uniforms(double* output, size_t size, size_t discard_count) = 0;
  virtual void discard(size_t discard_count) = 0;
  // Standard normals.
  virtual void gaussians(double* output, size_t size, size_t discard_count) = 0;

  static ptr_mutable<random> random_generator_factory(random_type generator_type,
                                                      const ptr_const<random_settings>& config);

  // True for the types whose numbers depend on where they sit in a batch (the Sobol types): a number's
  // position fixes its point and dimension, and any block of the stream is reached by a jump.
  static bool generate_upfront_onley(random_type type);

 protected:
  random() = default;
};

}  // namespace qavrek
