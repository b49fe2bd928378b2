#pragma once

#include <Python.h>

#include <compare>
#include <concepts>
#include <cstdint>
#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

#include "Frame/constructors.h"
#include "Frame/method_table.h"
#include "Frame/python_name.h"
#include "Frame/wrapped_object.h"
#include "Runtime/PyQAVREKObject.h"
#include "Runtime/PyQAVREKTypeRegistry.h"
#include "Runtime/python_error.h"
#include "Runtime/qavrekPythonArgs.h"
#include "Runtime/qavrekPythonOverload.h"
#include "Runtime/qavrekPythonUtil.h"

namespace qavrek::python {

// One wrapped library class as one Python type. The binding is the class's table:
//
//   struct random_settings_binding {
//     using type = random_settings;                          // the library class (python_name<type> set)
//     static constexpr const char* module_path = "qavrekmodules.Random.";
//     static constexpr const char* library_name = "random_settings";
//     static constexpr const char* doc = "...";            // tp_doc
//     using constructors = overloads<...>;                    // absent: the class cannot be instantiated
//     static inline PyMethodDef methods[] = {..., end()};   // optional (or a std::array, see
//                                                           // persistence_methods.h)
//     using base = config_data;                              // optional: a wrapped base, found by name
//     static std::string text(const ptr_const<type>&);      // optional: str()
//     static std::uint64_t hash(const type&);                // optional: hash() of identifier classes
//     static constexpr bool equality = true;                 // optional: == and != of the library
//     static constexpr bool ordering = true;                 // optional: <, <=, >, >= of the library
//     static constexpr PyMappingMethods* mapping = ...;      // optional: len() and [] access
//     static constexpr PyBufferProcs* buffer = ...;          // optional: the buffer protocol
//     static constexpr bool overload_reports_count = true;   // optional: a class of one constructor
//                                                           // overload lets it report a wrong count
//   };
//
// Types cannot be subclassed in Python, take no part in garbage collection and are unhashable unless
// the binding gives a hash.
template <class Binding>
class wrapped_class {
 public:
  using T = typename Binding::type;
  static_assert(named_in_python<T>, "the class needs a python_name");

  // Registers the class with the run time and readies its type (once); null with a Python error.
  static PyTypeObject* TypeNew() {
    prepare();
    PyTypeObject* type = PyQAVREKSpecialType_Add(&type_object_, method_table(), constructor_table(), copier(),
                                                 &operations_);
    if (type == nullptr) return nullptr;
    if (PyType_GetFlags(type) & Py_TPFLAGS_READY) return type;
    PyTypeObject* base = nullptr;
    if constexpr (requires { typename Binding::base; }) {
      static_assert(std::is_base_of_v<typename Binding::base, T>);
      base = qavrekPythonUtil::FindSpecialTypeObject(python_name<typename Binding::base>);
      if (base == nullptr) {
        PyErr_Format(PyExc_TypeError, "the base class %s of %s is not registered", python_name<typename Binding::base>,
                     type->tp_name);
        return nullptr;
      }
    }
    return PyQAVREKSpecialType_Ready(type, base) ? type : nullptr;
  }

  // The registration of the class into a module dictionary: 0, or -1 with a Python error.
  static int AddFile(PyObject* module_dict) noexcept {
    return guarded<int>(-1, [&] {
      PyTypeObject* type = TypeNew();
      if (type == nullptr) return -1;
      return PyDict_SetItemString(module_dict, python_name<T>, reinterpret_cast<PyObject*>(type));
    });
  }

  static PyTypeObject* type() noexcept { return &type_object_; }

 private:
  static constexpr bool has_constructors = requires { typename Binding::constructors; };
  static constexpr bool has_text = requires(const ptr_const<T>& object) {
    { Binding::text(object) } -> std::convertible_to<std::string>;
  };
  static constexpr bool has_hash = requires(const T& object) {
    { Binding::hash(object) } -> std::convertible_to<std::uint64_t>;
  };
  static constexpr bool has_equality = requires { requires Binding::equality; };
  static constexpr bool has_ordering = requires { requires Binding::ordering; };

  static void prepare() {
    if (type_object_.tp_name != nullptr) return;
    name_ = std::string(Binding::module_path) + python_name<T>;
    PyTypeObject& type = type_object_;
    type.tp_basicsize = PyQAVREKObject_size;
    type.tp_itemsize = 0;
    type.tp_dealloc = &PyQAVREKObject_Dealloc;
    type.tp_repr = &WrappedObjectRepr;
    type.tp_hash = PyObject_HashNotImplemented;
    if constexpr (has_hash) type.tp_hash = &hash;
    if constexpr (has_text) type.tp_str = &str;
    if constexpr (has_equality || has_ordering) type.tp_richcompare = &compare;
    if constexpr (requires { Binding::mapping; }) type.tp_as_mapping = Binding::mapping;
    if constexpr (requires { Binding::buffer; }) type.tp_as_buffer = Binding::buffer;
    type.tp_getattro = PyObject_GenericGetAttr;
    type.tp_setattro = PyObject_GenericSetAttr;
    type.tp_flags = Py_TPFLAGS_DEFAULT;
    type.tp_doc = Binding::doc;
    type.tp_traverse = &PyQAVREKSpecialType_VisitNothing;
    type.tp_weaklistoffset = PyQAVREKObject_weaklist_offset;
    type.tp_dictoffset = PyQAVREKObject_dict_offset;
    type.tp_new = &PyQAVREKSpecialType_Refuse;
    if constexpr (has_constructors) type.tp_new = &construct;
    type.tp_free = PyObject_Free;
    type.tp_name = name_.c_str();
  }

