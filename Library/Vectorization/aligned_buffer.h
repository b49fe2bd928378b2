#pragma once

#include <cstddef>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

#include "Core/cpu_allocator.h"

namespace qavrek {

// A contiguous block of numbers that either owns its 64-byte aligned storage or views
// someone else's. A view never frees. Copying always gives an owning deep copy; moving
// hands the block over and leaves the source empty (and owning nothing).
template <typename T>
class aligned_buffer {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                "aligned_buffer holds plain numbers");

 public:
  aligned_buffer() noexcept = default;

  // Zero-filled owning storage; throws std::bad_alloc when it cannot be had.
  explicit aligned_buffer(size_t size) : data_(cpu_allocator::allocate_array<T>(size)), size_(size) {
    if (size_ > 0) std::memset(static_cast<void*>(data_), 0, size_ * sizeof(T));
  }

  static aligned_buffer view(T* data, size_t size) noexcept {
    aligned_buffer buffer;
    buffer.data_ = data;
    buffer.size_ = size;
    buffer.owner_ = false;
    return buffer;
  }

  aligned_buffer(const aligned_buffer& other) : data_(cpu_allocator::allocate_array<T>(other.size_)), size_(other.size_) {
    if (size_ > 0) std::memcpy(static_cast<void*>(data_), other.data_, size_ * sizeof(T));
  }

  aligned_buffer(aligned_buffer&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        owner_(std::exchange(other.owner_, true)) {}

  // Takes the other block over (view or owner), releasing what this one owned.
  aligned_buffer& operator=(aligned_buffer&& other) noexcept {
    aligned_buffer taken(std::move(other));
    swap(taken);
    return *this;
  }

  // Copy assignment is the containers' business: a view writes through, an owner reallocates.
  aligned_buffer& operator=(const aligned_buffer&) = delete;

  ~aligned_buffer() { release(); }

  T* data() noexcept { return data_; }
  const T* data() const noexcept { return data_; }
  size_t size() const noexcept { return size_; }
  bool owner() const noexcept { return owner_; }

  void swap(aligned_buffer& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(owner_, other.owner_);
  }

  // Number of elements of a shape, or std::bad_alloc when the product does not fit.
  static size_t checked_product(size_t a, size_t b) {
    if (b != 0 && a > std::numeric_limits<size_t>::max() / b) throw std::bad_alloc();
    return a * b;
  }

 private:
  void release() noexcept {
    if (owner_) cpu_allocator::free(data_);
    data_ = nullptr;
    size_ = 0;
    owner_ = true;
  }

  T* data_ = nullptr;
  size_t size_ = 0;
  bool owner_ = true;
};

}  // namespace qavrek
