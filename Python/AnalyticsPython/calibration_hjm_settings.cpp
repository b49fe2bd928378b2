#include <tuple>
#include <vector>

#include "AnalyticsPython/analytics_names.h"
#include "AnalyticsPython/interest_rate_settings.h"
#include "Frame/persistence_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"

namespace qavrek::python {
namespace {

using settings = calibration_hjm_settings;

// The library's defaults of the parameters after the model type, in declaration order.
std::tuple<bool, int, bool, bool, double, double, bool, bool> optional_settings() {
  return {false, 200, true, false, 1.0e-6, 0.0, false, false};
}

struct calibration_hjm_settings_binding {
  using type = settings;
  using base = config_data;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "calibration_hjm_settings";
  static constexpr const char* doc =
      "calibration_hjm_settings(mumber_of_factors:int,\n"
      "    volatility_bounds:(float, ...), decay_bounds:(float, ...),\n"
      "    type:parameterMarkovianHjmType, debug:bool=False,\n"
      "    max_iterations:int=200, jacobian_with_aad_flag:bool=True,\n"
      "    calibrate_correlation_flag:bool=False, tolerance:float=1e-06,\n"
      "    regularization_factor:float=0.0, regularization_flag:bool=False,\n"
      "    calibrate_to_all_target_flag:bool=False)\n"
      "    -> calibration_hjm_settings\n"
      "C++: calibration_hjm_settings(size_t mumber_of_factors,\n"
      "    const std::vector<double> &volatility_bounds,\n"
      "    const std::vector<double> &decay_bounds,\n"
      "    parameter_markovian_hjm_type type, bool debug=false,\n"
      "    int max_iterations=200, bool jacobian_with_aad_flag=true,\n"
      "    bool calibrate_correlation_flag=false, double tolerance=1.0e-6,\n"
      "    double regularization_factor=0.0, bool regularization_flag=false,\n"
      "    bool calibrate_to_all_target_flag=false)\n"
      "calibration_hjm_settings(__a:calibrationHjmSettings)\n"
      "    -> calibration_hjm_settings\n"
      "C++: calibration_hjm_settings(const &calibration_hjm_settings)\n"
      "\n"
      "calibration_hjm_settings - no description provided.\n"
      "\n"
      "Superclass: config_data\n\n";

  using constructors =
      overloads<constructor_with_defaults<"@ivvE|bibbddbb parameter_markovian_hjm_type", settings, &optional_settings,
                                          size_t, const std::vector<double>&, const std::vector<double>&,
                                          parameter_markovian_hjm_type, bool, int, bool, bool, double, double, bool,
                                          bool>,
                copy_constructor<settings>>;

  static inline auto methods = interest_rate_settings_methods<settings>(library_name);

  static std::string text(const ptr_const<settings>& object) { return json_text(object); }
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_calibration_hjm_settings(PyObject* module_dict) {
  using qavrek::python::calibration_hjm_settings_binding;
  return qavrek::python::wrapped_class<calibration_hjm_settings_binding>::AddFile(module_dict);
}
