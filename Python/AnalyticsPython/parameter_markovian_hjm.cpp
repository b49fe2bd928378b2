#include <vector>

#include "AnalyticsPython/analytics_names.h"
#include "CorePython/core_names.h"
#include "Frame/persistence_methods.h"
#include "Frame/wrapped_class.h"
#include "Frame/wrapped_enumeration.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using parameters = parameter_markovian_hjm;
using entry = methods_of<parameters>;

// The matrices come back as copies: changing one in Python leaves the set as it was.
struct parameter_markovian_hjm_binding {
  using type = parameters;
  using base = aad_state_parameters_manager;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "parameter_markovian_hjm";
  static constexpr const char* doc =
      "parameter_markovian_hjm(decays:matrix_IdE, volatilities:matrix_IdE,\n"
      "    correlation:matrix_IdE, decays_dates:(datetime, ...),\n"
      "    volatilities_dates:(datetime, ...),\n"
      "    day_convention:dayCountConvention,\n"
      "    model_type:parameterMarkovianHjmType) -> parameter_markovian_hjm\n"
      "C++: parameter_markovian_hjm(const matrix<double> &decays,\n"
      "    const matrix<double> &volatilities,\n"
      "    const matrix<double> &correlation,\n"
      "    const std::vector<datetime> &decays_dates,\n"
      "    const std::vector<datetime> &volatilities_dates,\n"
      "    const ptr_const<day_count_convention> &day_convention,\n"
      "    parameter_markovian_hjm_type model_type)\n"
      "parameter_markovian_hjm(__a:parameterMarkovianHjm)\n"
      "    -> parameter_markovian_hjm\n"
      "C++: parameter_markovian_hjm(const &parameter_markovian_hjm)\n"
      "\n"
      "parameter_markovian_hjm - no description provided.\n"
      "\n"
      "Superclass: aad_state_parameters_manager\n\n";

  using constructors =
      overloads<constructor<"@WWWvvWE matrix_IdE matrix_IdE matrix_IdE dayCountConvention parameter_markovian_hjm_type",
                            parameters, const matrix<double>&, const matrix<double>&, const matrix<double>&,
                            const std::vector<datetime>&, const std::vector<datetime>&,
                            const ptr_const<day_count_convention>&, parameter_markovian_hjm_type>,
                copy_constructor<parameters>>;

  static inline auto methods = with_persistence<parameters>(
      library_name,
      {entry::method<"decays_dates", &parameters::decays_dates>(
           "decays_dates(self) -> (datetime, ...)\nC++: const std::vector<datetime> &decays_dates()\n\n"),
       entry::method<"volatilities_dates", &parameters::volatilities_dates>(
           "volatilities_dates(self) -> (datetime, ...)\n"
           "C++: const std::vector<datetime> &volatilities_dates()\n\n"),
       entry::method<"number_of_factors", &parameters::number_of_factors>(
           "number_of_factors(self) -> int\nC++: size_t number_of_factors()\n\n"),
       entry::method<"decays", &parameters::decays>(
           "decays(self) -> matrix_IdE\nC++: const matrix<double> &decays()\n\n"),
       entry::method<"volatilities", &parameters::volatilities>(
           "volatilities(self) -> matrix_IdE\nC++: const matrix<double> &volatilities()\n\n"),
       entry::method<"correlation", &parameters::correlation>(
           "correlation(self) -> matrix_IdE\nC++: const matrix<double> &correlation()\n\n"),
       entry::method<"day_convention", &parameters::day_convention>(
           "day_convention(self) -> dayCountConvention\n"
           "C++: const ptr_const<day_count_convention> &day_convention()\n\n"),
       entry::method<"model_type", &parameters::model_type>(
           "model_type(self) -> parameterMarkovianHjmType\nC++: parameter_markovian_hjm_type model_type()\n\n")});

  static std::string text(const ptr_const<parameters>& object) { return json_text(object); }
};

struct parameter_markovian_hjm_type_binding {
  using type = parameter_markovian_hjm_type;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr enumerator<parameter_markovian_hjm_type> enumerators[] = {
      {"HULL_WHITE", parameter_markovian_hjm_type::HULL_WHITE},
      {"PICEWISE_CONSTANT", parameter_markovian_hjm_type::PICEWISE_CONSTANT},
  };
};

}  // namespace
}  // namespace qavrek::python

// The class, then its model type enumeration.
extern "C" int PyQAVREKAddFile_parameter_markovian_hjm(PyObject* module_dict) {
  using namespace qavrek::python;
  if (wrapped_class<parameter_markovian_hjm_binding>::AddFile(module_dict) < 0) return -1;
  return wrapped_enumeration<parameter_markovian_hjm_type_binding>::AddFile(module_dict);
}
