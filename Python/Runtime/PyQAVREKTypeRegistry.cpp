#include "Runtime/PyQAVREKTypeRegistry.h"

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>

#include "Runtime/method_descriptor.h"
#include "Runtime/py_reference.h"
#include "Runtime/qavrekPythonUtil.h"

namespace qavrek::python {
namespace {

// The classes of every module of the process, by Python name and by type object.
struct special_type_registry {
  std::map<std::string, std::unique_ptr<PyQAVREKSpecialType>, std::less<>> by_name;
  std::unordered_map<const PyTypeObject*, PyQAVREKSpecialType*> by_type;
};

special_type_registry& registry() {
  static special_type_registry instance;
  return instance;
}

// Puts one descriptor per method-table entry into the type's dictionary.
bool install_methods(PyTypeObject* type, PyMethodDef* methods) {
  if (methods == nullptr) return true;
  for (PyMethodDef* entry = methods; entry->ml_name != nullptr; ++entry) {
    py_reference descriptor = py_reference::steal(method_descriptor::create(entry, type));
    if (!descriptor) return false;
    if (PyDict_SetItemString(type->tp_dict, entry->ml_name, descriptor.get()) < 0) return false;
  }
  PyType_Modified(type);
  return true;
}

}  // namespace

PyTypeObject* PyQAVREKSpecialType_Add(PyTypeObject* type, PyMethodDef* methods, PyMethodDef* constructors,
                                      copy_function copy, const class_operations* operations) {
  const char* name = qavrekPythonUtil::StripModule(type->tp_name);
  special_type_registry& classes = registry();
  auto found = classes.by_name.find(name);
  if (found != classes.by_name.end() && found->second->type != type) {
    PyErr_Format(PyExc_TypeError, "cannot register %s: the name \"%s\" belongs to %s already", type->tp_name, name,
                 found->second->type->tp_name);
    return nullptr;
  }
  if (found == classes.by_name.end())
    found = classes.by_name.emplace(name, std::make_unique<PyQAVREKSpecialType>()).first;
  *found->second = PyQAVREKSpecialType{type, methods, constructors, copy, operations};
  classes.by_type[type] = found->second.get();
  return type;
}

bool PyQAVREKSpecialType_Ready(PyTypeObject* type, PyTypeObject* base) {
  if (PyType_GetFlags(type) & Py_TPFLAGS_READY) return true;
  PyQAVREKSpecialType* record = PyQAVREKSpecialType_ofType(type);
  if (record == nullptr) {
    PyErr_Format(PyExc_SystemError, "%s is readied before it is registered", type->tp_name);
    return false;
  }
  type->tp_base = base;
  if (PyType_Ready(type) < 0) return false;
  return install_methods(type, record->methods);
}

PyTypeObject PyQAVREKSpecialType_Blank() noexcept {
  PyTypeObject type;
  std::memset(&type, 0, sizeof type);
  Py_SET_REFCNT(reinterpret_cast<PyObject*>(&type), 1);
  return type;
}

PyObject* PyQAVREKSpecialType_Refuse(PyTypeObject*, PyObject*, PyObject*) noexcept {
  PyErr_SetString(PyExc_TypeError, "this class cannot be instantiated");
  return nullptr;
}

int PyQAVREKSpecialType_VisitNothing(PyObject*, visitproc, void*) noexcept { return 0; }

PyQAVREKSpecialType* PyQAVREKObject_find(const char* python_name) {
  special_type_registry& classes = registry();
  const auto found = classes.by_name.find(std::string_view(python_name));
  return found == classes.by_name.end() ? nullptr : found->second.get();
}

PyQAVREKSpecialType* PyQAVREKSpecialType_ofType(const PyTypeObject* type) {
  special_type_registry& classes = registry();
  const auto found = classes.by_type.find(type);
  return found == classes.by_type.end() ? nullptr : found->second;
}

}  // namespace qavrek::python
