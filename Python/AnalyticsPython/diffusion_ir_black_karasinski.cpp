#include <vector>

#include "AnalyticsPython/analytics_names.h"
#include "AnalyticsPython/diffusion_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using rate = diffusion_ir_black_karasinski;

// A short rate whose log follows the model's factor about its piecewise levels; the curve is kept, not read.
struct diffusion_ir_black_karasinski_binding {
  using type = rate;
  using base = diffusion_ir;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "diffusion_ir_black_karasinski";
  static constexpr const char* doc =
      "diffusion_ir_black_karasinski(dates:(datetime, ...),\n"
      "    curve:discountCurve, params:parameterBlackKarasinski)\n"
      "    -> diffusion_ir_black_karasinski\n"
      "C++: diffusion_ir_black_karasinski(const std::vector<datetime> &dates,\n"
      "     const ptr_const<discount_curve> &curve,\n"
      "    const ptr_const<parameter_black_karasinski> &params)\n\n"
      "diffusion_ir_black_karasinski - no description provided.\n\n"
      "Superclass: diffusion_ir\n\n";

  using constructors =
      overloads<constructor<"@vWW discountCurve parameterBlackKarasinski", rate, const std::vector<datetime>&,
                            const ptr_const<discount_curve>&, const ptr_const<parameter_black_karasinski>&>>;

  static constexpr auto& methods = interest_rate_diffusion_methods<rate>;
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_diffusion_ir_black_karasinski(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::diffusion_ir_black_karasinski_binding>::AddFile(module_dict);
}
