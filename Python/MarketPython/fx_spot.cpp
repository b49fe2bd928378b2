#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<fx_spot>;

std::tuple<ptr_const<discount_curve>, ptr_const<discount_curve>> no_curves() { return {nullptr, nullptr}; }

struct fx_spot_binding {
  using type = fx_spot;
  using base = market_data;
  static constexpr const char* module_path = "qavrekmodules.Market.";
  static constexpr const char* library_name = "fx_spot";
  static constexpr const char* doc =
      "fx_spot(valuation_date:datetime, spot:float, domestic_curve:discountCurve=None,\n"
      "    foreign_curve:discountCurve=None) -> fx_spot\n"
      "C++: fx_spot(const datetime &valuation_date, double spot, ptr_const<discount_curve> domestic_curve = nullptr,\n"
      "        ptr_const<discount_curve> foreign_curve = nullptr)\n"
      "\n"
      "fx_spot - no description provided.\n"
      "\n"
      "Superclass: market_data\n\n";

  using constructors =
      overloads<constructor_with_defaults<"@Wd|WW datetime discountCurve discountCurve", fx_spot, &no_curves, datetime,
                                          double, ptr_const<discount_curve>, ptr_const<discount_curve>>>;

  static inline PyMethodDef methods[] = {
      entry::method<"spot", &fx_spot::spot>("spot(self) -> float\nC++: virtual double spot() const\n\n"),
      entry::method<"spots", &fx_spot::spots>(
          "spots(self) -> vector_IdE\nC++: virtual vector<double> spots() const\n\n"),
      entry::method<"forward", &fx_spot::forward>(
          "forward(self, output:vector_IdE, from_:datetime, to:datetime) -> None\n"
          "C++: virtual void forward(vector<double> &output, const datetime &from, const datetime &to) const\n\n"),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_fx_spot(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::fx_spot_binding>::AddFile(module_dict);
}
