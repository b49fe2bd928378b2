#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"

namespace qavrek::python {
namespace {

// An abstract base that the wrapped classes of other modules find by name.
struct market_data_id_binding {
  using type = market_data_id;
  static constexpr const char* module_path = "qavrekmodules.Market.";
  static constexpr const char* library_name = "market_data_id";
  static constexpr const char* doc = "market_data_id - no description provided.\n\n";
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_market_data_id(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::market_data_id_binding>::AddFile(module_dict);
}
