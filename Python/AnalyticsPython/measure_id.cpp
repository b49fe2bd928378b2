#include "AnalyticsPython/analytics_names.h"
#include "Frame/persistence_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<measure_id>;

// Every measure id has the same text and hash: Python hashes them alike.
struct measure_id_binding {
  using type = measure_id;
  using base = config_data_id;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "measure_id";
  static constexpr const char* doc =
      "measure_id() -> measure_id\n"
      "C++: measure_id()\n"
      "measure_id(__a:measureId) -> measure_id\n"
      "C++: measure_id(const &measure_id)\n"
      "\n"
      "measure_id - no description provided.\n"
      "\n"
      "Superclass: config_data_id\n\n";

  using constructors = overloads<constructor<"@", measure_id>, copy_constructor<measure_id>>;

  static inline auto methods = with_persistence<measure_id>(
      library_name, {entry::method<"hash", &measure_id::hash>("hash(self) -> int\nC++: size_t hash() override;\n\n"),
                     entry::method<"to_string", &measure_id::to_string>(
                         "to_string(self) -> str\nC++: std::string to_string() override;\n\n")});

  static std::string text(const ptr_const<measure_id>& id) { return json_text(id); }
  static std::uint64_t hash(const measure_id& id) { return id.hash(); }
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_measure_id(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::measure_id_binding>::AddFile(module_dict);
}
