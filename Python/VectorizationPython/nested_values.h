#pragma once

#include <Python.h>

#include <cstddef>
#include <vector>

#include "Frame/argument_reader.h"
#include "Runtime/py_reference.h"
#include "Runtime/qavrekPythonArgs.h"

namespace qavrek::python {

// Numbers given as nested lists (or tuples), such as [[1, 2], [3, 4]]: the shape (one extent per level
// of nesting) and the values in row-major order. Every list of a level must have the same length.
struct nested_values {
  std::vector<size_t> shape;
  std::vector<double> values;

  // Reads the object; false with ValueError (ragged lists) or TypeError (an item that is not a number)
  // whose message follows `prefix`.
  bool read(PyObject* object, const char* prefix);
};

// Nested lists of the row-major values of the shape; a single list for one dimension.
py_reference nested_list(const double* values, const std::vector<size_t>& shape);

template <>
struct argument_reader<const nested_values&> {
  nested_values value;

  bool read(qavrekPythonArgs& args);
  const nested_values& get() const noexcept { return value; }
  bool after_call(qavrekPythonArgs&) noexcept { return true; }
};

}  // namespace qavrek::python
