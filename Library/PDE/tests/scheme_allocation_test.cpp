// The schemes allocate everything they need when they are made: a step allocates nothing. This executable counts
// every allocation of the process through its own operator new and aligned_alloc (which the numeric buffers use).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "PDE/scheme/pde_scheme.h"
#include "scheme_test_support.h"

namespace {

bool counting = false;
size_t allocations = 0;

void* allocate(std::size_t size) {
  if (counting) ++allocations;
  void* memory = std::malloc(size == 0 ? 1 : size);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

void* allocate_aligned(std::size_t size, std::size_t alignment) {
  if (counting) ++allocations;
  void* memory = nullptr;
  if (posix_memalign(&memory, std::max(alignment, sizeof(void*)), size == 0 ? 1 : size) != 0) throw std::bad_alloc();
  return memory;
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, std::align_val_t alignment) { return allocate_aligned(size, size_t(alignment)); }
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return allocate_aligned(size, size_t(alignment));
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }

// The numeric buffers come from the C library's aligned allocation.
extern "C" void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
  if (counting) ++allocations;
  void* memory = nullptr;
  return posix_memalign(&memory, alignment, size) == 0 ? memory : nullptr;
}

namespace qavrek {
namespace {

using namespace test;
using type = pde_scheme_type;

// The allocations made while `call` runs.
template <typename Call>
size_t allocations_of(Call&& call) {
  allocations = 0;
  counting = true;
  call();
  counting = false;
  return allocations;
}

TEST(SchemeAllocation, TheCounterSeesBothKindsOfAllocation) {
  EXPECT_EQ(allocations_of([] { vector<double> buffer(16); }), 1u);
  EXPECT_EQ(allocations_of([] { std::vector<double> values(16); }), 1u);
}

TEST(SchemeAllocation, StepsAllocateNothing) {
  struct allocation_case {
    type t;
    std::vector<size_t> sizes;
    size_t width;
    size_t results;
  };
  const std::vector<allocation_case> cases{
      {type::HUNDSDORFER_VERWER, {30, 20}, 3, 1}, {type::DOUGLAS, {30, 20}, 5, 2},
      {type::CRAIG_SNEYD, {12, 10, 8}, 3, 1},     {type::MODIFIED_CRAIG_SNEYD, {30, 20}, 3, 3},
      {type::CRANK_NICOLSON, {50}, 3, 2},         {type::TWO_STAGE_IMPLICIT, {50}, 5, 1},
      {type::IMPLICIT, {50}, 5, 2},
  };
  for (const allocation_case& c : cases) {
    const size_t dimensions = c.sizes.size();
    std::vector<ptr_const<space_grid>> grids;
    std::vector<std::shared_ptr<pde_model_coefficients>> coefficients;
    std::vector<ptr_const<pde_model_coefficients>> shared;
    for (size_t d = 0; d < dimensions; ++d) {
      grids.push_back(uniform_axis(c.sizes[d], -1.0, 1.0));
      coefficients.push_back(std::make_shared<pde_model_coefficients>(c.sizes, dimensions > 1));
      shared.push_back(coefficients.back());
    }
    matrix<double> correlation(dimensions, dimensions, 0.4);
    for (size_t d = 0; d < dimensions; ++d) correlation(d, d) = 1.0;
    const auto grid = rannacher_steps(4.0, 1.0, 2);
    const auto scheme = pde_scheme::create_scheme(grid, grids, shared, std::vector<size_t>(dimensions, c.width),
                                                  std::vector<bool>(dimensions, false), c.t, true, correlation);
    std::vector<size_t> shape = c.sizes;
    if (c.results > 1) shape.insert(shape.begin(), c.results);
    pde_storage storage(1, c.results, shape);
    storage.result().fill(1.0);
    const boundary_coefficients ends{{shared[0], shared[0]}};
    for (size_t step = grid->size() - 1; step > 0; --step) {
      for (size_t d = 0; d < dimensions; ++d) fill_step(*coefficients[d], {0.3, 0.1, -0.02}, 1.0);
      const size_t made = allocations_of([&] {
        scheme->initialize(step);
        scheme->diffuse(storage, ends, 0.99);
      });
      EXPECT_EQ(made, 0u) << "type " << int(c.t) << " step " << step;
    }
  }
}

}  // namespace
}  // namespace qavrek
