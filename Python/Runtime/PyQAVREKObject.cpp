#include "Runtime/PyQAVREKObject.h"

#include <utility>

#include "Runtime/object_use.h"
#include "Runtime/py_reference.h"
#include "Runtime/python_error.h"
#include "Runtime/qavrekPythonOverload.h"
#include "Runtime/qavrekPythonUtil.h"

namespace qavrek::python {

static_assert(offsetof(PyQAVREKObject, class_info) == 16);
static_assert(offsetof(PyQAVREKObject, holder) == 24);
static_assert(offsetof(PyQAVREKObject, aux_buffer) == 32);
static_assert(offsetof(PyQAVREKObject, hash_cache) == 40);
static_assert(offsetof(PyQAVREKObject, reserved) == 44);
static_assert(offsetof(PyQAVREKObject, weak_list) == PyQAVREKObject_weaklist_offset);
static_assert(offsetof(PyQAVREKObject, dict) == PyQAVREKObject_dict_offset);
static_assert(offsetof(PyQAVREKObject, borrowed) == 64);
static_assert(sizeof(PyQAVREKObject) == PyQAVREKObject_size);

namespace {

using parent_keeper = std::shared_ptr<const void>;

// The fields every creation sets; the object is not yet usable when this fails.
PyObject* allocate(PyQAVREKSpecialType* record) {
  PyQAVREKObject* self = PyObject_New(PyQAVREKObject, record->type);
  if (self == nullptr) return nullptr;
  self->class_info = record;
  self->holder = nullptr;
  self->aux_buffer = nullptr;
  self->hash_cache = -1;
  self->reserved = 0;
  self->weak_list = nullptr;
  self->borrowed = 0;
  self->dict = PyDict_New();
  if (self->dict == nullptr) {
    PyObject_Free(self);
    return nullptr;
  }
  return reinterpret_cast<PyObject*>(self);
}

void check_held_type(PyQAVREKSpecialType* record, const std::type_info& held) {
  if (*record->operations->library_type != held) {
    PyErr_Format(PyExc_SystemError, "%s wraps another C++ class than the one given (%s)", record->type->tp_name,
                 held.name());
    throw python_error_already_set();
  }
}

PyQAVREKSpecialType* known_class(const char* class_name) {
  PyQAVREKSpecialType* record = PyQAVREKObject_find(class_name);
  if (record == nullptr) {
    PyErr_Format(PyExc_ValueError, "cannot create object of unknown type \"%s\"", class_name);
    throw python_error_already_set();
  }
  return record;
}

// The address of the class's part of an object held by a wrapped object of a type derived from it.
const void* upcast(PyQAVREKSpecialType* from, const void* object, PyQAVREKSpecialType* to) {
  while (from != to) {
    PyQAVREKSpecialType* base = PyQAVREKSpecialType_ofType(from->type->tp_base);
    if (from->operations->to_base == nullptr || base == nullptr) {
      PyErr_Format(PyExc_SystemError, "%s has no known way to its base %s", from->type->tp_name, to->type->tp_name);
      throw python_error_already_set();
    }
    object = from->operations->to_base(object);
    from = base;
  }
  return object;
}

std::shared_ptr<const void> refuse(PyObject* object, const char* class_name) {
  if (PyErr_Occurred()) {
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) return {};
    PyErr_Clear();
  }
  char message[2048];
  PyOS_snprintf(message, sizeof message, "method requires a %.500s, a %.500s was provided.", class_name,
                qavrekPythonUtil::StripModule(Py_TYPE(object)->tp_name));
  PyErr_SetString(PyExc_TypeError, message);
  return {};
}

}  // namespace

bool PyQAVREKObject_Check(PyObject* object) noexcept { return PyQAVREKSpecialType_ofType(Py_TYPE(object)) != nullptr; }

PyObject* PyQAVREKObject_NewOwning(PyQAVREKSpecialType* record, void* holder) {
  PyObject* self = allocate(record);
  if (self == nullptr) {
    record->operations->release_holder(holder);
    return nullptr;
  }
  as_wrapped(self)->holder = holder;
  return self;
}

PyObject* PyQAVREKObject_NewBorrowed(PyQAVREKSpecialType* record, const void* member_holder,
                                     std::shared_ptr<const void> parent) {
  auto keeper = std::make_unique<parent_keeper>(std::move(parent));
  PyObject* self = allocate(record);
  if (self == nullptr) return nullptr;
  PyQAVREKObject* wrapped = as_wrapped(self);
  // The member is never written through this object unless the library itself declares it writable.
  wrapped->holder = const_cast<void*>(member_holder);
  wrapped->aux_buffer = keeper.release();
  wrapped->borrowed = 1;
  return self;
}

void PyQAVREKObject_Dealloc(PyObject* self) noexcept {
  PyQAVREKObject* wrapped = as_wrapped(self);
  if (wrapped->weak_list != nullptr) PyObject_ClearWeakRefs(self);
  if (wrapped->borrowed == 0 && wrapped->holder != nullptr) wrapped->class_info->operations->release_holder(wrapped->holder);
  wrapped->holder = nullptr;
  std::unique_ptr<parent_keeper>(static_cast<parent_keeper*>(std::exchange(wrapped->aux_buffer, nullptr))).reset();
  Py_CLEAR(wrapped->dict);
  Py_TYPE(self)->tp_free(self);
}

