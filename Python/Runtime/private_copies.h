#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <vector>

namespace qavrek::python {

// Writes the values of the library object at `source` into the one at `target`, both of one class, as
// the class defines it (see holder_operations::publish).
using publish_function = void (*)(const void* target, const void* source);

// The objects of the caller that a long call writes (see long_call.h): the call writes private copies of
// them, made before it starts, and publish() then writes each copy's values into its object, with the
// interpreter lock held and while no long call runs, so that another thread sees an object's values from
// before the call or from after it, never a mix. Objects that share one by pointer see what is published.
// An object named twice has one copy, as the call would have written one object.
class private_copies {
 public:
  // The copy made of `original` (the whole object, as its own class), or an empty pointer.
  std::shared_ptr<const void> copy_of(const std::shared_ptr<const void>& original) const;
  // Registers `copy`, made of `original`, both whole objects of the class whose values `publish` writes.
  void add(std::shared_ptr<const void> original, std::shared_ptr<const void> copy, publish_function publish);

  bool empty() const noexcept { return entries_.empty(); }

  // Called with the interpreter lock held; waits for the long calls in progress (see
  // long_call::exclusively), python_error_already_set when a signal handler raises meanwhile.
  void publish() const;

 private:
  struct entry {
    std::shared_ptr<const void> original;
    std::shared_ptr<const void> copy;
    publish_function publish;
  };
  std::vector<entry> entries_;
  // Each original's entry, by its address (the entries keep the originals alive).
  std::map<const void*, size_t> positions_;
};

}  // namespace qavrek::python
