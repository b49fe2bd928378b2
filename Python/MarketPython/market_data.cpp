#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {

// Finalizing rewrites the valuation date, and a diffusion's view its simulated values.
template <>
inline constexpr bool writes_mutable_state<&market_data::finalize> = true;

namespace {

using entry = methods_of<market_data>;

// The base of market objects; the simulated views of other modules reach Python as this type.
struct market_data_binding {
  using type = market_data;
  static constexpr const char* module_path = "qavrekmodules.Market.";
  static constexpr const char* library_name = "market_data";
  static constexpr const char* doc = "market_data - no description provided.\n\n";

  static inline PyMethodDef methods[] = {
      entry::method<"finalize", &market_data::finalize>(
          "finalize(self, date:datetime) -> None\nC++: virtual void finalize(const datetime &date) const\n\n"),
      entry::method<"valuation_date", &market_data::valuation_date>(
          "valuation_date(self) -> datetime\nC++: const datetime &valuation_date() const\n\n"),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_market_data(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::market_data_binding>::AddFile(module_dict);
}
