#pragma once

#include <memory>

namespace qavrek::python {

// What Python does with a library object besides calling it: buffers exported over its numbers, and
// long calls that run on it without the interpreter lock. Operations that would conflict are refused
// instead of racing: an object busy with a long call is refused to every other Python call, and an
// object whose numbers are exported keeps its storage. Every Python object that holds the library
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
};

}  // namespace qavrek::python
