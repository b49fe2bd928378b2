#pragma once

#include <Python.h>

namespace qavrek::python {

// The attribute under which a wrapped class keeps one entry of its method table. Read from an object
// it gives the method bound to the object; read from the class it gives the method bound to the class
// itself, so that the same entry serves obj.method(...), Class.method(obj, ...) and static functions
// (which ignore self) called either way.
class method_descriptor {
 public:
  // Readies the descriptor type; false with a Python error when that fails.
  static bool ready();
  // A new descriptor of the entry for the owner type, or null with a Python error.
  static PyObject* create(PyMethodDef* definition, PyTypeObject* owner);
};

}  // namespace qavrek::python
