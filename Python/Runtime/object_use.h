#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace qavrek::python {

// What Python does with a library object besides calling it: buffers exported over its numbers, long
// calls that run on it without the interpreter lock, and long calls that read it (an argument).
// Operations that would conflict are refused instead of racing: an object busy with a long call is
// refused to every other Python call, an object that a long call reads to what would write it in place,
// and an object whose numbers are exported keeps its storage. Every Python object that holds the library
// object (owning, borrowed or as its base type) sees the same state, kept by the object's shared
// ownership. Called with the interpreter lock held.
class object_use {
 public:
  static void add_export(const std::shared_ptr<const void>& object);
  static void remove_export(const std::shared_ptr<const void>& object) noexcept;
  static bool exported(const std::shared_ptr<const void>& object) noexcept;

  static void begin_long_call(const std::shared_ptr<const void>& object);
  static void end_long_call(const std::shared_ptr<const void>& object) noexcept;
  static bool in_long_call(const std::shared_ptr<const void>& object) noexcept;

  // The arguments of long calls, which they read without the interpreter lock: an operation that writes
  // one of them in place meanwhile refuses it.
  static void begin_long_read(const std::shared_ptr<const void>& object);
  static void end_long_read(const std::shared_ptr<const void>& object) noexcept;
  static bool read_by_long_call(const std::shared_ptr<const void>& object) noexcept;
  // Why an operation that would write `object` in place (of the Python type `name`) is refused.
  static std::string read_by_long_call_refusal(const char* name);
};

// Marks objects for as long as it lives, made and destroyed with the interpreter lock held: busy, as a long
// call marks its own object (for the objects besides it that the call writes in place), or read by a long
// call (its arguments).
class marked_objects {
 public:
  enum class mark { busy, read_by_long_call };

  marked_objects(mark kind, std::vector<std::shared_ptr<const void>> objects);
  ~marked_objects();
  marked_objects(const marked_objects&) = delete;
  marked_objects& operator=(const marked_objects&) = delete;

 private:
  void unmark(size_t count) noexcept;

  mark kind_;
  std::vector<std::shared_ptr<const void>> objects_;
};

}  // namespace qavrek::python
