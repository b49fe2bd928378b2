#include <tuple>
#include <vector>

#include "AnalyticsPython/analytics_names.h"
#include "CorePython/core_names.h"
#include "Frame/persistence_methods.h"
#include "Frame/wrapped_class.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

using parameters = parameter_black_karasinski;
using entry = methods_of<parameters>;

// time_step_in_days, number_of_roots: the library's defaults.
std::tuple<short, short> optional_settings() { return {10, 8}; }

// parameters() shares the nested HJM set: changes made through it are the Black-Karasinski set's.
struct parameter_black_karasinski_binding {
  using type = parameters;
  using base = aad_state_parameters_manager;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "parameter_black_karasinski";
  static constexpr const char* doc =
      "parameter_black_karasinski(parameters:parameterMarkovianHjm,\n"
      "    levels_parameter:(float, ...),\n"
      "    levels_parameter_dates:(datetime, ...), time_step_in_days:int=10,\n"
      "    number_of_roots:int=8) -> parameter_black_karasinski\n"
      "C++: parameter_black_karasinski(\n"
      "    const ptr_mutable<parameter_markovian_hjm> &parameters,\n"
      "    const std::vector<double> &levels_parameter,\n"
      "    const std::vector<datetime> &levels_parameter_dates,\n"
      "    short time_step_in_days=10, short number_of_roots=8)\n"
      "\n"
      "parameter_black_karasinski - no description provided.\n"
      "\n"
      "Superclass: aad_state_parameters_manager\n\n";

  using constructors = overloads<constructor_with_defaults<
      "@Wvv|ii parameterMarkovianHjm", parameters, &optional_settings, const ptr_mutable<parameter_markovian_hjm>&,
      const std::vector<double>&, const std::vector<datetime>&, short, short>>;

  static inline auto methods = with_persistence<parameters>(
      library_name,
      {entry::method<"parameters", &parameters::parameters>(
           "parameters(self) -> parameterMarkovianHjm\n"
           "C++: const ptr_mutable<parameter_markovian_hjm> &parameters()\n\n"),
       entry::method<"levels_parameter_offset", &parameters::levels_parameter_offset>(
           "levels_parameter_offset(self, t:datetime) -> int\n"
           "C++: size_t levels_parameter_offset(const datetime &t)\n\n")});

  static std::string text(const ptr_const<parameters>& object) { return json_text(object); }
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_parameter_black_karasinski(PyObject* module_dict) {
  using qavrek::python::parameter_black_karasinski_binding;
  return qavrek::python::wrapped_class<parameter_black_karasinski_binding>::AddFile(module_dict);
}
