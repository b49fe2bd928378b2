#include <vector>

#include "AnalyticsPython/analytics_names.h"
#include "AnalyticsPython/diffusion_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using intensity = diffusion_credit_extended_cir;

// Survival probabilities relative to the curve, the model giving their deviation from it.
struct diffusion_credit_extended_cir_binding {
  using type = intensity;
  using base = diffusion_credit;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "diffusion_credit_extended_cir";
  static constexpr const char* doc =
      "diffusion_credit_extended_cir(dates:(datetime, ...),\n"
      "    curve:survivalCurve, params:parameterExtendedCir)\n"
      "    -> diffusion_credit_extended_cir\n"
      "C++: diffusion_credit_extended_cir(const std::vector<datetime> &dates,\n"
      "     const ptr_const<survival_curve> &curve,\n"
      "    const ptr_const<parameter_extended_cir> &params)\n\n"
      "diffusion_credit_extended_cir - no description provided.\n\n"
      "Superclass: diffusion_credit\n\n";

  using constructors =
      overloads<constructor<"@vWW survivalCurve parameterExtendedCir", intensity, const std::vector<datetime>&,
                            const ptr_const<survival_curve>&, const ptr_const<parameter_extended_cir>&>>;

  static constexpr auto& methods = credit_diffusion_methods<intensity>;
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_diffusion_credit_extended_cir(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::diffusion_credit_extended_cir_binding>::AddFile(module_dict);
}
