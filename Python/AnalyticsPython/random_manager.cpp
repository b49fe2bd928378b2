#include "AnalyticsPython/analytics_names.h"
#include "Frame/wrapped_class.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<random_manager>;

// The correlated increments of a date come back as a matrix of their own: the library's result views a
// buffer that the next call overwrites. A time index outside the simulation steps, or a factor of the
// wrong shape, is the library's error.
struct random_manager_binding {
  using type = random_manager;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "random_manager";
  static constexpr const char* doc =
      "random_manager(config:randomConfig) -> random_manager\n"
      "C++: explicit random_manager(const ptr_const<random_config> &config)\n"
      "    noexcept;\n"
      "\n"
      "random_manager - no description provided.\n\n";

  using constructors = overloads<constructor<"-@W randomConfig", random_manager, const ptr_const<random_config>&>>;

  static inline PyMethodDef methods[] = {
      entry::method<"correlate", &random_manager::correlate>(
          "correlate(self, time_index:int, decomposed_correlation:matrix_IdE)\n"
          "     -> matrix_IdE\n"
          "C++: matrix<double> correlate(size_t time_index,\n"
          "    const matrix<double> &decomposed_correlation)\n\n"),
      entry::method<"number_of_paths", &random_manager::number_of_paths>(
          "number_of_paths(self) -> int\nC++: size_t number_of_paths()\n\n"),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_random_manager(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::random_manager_binding>::AddFile(module_dict);
}
