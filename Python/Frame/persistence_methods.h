#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <string>

#include "Frame/method_table.h"
#include "Frame/python_name.h"
#include "Serialization/common/persistable.h"

namespace qavrek::python {

// A Python signature on one line, or broken before `tail` with a four-blank indent when the line would
// run past the width that every documentation text keeps.
inline std::string signature_line(const std::string& head, const std::string& tail) {
  constexpr size_t width = 67;
  return head.size() + 1 + tail.size() <= width ? head + " " + tail : head + "\n    " + tail;
}

// The method table of a persistable class: its own entries, then the five persistence functions in
// the order every persistable class lists them (write_to_json, read_from_json, write_to_binary,
// read_from_binary, json_to_string), then the end entry:
//
//   static inline auto methods = with_persistence<currency>("currency", {entry::method<...>(...), ...});
//
// The functions are the Serialization library's templates for T, whose definitions some library
// instantiates (the class's own, or the wrapping module for classes that only declare their fields).
template <class T, size_t N>
std::array<PyMethodDef, N + 6> with_persistence(const char* library_name, const PyMethodDef (&own)[N]) {
  using functions = serialization::persistable<T>;
  using entry = methods_of<T>;
  const std::string name(library_name);
  const std::string python(python_name<T>);
  const std::string pointer = "\n    const ptr_const<" + name + "> &rhs)\n\n";
  // The texts live as long as the module: one set per class.
  static const std::string docs[] = {
      signature_line("write_to_json(file_name:str,", "rhs:" + python + ") -> None") +
          "\nC++: static void write_to_json(const std::string &file_name," + pointer,
      signature_line("read_from_json(file_name:str)", "-> " + python) + "\nC++: static ptr_const<qavrek::" + name +
          "> read_from_json(\n    const std::string &file_name)\n\n",
      signature_line("write_to_binary(file_name:str,", "rhs:" + python + ") -> None") +
          "\nC++: static void write_to_binary(const std::string &file_name," + pointer,
      signature_line("read_from_binary(file_name:str)", "-> " + python) + "\nC++: static ptr_const<qavrek::" + name +
          "> read_from_binary(\n    const std::string &file_name)\n\n",
      signature_line("json_to_string(rhs:" + python + ")", "-> str") + "\nC++: static std::string json_to_string(" +
          pointer,
  };
  std::array<PyMethodDef, N + 6> table{};
  for (size_t i = 0; i < N; ++i) table[i] = own[i];
  table[N] = entry::template static_function<"write_to_json", &functions::write_to_json>(docs[0].c_str());
  table[N + 1] = entry::template static_function<"read_from_json", &functions::read_from_json>(docs[1].c_str());
  table[N + 2] = entry::template static_function<"write_to_binary", &functions::write_to_binary>(docs[2].c_str());
  table[N + 3] = entry::template static_function<"read_from_binary", &functions::read_from_binary>(docs[3].c_str());
  table[N + 4] = entry::template static_function<"json_to_string", &functions::json_to_string>(docs[4].c_str());
  table[N + 5] = entry::end();
  return table;
}

// The string form of a persistable object: its JSON text.
template <class T>
std::string json_text(const ptr_const<T>& object) {
  return serialization::persistable<T>::json_to_string(object);
}

}  // namespace qavrek::python
