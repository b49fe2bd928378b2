#pragma once

#include <Python.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <type_traits>

#include "Core/interruption.h"
#include "Runtime/private_copies.h"

namespace qavrek::python {

// A library call that may run long, as Python users expect one to behave: it runs without the
// interpreter lock, so that other Python threads go on meanwhile, and at the library's interruption
// points (`interruption::point()`) it looks for pending signals about ten times a second. A signal
// handler that raises (Ctrl-C's KeyboardInterrupt) stops the call with its exception; the call stops
// between two steps of its loop and leaves its objects usable. Only the main thread runs signal
// handlers, so a long call on another thread runs to its end.
//
// While the call lives its library object is busy (see object_use): other Python calls on it fail
// instead of racing with it. The body must touch no Python object, and writes into no object that
// other threads may read: what it writes for the caller it writes into private copies (see
// private_copies), published when it ends. Publishing waits until no long call runs, and long calls
// starting meanwhile wait for it, so that no code running without the lock reads an object while it
// is written.
class long_call final : private interruption::check {
 public:
  // Marks the object busy (an empty pointer marks nothing), releases the interpreter lock, installs the
  // interruption check on this thread and waits for a publication in progress to end.
  explicit long_call(std::shared_ptr<const void> busy_object);
  // Takes the lock back, then frees the object.
  ~long_call();

  long_call(const long_call&) = delete;
  long_call& operator=(const long_call&) = delete;

  // The body's result, computed as a long call.
  template <class Body>
  static decltype(auto) run(std::shared_ptr<const void> busy_object, Body&& body) {
    const long_call call(std::move(busy_object));
    return body();
  }

  // The body's result, computed as a long call that writes into the private copies `writes`, which are
  // then published into the caller's objects: when the body returns, or when a signal stops it (the
  // copies then hold what its last completed step wrote). A body that fails otherwise publishes
  // nothing, and neither does a call whose publication a second signal stops while it waits.
  template <class Body>
  static decltype(auto) run(std::shared_ptr<const void> busy_object, const private_copies& writes, Body&& body) {
    try {
      if constexpr (std::is_void_v<decltype(body())>) {
        run(std::move(busy_object), std::forward<Body>(body));
        writes.publish();
      } else {
        decltype(auto) result = run(std::move(busy_object), std::forward<Body>(body));
        writes.publish();
        return result;
      }
    } catch (const interrupted&) {
      publish_after_interruption(writes);
      throw;
    }
  }

  // Runs `write` with the interpreter lock held (the caller holds it) while no long call runs, the ones
  // that start meanwhile waiting: nothing that runs without the lock reads what it writes halfway. The
  // wait looks for signals as a long call does; a handler that raises ends it with its exception pending
  // (python_error_already_set), and `write` does not run.
  static void exclusively(const std::function<void()>& write);

  // How long the check lets pass between two looks at the signals.
  static constexpr std::chrono::milliseconds look_interval{100};

 private:
  using clock = std::chrono::steady_clock;

  void operator()() override;
  // The stopping signal's exception stays pending, whatever happens to the publication.
  static void publish_after_interruption(const private_copies& writes) noexcept;

  std::shared_ptr<const void> busy_object_;
  bool handles_signals_;
  clock::time_point next_look_;
  PyThreadState* state_ = nullptr;
  interruption::scope installed_;
};

// Runs step(first, count) over consecutive chunks that cover [0, total), with an interruption point
// between two chunks, for operations that the library defines piecewise (a skip of n numbers is the
// same as a skip of a and one of n - a). A chunk doubles while one takes under a millisecond and
// halves when one takes over twenty, so that a step whose cost grows with its count can be stopped
// within the look interval and one whose cost does not (a skip by jump-ahead) ends in a few calls.
template <class Step>
void in_chunks(size_t total, Step&& step) {
  using clock = std::chrono::steady_clock;
  size_t chunk = size_t{1} << 16;
  for (size_t first = 0; first < total;) {
    if (first > 0) interruption::point();
    const size_t count = std::min(chunk, total - first);
    const clock::time_point start = clock::now();
    step(first, count);
    first += count;
    const clock::duration took = clock::now() - start;
    if (took < std::chrono::milliseconds(1) && chunk <= total / 2)
      chunk *= 2;
    else if (took > std::chrono::milliseconds(20) && chunk > 1)
      chunk /= 2;
  }
}

}  // namespace qavrek::python
