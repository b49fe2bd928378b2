#pragma once

#include <Python.h>

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "Frame/argument_reader.h"
#include "Frame/python_name.h"
#include "Frame/wrapped_object.h"
#include "Runtime/py_reference.h"
#include "Runtime/qavrekPythonArgs.h"
#include "Util/datetime.h"
#include "Util/tenor.h"

namespace qavrek::python {

template <class>
inline constexpr bool unsupported_result = false;

template <class D>
concept buildable_vector = std::is_same_v<D, std::vector<double>> || std::is_same_v<D, std::vector<datetime>> ||
                           std::is_same_v<D, std::vector<tenor>> || std::is_same_v<D, std::vector<size_t>>;

// The Python value of a library result of declared type R. A shared pointer returned by value becomes
// a new owning object of R's class; a const reference to a member shared pointer becomes a borrowed
// object that keeps `parent` (the library object that owns the member) alive; other wrapped classes
// are copied. `result` is the library's own result object, so references stay references.
template <class R, class V>
PyObject* to_python(V& result, const std::shared_ptr<const void>& parent) {
  using D = std::remove_cvref_t<R>;
  if constexpr (std::is_same_v<D, py_reference>) {
    return result.release();
  } else if constexpr (std::is_same_v<D, bool>) {
    return PyBool_FromLong(result ? 1 : 0);
  } else if constexpr (std::is_enum_v<D>) {
    static_assert(named_in_python<D>, "the enumeration needs a python_name");
    return qavrekPythonArgs::BuildEnumValue(static_cast<long long>(result), python_name<D>);
  } else if constexpr (std::is_integral_v<D> && std::is_signed_v<D>) {
    return PyLong_FromLongLong(static_cast<long long>(result));
  } else if constexpr (std::is_integral_v<D>) {
    return PyLong_FromUnsignedLongLong(static_cast<unsigned long long>(result));
  } else if constexpr (std::is_floating_point_v<D>) {
    return PyFloat_FromDouble(static_cast<double>(result));
  } else if constexpr (std::is_same_v<D, std::string> || std::is_same_v<D, tenor>) {
    return qavrekPythonArgs::BuildValue(result);
  } else if constexpr (buildable_vector<D>) {
    return qavrekPythonArgs::BuildTuple(result.data(), result.size());
  } else if constexpr (wrapped_pointer<D>) {
    using element = typename shared_pointer_traits<D>::element;
    if constexpr (std::is_lvalue_reference_v<R> && std::is_same_v<D, ptr_const<element>>)
      return build_borrowed<element>(result, parent);
    else
      return build_owning<element>(ptr_const<element>(result));
  } else if constexpr (pointer_vector_traits<D>::value) {
    static_assert(std::is_lvalue_reference_v<R>, "a vector of shared pointers is returned as a member reference");
    using element = typename pointer_vector_traits<D>::element;
    py_reference tuple = py_reference::steal(PyTuple_New(static_cast<Py_ssize_t>(result.size())));
    if (!tuple) return nullptr;
    for (size_t i = 0; i < result.size(); ++i) {
      PyObject* item = build_borrowed<element>(result[i], parent);
      if (item == nullptr) return nullptr;
      PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), item);
    }
    return tuple.release();
  } else if constexpr (named_in_python<D> && std::is_class_v<D>) {
    return build_copy<D>(result);
  } else {
    static_assert(unsupported_result<R>, "no Python form for this result type");
    return nullptr;
  }
}

}  // namespace qavrek::python
