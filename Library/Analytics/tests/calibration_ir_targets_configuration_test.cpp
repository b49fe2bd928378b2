#include "Analytics/settings/calibration_ir_targets_configuration.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "settings_test_support.h"

namespace qavrek::settings_test {
namespace {

using targets = calibration_ir_targets_configuration;
using strike_rows = std::vector<std::vector<double>>;

std::vector<tenor> tenors(std::initializer_list<const char*> texts) {
  std::vector<tenor> result;
  for (const char* text : texts) result.emplace_back(text);
  return result;
}

// Two caplets and two coterminal targets; the middle strike row is empty.
ptr_const<targets> full_targets() {
  return std::make_shared<const targets>(tenor("6M"), tenors({"1Y", "2Y"}), tenor("10Y"), tenors({"2Y", "10Y"}),
                                         strike_rows{{0.01, 0.02}, {}, {0.03}, {0.04}}, true, false, true);
}

void expect_same(const targets& actual, const targets& expected) {
  EXPECT_EQ(actual.frequency(), expected.frequency());
  EXPECT_EQ(actual.expiries(), expected.expiries());
  EXPECT_EQ(actual.coterminal(), expected.coterminal());
  EXPECT_EQ(actual.cms_tenors(), expected.cms_tenors());
  EXPECT_EQ(actual.strikes(), expected.strikes());
  EXPECT_EQ(actual.include_caplets(), expected.include_caplets());
  EXPECT_EQ(actual.include_coterminal(), expected.include_coterminal());
  EXPECT_EQ(actual.include_cms(), expected.include_cms());
}

TEST(CalibrationIrTargetsConfiguration, ConstructorMovesTheVectorsIn) {
  auto expiries = tenors({"1Y", "5Y"});
  auto cms = tenors({"10Y"});
  strike_rows strikes{{0.01}, {0.02}};
  const targets configuration(tenor("3M"), std::move(expiries), tenor("20Y"), std::move(cms), std::move(strikes), false,
                              true, false);
  EXPECT_TRUE(expiries.empty());
  EXPECT_TRUE(cms.empty());
  EXPECT_TRUE(strikes.empty());

  EXPECT_EQ(configuration.frequency(), tenor("3M"));
  EXPECT_EQ(configuration.expiries(), tenors({"1Y", "5Y"}));
  EXPECT_EQ(configuration.coterminal(), tenor("20Y"));
  EXPECT_EQ(configuration.cms_tenors(), tenors({"10Y"}));
  EXPECT_EQ(configuration.strikes(), (strike_rows{{0.01}, {0.02}}));
  EXPECT_FALSE(configuration.include_caplets());
  EXPECT_TRUE(configuration.include_coterminal());
  EXPECT_FALSE(configuration.include_cms());
}

TEST(CalibrationIrTargetsConfiguration, StrikesSetterCopiesAndToleratesItsOwnRows) {
  targets configuration(*full_targets());
  configuration.strikes(configuration.strikes());
  EXPECT_EQ(configuration.strikes(), full_targets()->strikes());

  strike_rows replacement{{0.05, 0.06}, {0.07}};
  configuration.strikes(replacement);
  replacement[0][0] = 1.0;  // the setter kept a copy
  EXPECT_EQ(configuration.strikes(), (strike_rows{{0.05, 0.06}, {0.07}}));
}

TEST(CalibrationIrTargetsConfiguration, CopyIsIndependentOfItsSource) {
  auto source = std::make_shared<targets>(*full_targets());
  const targets copy(*source);
  source->strikes(strike_rows{});
  source.reset();
  expect_same(copy, *full_targets());
}

TEST(CalibrationIrTargetsConfiguration, JsonHoldsTenorsAsTextAndEmptyVectorsAsNull) {
  const auto configuration =
      std::make_shared<const targets>(tenor("6M"), tenors({"1Y", "2Y"}), tenor("10Y"), std::vector<tenor>{},
                                      strike_rows{{0.01, 0.02}, {}, {0.03}}, true, false, true);
  EXPECT_EQ(targets::json_to_string(configuration),
            "{\n"
            "  \"Class\": \"qavrek::calibration_ir_targets_configuration\",\n"
            "  \"frequency\": \"6M\",\n"
            "  \"expiries\": [\n"
            "    \"1Y\",\n"
            "    \"2Y\"\n"
            "  ],\n"
            "  \"coterminal\": \"10Y\",\n"
            "  \"cms_tenors\": null,\n"
            "  \"strikes\": [\n"
            "    [\n"
            "      0.01,\n"
            "      0.02\n"
            "    ],\n"
            "    null,\n"
            "    [\n"
            "      0.03\n"
            "    ]\n"
            "  ],\n"
            "  \"include_caplets\": true,\n"
            "  \"include_coterminal\": false,\n"
            "  \"include_cms\": true\n"
            "}");
}

class CalibrationIrTargetsConfigurationFiles : public scratch_files {};

TEST_F(CalibrationIrTargetsConfigurationFiles, BinaryFileHoldsCountsTextsAndFlagsInOrder) {
  const auto configuration =
      std::make_shared<const targets>(tenor("6M"), tenors({"1Y", "2Y"}), tenor("10Y"), std::vector<tenor>{},
                                      strike_rows{{0.01, 0.02}, {}}, true, false, true);
  targets::write_to_binary(path("targets.bin"), configuration);
  EXPECT_EQ(bytes_of(path("targets.bin")), archive_bytes([](multi_process_stream& a) {
              a << std::string("qavrek::calibration_ir_targets_configuration") << std::string("6M") << std::uint32_t{2}
                << std::string("1Y") << std::string("2Y") << std::string("10Y") << std::uint32_t{0} << std::uint32_t{2}
                << std::uint32_t{2} << 0.01 << 0.02 << std::uint32_t{0} << true << false << true;
            }));
}

TEST_F(CalibrationIrTargetsConfigurationFiles, JsonAndBinaryRoundTripsKeepEveryField) {
  const auto empty_cms = std::make_shared<const targets>(tenor("1M"), tenors({"3M"}), tenor("5Y"), std::vector<tenor>{},
                                                         strike_rows{{}, {0.02}}, false, true, false);
  for (const auto& configuration : {full_targets(), empty_cms}) {
    targets::write_to_json(path("targets.json"), configuration);
    targets::write_to_binary(path("targets.bin"), configuration);
    expect_same(*targets::read_from_json(path("targets.json")), *configuration);
    expect_same(*targets::read_from_binary(path("targets.bin")), *configuration);
  }
}

TEST_F(CalibrationIrTargetsConfigurationFiles, MissingVectorsLoadEmptyWhileMissingTenorsAndFlagsFail) {
  auto envelope = ordered_json::parse(targets::json_to_string(full_targets()));
  envelope.erase("cms_tenors");
  write_json_root(path("no_cms.json"), envelope);
  const auto loaded = targets::read_from_json(path("no_cms.json"));
  EXPECT_TRUE(loaded->cms_tenors().empty());
  EXPECT_EQ(loaded->expiries(), full_targets()->expiries());

  struct broken_case {
    const char* key;
    std::string message;
  };
  const broken_case cases[] = {
      {"coterminal", "type must be string, but is null"},
      {"frequency", "type must be string, but is null"},
      {"include_cms", "type must be boolean, but is null"},
  };
  for (const auto& c : cases) {
    auto broken = ordered_json::parse(targets::json_to_string(full_targets()));
    broken.erase(c.key);
    write_json_root(path("broken.json"), broken);
    EXPECT_THAT(failure_of([&] { targets::read_from_json(path("broken.json")); }), ::testing::HasSubstr(c.message))
        << c.key;
  }
}

// The flags, which the loaders' default constructor could leave unset, come back false.
TEST_F(CalibrationIrTargetsConfigurationFiles, NullRecordLoadsDefaultTenorsEmptyVectorsAndFalseFlags) {
  targets::write_to_json(path("null.json"), nullptr);
  targets::write_to_binary(path("null.bin"), nullptr);
  const targets expected(tenor(), {}, tenor(), {}, {}, false, false, false);
  for (const auto& loaded : {targets::read_from_json(path("null.json")), targets::read_from_binary(path("null.bin"))}) {
    ASSERT_NE(loaded, nullptr);
    expect_same(*loaded, expected);
  }
}

}  // namespace
}  // namespace qavrek::settings_test
