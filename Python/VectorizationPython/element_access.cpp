#include "VectorizationPython/element_access.h"

#include "Runtime/python_error.h"
#include "Runtime/qavrekPythonUtil.h"

namespace qavrek::python {
namespace {

size_t one_index(PyObject* index, size_t extent, size_t dimension, const char* container) {
  if (!PyIndex_Check(index) || PyBool_Check(index)) {
    PyErr_Format(PyExc_TypeError, "%s indices must be ints, not %s", container,
                 qavrekPythonUtil::StripModule(Py_TYPE(index)->tp_name));
    throw python_error_already_set();
  }
  const Py_ssize_t value = PyNumber_AsSsize_t(index, PyExc_IndexError);
  if (value == -1 && PyErr_Occurred()) throw python_error_already_set();
  const auto size = static_cast<Py_ssize_t>(extent);
  const Py_ssize_t position = value < 0 ? value + size : value;
  if (position < 0 || position >= size) {
    PyErr_Format(PyExc_IndexError, "%s index %zd is out of range for dimension %zu of size %zu", container, value,
                 dimension, extent);
    throw python_error_already_set();
  }
  return static_cast<size_t>(position);
}

}  // namespace

size_t element_access::position(PyObject* subscript, const std::vector<size_t>& shape, const char* container) {
  const bool several = PyTuple_Check(subscript);
  const size_t count = several ? static_cast<size_t>(PyTuple_GET_SIZE(subscript)) : 1;
  if (count != shape.size()) {
    PyErr_Format(PyExc_IndexError, "%s takes %zu indices, got %zu", container, shape.size(), count);
    throw python_error_already_set();
  }
  size_t position = 0;
  for (size_t d = 0; d < count; ++d) {
    PyObject* index = several ? PyTuple_GET_ITEM(subscript, static_cast<Py_ssize_t>(d)) : subscript;
    position = position * shape[d] + one_index(index, shape[d], d, container);
  }
  return position;
}

double element_access::value(PyObject* value, const char* container) {
  if (value == nullptr) {
    PyErr_Format(PyExc_TypeError, "%s elements cannot be deleted", container);
    throw python_error_already_set();
  }
  if (!(PyFloat_Check(value) || (PyIndex_Check(value) && !PyBool_Check(value)))) {
    PyErr_Format(PyExc_TypeError, "%s elements are floats, not %s", container,
                 qavrekPythonUtil::StripModule(Py_TYPE(value)->tp_name));
    throw python_error_already_set();
  }
  const double number = PyFloat_AsDouble(value);
  if (number == -1.0 && PyErr_Occurred()) throw python_error_already_set();
  return number;
}

}  // namespace qavrek::python
