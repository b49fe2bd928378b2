#include "Frame/wrapped_class.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<key>;

key key_from_text(const std::string& text) { return key(text); }

constexpr auto text_hash = static_cast<std::uint64_t (key::*)() const noexcept>(&key::hash);

struct key_binding {
  using type = key;
  static constexpr const char* module_path = "qavrekmodules.Util.";
  static constexpr const char* library_name = "key";
  static constexpr const char* doc =
      "key() -> key\n"
      "C++: key()\n"
      "key(text:str) -> key\n"
      "C++: explicit key(std::string_view text)\n"
      "key(__a:key) -> key\n"
      "C++: key(const &key)\n"
      "\n"
      "key - a text with its 64-bit FNV-1a hash, the same on every platform and in every run.\n\n";

  using constructors = overloads<constructor<"@", key>, factory_constructor<"@s", &key_from_text>,
                                 copy_constructor<key>>;

  static inline PyMethodDef methods[] = {
      entry::method<"to_string", &key::to_string>("to_string(self) -> str\nC++: const std::string &to_string() const\n\n"),
      entry::method<"hash", text_hash>("hash(self) -> int\nC++: std::uint64_t hash() const\n\n"),
      entry::end(),
  };

  static std::string text(const ptr_const<key>& name) { return name->to_string(); }
  // An identifier: Python's hash is the low 32 bits of the library's.
  static std::uint64_t hash(const key& name) { return name.hash(); }
  static constexpr bool equality = true;
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_key(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::key_binding>::AddFile(module_dict);
}
