#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"

namespace qavrek::python {
namespace {

// An abstract base that the wrapped classes of other modules find by name.
struct life_cycle_data_binding {
  using type = life_cycle_data;
  static constexpr const char* module_path = "qavrekmodules.Market.";
  static constexpr const char* library_name = "life_cycle_data";
  static constexpr const char* doc = "life_cycle_data - no description provided.\n\n";
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_life_cycle_data(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::life_cycle_data_binding>::AddFile(module_dict);
}
