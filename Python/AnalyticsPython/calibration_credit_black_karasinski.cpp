#include "AnalyticsPython/analytics_names.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using driver = calibration_credit_black_karasinski;

// Built from Python, calibrated only by native callers: the type has no methods of its own.
struct calibration_credit_black_karasinski_binding {
  using type = driver;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "calibration_credit_black_karasinski";
  static constexpr const char* doc =
      "calibration_credit_black_karasinski(valuation_date:datetime,\n"
      "    curve:survivalCurve,\n"
      "    calibration_settings:calibrationBlackKarasinskiSettings,\n"
      "    ir_parameters:parameterMarkovianHjm,\n"
      "    correlation_credit_ir:matrix_IdE)\n"
      "    -> calibration_credit_black_karasinski\n"
      "C++: calibration_credit_black_karasinski(\n"
      "    const datetime &valuation_date,\n"
      "    const ptr_const<survival_curve> &curve,\n"
      "    const ptr_const<calibration_black_karasinski_settings> &calibration_settings,\n"
      "     const ptr_const<parameter_markovian_hjm> &ir_parameters,\n"
      "    const matrix<double> &correlation_credit_ir)\n"
      "\n"
      "calibration_credit_black_karasinski - no description provided.\n\n";

  using constructors = overloads<constructor<
      "-@WWWWW datetime survivalCurve calibrationBlackKarasinskiSettings parameterMarkovianHjm matrix_IdE", driver,
      const datetime&, const ptr_const<survival_curve>&, const ptr_const<calibration_black_karasinski_settings>&,
      const ptr_const<parameter_markovian_hjm>&, const matrix<double>&>>;

  static inline PyMethodDef methods[] = {methods_of<driver>::end()};
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_calibration_credit_black_karasinski(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::calibration_credit_black_karasinski_binding>::AddFile(
      module_dict);
}
