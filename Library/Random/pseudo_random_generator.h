#pragma once

#include <cstddef>
#include <cstdint>

#include "Random/random.h"

namespace qavrek {

// A generator of 32-bit words, one word per number of the stream: a uniform is w 2^-32 (as the generators'
// authors define their output) and a Gaussian the inverse normal cdf of (w + 1/2) 2^-32, which is never 0
// or 1, so every Gaussian is finite.
class pseudo_random_generator : public random {
 public:
  void uniforms(double* output, size_t size, size_t discard_count) final;
  void discard(size_t discard_count) final;
  void gaussians(double* output, size_t size, size_t discard_count) final;

 protected:
  pseudo_random_generator() = default;

  virtual void next_words(std::uint32_t* words, size_t count) = 0;
  // Moves the state exactly as count calls would, without producing output.
  virtual void skip_words(size_t count) = 0;
};

}  // namespace qavrek
