#include "thread_allocations.h"

#include <cerrno>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define QAVREK_COUNTS_ALLOCATIONS 0
#else
#define QAVREK_COUNTS_ALLOCATIONS 1
#endif

namespace {

thread_local bool counting = false;
thread_local size_t allocations = 0;

void count() noexcept {
  if (counting) ++allocations;
}

}  // namespace

#if QAVREK_COUNTS_ALLOCATIONS
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);

void* malloc(size_t size) {
  count();
  return __libc_malloc(size);
}
void* calloc(size_t count_, size_t size) {
  count();
  return __libc_calloc(count_, size);
}
void* realloc(void* pointer, size_t size) {
  count();
  return __libc_realloc(pointer, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
  count();
  return __libc_memalign(alignment, size);
}
void* memalign(size_t alignment, size_t size) {
  count();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
  count();
  *out = __libc_memalign(alignment, size);
  return *out != nullptr || size == 0 ? 0 : ENOMEM;
}
}
#endif

namespace qavrek::allocation_test {

bool counts_allocations() noexcept { return QAVREK_COUNTS_ALLOCATIONS != 0; }

void start_counting() noexcept {
  allocations = 0;
  counting = true;
}

size_t stop_counting() noexcept {
  counting = false;
  return allocations;
}

}  // namespace qavrek::allocation_test
