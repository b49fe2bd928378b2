#include <gtest/gtest.h>

#include <cstdint>
#include <new>

#include "Core/cpu_allocator.h"

namespace qavrek {
namespace {

TEST(CpuAllocator, BuffersAre64ByteAligned) {
  for (size_t bytes : {1u, 8u, 63u, 64u, 65u, 1000u}) {
    void* p = cpu_allocator::allocate(bytes, 64);
    ASSERT_NE(p, nullptr) << bytes;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 64, 0u) << bytes;
    cpu_allocator::free(p);
  }
}

TEST(CpuAllocator, FailureIsNullOrBadAlloc) {
  EXPECT_EQ(cpu_allocator::allocate(0, 64), nullptr);
  EXPECT_EQ(cpu_allocator::allocate(~size_t(0) - 8, 64), nullptr);
  EXPECT_EQ(cpu_allocator::allocate_array<double>(0), nullptr);
  try {
    cpu_allocator::allocate_array<double>(~size_t(0) / 4);
    FAIL();
  } catch (const std::bad_alloc& error) {
    EXPECT_STREQ(error.what(), "bad allocation");
  }
}

}  // namespace
}  // namespace qavrek
