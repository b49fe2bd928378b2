#pragma once

#include <Python.h>

namespace qavrek::python {

// Enumerations are int subtypes that Python cannot instantiate; their values live in the type's
// dictionary, one per enumerator, and are found by the enumeration's library name.

// A new value of the enumeration type (an int of that type).
PyObject* PyQAVREKEnum_New(PyTypeObject* type, long long value);
// Registers the enumeration type under its library name; a later registration of the name replaces
// the earlier one.
void PyQAVREKEnum_Add(PyTypeObject* type, const char* name);
// The enumeration type of a library name, or null.
PyTypeObject* PyQAVREKEnum_Find(const char* name);
// The enumerator of the type with the value (a new reference), or a new value when none has it.
PyObject* PyQAVREKEnum_Value(PyTypeObject* type, long long value);

}  // namespace qavrek::python
