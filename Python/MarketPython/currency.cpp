#include "Frame/persistence_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<currency>;

// An id: equal ids compare equal and hash alike however they were built; str() is the JSON text.
struct currency_binding {
  using type = currency;

  static constexpr const char* module_path = "qavrekmodules.Market.";
  static constexpr const char* library_name = "currency";
  static constexpr const char* doc =
      "currency(name:key) -> currency\n"
      "C++: explicit currency(key name)\n"
      "currency(__a:currency) -> currency\n"
      "C++: currency(const &currency)\n"
      "\n"
      "currency - no description provided.\n\n";

  using constructors = overloads<constructor<"-@W key", currency, key>, copy_constructor<currency>>;

  static inline auto methods = with_persistence<currency>(
      library_name,
      {entry::method<"to_string", &currency::to_string>(
           "to_string(self) -> str\nC++: std::string to_string() const\n\n"),
       entry::method<"hash", &currency::hash>("hash(self) -> int\nC++: size_t hash() const noexcept\n\n")});

  static std::string text(const ptr_const<currency>& id) { return json_text(id); }
  static std::uint64_t hash(const currency& id) { return id.hash(); }
  static constexpr bool equality = true;
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_currency(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::currency_binding>::AddFile(module_dict);
}
