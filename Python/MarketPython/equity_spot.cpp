#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<equity_spot>;

std::tuple<ptr_const<discount_curve>> no_curve() { return {nullptr}; }

struct equity_spot_binding {
  using type = equity_spot;
  using base = market_data;
  static constexpr const char* module_path = "qavrekmodules.Market.";
  static constexpr const char* library_name = "equity_spot";
  static constexpr const char* doc =
      "equity_spot(valuation_date:datetime, spot:float, curve:discountCurve=None) -> equity_spot\n"
      "C++: equity_spot(const datetime &valuation_date, double spot, ptr_const<discount_curve> curve = nullptr)\n"
      "\n"
      "equity_spot - no description provided.\n"
      "\n"
      "Superclass: market_data\n\n";

  using constructors = overloads<constructor_with_defaults<"@Wd|W datetime discountCurve", equity_spot, &no_curve,
                                                           datetime, double, ptr_const<discount_curve>>>;

  static inline PyMethodDef methods[] = {
      entry::method<"spot", &equity_spot::spot>("spot(self) -> float\nC++: virtual double spot() const\n\n"),
      entry::method<"spots", &equity_spot::spots>(
          "spots(self) -> vector_IdE\nC++: virtual vector<double> spots() const\n\n"),
      entry::method<"forward", &equity_spot::forward>(
          "forward(self, output:vector_IdE, from_:datetime, to:datetime) -> None\n"
          "C++: virtual void forward(vector<double> &output, const datetime &from, const datetime &to) const\n\n"),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_equity_spot(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::equity_spot_binding>::AddFile(module_dict);
}
