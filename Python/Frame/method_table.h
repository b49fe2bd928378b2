#pragma once

#include <Python.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "Frame/argument_reader.h"
#include "Frame/callable_traits.h"
#include "Frame/fixed_string.h"
#include "Frame/result_converter.h"
#include "Frame/wrapped_object.h"
#include "Runtime/long_call.h"
#include "Runtime/object_use.h"
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

// Trailing parameters that a library operation lets the caller leave out: `Defaults` returns their
// values as a tuple. Most operations have none.
inline std::tuple<> no_defaults() { return {}; }

// Reads the first `given` arguments, in order.
template <class... P, size_t... I>
bool read_given(std::tuple<argument_reader<P>...>& readers, qavrekPythonArgs& args, size_t given,
                std::index_sequence<I...>) {
  return ((I >= given || std::get<I>(readers).read(args)) && ...);
}

// What parameter I receives: its argument, or for an optional parameter (I >= Minimum) left out, its
// default. References stay references.
template <size_t I, Py_ssize_t Minimum, class Readers, class Defaults>
decltype(auto) given_or_default(Readers& readers, const Defaults& defaults, size_t given) {
  if constexpr (static_cast<Py_ssize_t>(I) < Minimum) {
    return std::get<I>(readers).get();
  } else {
    using read = decltype(std::get<I>(readers).get());
    using value = std::remove_cvref_t<read>;
    constexpr size_t position = I - static_cast<size_t>(Minimum);
    static_assert(std::is_same_v<std::tuple_element_t<position, Defaults>, value>,
                  "a default has the type of its parameter");
    const value& fallback = std::get<position>(defaults);
    if constexpr (std::is_lvalue_reference_v<read>)
      return I < given ? static_cast<const value&>(std::get<I>(readers).get()) : fallback;
    else
      return I < given ? value(std::get<I>(readers).get()) : value(fallback);
  }
}

// How a wrapper runs its library call: holding the interpreter lock (most calls take microseconds), or
// as a long call (Runtime/long_call.h): without the lock, interruptible at the library's interruption
// points, its object busy and its wrapped arguments marked read meanwhile. A long call's library
// operation must touch no Python object.
enum class call_mode { quick, long_running };

// The wrapped objects that the arguments read hold.
template <class... P>
std::vector<std::shared_ptr<const void>> read_objects(const std::tuple<argument_reader<P>...>& readers) {
  std::vector<std::shared_ptr<const void>> objects;
  std::apply(
      [&](const auto&... reader) {
        const auto add = [&](const auto& one) {
          if constexpr (requires { one.add_read_objects(objects); }) one.add_read_objects(objects);
        };
        (add(reader), ...);
      },
      readers);
  return objects;
}

// Checks the count, reads every argument given, calls the library through `call` and converts its result
// of declared type R. A Python error pending after the call wins over the result, and output lists are
// then left as they were. Optional parameters are inputs: the library writes nothing back through them.
// A long call's wrapped arguments are marked read meanwhile (see object_use).
template <class R, auto Defaults = &no_defaults, call_mode Mode = call_mode::quick, class... P, class Call>
PyObject* call_library(qavrekPythonArgs& args, type_list<P...>, Call&& call,
                       const std::shared_ptr<const void>& parent) {
  using defaults_type = decltype(Defaults());
  constexpr auto maximum = static_cast<Py_ssize_t>(sizeof...(P));
  constexpr auto minimum = maximum - static_cast<Py_ssize_t>(std::tuple_size_v<defaults_type>);
  static_assert(minimum >= 0, "more defaults than parameters");
  static_assert([] {
    [[maybe_unused]] Py_ssize_t i = 0;
    return ((i++ < minimum || input_parameter<P>) && ...);
  }(), "an optional parameter is an output");
  const Py_ssize_t given = args.GetArgCount();
  if (given < minimum || given > maximum) {
    args.ArgCountError(minimum, maximum);
    return nullptr;
  }
  std::tuple<argument_reader<P>...> readers;
  const auto positions = std::index_sequence_for<P...>{};
  if (!read_given(readers, args, static_cast<size_t>(given), positions)) return nullptr;
  const defaults_type defaults = Defaults();
  std::optional<marked_objects> read;
  if constexpr (Mode == call_mode::long_running)
    read.emplace(marked_objects::mark::read_by_long_call, read_objects(readers));
  const auto invoke = [&]<size_t... I>(std::index_sequence<I...>) -> decltype(auto) {
    return call(given_or_default<I, minimum>(readers, defaults, static_cast<size_t>(given))...);
  };
  if constexpr (std::is_void_v<R>) {
    invoke(positions);
    if (PyErr_Occurred() || !write_back(readers, args)) return nullptr;
    return qavrekPythonArgs::BuildNone();
  } else {
    decltype(auto) result = invoke(positions);
    if (PyErr_Occurred() || !write_back(readers, args)) return nullptr;
    return to_python<R>(result, parent);
  }
}

