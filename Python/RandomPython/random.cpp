#include "Frame/wrapped_class.h"
#include "RandomPython/random_names.h"
#include "Random/pseudo_random_generator.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>

#include "Core/interruption.h"

namespace qavrek::python {
namespace {

using entry = methods_of<random>;

// The generator writes `size` numbers into the list's buffer: more than the list holds is refused
// rather than written past its end. Thrown as a C++ error, since the check runs without the
// interpreter lock.
void check_room(const char* function, const float_list& output, size_t size) {
  if (size <= output.size) return;
  throw std::invalid_argument(std::string(function) + "() argument 2: size " + std::to_string(size) +
                              " exceeds the " + std::to_string(output.size) + " values of the output list");
}

// Skips and draws run in chunks with interruption points between them: a generator's stream is the
// same whichever way it is cut. A Sobol generator computes whole batches of paths, which each cut would
// compute again, and jumps in one step however far it skips: its draws and skips run in one piece,
// the draws bounded by the list they fill, so a skip past its last point is refused before it moves.
bool runs_in_one_piece(const random& generator) {
  return dynamic_cast<const pseudo_random_generator*>(&generator) == nullptr;
}

// A pseudo-random skip costs at most about one jump of its generator (a few milliseconds) however far it
// goes, short skips drawing and long ones jumping: its chunks double from one to the next, so that it ends
// in a few tens of them.
void discard(random& generator, size_t discard_count) {
  if (runs_in_one_piece(generator)) {
    generator.discard(discard_count);
    return;
  }
  size_t chunk = size_t{1} << 16;
  for (size_t done = 0; done < discard_count;) {
    if (done > 0) interruption::point();
    const size_t count = std::min(chunk, discard_count - done);
    generator.discard(count);
    done += count;
    if (chunk <= std::numeric_limits<size_t>::max() / 2) chunk *= 2;
  }
}

template <auto Draw>
void draw(random& generator, float_list output, size_t size, size_t discard_count, const char* function) {
  check_room(function, output, size);
  discard(generator, discard_count);
  if (runs_in_one_piece(generator)) {
    (generator.*Draw)(output.data, size, 0);
    return;
  }
  in_chunks(size, [&](size_t first, size_t count) { (generator.*Draw)(output.data + first, count, 0); });
}

void uniforms(random& generator, float_list output, size_t size, size_t discard_count) {
  draw<&random::uniforms>(generator, output, size, discard_count, "uniforms");
}

void gaussians(random& generator, float_list output, size_t size, size_t discard_count) {
  draw<&random::gaussians>(generator, output, size, discard_count, "gaussians");
}

constexpr call_mode long_running = call_mode::long_running;

struct random_binding {
  using type = random;
  static constexpr const char* module_path = "qavrekmodules.Random.";
  static constexpr const char* library_name = "random";
  static constexpr const char* doc = "random - no description provided.\n\n";

  static inline PyMethodDef methods[] = {
      entry::method<"uniforms", &uniforms, long_running>(
          "uniforms(self, output:[float, ...], size:int, discard_count:int) -> None\n"
          "C++: virtual void uniforms(double *output, size_t size, size_t discard_count)\n\n"),
      entry::method<"discard", &discard, long_running>(
          "discard(self, discard_count:int) -> None\n"
          "C++: virtual void discard(size_t discard_count)\n\n"),
      entry::method<"gaussians", &gaussians, long_running>(
          "gaussians(self, output:[float, ...], size:int, discard_count:int) -> None\n"
          "C++: virtual void gaussians(double *output, size_t size, size_t discard_count)\n\n"),
      entry::static_function<"random_generator_factory", &random::random_generator_factory>(
          "random_generator_factory(generator_type:randomType,\n"
          "    config:randomSettings) -> random\n"
          "C++: static ptr_mutable<random> random_generator_factory(qavrek::random_type generator_type,\n"
          "    const ptr_const<random_settings> &config)\n\n"),
      entry::static_function<"generate_upfront_onley", &random::generate_upfront_onley>(
          "generate_upfront_onley(type:randomType) -> bool\n"
          "C++: static bool generate_upfront_onley(random_type type)\n\n"),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_random(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::random_binding>::AddFile(module_dict);
}
