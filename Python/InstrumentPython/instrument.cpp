#include "Frame/wrapped_class.h"
#include "InstrumentPython/instrument_methods.h"
#include "InstrumentPython/instrument_names.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

using instrument_entry = instrument_methods<instrument>;

// The abstract base of the wrapped instruments: each is valued through its own virtual operations.
struct instrument_binding {
  using type = instrument;
  static constexpr const char* module_path = "qavrekmodules.Instrument.";
  static constexpr const char* library_name = "instrument";
  static constexpr const char* doc = "instrument - no description provided.\n\n";

  static inline PyMethodDef methods[] = {
      instrument_entry::value("value(self, expiry:datetime, mkt_data:(marketData, ...),\n"
                     "    output:tensor_IdE) -> None\n"
                     "C++: virtual void value(const datetime &expiry,\n"
                     "                        const std::vector<ptr_const<market_data> > &mkt_data,\n"
                     "                        tensor<double> &output) const = 0\n\n"),
      instrument_entry::size("size(self) -> int\nC++: virtual size_t size() const = 0\n\n"),
      instrument_entry::make_life_cycle_data("make_life_cycle_data(self) -> lifeCycleData\n"
                                    "C++: virtual ptr_mutable<life_cycle_data> make_life_cycle_data() const\n\n"),
      methods_of<instrument>::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_instrument(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::instrument_binding>::AddFile(module_dict);
}
