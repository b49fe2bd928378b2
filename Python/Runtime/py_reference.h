#pragma once

#include <Python.h>

#include <utility>

namespace qavrek::python {

// Owns one reference to a Python object, so that every exit of a wrapper releases what it took,
// also when a C++ exception unwinds through it.
class py_reference {
 public:
  py_reference() noexcept = default;

  // Takes over a new reference (a null one is allowed and means "failed").
  static py_reference steal(PyObject* object) noexcept { return py_reference(object); }
  // Adds a reference of its own to a borrowed object.
  static py_reference borrow(PyObject* object) noexcept {
    Py_XINCREF(object);
    return py_reference(object);
  }

  py_reference(const py_reference&) = delete;
  py_reference& operator=(const py_reference&) = delete;
  py_reference(py_reference&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  py_reference& operator=(py_reference&& other) noexcept {
    py_reference taken(std::move(other));
    std::swap(object_, taken.object_);
    return *this;
  }
  ~py_reference() { Py_XDECREF(object_); }

  PyObject* get() const noexcept { return object_; }
  // Hands the reference to the caller (a Python API that steals it, or a wrapper's result).
  PyObject* release() noexcept { return std::exchange(object_, nullptr); }
  explicit operator bool() const noexcept { return object_ != nullptr; }

 private:
  explicit py_reference(PyObject* object) noexcept : object_(object) {}

  PyObject* object_ = nullptr;
};

}  // namespace qavrek::python
