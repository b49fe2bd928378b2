#include "Runtime/long_call.h"

#include <utility>

#include "Runtime/object_use.h"
#include "Runtime/py_reference.h"

namespace qavrek::python {
namespace {

// Python runs signal handlers on the main thread only; elsewhere there is nothing to look for. An
// interpreter that cannot tell is looked at anyway: the look is harmless off the main thread.
bool on_main_thread() {
  static const unsigned long main_thread = [] {
    py_reference threading = py_reference::steal(PyImport_ImportModule("threading"));
    py_reference main =
        threading ? py_reference::steal(PyObject_CallMethod(threading.get(), "main_thread", nullptr)) : py_reference();
    py_reference ident = main ? py_reference::steal(PyObject_GetAttrString(main.get(), "ident")) : py_reference();
    const unsigned long value = ident ? PyLong_AsUnsignedLong(ident.get()) : 0;
    PyErr_Clear();
    return value;
  }();
  return main_thread == 0 || main_thread == PyThread_get_thread_ident();
}

}  // namespace

long_call::long_call(std::shared_ptr<const void> busy_object)
    : busy_object_(std::move(busy_object)),
      handles_signals_(on_main_thread()),
      next_look_(clock::now() + look_interval),
      installed_(*this) {
  if (busy_object_ != nullptr) object_use::begin_long_call(busy_object_);
  state_ = PyEval_SaveThread();
}

long_call::~long_call() {
  PyEval_RestoreThread(state_);
  if (busy_object_ != nullptr) object_use::end_long_call(busy_object_);
}

void long_call::operator()() {
  if (!handles_signals_) return;
  if (clock::now() < next_look_) return;
  PyEval_RestoreThread(state_);
  const int raised = PyErr_CheckSignals();
  state_ = PyEval_SaveThread();
  next_look_ = clock::now() + look_interval;
  // The handler's exception stays pending for the wrapper, which returns it once the lock is back.
  if (raised != 0) throw interrupted();
}

}  // namespace qavrek::python
