#pragma once

#include <Python.h>

#include <functional>
#include <memory>
#include <tuple>
#include <type_traits>
#include <utility>

#include "Frame/argument_reader.h"
#include "Frame/callable_traits.h"
#include "Frame/fixed_string.h"
#include "Frame/result_converter.h"
#include "Frame/wrapped_object.h"
#include "Runtime/python_error.h"
#include "Runtime/qavrekPythonArgs.h"

namespace qavrek::python {

template <class... P>
bool read_arguments(std::tuple<argument_reader<P>...>& readers, qavrekPythonArgs& args) {
  return std::apply([&](auto&... reader) { return (reader.read(args) && ...); }, readers);
}

template <class... P>
bool write_back(std::tuple<argument_reader<P>...>& readers, qavrekPythonArgs& args) {
  return std::apply([&](auto&... reader) { return (reader.after_call(args) && ...); }, readers);
}

// Checks the count, reads every argument, calls the library through `call` and converts its result of
// declared type R. A Python error pending after the call wins over the result, and output lists are
// then left as they were.
template <class R, class... P, class Call>
PyObject* call_library(qavrekPythonArgs& args, type_list<P...>, Call&& call, const std::shared_ptr<const void>& parent) {
  constexpr auto count = static_cast<Py_ssize_t>(sizeof...(P));
  if (args.GetArgCount() != count) {
    args.ArgCountError(count, count);
    return nullptr;
  }
  std::tuple<argument_reader<P>...> readers;
  if (!read_arguments(readers, args)) return nullptr;
  if constexpr (std::is_void_v<R>) {
    std::apply([&](auto&... reader) { call(reader.get()...); }, readers);
    if (PyErr_Occurred() || !write_back(readers, args)) return nullptr;
    return qavrekPythonArgs::BuildNone();
  } else {
    decltype(auto) result = std::apply([&](auto&... reader) -> decltype(auto) { return call(reader.get()...); }, readers);
    if (PyErr_Occurred() || !write_back(readers, args)) return nullptr;
    return to_python<R>(result, parent);
  }
}

// The wrapper of an instance method of T: a member function of T, or a function whose first parameter
// is the object. Called through the class, the first argument is the object.
template <class T, fixed_string Name, auto Function>
PyObject* instance_method_wrapper(PyObject* self, PyObject* args) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    qavrekPythonArgs parser(self, args, Name.value);
    if (PyType_Check(self)) {
      self = parser.GetSelfFromFirstArg(self, args);
      if (self == nullptr) return nullptr;
    }
    const ptr_const<T> object = held<T>(self);
    if (object == nullptr) return nullptr;
    using traits = method_traits<decltype(Function)>;
    T& target = library_object(object);
    return call_library<typename traits::result>(
        parser, typename traits::parameters{},
        [&](auto&&... values) -> decltype(auto) {
          return std::invoke(Function, target, std::forward<decltype(values)>(values)...);
        },
        object);
  });
}

// The wrapper of a static function; self (an object or the class) is ignored.
template <fixed_string Name, auto Function>
PyObject* static_function_wrapper(PyObject*, PyObject* args) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    qavrekPythonArgs parser(args, Name.value);
    using traits = callable_traits<decltype(Function)>;
    return call_library<typename traits::result>(
        parser, typename traits::parameters{},
        [&](auto&&... values) -> decltype(auto) { return std::invoke(Function, std::forward<decltype(values)>(values)...); },
        nullptr);
  });
}

// Entries of the method table of class T, in the order the class declares them.
template <class T>
struct methods_of {
  template <fixed_string Name, auto Function>
  static constexpr PyMethodDef method(const char* doc) {
    return {Name.value, &instance_method_wrapper<T, Name, Function>, METH_VARARGS, doc};
  }
  template <fixed_string Name, auto Function>
  static constexpr PyMethodDef static_function(const char* doc) {
    return {Name.value, &static_function_wrapper<Name, Function>, METH_VARARGS, doc};
  }
  static constexpr PyMethodDef end() { return {nullptr, nullptr, 0, nullptr}; }
};

}  // namespace qavrek::python
