#pragma once

#include <Python.h>

#include <memory>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "Core/aad_state_parameters_manager.h"
#include "Core/pointers.h"
#include "Frame/python_name.h"
#include "Runtime/PyQAVREKObject.h"
#include "Runtime/PyQAVREKTypeRegistry.h"

namespace qavrek::python {

// The typed side of the object record: how the holders of class T are made, shared and released.
// A holder is a heap-held ptr_const<T>; objects are shared as const, as everywhere in the library,
// and methods that change their object reach it through library_object() below.
template <class T>
struct holder_operations {
  static void release(void* holder) noexcept { std::unique_ptr<ptr_const<T>>(static_cast<ptr_const<T>*>(holder)).reset(); }

  static std::shared_ptr<const void> share(const void* holder) noexcept {
    return *static_cast<const ptr_const<T>*>(holder);
  }

  static void* make_holder(std::shared_ptr<const void> object) {
    return std::make_unique<ptr_const<T>>(std::static_pointer_cast<const T>(std::move(object))).release();
  }

  static std::shared_ptr<const void> copy(const void* object) {
    return std::make_shared<T>(*static_cast<const T*>(object));
  }

  // Whether a long call may write into a private copy of an object of T, which publish then writes back.
  static constexpr bool publishable =
      !std::is_abstract_v<T> && std::is_copy_constructible_v<T> &&
      (std::is_base_of_v<aad_state_parameters_manager, T> || std::is_copy_assignable_v<T>);

  // Writes the values of the copy at `source` into the object at `target`. A parameter set takes them
  // through its flat state: its values alone, which it keeps in storage meant to change also in a set
  // shared as const. Any other class is assigned.
  static void publish(const void* target, const void* source) {
    const T& values = *static_cast<const T*>(source);
    T& object = const_cast<T&>(*static_cast<const T*>(target));
    if constexpr (std::is_base_of_v<aad_state_parameters_manager, T>) {
      std::vector<double> state(values.state_parameters_size());
      values.get_state_parameters(state.data());
      object.set_state_parameters(state.data());
    } else {
      object = values;
    }
  }
};

template <class T, class Base>
const void* to_base(const void* object) noexcept {
  return static_cast<const Base*>(static_cast<const T*>(object));
}

// The library object of class T behind a Python object of T's type (or a type derived from it); an
// empty pointer with a Python error when the object holds none.
template <named_in_python T>
ptr_const<T> held(PyObject* self) {
  return std::static_pointer_cast<const T>(GetPointerFromObject(self, python_name<T>, typeid(T), false));
}

// Objects that Python creates are never const objects; the const of ptr_const is the library's
// convention for sharing. A non-const library operation called from Python reaches the object here.
template <class T>
T& library_object(const ptr_const<T>& object) {
  return const_cast<T&>(*object);
}

// A new owning Python object of T's type.
template <named_in_python T>
PyObject* build_owning(ptr_const<T> object) {
  return BuildObjectFromSharedPointer(std::move(object), python_name<T>, typeid(T));
}

// A new owning Python object that holds a copy of the value.
template <named_in_python T>
PyObject* build_copy(const T& value) {
  return BuildObjectFromCopy(&value, python_name<T>, typeid(T));
}

// A new borrowed Python object of a member shared pointer of the parent library object.
template <named_in_python T>
PyObject* build_borrowed(const ptr_const<T>& member, std::shared_ptr<const void> parent) {
  return BuildBorrowedObject(&member, python_name<T>, typeid(T), std::move(parent));
}

}  // namespace qavrek::python
