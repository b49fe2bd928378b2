#pragma once

#include <Python.h>

#include <exception>
#include <string>
#include <string_view>

#include "Runtime/py_reference.h"

namespace qavrek::python {

// Thrown by helpers that have already set a Python error, to unwind to the wrapper's guard.
class python_error_already_set : public std::exception {
 public:
  const char* what() const noexcept override { return "a Python error is pending"; }
};

// Sets a Python exception of the given type; the message is decoded as UTF-8 with replacement, so
// that a library message never turns into a decoding error.
void set_error(PyObject* type, std::string_view message) noexcept;

// Sets the Python exception that stands for the C++ exception being handled: the pending exception of
// the signal handler that interrupted a long call (KeyboardInterrupt when none is pending), RuntimeError
// for the library's Error, NotImplementedError for its NotImplementedError, MemoryError for failed
// allocations, IndexError for std::out_of_range, ValueError for std::invalid_argument, std::length_error
// and std::domain_error, RuntimeError for anything else. Call only from inside a catch block.
void raise_current_exception() noexcept;

// Runs the body and turns any C++ exception into the pending Python error and `failure`: the one way
// by which a wrapper returns to the interpreter.
template <class Result, class Body>
Result guarded(Result failure, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    raise_current_exception();
    return failure;
  }
}

// The pending exception as a normalised exception object (null when none is pending); clears it.
py_reference take_pending_exception() noexcept;
// Makes the exception pending again.
void restore_exception(py_reference exception) noexcept;
// The text of str(exception), or a placeholder when even that fails.
std::string exception_text(PyObject* exception);

// Replaces the pending exception by a new one of the given type and message whose __cause__ is the
// replaced one, so that the reason stays visible.
void raise_with_cause(PyObject* type, std::string_view message) noexcept;

}  // namespace qavrek::python
