#include <vector>

#include "AnalyticsPython/analytics_names.h"
#include "AnalyticsPython/diffusion_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using rate = diffusion_ir_cheyette;

// Discount factors relative to the curve, the model giving their deviation from it.
struct diffusion_ir_cheyette_binding {
  using type = rate;
  using base = diffusion_ir;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "diffusion_ir_cheyette";
  static constexpr const char* doc =
      "diffusion_ir_cheyette(dates:(datetime, ...), curve:discountCurve,\n"
      "    params:parameterCheyette) -> diffusion_ir_cheyette\n"
      "C++: diffusion_ir_cheyette(const std::vector<datetime> &dates,\n"
      "    const ptr_const<discount_curve> &curve,\n"
      "    const ptr_const<parameter_cheyette> &params)\n\n"
      "diffusion_ir_cheyette - no description provided.\n\n"
      "Superclass: diffusion_ir\n\n";

  using constructors = overloads<constructor<"@vWW discountCurve parameterCheyette", rate, const std::vector<datetime>&,
                                             const ptr_const<discount_curve>&, const ptr_const<parameter_cheyette>&>>;

  static constexpr auto& methods = interest_rate_diffusion_methods<rate>;
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_diffusion_ir_cheyette(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::diffusion_ir_cheyette_binding>::AddFile(module_dict);
}
