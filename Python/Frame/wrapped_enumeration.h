#pragma once

#include <Python.h>

#include <initializer_list>
#include <string>
#include <type_traits>

#include "Frame/python_name.h"
#include "Runtime/PyQAVREKEnum.h"
#include "Runtime/PyQAVREKTypeRegistry.h"
#include "Runtime/py_reference.h"
#include "Runtime/python_error.h"

namespace qavrek::python {

template <class E>
struct enumerator {
  const char* name;
  E value;
};

// A library enumeration as an int subtype that Python cannot instantiate; each enumerator is a value
// in the type's dictionary. The binding gives the enumeration type (python_name set to the library
// name), the module path and the enumerators:
//
//   struct random_type_binding {
//     using type = random_type;
//     static constexpr const char* module_path = "qavrekmodules.Random.";
//     static constexpr enumerator<random_type> enumerators[] = {{"SOBOL", random_type::SOBOL}, ...};
//     static constexpr const char* dictionary_key = "...";  // optional: the module-dictionary key of a
//                                                           // nested enumeration ("Stub.stub_type")
//   };
template <class Binding>
class wrapped_enumeration {
 public:
  using E = typename Binding::type;
  static_assert(std::is_enum_v<E> && named_in_python<E>);

  // Readies the type once, registers it with the run time and stores it in the module dictionary under
  // the enumeration's library name (or the binding's key); 0, or -1 with a Python error.
  static int AddFile(PyObject* module_dict) noexcept {
    return guarded<int>(-1, [&] {
      if (!ready()) return -1;
      PyQAVREKEnum_Add(&type_object_, python_name<E>);
      return PyDict_SetItemString(module_dict, dictionary_key(), reinterpret_cast<PyObject*>(&type_object_));
    });
  }

  static PyTypeObject* type() noexcept { return &type_object_; }

 private:
  static const char* dictionary_key() {
    if constexpr (requires { Binding::dictionary_key; })
      return Binding::dictionary_key;
    else
      return python_name<E>;
  }

  static bool ready() {
    if (PyType_GetFlags(&type_object_) & Py_TPFLAGS_READY) return true;
    name_ = std::string(Binding::module_path) + python_name<E>;
    PyTypeObject& type = type_object_;
    type.tp_name = name_.c_str();
    // int's own layout; digits beyond the first follow as int's items.
    type.tp_basicsize = 32;
    type.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION;
    type.tp_base = &PyLong_Type;
    type.tp_free = PyObject_Free;
    if (PyType_Ready(&type) < 0) return false;
    for (const enumerator<E>& entry : Binding::enumerators) {
      py_reference value = py_reference::steal(PyQAVREKEnum_New(&type, static_cast<long long>(entry.value)));
      if (!value || PyDict_SetItemString(type.tp_dict, entry.name, value.get()) < 0) return false;
    }
    PyType_Modified(&type);
    return true;
  }

  static inline PyTypeObject type_object_ = PyQAVREKSpecialType_Blank();
  static inline std::string name_;
};

}  // namespace qavrek::python
