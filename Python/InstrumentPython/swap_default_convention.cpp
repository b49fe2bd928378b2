#include "Frame/wrapped_class.h"
#include "InstrumentPython/instrument_names.h"

namespace qavrek::python {
namespace {

// A currency's conventions as a value: made empty or copied; its fields are read in C++ only.
struct market_convention_data_binding {
  using type = market_convention_data;
  static constexpr const char* module_path = "qavrekmodules.qavrek.";
  static constexpr const char* library_name = "market_convention_data";
  static constexpr const char* doc =
      "market_convention_data() -> market_convention_data\n"
      "C++: market_convention_data()\n"
      "market_convention_data(__a:marketConventionData)\n"
      "    -> market_convention_data\n"
      "C++: market_convention_data(const &market_convention_data)\n"
      "\n"
      "market_convention_data - no description provided.\n\n";

  using constructors =
      overloads<constructor<"@", market_convention_data>, copy_constructor<market_convention_data>>;

  static inline PyMethodDef methods[] = {methods_of<market_convention_data>::end()};
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_swap_default_convention(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::market_convention_data_binding>::AddFile(module_dict);
}