  static PyMethodDef* method_table() {
    if constexpr (requires { Binding::methods; })
      return std::data(Binding::methods);
    else
      return nullptr;
  }

  static copy_function copier() {
    if constexpr (std::is_copy_constructible_v<T> && !std::is_abstract_v<T>)
      return &holder_operations<T>::copy;
    else
      return nullptr;
  }

  static PyMethodDef* constructor_table() {
    if constexpr (has_constructors) {
      if (constructor_table_.empty()) fill_constructor_table(typename Binding::constructors{});
      return constructor_table_.data();
    } else {
      return nullptr;
    }
  }

  template <class... Overloads>
  static void fill_constructor_table(overloads<Overloads...>) {
    (constructor_table_.push_back(
         {Binding::library_name, &Overloads::template wrapper<Binding>, METH_VARARGS, Overloads::signature()}),
     ...);
    constructor_table_.push_back({nullptr, nullptr, 0, nullptr});
  }

  // tp_new: keyword arguments refused; the count chooses the overload, and a count that several take
  // is settled by their signatures.
  static PyObject* construct(PyTypeObject*, PyObject* args, PyObject* kwargs) noexcept {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
      if (kwargs != nullptr && PyDict_Size(kwargs) != 0) {
        PyErr_SetString(PyExc_TypeError, "this function takes no keyword arguments");
        return nullptr;
      }
      return dispatch(qavrekPythonArgs::GetArgCount(args), args, typename Binding::constructors{});
    });
  }

  template <class... Overloads>
  static PyObject* dispatch(Py_ssize_t count, PyObject* args, overloads<Overloads...>) {
    // A class with one constructor reports a wrong count with that constructor's range.
    if constexpr (sizeof...(Overloads) == 1) return (Overloads::template wrapper<Binding>(nullptr, args), ...);
    int candidates = 0;
    PyCFunction chosen = nullptr;
    const auto consider = [&](Py_ssize_t minimum, Py_ssize_t maximum, PyCFunction wrapper) {
      if (count < minimum || count > maximum) return;
      ++candidates;
      chosen = wrapper;
    };
    (consider(Overloads::minimum, Overloads::maximum, &Overloads::template wrapper<Binding>), ...);
    if constexpr (sizeof...(Overloads) == 1 && requires { requires Binding::overload_reports_count; }) {
      // Its own parser names the counts it takes: "takes exactly 3 arguments (1 given)".
      if (candidates == 0) return (&Overloads::template wrapper<Binding>, ...)(nullptr, args);
    }
    if (candidates == 0) {
      qavrekPythonArgs::ArgCountError(count, Binding::library_name);
      return nullptr;
    }
    if (candidates == 1) return chosen(nullptr, args);
    return qavrekPythonOverload::CallMethod(constructor_table(), nullptr, args);
  }

  static PyObject* str(PyObject* self) noexcept {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
      const ptr_const<T> object = held<T>(self);
      if (object == nullptr) return nullptr;
      const std::string text = Binding::text(object);
      return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    });
  }

  // The low 32 bits of the library hash, computed once; -1 is Python's error value and becomes -2.
  static Py_hash_t hash(PyObject* self) noexcept {
    return guarded<Py_hash_t>(-1, [&]() -> Py_hash_t {
      PyQAVREKObject* wrapped = as_wrapped(self);
      if (wrapped->hash_cache != -1) return wrapped->hash_cache;
      const ptr_const<T> object = held<T>(self);
      if (object == nullptr) return -1;
      const std::uint64_t full = Binding::hash(*object);
      std::int32_t low = static_cast<std::int32_t>(static_cast<std::uint32_t>(full & 0xffffffffu));
      if (low == -1) low = -2;
      wrapped->hash_cache = low;
      return low;
    });
  }

  static PyObject* compare(PyObject* left, PyObject* right, int operation) noexcept {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
      if (!PyObject_TypeCheck(right, &type_object_)) Py_RETURN_NOTIMPLEMENTED;
      const ptr_const<T> a = held<T>(left);
      const ptr_const<T> b = held<T>(right);
      if (a == nullptr || b == nullptr) return nullptr;
      bool answer = false;
      if (operation == Py_EQ || operation == Py_NE) {
        if constexpr (has_equality || has_ordering) answer = (*a == *b) == (operation == Py_EQ);
      } else if constexpr (has_ordering) {
        const auto order = *a <=> *b;
        answer = operation == Py_LT ? order < 0 : operation == Py_LE ? order <= 0 : operation == Py_GT ? order > 0 : order >= 0;
      } else {
        Py_RETURN_NOTIMPLEMENTED;
      }
      return PyBool_FromLong(answer ? 1 : 0);
    });
  }

  static const void* base_part(const void* object) noexcept {
    if constexpr (requires { typename Binding::base; })
      return to_base<T, typename Binding::base>(object);
    else
      return object;
  }

  static constexpr auto base_cast() {
    if constexpr (requires { typename Binding::base; })
      return &base_part;
    else
      return static_cast<const void* (*)(const void*) noexcept>(nullptr);
  }

  static constexpr publish_function publisher() {
    if constexpr (holder_operations<T>::publishable)
      return &holder_operations<T>::publish;
    else
      return nullptr;
  }

  static inline PyTypeObject type_object_ = PyQAVREKSpecialType_Blank();
  static inline std::string name_;
  static inline std::vector<PyMethodDef> constructor_table_;
  static inline const class_operations operations_{&typeid(T), &holder_operations<T>::release,
                                                   &holder_operations<T>::share, &holder_operations<T>::make_holder,
                                                   base_cast(), publisher()};
};

}  // namespace qavrek::python
