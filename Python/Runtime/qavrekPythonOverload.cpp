#include "Runtime/qavrekPythonOverload.h"

#include <string>
#include <string_view>
#include <vector>

#include "Runtime/PyQAVREKEnum.h"
#include "Runtime/PyQAVREKObject.h"
#include "Runtime/numeric_buffer.h"
#include "Runtime/qavrekPythonUtil.h"

namespace qavrek::python {
namespace {

struct parsed_signature {
  bool is_explicit = false;
  std::string codes;             // without "|"
  size_t required = 0;           // codes before "|"
  std::vector<std::string> names;  // of the "W" and "E" codes, in order
  bool valid = false;
};

parsed_signature parse(const char* signature) {
  parsed_signature parsed;
  if (signature == nullptr) return parsed;
  std::string_view text(signature);
  if (!text.empty() && text.front() == '-') {
    parsed.is_explicit = true;
    text.remove_prefix(1);
  }
  if (text.empty() || text.front() != '@') return parsed;
  text.remove_prefix(1);
  bool optional = false;
  while (!text.empty() && text.front() != ' ') {
    if (text.front() == '|') {
      optional = true;
    } else {
      parsed.codes.push_back(text.front());
      if (!optional) ++parsed.required;
    }
    text.remove_prefix(1);
  }
  while (!text.empty()) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    const size_t end = std::min(text.find(' '), text.size());
    if (end > 0) parsed.names.emplace_back(text.substr(0, end));
    text.remove_prefix(end);
  }
  parsed.valid = true;
  return parsed;
}

bool is_int(PyObject* object) { return PyLong_Check(object) && !PyBool_Check(object); }

bool is_real_number(PyObject* object) {
  return PyFloat_Check(object) || (PyIndex_Check(object) && !PyBool_Check(object));
}

// The plain Python forms that the argument readers accept for some wrapped classes.
bool plain_form_of(const std::string& name, PyObject* object) {
  if (name == "datetime") return is_real_number(object);
  if (name == "tenor" || name == "key") return PyUnicode_Check(object);
  return false;
}

bool accepts_one(char code, const std::string* name, PyObject* object) {
  switch (code) {
    case 'd':
      return PyFloat_Check(object) || is_int(object);
    case 'i':
      return is_int(object);
    case 'b':
      return PyBool_Check(object);
    case 's':
      return PyUnicode_Check(object);
    case 'l':
      return PyList_Check(object) || PyTuple_Check(object);
    case 'a':
      return numeric_buffer::offered_by(object);
    case 'v':
      return PyList_Check(object) || PyTuple_Check(object) || numeric_buffer::offered_by(object);
    case 'W': {
      if (name == nullptr) return false;
      if (plain_form_of(*name, object)) return true;
      PyTypeObject* type = qavrekPythonUtil::FindSpecialTypeObject(name->c_str());
      return type != nullptr && PyQAVREKObject_Check(object) && PyType_IsSubtype(Py_TYPE(object), type);
    }
    case 'E': {
      PyTypeObject* type = name == nullptr ? nullptr : PyQAVREKEnum_Find(name->c_str());
      return type != nullptr && PyObject_TypeCheck(object, type);
    }
    default:
      return false;
  }
}

std::string type_names(PyObject* args) {
  std::string names;
  for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(args); ++i) {
    if (i > 0) names += ", ";
    names += qavrekPythonUtil::StripModule(Py_TYPE(PyTuple_GET_ITEM(args, i))->tp_name);
  }
  return names;
}

}  // namespace

bool qavrekPythonOverload::Accepts(const char* signature, PyObject* const* arguments, Py_ssize_t count) {
  const parsed_signature parsed = parse(signature);
  if (!parsed.valid || count < 0) return false;
  const auto n = static_cast<size_t>(count);
  if (n < parsed.required || n > parsed.codes.size()) return false;
  size_t named = 0;
  for (size_t i = 0; i < n; ++i) {
    const char code = parsed.codes[i];
    const std::string* name = nullptr;
    if (code == 'W' || code == 'E') {
      name = named < parsed.names.size() ? &parsed.names[named] : nullptr;
      ++named;
    }
    if (!accepts_one(code, name, arguments[i])) return false;
  }
  return true;
}

PyObject* qavrekPythonOverload::CallMethod(PyMethodDef* table, PyObject* self, PyObject* args) {
  const Py_ssize_t count = PyTuple_GET_SIZE(args);
  for (PyMethodDef* entry = table; entry != nullptr && entry->ml_name != nullptr; ++entry) {
    if (Accepts(entry->ml_doc, &PyTuple_GET_ITEM(args, 0), count)) return entry->ml_meth(self, args);
  }
  const std::string given = type_names(args);
  PyErr_Format(PyExc_TypeError, "%s(): no overload takes the arguments (%s)",
               table != nullptr && table->ml_name != nullptr ? table->ml_name : "?", given.c_str());
  return nullptr;
}

PyMethodDef* qavrekPythonOverload::FindConversionMethod(PyMethodDef* table, PyObject* object) {
  for (PyMethodDef* entry = table; entry != nullptr && entry->ml_name != nullptr; ++entry) {
    if (entry->ml_doc == nullptr || entry->ml_doc[0] == '-') continue;
    if (Accepts(entry->ml_doc, &object, 1)) return entry;
  }
  return nullptr;
}

}  // namespace qavrek::python
