#include "Runtime/python_error.h"

#include <new>
#include <stdexcept>

#include "Core/error.h"
#include "Core/interruption.h"

namespace qavrek::python {

void set_error(PyObject* type, std::string_view message) noexcept {
  py_reference text = py_reference::steal(
      PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (!text) return;  // the decoding failure is the pending error
  PyErr_SetObject(type, text.get());
}

void raise_current_exception() noexcept {
  try {
    throw;
  } catch (const python_error_already_set&) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "a helper reported a Python error but set none");
  } catch (const interrupted& error) {
    // The signal handler's exception (KeyboardInterrupt for Ctrl-C) is pending already.
    if (!PyErr_Occurred()) set_error(PyExc_KeyboardInterrupt, error.what());
  } catch (const NotImplementedError& error) {
    set_error(PyExc_NotImplementedError, error.what());
  } catch (const Error& error) {
    set_error(PyExc_RuntimeError, error.what());
  } catch (const std::bad_alloc& error) {
    set_error(PyExc_MemoryError, error.what());
  } catch (const std::out_of_range& error) {
    set_error(PyExc_IndexError, error.what());
  } catch (const std::invalid_argument& error) {
    set_error(PyExc_ValueError, error.what());
  } catch (const std::length_error& error) {
    set_error(PyExc_ValueError, error.what());
  } catch (const std::domain_error& error) {
    set_error(PyExc_ValueError, error.what());
  } catch (const std::exception& error) {
    set_error(PyExc_RuntimeError, error.what());
  } catch (...) {
    PyErr_SetString(PyExc_RuntimeError, "unknown C++ exception");
  }
}

py_reference take_pending_exception() noexcept {
#if PY_VERSION_HEX >= 0x030C0000
  return py_reference::steal(PyErr_GetRaisedException());
#else
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  if (type == nullptr) return {};
  PyErr_NormalizeException(&type, &value, &traceback);
  if (traceback != nullptr && value != nullptr) PyException_SetTraceback(value, traceback);
  Py_XDECREF(type);
  Py_XDECREF(traceback);
  return py_reference::steal(value);
#endif
}

void restore_exception(py_reference exception) noexcept {
  if (!exception) return;
#if PY_VERSION_HEX >= 0x030C0000
  PyErr_SetRaisedException(exception.release());
#else
  PyObject* value = exception.release();
  PyErr_Restore(Py_NewRef(reinterpret_cast<PyObject*>(Py_TYPE(value))), value, PyException_GetTraceback(value));
#endif
}

std::string exception_text(PyObject* exception) {
  if (exception == nullptr) return "unknown error";
  py_reference text = py_reference::steal(PyObject_Str(exception));
  const char* utf8 = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
  if (utf8 == nullptr) {
    PyErr_Clear();
    return "unprintable error";
  }
  return std::string(Py_TYPE(exception)->tp_name) + ": " + utf8;
}

void raise_with_cause(PyObject* type, std::string_view message) noexcept {
  py_reference cause = take_pending_exception();
  set_error(type, message);
  if (!cause) return;
  py_reference raised = take_pending_exception();
  if (raised) PyException_SetCause(raised.get(), cause.release());
  restore_exception(std::move(raised));
}

}  // namespace qavrek::python
