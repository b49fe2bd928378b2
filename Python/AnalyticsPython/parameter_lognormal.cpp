#include <vector>

#include "AnalyticsPython/analytics_names.h"
#include "CorePython/core_names.h"
#include "Frame/persistence_methods.h"
#include "Frame/wrapped_class.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using parameters = parameter_lognormal;
using entry = methods_of<parameters>;

struct parameter_lognormal_binding {
  using type = parameters;
  using base = aad_state_parameters_manager;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "parameter_lognormal";
  static constexpr const char* doc =
      "parameter_lognormal(volatilities:matrix_IdE, correlation:matrix_IdE,\n"
      "    volatilities_dates:(datetime, ...),\n"
      "    day_convention:dayCountConvention) -> parameter_lognormal\n"
      "C++: parameter_lognormal(const matrix<double> &volatilities,\n"
      "    const matrix<double> &correlation,\n"
      "    const std::vector<datetime> &volatilities_dates,\n"
      "    const ptr_const<day_count_convention> &day_convention)\n"
      "\n"
      "parameter_lognormal - no description provided.\n"
      "\n"
      "Superclass: aad_state_parameters_manager\n\n";

  using constructors =
      overloads<constructor<"@WWvW matrix_IdE matrix_IdE dayCountConvention", parameters, const matrix<double>&,
                            const matrix<double>&, const std::vector<datetime>&,
                            const ptr_const<day_count_convention>&>>;

  static inline auto methods = with_persistence<parameters>(
      library_name,
      {entry::method<"volatilities", &parameters::volatilities>(
           "volatilities(self) -> matrix_IdE\nC++: const matrix<double> &volatilities()\n\n"),
       entry::method<"correlation", &parameters::correlation>(
           "correlation(self) -> matrix_IdE\nC++: const matrix<double> &correlation()\n\n"),
       entry::method<"volatilities_dates", &parameters::volatilities_dates>(
           "volatilities_dates(self) -> (datetime, ...)\n"
           "C++: const std::vector<datetime> &volatilities_dates()\n\n"),
       entry::method<"day_convention", &parameters::day_convention>(
           "day_convention(self) -> dayCountConvention\n"
           "C++: const ptr_const<day_count_convention> &day_convention()\n\n"),
       entry::method<"number_of_factors", &parameters::number_of_factors>(
           "number_of_factors(self) -> int\nC++: size_t number_of_factors()\n\n")});

  static std::string text(const ptr_const<parameters>& object) { return json_text(object); }
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_parameter_lognormal(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::parameter_lognormal_binding>::AddFile(module_dict);
}
