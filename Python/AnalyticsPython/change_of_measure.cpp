#include "AnalyticsPython/analytics_names.h"
#include "Frame/wrapped_class.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

// Built and handed to the simulation manager; Python reads nothing of it. The two-matrix form takes the
// matrices' data over: the matrix_IdE arguments are left empty (0 x 0), and a matrix whose values a
// buffer still views is refused with BufferError rather than handed over.
struct change_of_measure_binding {
  using type = change_of_measure;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "change_of_measure";
  static constexpr const char* doc =
      "change_of_measure(correlation:matrix_IdE, volatility:matrix_IdE)\n"
      "    -> change_of_measure\n"
      "C++: change_of_measure(matrix<double> &&correlation,\n"
      "    matrix<double> &&volatility) noexcept;\n"
      "change_of_measure() -> change_of_measure\n"
      "C++: change_of_measure()\n"
      "change_of_measure(__a:changeOfMeasure) -> change_of_measure\n"
      "C++: change_of_measure(const &change_of_measure)\n"
      "\n"
      "change_of_measure - no description provided.\n\n";

  using constructors =
      overloads<constructor<"@WW matrix_IdE matrix_IdE", change_of_measure, matrix<double>&&, matrix<double>&&>,
                constructor<"@", change_of_measure>, copy_constructor<change_of_measure>>;

  static inline PyMethodDef methods[] = {methods_of<change_of_measure>::end()};
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_change_of_measure(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::change_of_measure_binding>::AddFile(module_dict);
}
