#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <typeinfo>

#include "Runtime/PyQAVREKTypeRegistry.h"

namespace qavrek::python {

// The record of every wrapped Python object, shared by all modules of the package; its layout is fixed.
struct PyQAVREKObject {
  PyObject_HEAD
  PyQAVREKSpecialType* class_info;
  // The address of a ptr_const of the class: the object's own heap holder, or, for a borrowed object,
  // a shared-pointer member inside its parent's library object.
  void* holder;
  // For a borrowed object, a heap-held std::shared_ptr<const void> to the parent's library object:
  // the member that `holder` points at lives as long as the borrowed object does. Null otherwise.
  void* aux_buffer;
  std::int32_t hash_cache;  // -1: not computed yet
  std::uint32_t reserved;
  PyObject* weak_list;
  PyObject* dict;
  unsigned char borrowed;  // 1: `holder` belongs to the parent and is never released here
};

inline constexpr Py_ssize_t PyQAVREKObject_size = 72;
inline constexpr Py_ssize_t PyQAVREKObject_weaklist_offset = 48;
inline constexpr Py_ssize_t PyQAVREKObject_dict_offset = 56;

inline PyQAVREKObject* as_wrapped(PyObject* object) noexcept { return reinterpret_cast<PyQAVREKObject*>(object); }

// True when the object's type is a registered wrapped class.
bool PyQAVREKObject_Check(PyObject* object) noexcept;

// A new object of the record's type that owns the holder (which it deletes at dealloc). On failure
// the holder is deleted and null is returned with a Python error.
PyObject* PyQAVREKObject_NewOwning(PyQAVREKSpecialType* record, void* holder);
// A new object that borrows the member holder and keeps the parent library object alive.
PyObject* PyQAVREKObject_NewBorrowed(PyQAVREKSpecialType* record, const void* member_holder,
                                     std::shared_ptr<const void> parent);

// The dealloc of every wrapped type.
void PyQAVREKObject_Dealloc(PyObject* self) noexcept;

// The representation of a wrapped object: its type name, its own address and its library object's.
PyObject* PyQAVREKObject_Repr_impl(PyObject* self, const void* object, PyTypeObject* type, const char* type_name);
// The tp_repr of every wrapped type.
PyObject* WrappedObjectRepr(PyObject* self) noexcept;

// The library object of a wrapped Python object as an untyped shared pointer, or an empty pointer with
// ValueError when the object holds none.
std::shared_ptr<const void> HeldObject(PyObject* self);

// The library object of the Python class `class_name` behind the argument: the object itself when its
// type is the class or derives from it (the pointer then addresses the class's part of the object),
// else a new object made by a constructor of the class that accepts the argument. The conversion is
// refused when allow_conversion is false (the library parameter is a shared pointer or a non-const
// reference). On failure an empty pointer with a Python error: TypeError "method requires a %.500s, a
// %.500s was provided." when nothing applies, ValueError for an object that holds no library object,
// RuntimeError for an object busy with a long call (see long_call.h).
// `expected` is the C++ class the caller will cast to; a registered class of another C++ type is a
// SystemError.
std::shared_ptr<const void> GetPointerFromObject(PyObject* object, const char* class_name,
                                                 const std::type_info& expected, bool allow_conversion);

// For a long call that writes into the library object behind the argument (an object of the Python class
// `class_name` or of a class derived from it, never a converted one): a private copy of the whole object,
// made by its own class's copy function and registered in `copies`, which publishes it into the object
// when the call ends. The result addresses the copy's part of class `class_name`; an argument named before
// gives the copy made then. On failure an empty pointer with a Python error: those of GetPointerFromObject,
// or TypeError when the object's class has no copy function or no way to publish one.
std::shared_ptr<const void> PrivateCopyOfObject(PyObject* object, const char* class_name,
                                                const std::type_info& expected, private_copies& copies);

// A new owning object of the Python class `class_name` that holds the library object; ValueError
// "cannot create object of unknown type \"%s\"" for an unknown class.
PyObject* BuildObjectFromSharedPointer(std::shared_ptr<const void> object, const char* class_name,
                                       const std::type_info& held);
// A new owning object holding a copy of the value made by the class's copy function; ValueError
// "no copy constructor for object of type \"%s\"" when the class has none.
PyObject* BuildObjectFromCopy(const void* value, const char* class_name, const std::type_info& held);
// A new borrowed object of the member shared pointer at `member_holder`, which keeps `parent` alive.
PyObject* BuildBorrowedObject(const void* member_holder, const char* class_name, const std::type_info& held,
                              std::shared_ptr<const void> parent);

}  // namespace qavrek::python