PyObject* PyQAVREKObject_Repr_impl(PyObject* self, const void* object, PyTypeObject* type, const char* type_name) {
  (void)type;
  const char* kind = as_wrapped(self)->borrowed != 0 ? "borrowed " : "";
  if (object == nullptr) return PyUnicode_FromFormat("<%s%s object at %p holding nothing>", kind, type_name, self);
  return PyUnicode_FromFormat("<%s%s object at %p holding %p>", kind, type_name, self, object);
}

PyObject* WrappedObjectRepr(PyObject* self) noexcept {
  return guarded<PyObject*>(nullptr, [&] {
    PyQAVREKObject* wrapped = as_wrapped(self);
    const std::shared_ptr<const void> object = wrapped->holder == nullptr
                                                   ? nullptr
                                                   : wrapped->class_info->operations->share(wrapped->holder);
    return PyQAVREKObject_Repr_impl(self, object.get(), Py_TYPE(self), Py_TYPE(self)->tp_name);
  });
}

std::shared_ptr<const void> HeldObject(PyObject* self) {
  PyQAVREKObject* wrapped = as_wrapped(self);
  std::shared_ptr<const void> object =
      wrapped->holder == nullptr ? nullptr : wrapped->class_info->operations->share(wrapped->holder);
  if (object == nullptr)
    PyErr_Format(PyExc_ValueError, "the %s object holds no library object", qavrekPythonUtil::StripModule(Py_TYPE(self)->tp_name));
  return object;
}

std::shared_ptr<const void> GetPointerFromObject(PyObject* object, const char* class_name,
                                                 const std::type_info& expected, bool allow_conversion) {
  PyQAVREKSpecialType* record = PyQAVREKObject_find(class_name);
  if (record == nullptr) return refuse(object, class_name);
  check_held_type(record, expected);

  if (PyQAVREKSpecialType* own = PyQAVREKSpecialType_ofType(Py_TYPE(object));
      own != nullptr && PyType_IsSubtype(Py_TYPE(object), record->type)) {
    std::shared_ptr<const void> held = HeldObject(object);
    if (held == nullptr) return {};
    if (object_use::in_long_call(held)) {
      PyErr_Format(PyExc_RuntimeError, "the %s object is busy with a long call",
                   qavrekPythonUtil::StripModule(Py_TYPE(object)->tp_name));
      return {};
    }
    const void* part = upcast(own, held.get(), record);
    return std::shared_ptr<const void>(std::move(held), part);
  }

  PyMethodDef* conversion = qavrekPythonOverload::FindConversionMethod(record->constructors, object);
  if (conversion != nullptr) {
    if (!allow_conversion) {
      PyErr_Format(PyExc_TypeError, "cannot pass %.500s as a non-const %.500s reference",
                   qavrekPythonUtil::StripModule(Py_TYPE(object)->tp_name), class_name);
      return {};
    }
    py_reference arguments = py_reference::steal(PyTuple_Pack(1, object));
    if (!arguments) return {};
    py_reference converted = py_reference::steal(conversion->ml_meth(nullptr, arguments.get()));
    // The shared pointer keeps the converted library object alive once its Python object is gone.
    if (converted && PyType_IsSubtype(Py_TYPE(converted.get()), record->type)) return HeldObject(converted.get());
  }
  return refuse(object, class_name);
}

std::shared_ptr<const void> PrivateCopyOfObject(PyObject* object, const char* class_name,
                                                const std::type_info& expected, private_copies& copies) {
  std::shared_ptr<const void> part = GetPointerFromObject(object, class_name, expected, false);
  if (part == nullptr) return {};
  // The argument is of the class or derives from it: its own record copies and publishes the whole object.
  PyQAVREKSpecialType* own = PyQAVREKSpecialType_ofType(Py_TYPE(object));
  const std::shared_ptr<const void> original = HeldObject(object);
  if (original == nullptr) return {};
  std::shared_ptr<const void> copy = copies.copy_of(original);
  if (copy == nullptr) {
    if (own->copy == nullptr || own->operations->publish == nullptr) {
      PyErr_Format(PyExc_TypeError, "a long call cannot write into a private copy of a %s object",
                   qavrekPythonUtil::StripModule(Py_TYPE(object)->tp_name));
      return {};
    }
    copy = own->copy(original.get());
    copies.add(original, copy, own->operations->publish);
  }
  const void* copy_part = upcast(own, copy.get(), PyQAVREKObject_find(class_name));
  return std::shared_ptr<const void>(std::move(copy), copy_part);
}

PyObject* BuildObjectFromSharedPointer(std::shared_ptr<const void> object, const char* class_name,
                                       const std::type_info& held) {
  PyQAVREKSpecialType* record = known_class(class_name);
  check_held_type(record, held);
  return PyQAVREKObject_NewOwning(record, record->operations->make_holder(std::move(object)));
}

PyObject* BuildObjectFromCopy(const void* value, const char* class_name, const std::type_info& held) {
  PyQAVREKSpecialType* record = known_class(class_name);
  check_held_type(record, held);
  if (record->copy == nullptr) {
    PyErr_Format(PyExc_ValueError, "no copy constructor for object of type \"%s\"", class_name);
    return nullptr;
  }
  return PyQAVREKObject_NewOwning(record, record->operations->make_holder(record->copy(value)));
}

PyObject* BuildBorrowedObject(const void* member_holder, const char* class_name, const std::type_info& held,
                              std::shared_ptr<const void> parent) {
  PyQAVREKSpecialType* record = known_class(class_name);
  check_held_type(record, held);
  return PyQAVREKObject_NewBorrowed(record, member_holder, std::move(parent));
}

}  // namespace qavrek::python
