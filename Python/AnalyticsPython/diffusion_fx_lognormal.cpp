#include <vector>

#include "AnalyticsPython/analytics_names.h"
#include "AnalyticsPython/diffusion_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using spot_diffusion = diffusion_fx_lognormal;

// Built on its simulation dates (the first is the valuation date of its model), the start rate of the fx
// spot, the domestic and foreign curves and the lognormal set, which it shares.
struct diffusion_fx_lognormal_binding {
  using type = spot_diffusion;
  using base = diffusion_fx;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "diffusion_fx_lognormal";
  static constexpr const char* doc =
      "diffusion_fx_lognormal(dates:(datetime, ...), spot:fxSpot,\n"
      "    domestic_curve:discountCurve, foreign_curve:discountCurve,\n"
      "    params:parameterLognormal) -> diffusion_fx_lognormal\n"
      "C++: diffusion_fx_lognormal(const std::vector<datetime> &dates,\n"
      "    const ptr_const<fx_spot> &spot,\n"
      "    const ptr_const<discount_curve> &domestic_curve,\n"
      "    const ptr_const<discount_curve> &foreign_curve,\n"
      "    const ptr_const<parameter_lognormal> &params)\n"
      "\n"
      "diffusion_fx_lognormal - no description provided.\n"
      "\n"
      "Superclass: diffusion_fx\n\n";

  using constructors =
      overloads<constructor<"@vWWWW fxSpot discountCurve discountCurve parameterLognormal", spot_diffusion,
                            const std::vector<datetime>&, const ptr_const<fx_spot>&, const ptr_const<discount_curve>&,
                            const ptr_const<discount_curve>&, const ptr_const<parameter_lognormal>&>>;

  static constexpr auto& methods = spot_diffusion_methods<spot_diffusion>;
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_diffusion_fx_lognormal(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::diffusion_fx_lognormal_binding>::AddFile(module_dict);
}
