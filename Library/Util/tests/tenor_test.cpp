#include "Util/tenor.h"

#include <gtest/gtest.h>

#include <string>

#include "Core/error.h"

namespace qavrek {
namespace {

TEST(Tenor, TextRoundTrips) {
  struct case_ {
    const char* text;
    std::int32_t count;
    tenor::unit units;
  };
  const case_ cases[] = {
      {"0D", 0, tenor::unit::DAYS},
      {"1D", 1, tenor::unit::DAYS},
      {"2W", 2, tenor::unit::WEEKS},
      {"3M", 3, tenor::unit::MONTHS},
      {"18M", 18, tenor::unit::MONTHS},
      {"10Y", 10, tenor::unit::YEARS},
      {"2147483647D", 2147483647, tenor::unit::DAYS},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const tenor t(c.text);
    EXPECT_EQ(t.count(), c.count);
    EXPECT_EQ(t.units(), c.units);
    EXPECT_EQ(t.to_string(), c.text);
    EXPECT_EQ(tenor(t.count(), t.units()), t);
  }
}

TEST(Tenor, DefaultIsZeroDaysAndAssignmentFromTextReplacesIt) {
  tenor t;
  EXPECT_EQ(t.to_string(), "0D");
  t = "6M";
  EXPECT_EQ(t, tenor(6, tenor::unit::MONTHS));
  t = std::string("1Y");
  EXPECT_EQ(t.to_string(), "1Y");
  // Tenors are their text: twelve months is not one year.
  EXPECT_NE(tenor("12M"), tenor("1Y"));
}

TEST(Tenor, BadTextIsAnErrorAndLeavesTheTenor) {
  const char* bad_texts[] = {"",    "M",    "3",  "3m",  "-3M", "+3M",  " 3M",         "3M ",
                             "3 M", "1.5Y", "3X", "3MM", "M3",  "0x3M", "2147483648D", "99999999999Y"};
  for (const char* text : bad_texts) {
    SCOPED_TRACE(text);
    EXPECT_THROW(tenor{text}, Error);
    tenor t("3M");
    EXPECT_THROW(t = text, Error);
    EXPECT_EQ(t.to_string(), "3M");
  }
}

TEST(Tenor, ErrorNamesTheText) {
  try {
    tenor("3Q");
    FAIL() << "3Q was accepted";
  } catch (const Error& error) {
    EXPECT_NE(std::string(error.what()).find("\"3Q\""), std::string::npos) << error.what();
  }
}

TEST(Tenor, NegativeCountIsAnError) { EXPECT_THROW(tenor(-1, tenor::unit::MONTHS), Error); }

}  // namespace
}  // namespace qavrek
