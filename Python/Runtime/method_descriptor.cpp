#include "Runtime/method_descriptor.h"

#include "Runtime/PyQAVREKTypeRegistry.h"
#include "Runtime/qavrekPythonUtil.h"

namespace qavrek::python {
namespace {

struct descriptor_object {
  PyObject_HEAD
  PyMethodDef* definition;
  PyTypeObject* owner;
};

descriptor_object* as_descriptor(PyObject* self) { return reinterpret_cast<descriptor_object*>(self); }

void descriptor_dealloc(PyObject* self) {
  Py_XDECREF(reinterpret_cast<PyObject*>(as_descriptor(self)->owner));
  PyObject_Free(self);
}

PyObject* descriptor_get(PyObject* self, PyObject* object, PyObject*) {
  descriptor_object* descriptor = as_descriptor(self);
  PyObject* bound_to = object != nullptr ? object : reinterpret_cast<PyObject*>(descriptor->owner);
  return PyCFunction_NewEx(descriptor->definition, bound_to, nullptr);
}

PyObject* descriptor_repr(PyObject* self) {
  descriptor_object* descriptor = as_descriptor(self);
  return PyUnicode_FromFormat("<method '%s' of '%s' objects>", descriptor->definition->ml_name,
                              qavrekPythonUtil::StripModule(descriptor->owner->tp_name));
}

PyObject* descriptor_doc(PyObject* self, void*) {
  const char* doc = as_descriptor(self)->definition->ml_doc;
  if (doc == nullptr) Py_RETURN_NONE;
  return PyUnicode_FromString(doc);
}

PyObject* descriptor_name(PyObject* self, void*) { return PyUnicode_FromString(as_descriptor(self)->definition->ml_name); }

PyObject* descriptor_qualname(PyObject* self, void*) {
  descriptor_object* descriptor = as_descriptor(self);
  return PyUnicode_FromFormat("%s.%s", qavrekPythonUtil::StripModule(descriptor->owner->tp_name),
                              descriptor->definition->ml_name);
}

PyGetSetDef descriptor_getset[] = {
    {"__doc__", &descriptor_doc, nullptr, nullptr, nullptr},
    {"__name__", &descriptor_name, nullptr, nullptr, nullptr},
    {"__qualname__", &descriptor_qualname, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyTypeObject descriptor_type_object() {
  PyTypeObject type = PyQAVREKSpecialType_Blank();
  type.tp_name = "qavrekmodules.method";
  type.tp_basicsize = sizeof(descriptor_object);
  type.tp_dealloc = &descriptor_dealloc;
  type.tp_repr = &descriptor_repr;
  type.tp_flags = Py_TPFLAGS_DEFAULT;
  type.tp_getset = descriptor_getset;
  type.tp_descr_get = &descriptor_get;
  type.tp_free = PyObject_Free;
  return type;
}

PyTypeObject descriptor_type = descriptor_type_object();

}  // namespace

bool method_descriptor::ready() { return PyType_Ready(&descriptor_type) == 0; }

PyObject* method_descriptor::create(PyMethodDef* definition, PyTypeObject* owner) {
  if (!ready()) return nullptr;
  descriptor_object* descriptor = PyObject_New(descriptor_object, &descriptor_type);
  if (descriptor == nullptr) return nullptr;
  descriptor->definition = definition;
  descriptor->owner = owner;
  Py_INCREF(reinterpret_cast<PyObject*>(owner));
  return reinterpret_cast<PyObject*>(descriptor);
}

}  // namespace qavrek::python
