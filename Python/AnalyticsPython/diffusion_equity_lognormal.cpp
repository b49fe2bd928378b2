#include <vector>

#include "AnalyticsPython/analytics_names.h"
#include "AnalyticsPython/diffusion_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using spot_diffusion = diffusion_equity_lognormal;

// Built on its simulation dates (the first is the valuation date of its model), the start spot, the domestic
// curve and the lognormal set, which it shares.
struct diffusion_equity_lognormal_binding {
  using type = spot_diffusion;
  using base = diffusion_equity;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "diffusion_equity_lognormal";
  static constexpr const char* doc =
      "diffusion_equity_lognormal(dates:(datetime, ...), spot:float,\n"
      "    domestic_diffusion_ir:discountCurve, params:parameterLognormal)\n"
      "    -> diffusion_equity_lognormal\n"
      "C++: diffusion_equity_lognormal(const std::vector<datetime> &dates,\n"
      "    double spot,\n"
      "    const ptr_const<discount_curve> &domestic_diffusion_ir,\n"
      "    const ptr_const<parameter_lognormal> &params)\n"
      "\n"
      "diffusion_equity_lognormal - no description provided.\n"
      "\n"
      "Superclass: diffusion_equity\n\n";

  using constructors =
      overloads<constructor<"@vdWW discountCurve parameterLognormal", spot_diffusion, const std::vector<datetime>&,
                            double, const ptr_const<discount_curve>&, const ptr_const<parameter_lognormal>&>>;

  static constexpr auto& methods = spot_diffusion_methods<spot_diffusion>;
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_diffusion_equity_lognormal(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::diffusion_equity_lognormal_binding>::AddFile(module_dict);
}
