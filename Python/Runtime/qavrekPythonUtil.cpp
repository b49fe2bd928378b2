#include "Runtime/qavrekPythonUtil.h"

#include <cstring>
#include <set>
#include <string>

#include "Runtime/method_descriptor.h"
#include "Runtime/py_reference.h"
#include "Runtime/python_error.h"

namespace qavrek::python {
namespace {

bool initialized = false;

std::set<std::string, std::less<>>& loaded_modules() {
  static std::set<std::string, std::less<>> modules;
  return modules;
}

}  // namespace

bool qavrekPythonUtil::Initialize() {
  if (!method_descriptor::ready()) return false;
  initialized = true;
  return true;
}

bool qavrekPythonUtil::IsInitialized() { return initialized; }

bool qavrekPythonUtil::ImportModule(const char* name, PyObject* module_dict) {
  (void)module_dict;  // siblings are reached through the registries, never through this module's names
  py_reference module = py_reference::steal(PyImport_ImportModule(name));
  return static_cast<bool>(module);
}

void qavrekPythonUtil::AddModule(const char* name) { loaded_modules().emplace(name); }

PyTypeObject* qavrekPythonUtil::FindSpecialTypeObject(const char* name) {
  PyQAVREKSpecialType* record = PyQAVREKObject_find(name);
  return record == nullptr ? nullptr : record->type;
}

PyQAVREKSpecialType* qavrekPythonUtil::getInfo(const char* name) { return PyQAVREKObject_find(name); }

const char* qavrekPythonUtil::StripModule(const char* type_name) {
  const char* dot = std::strrchr(type_name, '.');
  return dot == nullptr ? type_name : dot + 1;
}

PyObject* qavrekPythonUtil::InitializeModule(PyModuleDef* definition, const char* name,
                                             std::initializer_list<const char*> siblings,
                                             std::initializer_list<header_registration> headers) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    // The module is created before any sibling is imported: the import machinery names it after the
    // package path only while no other extension module is loading.
    py_reference module = py_reference::steal(PyModule_Create(definition));
    if (!module) return nullptr;
    PyObject* dict = PyModule_GetDict(module.get());
    if (dict == nullptr) {
      PyErr_Format(PyExc_ImportError, "can't get dictionary for module %s", name);
      return nullptr;
    }
    for (const char* sibling : siblings) {
      if (!ImportModule(sibling, dict)) {
        raise_with_cause(PyExc_ImportError,
                         std::string("Failed to load ") + name + ": No module named " + sibling);
        return nullptr;
      }
    }
    if (!IsInitialized()) {
      PyErr_Format(PyExc_ImportError, "Initialization failed for %s, not compatible with %s", name,
                   "qavrekmodules.Core");
      return nullptr;
    }
    for (header_registration registration : headers) {
      if (registration(dict) < 0) {
        const py_reference reason = take_pending_exception();
        const std::string text = exception_text(reason.get());
        restore_exception(py_reference::borrow(reason.get()));
        raise_with_cause(PyExc_ImportError, std::string("Initialization failed for ") + name + ": " + text);
        return nullptr;
      }
    }
    AddModule(name);
    return module.release();
  });
}

}  // namespace qavrek::python
