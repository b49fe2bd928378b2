#pragma once

#include <Python.h>

#include <cstddef>
#include <vector>

#include "Frame/wrapped_object.h"
#include "Runtime/python_error.h"
#include "VectorizationPython/element_access.h"
#include "VectorizationPython/nested_values.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {

inline std::vector<size_t> shape_of(const vector<double>& values) { return {values.size()}; }
inline std::vector<size_t> shape_of(const matrix<double>& values) { return {values.rows(), values.columns()}; }
inline std::vector<size_t> shape_of(const tensor<double>& values) { return values.shape(); }

// The values as nested lists, one level per dimension.
template <class Container>
py_reference to_list(const Container& values) {
  return nested_list(values.data(), shape_of(values));
}

// len() and element access by subscript for a row-major container.
template <class Container>
struct container_mapping {
  static Py_ssize_t length(PyObject* self) noexcept {
    return guarded<Py_ssize_t>(-1, [&]() -> Py_ssize_t {
      const ptr_const<Container> values = held<Container>(self);
      if (values == nullptr) return -1;
      const std::vector<size_t> shape = shape_of(*values);
      return shape.empty() ? 0 : static_cast<Py_ssize_t>(shape.front());
    });
  }

  static PyObject* item(PyObject* self, PyObject* subscript) noexcept {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
      const ptr_const<Container> values = held<Container>(self);
      if (values == nullptr) return nullptr;
      const size_t position = element_access::position(subscript, shape_of(*values), python_name<Container>);
      return PyFloat_FromDouble(values->data()[position]);
    });
  }

  static int assign(PyObject* self, PyObject* subscript, PyObject* value) noexcept {
    return guarded<int>(-1, [&] {
      const ptr_const<Container> values = held<Container>(self);
      if (values == nullptr) return -1;
      const size_t position = element_access::position(subscript, shape_of(*values), python_name<Container>);
      library_object(values).data()[position] = element_access::value(value, python_name<Container>);
      return 0;
    });
  }

  static inline PyMappingMethods methods{&length, &item, &assign};
};

}  // namespace qavrek::python
