#include "VectorizationPython/nested_values.h"

#include <string>

#include "Runtime/qavrekPythonUtil.h"

namespace qavrek::python {
namespace {

bool is_list(PyObject* object) { return PyList_Check(object) || PyTuple_Check(object); }

std::string position_text(const std::vector<size_t>& position) {
  std::string text;
  for (size_t index : position) {
    text += '[';
    text += std::to_string(index);
    text += ']';
  }
  return text;
}

// Walks one level, checking its length against the shape and appending the numbers of the last level.
bool flatten(PyObject* object, size_t depth, std::vector<size_t>& position, nested_values& target, const char* prefix) {
  if (depth == target.shape.size()) {
    if (is_list(object) || !(PyFloat_Check(object) || (PyIndex_Check(object) && !PyBool_Check(object)))) {
      PyErr_Format(PyExc_TypeError, "%sexpected a float at %s, got %s", prefix, position_text(position).c_str(),
                   qavrekPythonUtil::StripModule(Py_TYPE(object)->tp_name));
      return false;
    }
    const double value = PyFloat_AsDouble(object);
    if (value == -1.0 && PyErr_Occurred()) return false;
    target.values.push_back(value);
    return true;
  }
  if (!is_list(object) || PySequence_Fast_GET_SIZE(object) != static_cast<Py_ssize_t>(target.shape[depth])) {
    const std::string found = is_list(object) ? std::to_string(PySequence_Fast_GET_SIZE(object)) + " items"
                                              : std::string("a ") + Py_TYPE(object)->tp_name;
    PyErr_Format(PyExc_ValueError, "%sthe nested lists are not rectangular: expected %zu items at %s, got %s", prefix,
                 target.shape[depth], position.empty() ? "the top" : position_text(position).c_str(), found.c_str());
    return false;
  }
  for (size_t i = 0; i < target.shape[depth]; ++i) {
    position.push_back(i);
    if (!flatten(PySequence_Fast_GET_ITEM(object, static_cast<Py_ssize_t>(i)), depth + 1, position, target, prefix))
      return false;
    position.pop_back();
  }
  return true;
}

py_reference nested_level(const double*& values, const std::vector<size_t>& shape, size_t depth) {
  py_reference list = py_reference::steal(PyList_New(static_cast<Py_ssize_t>(shape[depth])));
  if (!list) return list;
  for (size_t i = 0; i < shape[depth]; ++i) {
    py_reference item = depth + 1 == shape.size() ? py_reference::steal(PyFloat_FromDouble(*values++))
                                                  : nested_level(values, shape, depth + 1);
    if (!item) return item;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());
  }
  return list;
}

}  // namespace

bool nested_values::read(PyObject* object, const char* prefix) {
  shape.clear();
  values.clear();
  // The shape follows the first item of every level; flatten then checks every other item against it.
  for (PyObject* level = object; is_list(level);) {
    const Py_ssize_t size = PySequence_Fast_GET_SIZE(level);
    shape.push_back(static_cast<size_t>(size));
    if (size == 0) break;
    level = PySequence_Fast_GET_ITEM(level, 0);
  }
  if (shape.empty()) {
    PyErr_Format(PyExc_TypeError, "%sexpected nested lists of floats, got %s", prefix,
                 qavrekPythonUtil::StripModule(Py_TYPE(object)->tp_name));
    return false;
  }
  std::vector<size_t> position;
  return flatten(object, 0, position, *this, prefix);
}

py_reference nested_list(const double* values, const std::vector<size_t>& shape) {
  if (shape.empty()) return py_reference::steal(PyList_New(0));
  return nested_level(values, shape, 0);
}

bool argument_reader<const nested_values&>::read(qavrekPythonArgs& args) {
  const Py_ssize_t index = args.NextIndex();
  PyObject* argument = args.NextArg();
  if (argument == nullptr) return false;
  const std::string prefix = std::string(args.Name()) + "() argument " + std::to_string(index + 1) + ": ";
  return value.read(argument, prefix.c_str());
}

}  // namespace qavrek::python
