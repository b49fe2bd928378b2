#pragma once

#include <Python.h>

namespace qavrek::python {

// Chooses among the overloads of a constructor or method table by their signature strings: an
// optional "-" (never used for implicit conversion), "@", one code per parameter and a blank followed
// by the Python names of the "W" and "E" parameters' types. Codes: "d" a real number, "i" an int,
// "b" a bool, "s" a str, "l" a list or tuple, "a" an array of values (an object exporting a buffer,
// such as a numpy array), "v" either of the last two, "W" a wrapped object of the named class or a class derived from it (for
// datetime also a day number, for tenor and key also a text, as the argument readers take them), "E" a
// value of the named enumeration; "|" comes before the optional parameters.
class qavrekPythonOverload {
 public:
  // Calls the first entry whose signature accepts the arguments; TypeError when none does.
  static PyObject* CallMethod(PyMethodDef* table, PyObject* self, PyObject* args);
  // The first entry that may convert the object implicitly (no "-", one argument accepted), or null.
  static PyMethodDef* FindConversionMethod(PyMethodDef* table, PyObject* object);
  // Whether the signature accepts the arguments.
  static bool Accepts(const char* signature, PyObject* const* arguments, Py_ssize_t count);
};

}  // namespace qavrek::python
