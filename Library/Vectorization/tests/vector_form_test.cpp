#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "Vectorization/vector.h"
#include "Vectorization/vector_form.h"

namespace qavrek {
namespace {

struct form_case {
  std::string name;
  std::vector<double> values;
  std::string text;
};

void PrintTo(const form_case& c, std::ostream* out) { *out << c.name; }

class VectorForm : public ::testing::TestWithParam<form_case> {};

TEST_P(VectorForm, PadsEveryValueToTheWidestAndBreaksLines) {
  const auto& c = GetParam();
  EXPECT_EQ(vector_form(c.values), c.text);

  std::ostringstream out;
  out << vector<double>(std::span<const double>(c.values));
  EXPECT_EQ(out.str(), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, VectorForm,
    ::testing::Values(form_case{"Empty", {}, "[]"}, form_case{"Single", {0.25}, "[0.25]"},
                      form_case{"MixedWidths", {1.0, 2.5, 10.0}, "[  1,\n 2.5,\n  10]"},
                      form_case{"NegativeAndSmall", {-0.0125, 3.0, 1e-07}, "[-0.0125,\n       3,\n   1e-07]"},
                      form_case{"DefaultSixDigits", {3.14159265, -2.0}, "[3.14159,\n      -2]"}),
    [](const auto& info) { return info.param.name; });

TEST(VectorForm, FollowsTheStreamFormat) {
  std::ostringstream out;
  out << std::fixed << std::setprecision(2) << std::setw(30) << vector<double>{1.0, -12.5};
  EXPECT_EQ(out.str(), "[  1.00,\n -12.50]");  // the field width does not pad the whole form
}

}  // namespace
}  // namespace qavrek
