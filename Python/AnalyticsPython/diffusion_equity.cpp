#include "AnalyticsPython/analytics_names.h"
#include "AnalyticsPython/diffusion_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<diffusion_equity>;

// The base of the equity diffusions. Its view of simulated spots reads the domestic rate's view first among
// the data it is given.
struct diffusion_equity_binding {
  using type = diffusion_equity;
  using base = diffusion;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "diffusion_equity";
  static constexpr const char* doc = "diffusion_equity - no description provided.\n\nSuperclass: diffusion\n\n";

  static inline PyMethodDef methods[] = {
      entry::method<"states_initialize", &diffusion_equity::states_initialize>(
          "states_initialize(self, states:matrix_IdE) -> None\n"
          "C++: void states_initialize(matrix<double> &states) override = 0;\n\n"),
      entry::method<"domestic_curve", &diffusion_equity::domestic_curve>(
          "domestic_curve(self) -> discountCurve\nC++: const ptr_const<discount_curve> &domestic_curve()\n\n"),
      entry::method<"create_market_data", &create_market_data>(create_market_data_doc),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_diffusion_equity(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::diffusion_equity_binding>::AddFile(module_dict);
}
