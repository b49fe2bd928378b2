#include "Runtime/object_use.h"

#include <cstddef>
#include <map>
#include <utility>

namespace qavrek::python {
namespace {

// The identity of a library object: its ownership, which the pointers to its base parts share, or its
// address for a pointer that owns nothing.
struct object_key {
  std::weak_ptr<const void> owner;
  const void* address;
  bool owned;

  explicit object_key(const std::shared_ptr<const void>& object)
      : owner(object), address(object.get()), owned(object.use_count() > 0) {}
};

struct key_order {
  bool operator()(const object_key& a, const object_key& b) const noexcept {
    if (a.owned != b.owned) return a.owned < b.owned;
    if (!a.owned) return a.address < b.address;
    return a.owner.owner_before(b.owner);
  }
};

class use_counts {
 public:
  void add(const std::shared_ptr<const void>& object) { ++counts_[object_key(object)]; }

  void remove(const std::shared_ptr<const void>& object) noexcept {
    const auto found = counts_.find(object_key(object));
    if (found != counts_.end() && --found->second == 0) counts_.erase(found);
  }

  bool contains(const std::shared_ptr<const void>& object) const noexcept {
    return !counts_.empty() && counts_.find(object_key(object)) != counts_.end();
  }

 private:
  std::map<object_key, size_t, key_order> counts_;
};

use_counts& exports() {
  static use_counts counts;
  return counts;
}

use_counts& long_calls() {
  static use_counts counts;
  return counts;
}

use_counts& long_reads() {
  static use_counts counts;
  return counts;
}

}  // namespace

void object_use::add_export(const std::shared_ptr<const void>& object) { exports().add(object); }
void object_use::remove_export(const std::shared_ptr<const void>& object) noexcept { exports().remove(object); }
bool object_use::exported(const std::shared_ptr<const void>& object) noexcept { return exports().contains(object); }

void object_use::begin_long_call(const std::shared_ptr<const void>& object) { long_calls().add(object); }
void object_use::end_long_call(const std::shared_ptr<const void>& object) noexcept { long_calls().remove(object); }
bool object_use::in_long_call(const std::shared_ptr<const void>& object) noexcept {
  return long_calls().contains(object);
}

void object_use::begin_long_read(const std::shared_ptr<const void>& object) { long_reads().add(object); }
void object_use::end_long_read(const std::shared_ptr<const void>& object) noexcept { long_reads().remove(object); }
bool object_use::read_by_long_call(const std::shared_ptr<const void>& object) noexcept {
  return long_reads().contains(object);
}

std::string object_use::read_by_long_call_refusal(const char* name) {
  return std::string("the ") + name + " is read by a long call: it cannot change under it";
}

marked_objects::marked_objects(mark kind, std::vector<std::shared_ptr<const void>> objects)
    : kind_(kind), objects_(std::move(objects)) {
  for (size_t i = 0; i < objects_.size(); ++i) {
    try {
      if (kind_ == mark::busy)
        object_use::begin_long_call(objects_[i]);
      else
        object_use::begin_long_read(objects_[i]);
    } catch (...) {
      unmark(i);
      throw;
    }
  }
}

marked_objects::~marked_objects() { unmark(objects_.size()); }

void marked_objects::unmark(size_t count) noexcept {
  for (size_t i = 0; i < count; ++i) {
    if (kind_ == mark::busy)
      object_use::end_long_call(objects_[i]);
    else
      object_use::end_long_read(objects_[i]);
  }
}

}  // namespace qavrek::python
