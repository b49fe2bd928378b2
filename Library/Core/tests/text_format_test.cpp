#include <gtest/gtest.h>

#include <vector>

#include "Core/text_format.h"

namespace qavrek {
namespace {

TEST(TextFormat, CenterPadsBothSides) {
  struct center_case {
    std::string text;
    size_t width;
    std::string expected;
  };
  const std::vector<center_case> cases = {
      {"dates", 11, "   dates   "},
      {"model(bps):", 12, "model(bps): "},
      {"", 3, "   "},
      {"too long for it", 4, "too long for it"},
  };
  for (const auto& c : cases) EXPECT_EQ(center(c.text, c.width), c.expected) << c.text;
}

TEST(TextFormat, ToStringFixesDecimalsAndWidth) {
  EXPECT_EQ(to_string(1234.5678, 2, 13), "      1234.57");
  EXPECT_EQ(to_string(0.00012345, 4, 11), "     0.0001");
  EXPECT_EQ(to_string(-3.0, 0, 1), "-3");
}

}  // namespace
}  // namespace qavrek
