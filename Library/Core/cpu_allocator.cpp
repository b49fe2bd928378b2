#include "Core/cpu_allocator.h"

#include <cstdlib>
#include <limits>
#include <new>

namespace qavrek {

void* cpu_allocator::allocate(size_t bytes, size_t alignment) noexcept {
  if (bytes == 0 || bytes > std::numeric_limits<size_t>::max() - alignment) return nullptr;
  // aligned_alloc wants a size that is a multiple of the alignment.
  const size_t rounded = (bytes + alignment - 1) / alignment * alignment;
  return std::aligned_alloc(alignment, rounded);
}

void cpu_allocator::free(void* pointer) noexcept { std::free(pointer); }

namespace {
// The standard allocation failure, with the system's text.
class bad_allocation : public std::bad_alloc {
 public:
  const char* what() const noexcept override { return "bad allocation"; }
};
}  // namespace

void cpu_allocator::throw_bad_alloc() { throw bad_allocation(); }

}  // namespace qavrek
