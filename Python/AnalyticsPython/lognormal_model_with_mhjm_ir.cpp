#include "AnalyticsPython/analytics_names.h"
#include "Frame/wrapped_class.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

using model = lognormal_model_with_mhjm_ir;

// Built only as a copy: of an equity or FX model, the copy keeps the base part. Copies hold their own
// loadings and correlation, so a copy outlives its source.
struct lognormal_model_with_mhjm_ir_binding {
  using type = model;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "lognormal_model_with_mhjm_ir";
  static constexpr const char* doc =
      "lognormal_model_with_mhjm_ir(__a:lognormalModelWithMhjmIr)\n"
      "    -> lognormal_model_with_mhjm_ir\n"
      "C++: lognormal_model_with_mhjm_ir(const &lognormal_model_with_mhjm_ir)\n"
      "\n"
      "lognormal_model_with_mhjm_ir - no description provided.\n\n";

  using constructors = overloads<copy_constructor<model>>;

  static inline PyMethodDef methods[] = {
      methods_of<model>::method<"calibrate", &model::calibrate>(
          "calibrate(self, calibration_dates:(datetime, ...),\n"
          "    market_variance:(float, ...),\n"
          "    day_convention:dayCountConvention) -> parameterLognormal\n"
          "C++: ptr_const<parameter_lognormal> calibrate(\n"
          "    const std::vector<datetime> &calibration_dates,\n"
          "    const std::vector<double> &market_variance,\n"
          "    const ptr_const<day_count_convention> &day_convention)\n\n"),
      methods_of<model>::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_lognormal_model_with_mhjm_ir(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::lognormal_model_with_mhjm_ir_binding>::AddFile(module_dict);
}
