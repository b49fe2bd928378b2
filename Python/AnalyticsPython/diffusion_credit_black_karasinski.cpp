#include <vector>

#include "AnalyticsPython/analytics_names.h"
#include "AnalyticsPython/diffusion_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using intensity = diffusion_credit_black_karasinski;

// An intensity whose levels, calibrated to the curve, make the survival probabilities; the curve is kept,
// not read.
struct diffusion_credit_black_karasinski_binding {
  using type = intensity;
  using base = diffusion_credit;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "diffusion_credit_black_karasinski";
  static constexpr const char* doc =
      "diffusion_credit_black_karasinski(dates:(datetime, ...),\n"
      "    curve:survivalCurve, params:parameterBlackKarasinski)\n"
      "    -> diffusion_credit_black_karasinski\n"
      "C++: diffusion_credit_black_karasinski(\n"
      "    const std::vector<datetime> &dates,\n"
      "    const ptr_const<survival_curve> &curve,\n"
      "    const ptr_const<parameter_black_karasinski> &params)\n\n"
      "diffusion_credit_black_karasinski - no description provided.\n\n"
      "Superclass: diffusion_credit\n\n";

  using constructors =
      overloads<constructor<"@vWW survivalCurve parameterBlackKarasinski", intensity, const std::vector<datetime>&,
                            const ptr_const<survival_curve>&, const ptr_const<parameter_black_karasinski>&>>;

  static constexpr auto& methods = credit_diffusion_methods<intensity>;
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_diffusion_credit_black_karasinski(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::diffusion_credit_black_karasinski_binding>::AddFile(module_dict);
}
