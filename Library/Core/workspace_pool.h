#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <utility>

namespace qavrek {

// Objects for the ranges of parallel loops to work in, so that their work allocates nothing: a range claims
// a free object for as long as it runs and hands it back at the end. Objects are made on their first claim
// and kept for the next loops, so a pool holds as many as ranges ever ran at once. Claiming takes no lock:
// each slot has its own flag on a cache line of its own, and a thread tries first the slot its identity
// hashes to, so threads rarely touch the same line. A range that finds all `capacity` slots claimed works
// in an object made for it alone.
template <class T>
class workspace_pool {
  struct slot;

 public:
  static constexpr size_t max_capacity = 64;

  class claim {
   public:
    claim(const claim&) = delete;
    claim& operator=(const claim&) = delete;
    ~claim() {
      if (slot_ != nullptr) slot_->claimed.store(false, std::memory_order_release);
    }

    T& operator*() const noexcept { return *object_; }
    T* operator->() const noexcept { return object_; }

   private:
    friend class workspace_pool;

    claim(slot* claimed_slot, T* object, std::unique_ptr<T> owned)
        : slot_(claimed_slot), object_(object), owned_(std::move(owned)) {}

    slot* slot_;  // null when the object is the claim's own
    T* object_;
    std::unique_ptr<T> owned_;
  };

  // `make` builds an object when a slot is claimed for the first time.
  explicit workspace_pool(std::function<std::unique_ptr<T>()> make, size_t capacity = max_capacity)
      : make_(std::move(make)), capacity_(std::clamp<size_t>(capacity, 1, max_capacity)) {}

  workspace_pool(const workspace_pool&) = delete;
  workspace_pool& operator=(const workspace_pool&) = delete;

  claim acquire() {
    const size_t start = std::hash<std::thread::id>()(std::this_thread::get_id()) % capacity_;
    for (size_t probe = 0; probe < capacity_; ++probe) {
      slot& candidate = slots_[(start + probe) % capacity_];
      if (candidate.claimed.load(std::memory_order_relaxed) ||
          candidate.claimed.exchange(true, std::memory_order_acquire))
        continue;
      // The slot is this range's alone until the claim ends.
      if (!candidate.object) {
        try {
          candidate.object = make_();
        } catch (...) {
          candidate.claimed.store(false, std::memory_order_release);
          throw;
        }
      }
      return claim(&candidate, candidate.object.get(), nullptr);
    }
    std::unique_ptr<T> owned = make_();
    T* object = owned.get();
    return claim(nullptr, object, std::move(owned));
  }

 private:
  // Apart from its neighbours' flags, so that claims by different threads do not share a cache line.
  struct alignas(64) slot {
    std::atomic<bool> claimed{false};
    std::unique_ptr<T> object;
  };

  std::function<std::unique_ptr<T>()> make_;
  size_t capacity_;
  std::array<slot, max_capacity> slots_;
};

}  // namespace qavrek
