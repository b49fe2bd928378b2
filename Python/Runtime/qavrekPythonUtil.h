#pragma once

#include <Python.h>

#include <initializer_list>

#include "Runtime/PyQAVREKTypeRegistry.h"

namespace qavrek::python {

// Registers the types of one wrapped header into the module dictionary; 0, or -1 with a Python error.
using header_registration = int (*)(PyObject* module_dict);

// Module-level services of the wrapping run time.
class qavrekPythonUtil {
 public:
  // Readies the run time's own types; the "Core" module calls it first. False with a Python error.
  static bool Initialize();
  // True once Initialize has succeeded.
  static bool IsInitialized();

  // Imports a module of the package by its full path; false with the import's error pending.
  static bool ImportModule(const char* name, PyObject* module_dict);
  // Notes that a module of the package has loaded completely.
  static void AddModule(const char* name);

  // The type of a registered class by Python name, or null.
  static PyTypeObject* FindSpecialTypeObject(const char* name);
  static PyQAVREKSpecialType* getInfo(const char* name);
  // The part of a type name after its module path.
  static const char* StripModule(const char* type_name);

  // The whole import of a module of the package: creates it from the definition, imports the sibling
  // modules in order, checks the run time and calls the header registrations in order, then registers
  // the module. Returns the module, or null with ImportError:
  //   "Failed to load <name>: No module named <sibling>" (the sibling's own error as its cause),
  //   "Initialization failed for <name>, not compatible with qavrekmodules.Core",
  //   "Initialization failed for <name>: <reason>" when a registration fails.
  static PyObject* InitializeModule(PyModuleDef* definition, const char* name, std::initializer_list<const char*> siblings,
                                    std::initializer_list<header_registration> headers);
};

}  // namespace qavrek::python
