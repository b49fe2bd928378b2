#include "AnalyticsPython/analytics_names.h"
#include "AnalyticsPython/diffusion_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<diffusion>;

// The base of every diffusion type. Its methods reach the object's own overrides. The four static
// functions give the simulated view as the market interface that it offers; a view of another kind comes
// back as an object that holds nothing.
struct diffusion_binding {
  using type = diffusion;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "diffusion";
  static constexpr const char* doc = "diffusion - no description provided.\n\n";

  static inline PyMethodDef methods[] = {
      entry::method<"states_initialize", &diffusion::states_initialize>(
          "states_initialize(self, states:matrix_IdE) -> None\n"
          "C++: virtual void states_initialize(matrix<double> &states)\n\n"),
      entry::method<"number_of_states", &diffusion::number_of_states>(
          "number_of_states(self) -> int\nC++: virtual size_t number_of_states()\n\n"),
      entry::method<"number_of_factors", &diffusion::number_of_factors>(
          "number_of_factors(self) -> int\nC++: virtual size_t number_of_factors()\n\n"),
      entry::method<"create_market_data", &create_market_data>(
          "create_market_data(self, asset:diffusion, next:matrix_IdE,\n"
          "    current:matrix_IdE, data:(marketData, ...)) -> marketData\n"
          "C++: virtual ptr_const<market_data> create_market_data(\n"
          "    const ptr_const<diffusion> &asset, matrix<double> &&next,\n"
          "    matrix<double> &&current,\n"
          "    const std::vector<ptr_const<market_data> > &data)\n\n"),
      entry::static_function<"diffusion_survival_curve", &diffusion::diffusion_survival_curve>(
          "diffusion_survival_curve(data:marketData) -> survivalCurve\n"
          "C++: static ptr_const<survival_curve> diffusion_survival_curve(\n"
          "    const ptr_const<market_data> &data)\n\n"),
      entry::static_function<"diffusion_equity_spot", &diffusion::diffusion_equity_spot>(
          "diffusion_equity_spot(data:marketData) -> equitySpot\n"
          "C++: static ptr_const<equity_spot> diffusion_equity_spot(\n"
          "    const ptr_const<market_data> &data)\n\n"),
      entry::static_function<"diffusion_fx_spot", &diffusion::diffusion_fx_spot>(
          "diffusion_fx_spot(data:marketData) -> fxSpot\n"
          "C++: static ptr_const<fx_spot> diffusion_fx_spot(const ptr_const<market_data> &data)\n\n"),
      entry::static_function<"diffusion_discount_curve", &diffusion::diffusion_discount_curve>(
          "diffusion_discount_curve(data:marketData) -> discountCurve\n"
          "C++: static ptr_const<discount_curve> diffusion_discount_curve(\n"
          "    const ptr_const<market_data> &data)\n\n"),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_diffusion(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::diffusion_binding>::AddFile(module_dict);
}
