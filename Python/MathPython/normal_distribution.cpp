#include "Frame/wrapped_class.h"
#include "MathPython/math_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<normal_distribution>;

struct normal_distribution_binding {
  using type = normal_distribution;
  static constexpr const char* module_path = "qavrekmodules.Math.";
  static constexpr const char* library_name = "normal_distribution";
  static constexpr const char* doc = "normal_distribution - the standard normal law, through its static functions.\n\n";

  static inline PyMethodDef methods[] = {
      entry::static_function<"density", &normal_distribution::density>(
          "density(x:float) -> float\nC++: static double density(double x)\n\n"),
      entry::static_function<"quantile", &normal_distribution::quantile>(
          "quantile(p:float) -> float\nC++: static double quantile(double p)\n\n"),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_normal_distribution(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::normal_distribution_binding>::AddFile(module_dict);
}
