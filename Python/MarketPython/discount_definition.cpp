#include "Frame/persistence_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<discount_definition>;

// An id: equal ids compare equal and hash alike however they were built; str() is the JSON text.
struct discount_definition_binding {
  using type = discount_definition;

  static constexpr const char* module_path = "qavrekmodules.Market.";
  static constexpr const char* library_name = "discount_definition";
  static constexpr const char* doc =
      "discount_definition(name:key) -> discount_definition\n"
      "C++: explicit discount_definition(key name)\n"
      "discount_definition(__a:discountDefinition) -> discount_definition\n"
      "C++: discount_definition(const &discount_definition)\n"
      "\n"
      "discount_definition - no description provided.\n\n";

  using constructors =
      overloads<constructor<"-@W key", discount_definition, key>, copy_constructor<discount_definition>>;

  static inline auto methods = with_persistence<discount_definition>(
      library_name,
      {entry::method<"to_string", &discount_definition::to_string>(
           "to_string(self) -> str\nC++: std::string to_string() const\n\n"),
       entry::method<"hash", &discount_definition::hash>("hash(self) -> int\nC++: size_t hash() const noexcept\n\n")});

  static std::string text(const ptr_const<discount_definition>& id) { return json_text(id); }
  static std::uint64_t hash(const discount_definition& id) { return id.hash(); }
  static constexpr bool equality = true;
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_discount_definition(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::discount_definition_binding>::AddFile(module_dict);
}
