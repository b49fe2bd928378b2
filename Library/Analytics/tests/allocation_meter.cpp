#include "allocation_meter.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> metering{false};
std::atomic<std::size_t> requested{0};
std::atomic<std::size_t> largest{0};

void count(std::size_t bytes) noexcept {
  if (!metering.load(std::memory_order_relaxed)) return;
  requested.fetch_add(bytes, std::memory_order_relaxed);
  std::size_t seen = largest.load(std::memory_order_relaxed);
  while (bytes > seen && !largest.compare_exchange_weak(seen, bytes, std::memory_order_relaxed)) {
  }
}

void* allocate(std::size_t bytes) {
  count(bytes);
  void* memory = std::malloc(bytes == 0 ? 1 : bytes);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

void* allocate(std::size_t bytes, std::align_val_t alignment) {
  count(bytes);
  void* memory = nullptr;
  const std::size_t align = std::max(static_cast<std::size_t>(alignment), sizeof(void*));
  if (::posix_memalign(&memory, align, bytes == 0 ? 1 : bytes) != 0) throw std::bad_alloc();
  return memory;
}

template <class... Alignment>
void* allocate_or_null(std::size_t bytes, Alignment... alignment) noexcept {
  try {
    return allocate(bytes, alignment...);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

namespace qavrek::allocation_test {

allocation_meter::allocation_meter() {
  requested = 0;
  largest = 0;
  metering = true;
}

allocation_meter::~allocation_meter() { metering = false; }

std::size_t allocation_meter::requested_bytes() const { return requested.load(); }
std::size_t allocation_meter::largest_request() const { return largest.load(); }

}  // namespace qavrek::allocation_test

// The aligned storage of the numeric blocks comes from aligned_alloc: counted, then taken from
// posix_memalign, which whatever allocator free() belongs to (the C library's, or a sanitizer's, linked
// into the program or loaded beside it) provides too.
extern "C" void* aligned_alloc(std::size_t alignment, std::size_t bytes) noexcept {
  count(bytes);
  void* memory = nullptr;
  return ::posix_memalign(&memory, std::max(alignment, sizeof(void*)), bytes) == 0 ? memory : nullptr;
}

void* operator new(std::size_t bytes) { return allocate(bytes); }
void* operator new[](std::size_t bytes) { return allocate(bytes); }
void* operator new(std::size_t bytes, std::align_val_t alignment) { return allocate(bytes, alignment); }
void* operator new[](std::size_t bytes, std::align_val_t alignment) { return allocate(bytes, alignment); }
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept { return allocate_or_null(bytes); }
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept { return allocate_or_null(bytes); }
void* operator new(std::size_t bytes, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return allocate_or_null(bytes, alignment);
}
void* operator new[](std::size_t bytes, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return allocate_or_null(bytes, alignment);
}

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete(void* memory, std::align_val_t, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, std::align_val_t, const std::nothrow_t&) noexcept { std::free(memory); }
