#include <tuple>
#include <vector>

#include "AnalyticsPython/analytics_names.h"
#include "AnalyticsPython/interest_rate_settings.h"
#include "Frame/persistence_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"

namespace qavrek::python {
namespace {

using settings = calibration_cheyette_settings;

// debug, max_iterations, tolerance: the library's defaults.
std::tuple<bool, int, double> optional_settings() { return {false, 200, 1.0e-6}; }

struct calibration_cheyette_settings_binding {
  using type = settings;
  using base = config_data;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "calibration_cheyette_settings";
  static constexpr const char* doc =
      "calibration_cheyette_settings(volatility_bounds:(float, ...),\n"
      "    decay_bounds:(float, ...), skew_bounds:(float, ...),\n"
      "    type:parameterMarkovianHjmType, debug:bool=False,\n"
      "    max_iterations:int=200, tolerance:float=1e-06)\n"
      "    -> calibration_cheyette_settings\n"
      "C++: calibration_cheyette_settings(const std::vector<double> &volatility_bounds,\n"
      "    const std::vector<double> &decay_bounds,\n"
      "    const std::vector<double> &skew_bounds,\n"
      "    parameter_markovian_hjm_type type, bool debug=false,\n"
      "    int max_iterations=200, double tolerance=1.0e-6)\n"
      "calibration_cheyette_settings(__a:calibrationCheyetteSettings)\n"
      "    -> calibration_cheyette_settings\n"
      "C++: calibration_cheyette_settings(const &calibration_cheyette_settings)\n"
      "\n"
      "calibration_cheyette_settings - no description provided.\n"
      "\n"
      "Superclass: config_data\n\n";

  using constructors =
      overloads<constructor_with_defaults<"@vvvE|bid parameter_markovian_hjm_type", settings, &optional_settings,
                                          const std::vector<double>&, const std::vector<double>&,
                                          const std::vector<double>&, parameter_markovian_hjm_type, bool, int, double>,
                copy_constructor<settings>>;

  static inline auto methods = interest_rate_settings_methods<settings>(library_name);

  static std::string text(const ptr_const<settings>& object) { return json_text(object); }
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_calibration_cheyette_settings(PyObject* module_dict) {
  using qavrek::python::calibration_cheyette_settings_binding;
  return qavrek::python::wrapped_class<calibration_cheyette_settings_binding>::AddFile(module_dict);
}
