#include <memory>
#include <utility>

#include "AnalyticsPython/analytics_names.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "Runtime/long_call.h"
#include "Runtime/object_use.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

using driver = calibration_ir_cheyette;
using entry = methods_of<driver>;

// Marks an object busy for as long as it lives, as a long call marks its own object.
class busy_object {
 public:
  explicit busy_object(std::shared_ptr<const void> object) : object_(std::move(object)) {
    object_use::begin_long_call(object_);
  }
  ~busy_object() { object_use::end_long_call(object_); }
  busy_object(const busy_object&) = delete;
  busy_object& operator=(const busy_object&) = delete;

 private:
  std::shared_ptr<const void> object_;
};

// The calibration writes its decays and volatilities into the caller's HJM set at every step, so that
// set is busy while it runs: other Python calls on it fail instead of reading it half written. The
// driver itself is only read. Interrupted, the set keeps the values of the last step.
ptr_const<parameter_cheyette> calibrate(const driver& calibration,
                                        const ptr_const<ir_volatility_surface>& volatility_surface,
                                        const ptr_const<calibration_cheyette_settings>& settings,
                                        const ptr_const<parameter_markovian_hjm>& parameter_hjm) {
  const busy_object written(parameter_hjm);
  return long_call::run(nullptr, [&] { return calibration.calibrate(volatility_surface, settings, parameter_hjm); });
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
                                             "    const ptr_const<parameter_markovian_hjm> &parameter_hjm)\n\n"),
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
