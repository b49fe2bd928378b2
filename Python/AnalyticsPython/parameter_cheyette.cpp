#include <vector>

#include "AnalyticsPython/analytics_names.h"
#include "CorePython/core_names.h"
#include "Frame/persistence_methods.h"
#include "Frame/wrapped_class.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using parameters = parameter_cheyette;
using entry = methods_of<parameters>;

// The set shares the HJM set it is given; skew_parameter() is a copy of the skew matrix.
struct parameter_cheyette_binding {
  using type = parameters;
  using base = aad_state_parameters_manager;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "parameter_cheyette";
  static constexpr const char* doc =
      "parameter_cheyette(parameters:parameterMarkovianHjm,\n"
      "    skew_parameter:matrix_IdE, skew_parameter_dates:(datetime, ...),\n"
      "    long_term_skew_level:float) -> parameter_cheyette\n"
      "C++: parameter_cheyette(\n"
      "    const ptr_const<parameter_markovian_hjm> &parameters,\n"
      "    const matrix<double> &skew_parameter,\n"
      "    const std::vector<datetime> &skew_parameter_dates,\n"
      "    double long_term_skew_level)\n"
      "\n"
      "parameter_cheyette - no description provided.\n"
      "\n"
      "Superclass: aad_state_parameters_manager\n\n";

  using constructors =
      overloads<constructor<"@WWvd parameterMarkovianHjm matrix_IdE", parameters,
                            const ptr_const<parameter_markovian_hjm>&, const matrix<double>&,
                            const std::vector<datetime>&, double>>;

  static inline auto methods = with_persistence<parameters>(
      library_name,
      {entry::method<"skew_parameter_dates", &parameters::skew_parameter_dates>(
           "skew_parameter_dates(self) -> (datetime, ...)\n"
           "C++: const std::vector<datetime> &skew_parameter_dates()\n\n"),
       entry::method<"skew_parameter", &parameters::skew_parameter>(
           "skew_parameter(self) -> matrix_IdE\nC++: const matrix<double> &skew_parameter()\n\n"),
       entry::method<"long_term_skew_level", &parameters::long_term_skew_level>(
           "long_term_skew_level(self) -> float\nC++: double long_term_skew_level()\n\n"),
       entry::method<"parameters", &parameters::parameters>(
           "parameters(self) -> parameterMarkovianHjm\n"
           "C++: const ptr_const<parameter_markovian_hjm> &parameters()\n\n")});

  static std::string text(const ptr_const<parameters>& object) { return json_text(object); }
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_parameter_cheyette(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::parameter_cheyette_binding>::AddFile(module_dict);
}
