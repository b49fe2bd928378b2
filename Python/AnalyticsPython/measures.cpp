#include "AnalyticsPython/analytics_names.h"
#include "Frame/persistence_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<measure>;

// The one type of the module whose name carries another module path. One argument is a discount id
// or a measure to copy, told apart by the constructor signatures; the "-" keeps a discount id from
// turning into a measure by implicit conversion.
struct measure_binding {
  using type = measure;
  using base = config_data;
  static constexpr const char* module_path = "qavrekmodules.qavrek.";
  static constexpr const char* library_name = "measure";
  static constexpr const char* doc =
      "measure(id:discountId) -> measure\n"
      "C++: explicit measure(const ptr_const<discount_id> &id)\n"
      "measure(__a:measure) -> measure\n"
      "C++: measure(const &measure)\n"
      "\n"
      "measure - no description provided.\n"
      "\n"
      "Superclass: config_data\n\n";

  using constructors =
      overloads<constructor<"-@W discountId", measure, const ptr_const<discount_id>&>, copy_constructor<measure>>;

  static inline auto methods = with_persistence<measure>(
      library_name,
      {entry::method<"id", &measure::id>("id(self) -> discountId\nC++: const ptr_const<discount_id> &id()\n\n")});

  static std::string text(const ptr_const<measure>& object) { return json_text(object); }
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_measures(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::measure_binding>::AddFile(module_dict);
}