// The library call `invoke()` in the given mode; `busy` is the object it runs on (empty for none).
template <call_mode Mode, class Invoke>
decltype(auto) call_in_mode(const std::shared_ptr<const void>& busy, Invoke&& invoke) {
  if constexpr (Mode == call_mode::long_running)
    return long_call::run(busy, std::forward<Invoke>(invoke));
  else
    return invoke();
}

// What a function used as an instance method receives as self: the library object, or its shared pointer
// where the function's first parameter is one (a function that runs a long call on the object itself).
template <auto Function, class T>
decltype(auto) self_argument(const ptr_const<T>& object) {
  using traits = callable_traits<decltype(Function)>;
  if constexpr (traits::is_member) {
    return library_object(object);
  } else {
    using first = std::remove_cvref_t<typename drop_first<typename traits::parameters>::first>;
    if constexpr (std::is_same_v<first, ptr_const<T>>)
      return (object);
    else
      return library_object(object);
  }
}

// The wrapper of an instance method of T: a member function of T, or a function whose first parameter
// is the object (or its shared pointer). Called through the class, the first argument is the object.
template <class T, fixed_string Name, auto Function, call_mode Mode = call_mode::quick, auto Defaults = &no_defaults>
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
    if constexpr (traits::writes_object || writes_mutable_state<Function>) {
      if (object_use::read_by_long_call(object))
        throw std::runtime_error(object_use::read_by_long_call_refusal(python_name<T>));
    }
    return call_library<typename traits::result, Defaults, Mode>(
        parser, typename traits::parameters{},
        [&](auto&&... values) -> decltype(auto) {
          return call_in_mode<Mode>(object, [&]() -> decltype(auto) {
            return std::invoke(Function, self_argument<Function>(object), std::forward<decltype(values)>(values)...);
          });
        },
        object);
  });
}

// The wrapper of a static function; self (an object or the class) is ignored.
template <fixed_string Name, auto Function, call_mode Mode = call_mode::quick, auto Defaults = &no_defaults>
PyObject* static_function_wrapper(PyObject*, PyObject* args) noexcept {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    qavrekPythonArgs parser(args, Name.value);
    using traits = callable_traits<decltype(Function)>;
    return call_library<typename traits::result, Defaults, Mode>(
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
  // An operation whose trailing parameters may be left out: `Defaults` returns their values as a tuple
  // (see call_library); a count outside the range names both ends.
  template <fixed_string Name, auto Function, auto Defaults, call_mode Mode = call_mode::quick>
  static constexpr PyMethodDef method_with_defaults(const char* doc) {
    return {Name.value, &instance_method_wrapper<T, Name, Function, Mode, Defaults>, METH_VARARGS, doc};
  }
  template <fixed_string Name, auto Function, auto Defaults, call_mode Mode = call_mode::quick>
  static constexpr PyMethodDef static_function_with_defaults(const char* doc) {
    return {Name.value, &static_function_wrapper<Name, Function, Mode, Defaults>, METH_VARARGS, doc};
  }
  // A method name with several overloads (method_overload<...>), dispatched by count, then signature.
  template <fixed_string Name, class... Overloads>
  static constexpr PyMethodDef overloaded(const char* doc) {
    return {Name.value, &overloaded_method<T, Name, Overloads...>::wrapper, METH_VARARGS, doc};
  }
  static constexpr PyMethodDef end() { return {nullptr, nullptr, 0, nullptr}; }
};

}  // namespace qavrek::python
