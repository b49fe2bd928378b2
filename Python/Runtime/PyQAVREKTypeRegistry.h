#pragma once

#include <Python.h>

#include <memory>
#include <typeinfo>

#include "Runtime/private_copies.h"

namespace qavrek::python {

// A new owning shared pointer to a copy of the library object at the address, made by the class's
// copy constructor.
using copy_function = std::shared_ptr<const void> (*)(const void* object);

// What the run time needs to handle the library objects of one class without knowing their type; the
// frame fills it for each wrapped class. A holder is the address of a ptr_const of the class.
struct class_operations {
  const std::type_info* library_type;
  // Deletes an owning object's heap holder.
  void (*release_holder)(void* holder) noexcept;
  // The object that the holder holds, as an untyped shared pointer (empty for an empty holder).
  std::shared_ptr<const void> (*share)(const void* holder) noexcept;
  // A new heap holder that takes over an object of the class.
  void* (*make_holder)(std::shared_ptr<const void> object);
  // The address of the wrapped base class part of an object of the class; null without a wrapped base.
  const void* (*to_base)(const void* object) noexcept;
  // Writes a private copy's values back into the object it was made of, for a long call that wrote the
  // copy (see private_copies); null for a class whose objects no long call writes.
  publish_function publish;
};

// The record of one wrapped class: its type object, method table, constructor table and copy
// function in that order (constructors and copy function may be null), and its operations.
struct PyQAVREKSpecialType {
  PyTypeObject* type;
  PyMethodDef* methods;
  PyMethodDef* constructors;
  copy_function copy;
  const class_operations* operations;
};

// Registers the class under the Python name that ends its tp_name and returns its type, or null with
// a Python error when another type already has that name. Registering the same type again replaces
// its tables.
PyTypeObject* PyQAVREKSpecialType_Add(PyTypeObject* type, PyMethodDef* methods, PyMethodDef* constructors,
                                      copy_function copy, const class_operations* operations);

// Readies a registered type once: sets its base, calls PyType_Ready and installs its methods so that
// a call through the class passes the class as self. False with a Python error on failure; a type
// that is ready already succeeds at once.
bool PyQAVREKSpecialType_Ready(PyTypeObject* type, PyTypeObject* base);

// A zeroed static type object with its reference count set, for a wrapped class to fill.
PyTypeObject PyQAVREKSpecialType_Blank() noexcept;
// The tp_new of abstract classes: TypeError "this class cannot be instantiated".
PyObject* PyQAVREKSpecialType_Refuse(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept;
// The tp_traverse of wrapped types, which hold no Python references that could form cycles.
int PyQAVREKSpecialType_VisitNothing(PyObject* self, visitproc visit, void* argument) noexcept;

// The record of a Python name, or null.
PyQAVREKSpecialType* PyQAVREKObject_find(const char* python_name);
// The record of a type object, or null when the type is not a wrapped class.
PyQAVREKSpecialType* PyQAVREKSpecialType_ofType(const PyTypeObject* type);

}  // namespace qavrek::python
