#include "Frame/wrapped_class.h"
#include "RandomPython/random_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<random>;

// The generator writes `size` numbers into the list's buffer: more than the list holds is refused
// rather than written past its end.
void check_room(const char* function, const float_list& output, size_t size) {
  if (size <= output.size) return;
  PyErr_Format(PyExc_ValueError, "%s() argument 2: size %zu exceeds the %zu values of the output list", function, size,
               output.size);
  throw python_error_already_set();
}

void uniforms(random& generator, float_list output, size_t size, size_t discard_count) {
  check_room("uniforms", output, size);
  generator.uniforms(output.data, size, discard_count);
}

void gaussians(random& generator, float_list output, size_t size, size_t discard_count) {
  check_room("gaussians", output, size);
  generator.gaussians(output.data, size, discard_count);
}

struct random_binding {
  using type = random;
  static constexpr const char* module_path = "qavrekmodules.Random.";
  static constexpr const char* library_name = "random";
  static constexpr const char* doc = "random - no description provided.\n\n";

  static inline PyMethodDef methods[] = {
      entry::method<"uniforms", &uniforms>(
          "uniforms(self, output:[float, ...], size:int, discard_count:int) -> None\n"
          "C++: virtual void uniforms(double *output, size_t size, size_t discard_count)\n\n"),
      entry::method<"discard", &random::discard>(
          "discard(self, discard_count:int) -> None\n"
          "C++: virtual void discard(size_t discard_count)\n\n"),
      entry::method<"gaussians", &gaussians>(
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
