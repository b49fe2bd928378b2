#pragma once

#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

namespace qavrek {

// Objects for the ranges of parallel loops to work in, so that their work allocates nothing: a range claims
// a free object for as long as it runs and hands it back at the end. Objects are made on their first claim
// and kept for the next loops, so a pool holds as many as ranges ever ran at once. Claiming takes no lock.
// A range that finds all `capacity` objects claimed (more threads than that) works in one made for it alone.
template <class T>
class workspace_pool {
 public:
  static constexpr size_t max_capacity = 64;

  class claim {
   public:
    claim(const claim&) = delete;
    claim& operator=(const claim&) = delete;
    ~claim() {
      if (slot_ != own) pool_.release(slot_);
    }

    T& operator*() const noexcept { return *object_; }
    T* operator->() const noexcept { return object_; }

   private:
    friend class workspace_pool;
    static constexpr size_t own = max_capacity;

    claim(workspace_pool& pool, size_t slot, T* object, std::unique_ptr<T> owned)
        : pool_(pool), slot_(slot), object_(object), owned_(std::move(owned)) {}

    workspace_pool& pool_;
    size_t slot_;
    T* object_;
    std::unique_ptr<T> owned_;  // only when the pool had none free
  };

  // `make` builds an object when a slot is claimed for the first time.
  explicit workspace_pool(std::function<std::unique_ptr<T>()> make, size_t capacity = max_capacity)
      : make_(std::move(make)), capacity_(capacity < max_capacity ? capacity : max_capacity) {}

  workspace_pool(const workspace_pool&) = delete;
  workspace_pool& operator=(const workspace_pool&) = delete;

  claim acquire() {
    const std::uint64_t slots = capacity_ == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << capacity_) - 1;
    std::uint64_t claimed = claimed_.load(std::memory_order_relaxed);
    for (;;) {
      const std::uint64_t free = slots & ~claimed;
      if (free == 0) {
        std::unique_ptr<T> owned = make_();
        T* object = owned.get();
        return claim(*this, claim::own, object, std::move(owned));
      }
      const auto slot = static_cast<size_t>(std::countr_zero(free));
      if (!claimed_.compare_exchange_weak(claimed, claimed | (std::uint64_t(1) << slot), std::memory_order_acquire,
                                          std::memory_order_relaxed))
        continue;
      // The slot is this range's alone until the claim ends.
      if (!objects_[slot]) {
        try {
          objects_[slot] = make_();
        } catch (...) {
          release(slot);
          throw;
        }
      }
      return claim(*this, slot, objects_[slot].get(), nullptr);
    }
  }

 private:
  void release(size_t slot) noexcept { claimed_.fetch_and(~(std::uint64_t(1) << slot), std::memory_order_release); }

  std::function<std::unique_ptr<T>()> make_;
  size_t capacity_;
  std::array<std::unique_ptr<T>, max_capacity> objects_;
  std::atomic<std::uint64_t> claimed_{0};
};

}  // namespace qavrek
