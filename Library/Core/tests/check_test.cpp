#include <gtest/gtest.h>

#include <string>

#include "Core/check.h"
#include "Core/demangle.h"

namespace qavrek {
namespace {

TEST(Check, FailureCarriesExpressionDetailAndLocation) {
  const int decays = 3, dates = 2;
  try {
    QAVREK_CHECK_AT("validate", "Library/Analytics/parameters/parameter", 42, decays == dates, "decays size ", decays,
                    " is differents from decays dates size ", dates);
    FAIL() << "the check passed";
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(),
                 "Expected decays == dates to be true, but got false.  decays size 3 is differents from decays dates "
                 "size 2");
    EXPECT_EQ(error.location().function, "validate");
    EXPECT_EQ(error.location().file, "Library/Analytics/parameters/parameter");
    EXPECT_EQ(error.location().line, 42);
  }
}

TEST(Check, PassingCheckEvaluatesNothingElse) {
  int evaluated = 0;
  auto detail = [&] { return ++evaluated; };
  QAVREK_CHECK(1 + 1 == 2, "never built ", detail());
  EXPECT_EQ(evaluated, 0);
}

TEST(Check, DefaultLocationIsTheCaller) {
  try {
    QAVREK_CHECK(false);
    FAIL();
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(), "Expected false to be true, but got false.  ");
    EXPECT_NE(error.location().file.find("check_test.cpp"), std::string::npos);
    EXPECT_EQ(error.location().function, "TestBody");
  }
}

TEST(Check, NotImplementedErrorIsAnError) {
  try {
    throw NotImplementedError(SourceLocation{"df", "Library/Analytics/diffusion/ir/discount_curve_diffusion", 7}, "df");
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(), "df");
    EXPECT_NE(dynamic_cast<const NotImplementedError*>(&error), nullptr);
  }
}

struct some_class {};

TEST(Demangle, GivesTheReadableName) {
  EXPECT_EQ(demangle(typeid(some_class).name()), "qavrek::(anonymous namespace)::some_class");
  EXPECT_EQ(demangle("not a mangled name"), "not a mangled name");
}

}  // namespace
}  // namespace qavrek
