#include "Frame/persistence_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<default_id>;

// An id: equal ids compare equal and hash alike however they were built; str() is the JSON text.
struct default_id_binding {
  using type = default_id;
  using base = market_data_id;
  static constexpr const char* module_path = "qavrekmodules.Market.";
  static constexpr const char* library_name = "default_id";
  static constexpr const char* doc =
      "default_id(name:key, ccy:currency, seniority:key, restructuring:key,\n"
      "    isda:key) -> default_id\n"
      "C++: default_id(key name, const ptr_const<currency> &ccy, key seniority, key restructuring, key isda)\n"
      "default_id(__a:defaultId) -> default_id\n"
      "C++: default_id(const &default_id)\n"
      "\n"
      "default_id - no description provided.\n"
      "\n"
      "Superclass: market_data_id\n\n";

  using constructors = overloads<
      constructor<"@WWWWW key currency key key key", default_id, key, const ptr_const<currency>&, key, key, key>,
      copy_constructor<default_id>>;

  static inline auto methods = with_persistence<default_id>(
      library_name,
      {entry::method<"to_string", &default_id::to_string>(
           "to_string(self) -> str\nC++: virtual std::string to_string() const override\n\n"),
       entry::method<"hash", &default_id::hash>("hash(self) -> int\nC++: virtual size_t hash() const override\n\n")});

  static std::string text(const ptr_const<default_id>& id) { return json_text(id); }
  static std::uint64_t hash(const default_id& id) { return id.hash(); }
  static constexpr bool equality = true;
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_default_id(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::default_id_binding>::AddFile(module_dict);
}
