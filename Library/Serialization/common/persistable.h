#pragma once

#include <string>

#include "Core/pointers.h"
#include "Serialization/common/persistence_access.h"

namespace qavrek::serialization {

// Gives a persistable class T its five whole-object functions:
//
//   class curve_settings : public serialization::persistable<curve_settings> { ... };
//
// A JSON file holds {"root": <envelope>}, indented by one space with a final newline; a binary file
// holds the bytes of the envelope alone. json_to_string gives the envelope itself, indented by two,
// without a final newline. A null pointer is saved as the null envelope and reads back as a default
// object (or is refused, for a class that rejects null envelopes). Where that object skipped the
// initialize() of its class, saving it writes the null envelope again, so that it loads back as the same
// default object.
//
// The definitions live in Serialization/serialization_impl.h, so that class headers stay light. The
// class's source file includes that header and instantiates them once:
//
//   template class serialization::persistable<curve_settings>;
//
// A class derived from another persistable class inherits both bases' functions; it names its own
// with using-declarations (using persistable<derived>::write_to_json; ...).
template <class T>
class persistable {
 public:
  static void write_to_json(const std::string& file_name, const ptr_const<T>& rhs);
  static ptr_const<T> read_from_json(const std::string& file_name);
  static void write_to_binary(const std::string& file_name, const ptr_const<T>& rhs);
  static ptr_const<T> read_from_binary(const std::string& file_name);
  static std::string json_to_string(const ptr_const<T>& rhs);

 protected:
  persistable() = default;

 private:
  friend struct persistence_access;
  bool loaded_from_null_envelope_ = false;
};

}  // namespace qavrek::serialization
