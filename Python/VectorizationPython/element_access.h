#pragma once

#include <Python.h>

#include <cstddef>
#include <vector>

namespace qavrek::python {

// Subscripts of the numeric containers: v[i], m[i, j], t[i, j, k]. Negative indices count from the end.
// Failures throw python_error_already_set with IndexError (an index outside its extent, or the wrong
// number of indices) or TypeError (an index that is not an int, a value that is not a float).
class element_access {
 public:
  // The storage position of the subscript in a row-major container of the shape.
  static size_t position(PyObject* subscript, const std::vector<size_t>& shape, const char* container);
  // The float that an element receives.
  static double value(PyObject* value, const char* container);
};

}  // namespace qavrek::python
