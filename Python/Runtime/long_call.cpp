#include "Runtime/long_call.h"

#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "Runtime/object_use.h"
#include "Runtime/py_reference.h"
#include "Runtime/python_error.h"

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

// The long calls in progress and the publications into the caller's objects take turns: a publication
// waits until no long call runs, and long calls wait while one waits or runs, so that a publication
// never waits behind a stream of them. Waiting, either side looks for signals between short sleeps.
class turns {
 public:
  template <class Look>
  void enter_long_call(Look&& look) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (publications_ > 0) wait(lock, look);
    ++long_calls_;
  }

  void leave_long_call() noexcept {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (--long_calls_ == 0) changed_.notify_all();
  }

  template <class Look>
  void enter_publication(Look&& look) {
    std::unique_lock<std::mutex> lock(mutex_);
    ++publications_;
    try {
      while (long_calls_ > 0 || publishing_) wait(lock, look);
    } catch (...) {
      if (!lock.owns_lock()) lock.lock();
      --publications_;
      changed_.notify_all();
      throw;
    }
    publishing_ = true;
  }

  void leave_publication() noexcept {
    const std::lock_guard<std::mutex> lock(mutex_);
    publishing_ = false;
    --publications_;
    changed_.notify_all();
  }

 private:
  static constexpr std::chrono::milliseconds sleep{10};

  // The look runs without the mutex: it may take the interpreter lock.
  template <class Look>
  void wait(std::unique_lock<std::mutex>& lock, Look& look) {
    changed_.wait_for(lock, sleep);
    lock.unlock();
    look();
    lock.lock();
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  size_t long_calls_ = 0;
  size_t publications_ = 0;  // waiting or running
  bool publishing_ = false;
};

turns& process_turns() {
  static turns shared;
  return shared;
}

// The long calls under way on this thread: more than one when a signal handler, run at a look for signals,
// calls a long call in turn. That one runs within the turn of the call it interrupted.
thread_local size_t long_calls_on_this_thread = 0;

}  // namespace

long_call::long_call(std::shared_ptr<const void> busy_object)
    : busy_object_(std::move(busy_object)),
      handles_signals_(on_main_thread()),
      next_look_(clock::now() + look_interval),
      installed_(*this) {
  if (busy_object_ != nullptr) object_use::begin_long_call(busy_object_);
  state_ = PyEval_SaveThread();
  try {
    if (long_calls_on_this_thread == 0) process_turns().enter_long_call([this] { (*this)(); });
  } catch (...) {
    PyEval_RestoreThread(state_);
    if (busy_object_ != nullptr) object_use::end_long_call(busy_object_);
    throw;
  }
  ++long_calls_on_this_thread;
}

// The object is free before the turn passes: a publication waiting for this call writes nothing while a
// Python thread still sees the object busy.
long_call::~long_call() {
  PyEval_RestoreThread(state_);
  if (busy_object_ != nullptr) object_use::end_long_call(busy_object_);
  if (--long_calls_on_this_thread == 0) process_turns().leave_long_call();
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

void long_call::exclusively(const std::function<void()>& write) {
  // It would wait for the call under way on this thread, whose signal handler asks for it.
  if (long_calls_on_this_thread > 0)
    throw std::logic_error("a long call cannot publish what it wrote from a signal handler run within another");
  PyThreadState* state = PyEval_SaveThread();
  clock::time_point next_look = clock::now() + look_interval;
  try {
    process_turns().enter_publication([&] {
      if (clock::now() < next_look) return;
      PyEval_RestoreThread(state);
      const int raised = PyErr_CheckSignals();
      state = PyEval_SaveThread();
      next_look = clock::now() + look_interval;
      if (raised != 0) throw python_error_already_set();
    });
  } catch (...) {
    PyEval_RestoreThread(state);
    throw;
  }
  // Long calls wait now; a thread that holds the lock meanwhile releases it before it waits for them.
  PyEval_RestoreThread(state);
  try {
    write();
  } catch (...) {
    process_turns().leave_publication();
    throw;
  }
  process_turns().leave_publication();
}

void long_call::publish_after_interruption(const private_copies& writes) noexcept {
  if (writes.empty()) return;
  py_reference stopping = take_pending_exception();
  try {
    writes.publish();
  } catch (...) {
    // A second signal while waiting, or a copy that cannot be written back: the objects keep their values.
    PyErr_Clear();
  }
  restore_exception(std::move(stopping));
}

}  // namespace qavrek::python
