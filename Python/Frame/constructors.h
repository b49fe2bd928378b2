#pragma once

#include <Python.h>

#include <cstddef>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "Frame/argument_reader.h"
#include "Frame/callable_traits.h"
#include "Frame/fixed_string.h"
#include "Frame/method_table.h"
#include "Frame/wrapped_object.h"
#include "Runtime/python_error.h"
#include "Runtime/qavrekPythonArgs.h"

namespace qavrek::python {

// The overloads of a class's constructor, each with its range of argument counts, its signature for
// the constructor table (see qavrekPythonOverload) and its wrapper. The wrapper of an overload is
// instantiated for the class's binding, which names the class in messages.

template <class Binding>
bool in_range(qavrekPythonArgs& args, Py_ssize_t minimum, Py_ssize_t maximum) {
  const Py_ssize_t count = args.GetArgCount();
  if (count >= minimum && count <= maximum) return true;
  return args.ArgCountError(minimum, maximum);
}

// The library constructor T(P...), every parameter required.
template <fixed_string Signature, class T, class... P>
struct constructor {
  static constexpr Py_ssize_t minimum = sizeof...(P);
  static constexpr Py_ssize_t maximum = sizeof...(P);
  static const char* signature() { return Signature.value; }

  template <class Binding>
  static PyObject* wrapper(PyObject*, PyObject* args) noexcept {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
      qavrekPythonArgs parser(args, Binding::library_name);
      if (!in_range<Binding>(parser, minimum, maximum)) return nullptr;
      std::tuple<argument_reader<P>...> readers;
      if (!read_arguments(readers, parser)) return nullptr;
      auto object = std::apply([](auto&... reader) { return std::make_shared<T>(reader.get()...); }, readers);
      if (PyErr_Occurred()) return nullptr;
      return build_owning<T>(std::move(object));
    });
  }
};

// The library constructor T(P...) whose trailing parameters have defaults: `Defaults` returns them as
// a tuple, and arguments given replace them one by one in declaration order.
template <fixed_string Signature, class T, auto Defaults, class... P>
struct constructor_with_defaults {
  using defaults_type = decltype(Defaults());
  static constexpr size_t optional = std::tuple_size_v<defaults_type>;
  static_assert(optional <= sizeof...(P));
  static constexpr Py_ssize_t minimum = sizeof...(P) - optional;
  static constexpr Py_ssize_t maximum = sizeof...(P);
  static const char* signature() { return Signature.value; }

  template <class Binding>
  static PyObject* wrapper(PyObject*, PyObject* args) noexcept {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
      qavrekPythonArgs parser(args, Binding::library_name);
      if (!in_range<Binding>(parser, minimum, maximum)) return nullptr;
      std::tuple<argument_reader<P>...> readers;
      const auto given = static_cast<size_t>(parser.GetArgCount());
      if (!read_given(readers, parser, given, std::index_sequence_for<P...>{})) return nullptr;
      const defaults_type defaults = Defaults();
      auto object = make(readers, defaults, given, std::index_sequence_for<P...>{});
      if (PyErr_Occurred()) return nullptr;
      return build_owning<T>(std::move(object));
    });
  }

 private:
  template <size_t... I>
  static std::shared_ptr<T> make(std::tuple<argument_reader<P>...>& readers, const defaults_type& defaults,
                                 size_t given, std::index_sequence<I...>) {
    return std::make_shared<T>(given_or_default<I, minimum>(readers, defaults, given)...);
  }
};

// A function of the wrapping module that builds the object from the arguments (for forms that the
// library offers through other means, such as nested lists); it returns the object or a shared
// pointer to it.
template <fixed_string Signature, auto Factory>
struct factory_constructor {
  using traits = callable_traits<decltype(Factory)>;
  static constexpr Py_ssize_t minimum = traits::parameters::size;
  static constexpr Py_ssize_t maximum = traits::parameters::size;
  static const char* signature() { return Signature.value; }

  template <class Binding>
  static PyObject* wrapper(PyObject*, PyObject* args) noexcept {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
      using T = typename Binding::type;
      using R = typename traits::result;
      qavrekPythonArgs parser(args, Binding::library_name);
      return call_library<ptr_const<T>>(
          parser, typename traits::parameters{},
          [&](auto&&... values) -> ptr_const<T> {
            if constexpr (shared_pointer_traits<R>::value)
              return Factory(std::forward<decltype(values)>(values)...);
            else
              return std::make_shared<T>(Factory(std::forward<decltype(values)>(values)...));
          },
          nullptr);
    });
  }
};

// The copy constructor: a new library object copied from the argument's.
template <class T>
struct copy_constructor {
  static constexpr Py_ssize_t minimum = 1;
  static constexpr Py_ssize_t maximum = 1;
  static const char* signature() {
    static const std::string text = std::string("@W ") + python_name<T>;
    return text.c_str();
  }

  template <class Binding>
  static PyObject* wrapper(PyObject*, PyObject* args) noexcept {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
      qavrekPythonArgs parser(args, Binding::library_name);
      if (!in_range<Binding>(parser, minimum, maximum)) return nullptr;
      argument_reader<const T&> source;
      if (!source.read(parser)) return nullptr;
      return build_owning<T>(std::make_shared<T>(source.get()));
    });
  }
};

template <class... Overloads>
struct overloads {
  static constexpr size_t size = sizeof...(Overloads);
};

}  // namespace qavrek::python
