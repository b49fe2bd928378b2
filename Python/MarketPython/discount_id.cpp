#include "Frame/persistence_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<discount_id>;

// An id: equal ids compare equal and hash alike however they were built; str() is the JSON text.
struct discount_id_binding {
  using type = discount_id;
  using base = market_data_id;
  static constexpr const char* module_path = "qavrekmodules.Market.";
  static constexpr const char* library_name = "discount_id";
  static constexpr const char* doc =
      "discount_id(definition:discountDefinition, ccy:currency) -> discount_id\n"
      "C++: discount_id(const ptr_const<discount_definition> &definition, const ptr_const<currency> &ccy)\n"
      "discount_id(__a:discountId) -> discount_id\n"
      "C++: discount_id(const &discount_id)\n"
      "\n"
      "discount_id - no description provided.\n"
      "\n"
      "Superclass: market_data_id\n\n";

  using constructors = overloads<constructor<"@WW discountDefinition currency", discount_id,
                                             const ptr_const<discount_definition>&, const ptr_const<currency>&>,
                                 copy_constructor<discount_id>>;

  static inline auto methods = with_persistence<discount_id>(
      library_name,
      {entry::method<"to_string", &discount_id::to_string>(
           "to_string(self) -> str\nC++: virtual std::string to_string() const override\n\n"),
       entry::method<"hash", &discount_id::hash>("hash(self) -> int\nC++: virtual size_t hash() const override\n\n")});

  static std::string text(const ptr_const<discount_id>& id) { return json_text(id); }
  static std::uint64_t hash(const discount_id& id) { return id.hash(); }
  static constexpr bool equality = true;
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_discount_id(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::discount_id_binding>::AddFile(module_dict);
}
