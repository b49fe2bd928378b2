#include "Random/pseudo_random_generator.h"

#include <algorithm>

#include "Random/inverse_normal_cdf.h"

namespace qavrek {
namespace {

// Words are produced through a stack buffer so that the conversion loop stays free of virtual calls; its size
// is the inverse normal's chunk, which needs that many to set aside enough tail values at a time.
constexpr size_t chunk_size = 2048;

}  // namespace

void pseudo_random_generator::uniforms(double* output, size_t size, size_t discard_count) {
  skip_words(discard_count);
  std::uint32_t words[chunk_size];
  for (size_t done = 0; done < size;) {
    const size_t count = std::min(chunk_size, size - done);
    next_words(words, count);
    for (size_t i = 0; i < count; ++i) output[done + i] = static_cast<double>(words[i]) * 0x1p-32;
    done += count;
  }
}

void pseudo_random_generator::discard(size_t discard_count) { skip_words(discard_count); }

void pseudo_random_generator::gaussians(double* output, size_t size, size_t discard_count) {
  skip_words(discard_count);
  std::uint32_t words[chunk_size];
  for (size_t done = 0; done < size;) {
    const size_t count = std::min(chunk_size, size - done);
    next_words(words, count);
    inverse_normal_cdf_of_words(words, output + done, count);
    done += count;
  }
}

}  // namespace qavrek
