// The state storage: where each diffusion's blocks lie in the one buffer, that they start at zero, and
// that a bad index or an empty simulation is refused.

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "Analytics/simulation/states_variables.h"
#include "simulation_test_support.h"

namespace qavrek::simulation_test {
namespace {

// Both blocks of diffusion i as the views themselves (a copy of a view would be an owning copy).
std::array<matrix<double>, 2> blocks_of(states_variables& storage, size_t i) {
  return {storage.current_states(i), storage.next_states(i)};
}

struct layout_case {
  const char* label;
  std::vector<size_t> sizes;
  size_t paths;
  // Element offsets from the start of the buffer, current then next per diffusion.
  std::vector<size_t> offsets;
};

TEST(StatesVariables, BlocksFollowEachOtherCurrentBeforeNext) {
  const std::vector<layout_case> cases = {
      {"two diffusions", {2, 3}, 4, {0, 8, 16, 28}},
      {"three diffusions, one path", {4, 1, 2}, 1, {0, 4, 8, 9, 10, 12}},
      {"a diffusion without states", {2, 0, 1}, 3, {0, 6, 12, 12, 12, 15}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    states_variables storage(c.sizes, c.paths);
    ASSERT_EQ(storage.number_of_diffusions(), c.sizes.size());
    const double* start = storage.current_states(0).data();
    for (size_t i = 0; i < c.sizes.size(); ++i) {
      const matrix<double> current = storage.current_states(i);
      const matrix<double> next = storage.next_states(i);
      EXPECT_EQ(storage.number_of_states(i), c.sizes[i]);
      for (const auto* block : {&current, &next}) {
        EXPECT_FALSE(block->owner());
        EXPECT_EQ(block->rows(), c.sizes[i]);
        EXPECT_EQ(block->columns(), c.paths);
      }
      EXPECT_EQ(current.data() - start, static_cast<std::ptrdiff_t>(c.offsets[2 * i]));
      EXPECT_EQ(next.data() - start, static_cast<std::ptrdiff_t>(c.offsets[2 * i + 1]));
    }
  }
}

TEST(StatesVariables, StartsAtZeroAndEachBlockIsItsOwn) {
  states_variables storage({2, 3}, 4);
  // Every value of the buffer, block by block: nothing is left unset before the first write.
  for (size_t i = 0; i < 2; ++i)
    for (const auto& block : blocks_of(storage, i))
      for (double value : block) EXPECT_EQ(value, 0.0);

  matrix<double> written = storage.next_states(0);
  for (size_t k = 0; k < written.size(); ++k) written.data()[k] = 1.0 + static_cast<double>(k);
  const matrix<double> seen = storage.next_states(0);
  for (size_t k = 0; k < seen.size(); ++k) EXPECT_EQ(seen.data()[k], 1.0 + static_cast<double>(k));
  for (double value : storage.current_states(0)) EXPECT_EQ(value, 0.0);
  for (const auto& block : blocks_of(storage, 1))
    for (double value : block) EXPECT_EQ(value, 0.0);
}

TEST(StatesVariables, NoPathsAllocatesNothing) {
  states_variables storage({1}, 0);
  for (const auto& block : blocks_of(storage, 0)) {
    EXPECT_EQ(block.rows(), 1u);
    EXPECT_EQ(block.columns(), 0u);
    EXPECT_EQ(block.data(), nullptr);
  }
}

TEST(StatesVariables, RefusesAnIndexOutOfRangeAndAnEmptySimulation) {
  states_variables storage({2, 3}, 4);
  for (const auto& message : {error_message([&] { storage.current_states(2); }),
                              error_message([&] { storage.next_states(2); }),
                              error_message([&] { storage.number_of_states(5); })})
    EXPECT_NE(message.find("out of range"), std::string::npos) << message;
  EXPECT_NE(error_message([] { states_variables({}, 4); }), "");
  // A block count times a path count beyond memory is a failed allocation, not a wrapped-around size.
  EXPECT_THROW(states_variables({size_t{1} << 40}, size_t{1} << 40), std::bad_alloc);
}

}  // namespace
}  // namespace qavrek::simulation_test
