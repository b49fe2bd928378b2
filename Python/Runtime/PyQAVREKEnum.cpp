#include "Runtime/PyQAVREKEnum.h"

#include <map>
#include <string>

#include "Runtime/py_reference.h"

namespace qavrek::python {
namespace {

std::map<std::string, PyTypeObject*, std::less<>>& enumerations() {
  static std::map<std::string, PyTypeObject*, std::less<>> types;
  return types;
}

}  // namespace

PyObject* PyQAVREKEnum_New(PyTypeObject* type, long long value) {
  py_reference arguments = py_reference::steal(Py_BuildValue("(L)", value));
  if (!arguments) return nullptr;
  // int's own constructor builds instances of its subtypes; the enumeration type has none of its own.
  return PyLong_Type.tp_new(type, arguments.get(), nullptr);
}

void PyQAVREKEnum_Add(PyTypeObject* type, const char* name) { enumerations()[name] = type; }

PyTypeObject* PyQAVREKEnum_Find(const char* name) {
  const auto found = enumerations().find(std::string_view(name));
  return found == enumerations().end() ? nullptr : found->second;
}

PyObject* PyQAVREKEnum_Value(PyTypeObject* type, long long value) {
  PyObject* key = nullptr;
  PyObject* item = nullptr;
  Py_ssize_t position = 0;
  while (PyDict_Next(type->tp_dict, &position, &key, &item)) {
    if (Py_TYPE(item) != type) continue;
    const long long item_value = PyLong_AsLongLong(item);
    if (item_value == -1 && PyErr_Occurred()) return nullptr;
    if (item_value == value) return Py_NewRef(item);
  }
  return PyQAVREKEnum_New(type, value);
}

}  // namespace qavrek::python
