#pragma once

#include <memory>
#include <vector>

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

// Marks objects busy for as long as it lives, as a long call marks its own: for the objects besides its own
// that a long call writes in place. Made and destroyed with the interpreter lock held.
class busy_objects {
 public:
  explicit busy_objects(std::vector<std::shared_ptr<const void>> objects);
  ~busy_objects();
  busy_objects(const busy_objects&) = delete;
  busy_objects& operator=(const busy_objects&) = delete;

 private:
  std::vector<std::shared_ptr<const void>> objects_;
};

}  // namespace qavrek::python
