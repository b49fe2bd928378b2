#pragma once

#include <mutex>
#include <unordered_map>
#include <utility>

namespace qavrek {

// A process-wide map from a class name to the handler that saves or loads objects of that class.
// Handlers are added while the libraries load, then only looked up: find takes no lock.
template <typename Key, typename Value>
class Registry {
 public:
  // Adds or replaces the handler of `key`.
  void add(const Key& key, Value value) {
    std::lock_guard lock(mutex_);
    map_[key] = std::move(value);
  }

  // The handler of `key`, or null when none is registered.
  const Value* find(const Key& key) const {
    const auto found = map_.find(key);
    return found == map_.end() ? nullptr : &found->second;
  }

 private:
  std::unordered_map<Key, Value> map_;
  std::mutex mutex_;
};

}  // namespace qavrek
