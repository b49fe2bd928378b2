#pragma once

#include <algorithm>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

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

  // The keys held, in increasing order.
  std::vector<Key> keys() const {
    std::lock_guard lock(mutex_);
    std::vector<Key> held;
    held.reserve(map_.size());
    for (const auto& entry : map_) held.push_back(entry.first);
    std::sort(held.begin(), held.end());
    return held;
  }

 private:
  std::unordered_map<Key, Value> map_;
  mutable std::mutex mutex_;
};

}  // namespace qavrek
