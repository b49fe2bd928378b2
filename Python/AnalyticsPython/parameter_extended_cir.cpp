#include <vector>

#include "AnalyticsPython/analytics_names.h"
#include "CorePython/core_names.h"
#include "Frame/persistence_methods.h"
#include "Frame/wrapped_class.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using parameters = parameter_extended_cir;
using entry = methods_of<parameters>;

// Python reads the matrices as copies, so the const accessors serve.
using matrix_accessor = const matrix<double>& (parameters::*)() const noexcept;
constexpr matrix_accessor mean_reversion_speeds = &parameters::mean_reversion_speeds;
constexpr matrix_accessor volatilities = &parameters::volatilities;
constexpr matrix_accessor shifts = &parameters::shifts;

struct parameter_extended_cir_binding {
  using type = parameters;
  using base = aad_state_parameters_manager;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "parameter_extended_cir";
  static constexpr const char* doc =
      "parameter_extended_cir(mean_reversion_speeds:matrix_IdE,\n"
      "    volatilities:matrix_IdE, shifts:matrix_IdE, correlation:matrix_IdE,\n"
      "    mean_reversion_speed_dates:(datetime, ...),\n"
      "    volatilities_dates:(datetime, ...), shifts_dates:(datetime, ...),\n"
      "    day_convention:dayCountConvention) -> parameter_extended_cir\n"
      "C++: parameter_extended_cir(const matrix<double> &mean_reversion_speeds,\n"
      "    const matrix<double> &volatilities, const matrix<double> &shifts,\n"
      "    const matrix<double> &correlation,\n"
      "    const std::vector<datetime> &mean_reversion_speed_dates,\n"
      "    const std::vector<datetime> &volatilities_dates,\n"
      "    const std::vector<datetime> &shifts_dates,\n"
      "    const ptr_const<day_count_convention> &day_convention)\n"
      "\n"
      "parameter_extended_cir - no description provided.\n"
      "\n"
      "Superclass: aad_state_parameters_manager\n\n";

  using constructors =
      overloads<constructor<"@WWWWvvvW matrix_IdE matrix_IdE matrix_IdE matrix_IdE dayCountConvention", parameters,
                            const matrix<double>&, const matrix<double>&, const matrix<double>&, const matrix<double>&,
                            const std::vector<datetime>&, const std::vector<datetime>&, const std::vector<datetime>&,
                            const ptr_const<day_count_convention>&>>;

  static inline auto methods = with_persistence<parameters>(
      library_name,
      {entry::method<"correlation", &parameters::correlation>(
           "correlation(self) -> matrix_IdE\nC++: const matrix<double> &correlation()\n\n"),
       entry::method<"mean_reversion_speeds", mean_reversion_speeds>(
           "mean_reversion_speeds(self) -> matrix_IdE\nC++: const matrix<double> &mean_reversion_speeds()\n\n"),
       entry::method<"volatilities", volatilities>(
           "volatilities(self) -> matrix_IdE\nC++: const matrix<double> &volatilities()\n\n"),
       entry::method<"shifts", shifts>("shifts(self) -> matrix_IdE\nC++: const matrix<double> &shifts()\n\n"),
       entry::method<"mean_reversion_speed_dates", &parameters::mean_reversion_speed_dates>(
           "mean_reversion_speed_dates(self) -> (datetime, ...)\n"
           "C++: const std::vector<datetime> &mean_reversion_speed_dates()\n\n"),
       entry::method<"volatilities_dates", &parameters::volatilities_dates>(
           "volatilities_dates(self) -> (datetime, ...)\n"
           "C++: const std::vector<datetime> &volatilities_dates()\n\n"),
       entry::method<"shifts_dates", &parameters::shifts_dates>(
           "shifts_dates(self) -> (datetime, ...)\nC++: const std::vector<datetime> &shifts_dates()\n\n"),
       entry::method<"day_convention", &parameters::day_convention>(
           "day_convention(self) -> dayCountConvention\n"
           "C++: const ptr_const<day_count_convention> &day_convention()\n\n")});

  static std::string text(const ptr_const<parameters>& object) { return json_text(object); }
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_parameter_extended_cir(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::parameter_extended_cir_binding>::AddFile(module_dict);
}
