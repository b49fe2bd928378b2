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
#include "Runtime/long_call.h"
#include "Runtime/py_reference.h"
#include "Runtime/python_error.h"
#include "Runtime/qavrekPythonArgs.h"
#include "Runtime/qavrekPythonOverload.h"

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

// How a wrapper runs its library call: holding the interpreter lock (most calls take microseconds), or
// as a long call (Runtime/long_call.h): without the lock, interruptible at the library's interruption
// points, its object busy meanwhile. A long call's library operation must touch no Python object.
enum class call_mode { quick, long_running };

// The library call `invoke()` in the given mode; `busy` is the object it runs on (empty for none).
template <call_mode Mode, class Invoke>
decltype(auto) call_in_mode(const std::shared_ptr<const void>& busy, Invoke&& invoke) {
  if constexpr (Mode == call_mode::long_running)
    return long_call::run(busy, std::forward<Invoke>(invoke));
  else
    return invoke();
}

// The wrapper of an instance method of T: a member function of T, or a function whose first parameter
// is the object. Called through the class, the first argument is the object.
template <class T, fixed_string Name, auto Function, call_mode Mode = call_mode::quick>
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
          return call_in_mode<Mode>(object, [&]() -> decltype(auto) {
            return std::invoke(Function, target, std::forward<decltype(values)>(values)...);
          });
        },
        object);
  });
}

// The wrapper of a static function; self (an object or the class) is ignored.
template <fixed_string Name, auto Function, call_mode Mode = call_mode::quick>
PyObject* static_function_wrapper(PyObject*, PyObject* args) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    qavrekPythonArgs parser(args, Name.value);
    using traits = callable_traits<decltype(Function)>;
    return call_library<typename traits::result>(
        parser, typename traits::parameters{},
        [&](auto&&... values) -> decltype(auto) {
          return call_in_mode<Mode>(nullptr, [&]() -> decltype(auto) {
            return std::invoke(Function, std::forward<decltype(values)>(values)...);
          });
        },
        nullptr);
  });
}

// One overload of an instance method: its signature (see qavrekPythonOverload, e.g. "@WW vector_IdE
// datetime") and the library operation, as for `methods_of::method`.
template <fixed_string Signature, auto Function, call_mode Mode = call_mode::quick>
struct method_overload {
  static constexpr size_t count = method_traits<decltype(Function)>::parameters::size;
  template <class T, fixed_string Name>
  static constexpr PyMethodDef entry() {
    return {Name.value, &instance_method_wrapper<T, Name, Function, Mode>, METH_VARARGS, Signature.value};
  }
};

// The wrapper of an instance method with several library overloads: a count of arguments that one
// overload alone takes goes to it, a count that several take to the first whose signature accepts the
// arguments (qavrekPythonOverload::CallMethod), any other count is a TypeError.
template <class T, fixed_string Name, class... Overloads>
struct overloaded_method {
  static inline PyMethodDef table[] = {Overloads::template entry<T, Name>()..., {nullptr, nullptr, 0, nullptr}};
  static constexpr size_t counts[] = {Overloads::count...};

  static PyObject* wrapper(PyObject* self, PyObject* args) noexcept {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
      py_reference own_args = py_reference::borrow(args);
      if (PyType_Check(self)) {
        qavrekPythonArgs parser(self, args, Name.value);
        self = parser.GetSelfFromFirstArg(self, args);
        if (self == nullptr) return nullptr;
        own_args = py_reference::steal(PyTuple_GetSlice(args, 1, PyTuple_GET_SIZE(args)));
        if (!own_args) return nullptr;
      }
      const auto count = static_cast<size_t>(PyTuple_GET_SIZE(own_args.get()));
      size_t candidates = 0;
      PyCFunction chosen = nullptr;
      for (size_t i = 0; i < sizeof...(Overloads); ++i) {
        if (counts[i] != count) continue;
        ++candidates;
        chosen = table[i].ml_meth;
      }
      if (candidates == 0) {
        qavrekPythonArgs::ArgCountError(static_cast<Py_ssize_t>(count), Name.value);
        return nullptr;
      }
      if (candidates == 1) return chosen(self, own_args.get());
      return qavrekPythonOverload::CallMethod(table, self, own_args.get());
    });
  }
};

// Entries of the method table of class T, in the order the class declares them.
template <class T>
struct methods_of {
  template <fixed_string Name, auto Function, call_mode Mode = call_mode::quick>
  static constexpr PyMethodDef method(const char* doc) {
    return {Name.value, &instance_method_wrapper<T, Name, Function, Mode>, METH_VARARGS, doc};
  }
  template <fixed_string Name, auto Function, call_mode Mode = call_mode::quick>
  static constexpr PyMethodDef static_function(const char* doc) {
    return {Name.value, &static_function_wrapper<Name, Function, Mode>, METH_VARARGS, doc};
  }
  // A method name with several overloads (method_overload<...>), dispatched by count, then signature.
  template <fixed_string Name, class... Overloads>
  static constexpr PyMethodDef overloaded(const char* doc) {
    return {Name.value, &overloaded_method<T, Name, Overloads...>::wrapper, METH_VARARGS, doc};
  }
  static constexpr PyMethodDef end() { return {nullptr, nullptr, 0, nullptr}; }
};

}  // namespace qavrek::python
