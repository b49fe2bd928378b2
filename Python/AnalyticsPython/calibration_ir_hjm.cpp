#include <tuple>
#include <vector>

#include "AnalyticsPython/analytics_names.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using driver = calibration_ir_hjm;
using entry = methods_of<driver>;

// strikes, initial_parameter: none, so each target is calibrated at its swap rate from the driver's own start.
std::tuple<std::vector<double>, ptr_const<parameter_markovian_hjm>> calibration_defaults() { return {}; }

// use_forward_measure.
std::tuple<bool> under_forward_measure() { return {true}; }

// A calibration runs as a long call: other Python threads go on, and Ctrl-C stops it between two
// evaluations of the targets. The swaption targets have no Python type: swaptions() answers only a
// driver without targets.
struct calibration_ir_hjm_binding {
  using type = driver;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "calibration_ir_hjm";
  static constexpr const char* doc =
      "calibration_ir_hjm(valuation_date:datetime, curve:discountCurve,\n"
      "    targets_config:calibrationIrTargetsConfiguration,\n"
      "    convention:dayCountConvention) -> calibration_ir_hjm\n"
      "C++: calibration_ir_hjm(const datetime &valuation_date,\n"
      "    const ptr_const<discount_curve> &curve,\n"
      "    const ptr_const<calibration_ir_targets_configuration> &targets_config,\n"
      "     const ptr_const<day_count_convention> &convention)\n"
      "\n"
      "calibration_ir_hjm - no description provided.\n\n";

  using constructors = overloads<
      constructor<"@WWWW datetime discountCurve calibrationIrTargetsConfiguration dayCountConvention", driver,
                  const datetime&, const ptr_const<discount_curve>&,
                  const ptr_const<calibration_ir_targets_configuration>&, const ptr_const<day_count_convention>&>>;

  static inline PyMethodDef methods[] = {
      entry::method_with_defaults<"calibrate", &driver::calibrate, &calibration_defaults, call_mode::long_running>(
          "calibrate(self, volatility_surface:irVolatilitySurface,\n"
          "    correlation:matrix_IdE, settings:calibrationHjmSettings,\n"
          "    strikes:(float, ...)=...,\n"
          "    initial_parameter:parameterMarkovianHjm=...)\n"
          "    -> parameterMarkovianHjm\n"
          "C++: ptr_const<parameter_markovian_hjm> calibrate(\n"
          "    const ptr_const<ir_volatility_surface> &volatility_surface,\n"
          "    const matrix<double> &correlation,\n"
          "    const ptr_const<calibration_hjm_settings> &settings,\n"
          "    const std::vector<double> &strikes={ },\n"
          "    const ptr_const<parameter_markovian_hjm> &initial_parameter={ })\n\n"),
      entry::method<"swaptions", &driver::swaptions>(
          "swaptions(self) -> (calibrationIrHjmSwaption, ...)\n"
          "C++: const std::vector<ptr_const<calibration_ir_hjm_swaption> > &swaptions(\n"
          "    )\n\n"),
      entry::static_function_with_defaults<"cms_spread_pricing_experimental", &driver::cms_spread_pricing_experimental,
                                           &under_forward_measure>(
          "cms_spread_pricing_experimental(valuation_date:datetime,\n"
          "    expiry_date:datetime, parameter:parameterMarkovianHjm,\n"
          "    discount_crv:discountCurve, use_forward_measure:bool=True)\n"
          "    -> float\n"
          "C++: static double cms_spread_pricing_experimental(\n"
          "    const datetime &valuation_date, const datetime &expiry_date,\n"
          "    const ptr_const<parameter_markovian_hjm> &parameter,\n"
          "    const ptr_const<discount_curve> &discount_crv,\n"
          "    bool use_forward_measure=true)\n\n"),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_calibration_ir_hjm(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::calibration_ir_hjm_binding>::AddFile(module_dict);
}
