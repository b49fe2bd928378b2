#pragma once

#include <cstddef>

namespace qavrek {

// Aligned storage of numeric buffers.
class cpu_allocator {
 public:
  static constexpr size_t alignment = 64;
  static constexpr size_t max_bytes = size_t(1) << 62;

  // Null on failure (or for zero bytes); callers throw std::bad_alloc.
  static void* allocate(size_t bytes, size_t alignment = cpu_allocator::alignment) noexcept;
  static void free(void* pointer) noexcept;

  // Typed form that throws std::bad_alloc on failure; a null pointer for zero elements.
  template <typename T>
  static T* allocate_array(size_t count) {
    if (count == 0) return nullptr;
    if (count > max_bytes / sizeof(T)) throw_bad_alloc();
    void* memory = allocate(count * sizeof(T), alignment);
    if (memory == nullptr) throw_bad_alloc();
    return static_cast<T*>(memory);
  }

 private:
  [[noreturn]] static void throw_bad_alloc();
};

}  // namespace qavrek
