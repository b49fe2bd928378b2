#include <memory>

#include "AnalyticsPython/analytics_names.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "Runtime/long_call.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

using driver = calibration_ir_cheyette;
using entry = methods_of<driver>;

// The calibration writes its decays and volatilities into the HJM set it is given at every step: it runs
// on a private copy of the caller's set, which receives the copy's values when it ends (or, stopped by
// Ctrl-C, those of its last step), so that other threads, and the objects built on the set, read the set
// as it was or as calibrated. The result shares the caller's set, as the library's shares the one it was
// given. The driver is only read.
ptr_const<parameter_cheyette> calibrate(const driver& calibration,
                                        const ptr_const<ir_volatility_surface>& volatility_surface,
                                        const ptr_const<calibration_cheyette_settings>& settings,
                                        const written_object<parameter_markovian_hjm>& parameter_hjm) {
  const ptr_const<parameter_cheyette> fitted = long_call::run(nullptr, parameter_hjm.publication(), [&] {
    return calibration.calibrate(volatility_surface, settings, parameter_hjm.copy());
  });
  return std::make_shared<const parameter_cheyette>(parameter_hjm.original(), fitted->skew_parameter(),
                                                    fitted->skew_parameter_dates(), fitted->long_term_skew_level());
}

struct calibration_ir_cheyette_binding {
  using type = driver;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "calibration_ir_cheyette";
  static constexpr const char* doc =
      "calibration_ir_cheyette(valuation_date:datetime, curve:discountCurve,\n"
      "targets_config:calibrationIrTargetsConfiguration,\n"
      "    convention:dayCountConvention) -> calibration_ir_cheyette\n"
      "C++: calibration_ir_cheyette(const datetime &valuation_date,\n"
      "    const ptr_const<discount_curve> &curve,\n"
      "    const ptr_const<calibration_ir_targets_configuration> &targets_config,\n"
      "     const ptr_const<day_count_convention> &convention)\n"
      "\n"
      "calibration_ir_cheyette - no description provided.\n\n";

  using constructors = overloads<
      constructor<"-@WWWW datetime discountCurve calibrationIrTargetsConfiguration dayCountConvention", driver,
                  const datetime&, const ptr_const<discount_curve>&,
                  const ptr_const<calibration_ir_targets_configuration>&, const ptr_const<day_count_convention>&>>;

  static inline PyMethodDef methods[] = {
      entry::method<"calibrate", &calibrate>("calibrate(self, volatility_surface:irVolatilitySurface,\n"
                                             "    settings:calibrationCheyetteSettings,\n"
                                             "    parameter_hjm:parameterMarkovianHjm) -> parameterCheyette\n"
                                             "C++: ptr_const<parameter_cheyette> calibrate(\n"
                                             "    const ptr_const<ir_volatility_surface> &volatility_surface,\n"
                                             "    const ptr_const<calibration_cheyette_settings> &settings,\n"
                                             "    const ptr_const<parameter_markovian_hjm> &parameter_hjm)\n\n"
                                             "Runs on a private copy of parameter_hjm; the caller's set, and every\n"
                                             "object built on it, receives the calibrated values when the call\n"
                                             "ends (stopped by Ctrl-C, those of its last step): another thread\n"
                                             "reads the set's values from before the call or from after it.\n\n"),
      // The targets have no Python type: a driver with targets answers ValueError.
      entry::method<"swaptions", &driver::swaptions>(
          "swaptions(self) -> (calibrationIrCheyetteSwaption, ...)\n"
          "C++: const std::vector<ptr_const<calibration_ir_cheyette_swaption> > &swaptions(\n"
          "    )\n\n"),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_calibration_ir_cheyette(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::calibration_ir_cheyette_binding>::AddFile(module_dict);
}
