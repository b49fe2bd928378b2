// A jump of a pseudo-random generator lands where drawing every number before it lands: the words that follow
// are those of the generator drawn through, whatever the count and wherever in its blocks the jump starts.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "Random/mersenne_twister.h"
#include "Random/well_19937a.h"
#include "Random/well_44497a.h"
#include "instruction_sets.h"

namespace qavrek {
namespace {

constexpr size_t seed = 20240611;

// Draws count numbers and keeps their words (uniforms are w 2^-32 exactly). Drawing never skips.
std::vector<std::uint32_t> words(random& generator, size_t count) {
  std::vector<double> u(count);
  generator.uniforms(u.data(), count, 0);
  std::vector<std::uint32_t> w(count);
  for (size_t i = 0; i < count; ++i) w[i] = static_cast<std::uint32_t>(u[i] * 0x1p32);
  return w;
}

// Moves the generator count numbers on by drawing them.
void draw_past(random& generator, size_t count) {
  std::vector<double> scratch(1 << 16);
  for (size_t done = 0; done < count;) {
    const size_t n = std::min(scratch.size(), count - done);
    generator.uniforms(scratch.data(), n, 0);
    done += n;
  }
}

// Counts on either side of a block of 624 words and of the 2048 words the generators hand out at a time; the
// batch of a 3-factor run of 10,000 paths over 121 dates and the first simulated date of its batch 1; and a
// count past every jump threshold.
const size_t counts[] = {0, 1, 623, 624, 625, 1248, 2047, 2048, 2049, 5000, 3630000, 3660000, 10000003};
// Where the jumps start: at the seed, and part-way through a block and a hand-out of 2048 words.
const size_t starts[] = {0, 1000, 2500};
constexpr size_t compared = 700;

template <class Generator>
class GeneratorJump : public testing::Test {};

using generators = testing::Types<mersenne_twister, well_19937a, well_44497a>;
TYPED_TEST_SUITE(GeneratorJump, generators);

TYPED_TEST(GeneratorJump, LandsWhereDrawingLands) {
  ASSERT_EQ(TypeParam::jump_table().degree(), TypeParam::degree);
  for (size_t start : starts) {
    for (size_t count : counts) {
      TypeParam drawn(seed);
      draw_past(drawn, start + count);
      const auto expected = words(drawn, compared);

      TypeParam jumped(seed);
      draw_past(jumped, start);
      jumped.jump(count);
      EXPECT_EQ(words(jumped, compared), expected) << "jump of " << count << " from " << start;

      // discard chooses between drawing and jumping by the count.
      TypeParam discarded(seed);
      draw_past(discarded, start);
      discarded.discard(count);
      EXPECT_EQ(words(discarded, compared), expected) << "discard of " << count << " from " << start;
    }
  }
}

TYPED_TEST(GeneratorJump, SuccessiveJumpsAddUp) {
  TypeParam drawn(seed);
  draw_past(drawn, 3 * 3660000 + 17);
  TypeParam jumped(seed);
  jumped.jump(3660000);
  jumped.jump(3660000);
  draw_past(jumped, 17);
  jumped.jump(3660000);
  EXPECT_EQ(words(jumped, compared), words(drawn, compared));
}

TYPED_TEST(GeneratorJump, IsTheSameOnEveryInstructionSet) {
  constexpr size_t count = 3660000;
  TypeParam drawn(seed);
  draw_past(drawn, count);
  const auto expected = words(drawn, compared);
  on_every_instruction_set([&](const char* target) {
    TypeParam jumped(seed);
    jumped.jump(count);
    EXPECT_EQ(words(jumped, compared), expected) << target;
  });
}

}  // namespace
}  // namespace qavrek
