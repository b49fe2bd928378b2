#include "Frame/wrapped_class.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<tenor>;

tenor tenor_from_text(const std::string& text) { return tenor(text); }

struct tenor_binding {
  using type = tenor;
  static constexpr const char* module_path = "qavrekmodules.Util.";
  static constexpr const char* library_name = "tenor";
  static constexpr const char* doc =
      "tenor() -> tenor\n"
      "C++: tenor()\n"
      "tenor(text:str) -> tenor\n"
      "C++: explicit tenor(std::string_view text)\n"
      "tenor(__a:tenor) -> tenor\n"
      "C++: tenor(const &tenor)\n"
      "\n"
      "tenor - a period written \"<n><D|W|M|Y>\", such as \"3M\" or \"10Y\".\n\n";

  using constructors = overloads<constructor<"@", tenor>, factory_constructor<"@s", &tenor_from_text>,
                                 copy_constructor<tenor>>;

  static inline PyMethodDef methods[] = {
      entry::method<"count", &tenor::count>("count(self) -> int\nC++: std::int32_t count() const\n\n"),
      entry::method<"to_string", &tenor::to_string>("to_string(self) -> str\nC++: std::string to_string() const\n\n"),
      entry::end(),
  };

  static std::string text(const ptr_const<tenor>& period) { return period->to_string(); }
  static constexpr bool equality = true;
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_tenor(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::tenor_binding>::AddFile(module_dict);
}
