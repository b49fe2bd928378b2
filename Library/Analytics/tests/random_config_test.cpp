#include "Analytics/common/random_config.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "settings_test_support.h"

namespace qavrek::settings_test {
namespace {

// Every argument differs from its default and from its neighbours.
ptr_const<random_config> full_config() {
  return std::make_shared<const random_config>(random_type::SOBOL_BROWNIAN_BRIDGE, 42, 1000, 12, 3, 5, true, true,
                                               random_type::MERSENNE_TWISTER, device_type::CPU);
}

void expect_same(const random_settings& actual, const random_settings& expected) {
  EXPECT_EQ(actual.seed(), expected.seed());
  EXPECT_EQ(actual.number_of_paths_per_batch(), expected.number_of_paths_per_batch());
  EXPECT_EQ(actual.number_of_simulation_dates(), expected.number_of_simulation_dates());
  EXPECT_EQ(actual.number_of_brownians(), expected.number_of_brownians());
  EXPECT_EQ(actual.batch_index(), expected.batch_index());
  EXPECT_EQ(actual.full_skip(), expected.full_skip());
  EXPECT_EQ(actual.generator_type(), expected.generator_type());
  EXPECT_EQ(actual.use_shift(), expected.use_shift());
  EXPECT_EQ(actual.type(), expected.type());
  EXPECT_EQ(actual.orthogonalization(), expected.orthogonalization());
}

void expect_same(const random_config& actual, const random_config& expected) {
  EXPECT_EQ(actual.main_generator_type(), expected.main_generator_type());
  ASSERT_NE(actual.settings(), nullptr);
  expect_same(*actual.settings(), *expected.settings());
}

TEST(RandomConfig, OptionalArgumentsTakeTheirDefaultsWithoutShift) {
  const random_config config(random_type::SOBOL, 7, 500, 24);
  EXPECT_EQ(config.main_generator_type(), random_type::SOBOL);
  const auto settings = config.settings();
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(settings->seed(), 7u);
  EXPECT_EQ(settings->number_of_paths_per_batch(), 500u);
  EXPECT_EQ(settings->number_of_simulation_dates(), 24u);
  EXPECT_EQ(settings->number_of_brownians(), 1u);
  EXPECT_EQ(settings->batch_index(), 0u);
  EXPECT_FALSE(settings->full_skip());
  EXPECT_EQ(settings->generator_type(), random_type::WELL_19937);
  EXPECT_FALSE(settings->use_shift());  // random_settings itself shifts by default
  EXPECT_EQ(settings->type(), device_type::CPU);
  EXPECT_FALSE(settings->orthogonalization());
}

TEST(RandomConfig, ArgumentsReachTheSettingsInTheirOwnOrderAndNeverSkipFully) {
  const auto config = full_config();
  EXPECT_EQ(config->main_generator_type(), random_type::SOBOL_BROWNIAN_BRIDGE);
  expect_same(*config->settings(),
              random_settings(42, 1000, 12, 3, 5, false, random_type::MERSENNE_TWISTER, true, device_type::CPU, true));
}

TEST(RandomConfig, CopiesShareTheSettingsRecord) {
  const auto config = full_config();
  const random_config copy(*config);
  EXPECT_EQ(copy.settings(), config->settings());
  EXPECT_EQ(copy.main_generator_type(), config->main_generator_type());
}

TEST(RandomConfig, RefusedGeneratorSettingsFailConstruction) {
  EXPECT_THAT(
      failure_of([] { random_config(random_type::SOBOL, 1, 1, 1, 1, 0, false, false, static_cast<random_type>(9)); }),
      ::testing::HasSubstr("unknown random_type 9"));
}

// The main generator type belongs to the outer object; the nested record has its own class name and keys.
TEST(RandomConfig, JsonNestsTheSettingsRecordUnderItsOwnClassName) {
  EXPECT_EQ(random_config::json_to_string(full_config()),
            "{\n"
            "  \"Class\": \"qavrek::random_config\",\n"
            "  \"main_generator_type\": 1,\n"
            "  \"settings\": {\n"
            "    \"Class\": \"qavrek::random_settings\",\n"
            "    \"seed\": 42,\n"
            "    \"number_of_paths_per_batch\": 1000,\n"
            "    \"number_of_simulation_dates\": 12,\n"
            "    \"number_of_brownians\": 3,\n"
            "    \"batch_index\": 5,\n"
            "    \"full_skip\": false,\n"
            "    \"generator_type\": 4,\n"
            "    \"use_shift\": true,\n"
            "    \"type\": 0,\n"
            "    \"orthogonalization\": true\n"
            "  }\n"
            "}");
}

TEST(RandomSettingsPersistence, RecordHasItsOwnWholeObjectFunctions) {
  const auto settings =
      std::make_shared<const random_settings>(3, 10, 4, 2, 1, true, random_type::WELL_44497, false, device_type::CPU);
  const auto envelope = ordered_json::parse(random_settings::json_to_string(settings));
  EXPECT_EQ(keys_of(envelope),
            (std::vector<std::string>{"Class", "seed", "number_of_paths_per_batch", "number_of_simulation_dates",
                                      "number_of_brownians", "batch_index", "full_skip", "generator_type", "use_shift",
                                      "type", "orthogonalization"}));
  EXPECT_TRUE(envelope["full_skip"].get<bool>());
  EXPECT_EQ(envelope["generator_type"], 3);
}

class RandomConfigFiles : public scratch_files {};

// The 16-bit device type travels as a 32-bit integer.
TEST_F(RandomConfigFiles, BinaryFileHoldsTheNestedRecordAfterTheMainGeneratorType) {
  random_config::write_to_binary(path("config.bin"), full_config());
  EXPECT_EQ(bytes_of(path("config.bin")), archive_bytes([](multi_process_stream& a) {
              a << std::string("qavrek::random_config") << std::int32_t{1} << std::string("qavrek::random_settings")
                << std::uint64_t{42} << std::uint64_t{1000} << std::uint64_t{12} << std::uint64_t{3} << std::uint64_t{5}
                << false << std::int32_t{4} << true << std::int32_t{0} << true;
            }));
}

TEST_F(RandomConfigFiles, JsonAndBinaryRoundTripsKeepEveryField) {
  for (const auto& config : {full_config(), std::make_shared<const random_config>(random_type::WELL_19937, 0, 1, 1)}) {
    random_config::write_to_json(path("config.json"), config);
    random_config::write_to_binary(path("config.bin"), config);
    expect_same(*random_config::read_from_json(path("config.json")), *config);
    expect_same(*random_config::read_from_binary(path("config.bin")), *config);
  }

  const auto settings = full_config()->settings();
  random_settings::write_to_json(path("settings.json"), settings);
  random_settings::write_to_binary(path("settings.bin"), settings);
  expect_same(*random_settings::read_from_json(path("settings.json")), *settings);
  expect_same(*random_settings::read_from_binary(path("settings.bin")), *settings);
}

// A stored device type must fit its 16 bits (65536 is not CPU), then it is checked as any loaded record is.
TEST_F(RandomConfigFiles, StoredDeviceTypeMustFitSixteenBits) {
  struct device_case {
    std::int32_t stored;
    std::string failure;  // empty: loads as CPU
  };
  const std::string outside = " of \"type\" is outside [-32768, 32767], the range of a 16-bit enumeration";
  const device_case cases[] = {
      {0, ""},
      {65536, "The value 65536" + outside},
      {-65536, "The value -65536" + outside},
      {65537, "The value 65537" + outside},
      {1, "unsupported device_type 1"},
      {-1, "unsupported device_type -1"},
  };
  for (const auto& c : cases) {
    auto envelope = ordered_json::parse(random_config::json_to_string(full_config()));
    envelope["settings"]["type"] = c.stored;
    write_json_root(path("config.json"), envelope);
    write_bytes(path("config.bin"), archive_bytes([&](multi_process_stream& a) {
                  a << std::string("qavrek::random_config") << std::int32_t{1} << std::string("qavrek::random_settings")
                    << std::uint64_t{42} << std::uint64_t{1000} << std::uint64_t{12} << std::uint64_t{3}
                    << std::uint64_t{5} << false << std::int32_t{4} << true << c.stored << true;
                }));
    for (const std::string file : {"config.json", "config.bin"}) {
      const auto read = file == "config.json" ? &random_config::read_from_json : &random_config::read_from_binary;
      const std::string failure =
          failure_of([&] { EXPECT_EQ(read(path(file))->settings()->type(), device_type::CPU) << c.stored; });
      if (c.failure.empty())
        EXPECT_EQ(failure, "") << file << " " << c.stored;
      else
        EXPECT_THAT(failure, ::testing::HasSubstr(c.failure)) << file << " " << c.stored;
    }
  }
}

TEST_F(RandomConfigFiles, LoadedSettingsAreCheckedAndMissingKeysFail) {
  struct broken_case {
    std::string name;
    const char* key;
    ordered_json value;  // null: the key is removed
    std::string message;
  };
  const broken_case cases[] = {
      {"unknown generator", "generator_type", 9, "unknown random_type 9"},
      {"no seed", "seed", nullptr, "type must be number, but is null"},
      {"no use_shift", "use_shift", nullptr, "type must be boolean, but is null"},
      {"no class name", "Class", nullptr, "Non valid class name"},
  };
  for (const auto& c : cases) {
    auto envelope = ordered_json::parse(random_config::json_to_string(full_config()));
    if (c.value.is_null())
      envelope["settings"].erase(c.key);
    else
      envelope["settings"][c.key] = c.value;
    write_json_root(path("broken.json"), envelope);
    EXPECT_THAT(failure_of([&] { random_config::read_from_json(path("broken.json")); }),
                ::testing::HasSubstr(c.message))
        << c.name;
  }
  auto envelope = ordered_json::parse(random_config::json_to_string(full_config()));
  envelope.erase("main_generator_type");
  write_json_root(path("no_main.json"), envelope);
  EXPECT_THAT(failure_of([&] { random_config::read_from_json(path("no_main.json")); }),
              ::testing::HasSubstr("type must be number, but is null"));
}

// A nested null record stands for a default settings record. A top-level null record gives a Sobol main
// generator over such a default record too, never a configuration without settings.
TEST_F(RandomConfigFiles, NullRecordsLoadUsableDefaults) {
  auto envelope = ordered_json::parse(random_config::json_to_string(full_config()));
  envelope["settings"] = {{"Class", "null object!"}};
  write_json_root(path("null_settings.json"), envelope);
  write_bytes(path("null_settings.bin"), archive_bytes([](multi_process_stream& a) {
                a << std::string("qavrek::random_config") << std::int32_t{1} << std::string("null object!");
              }));
  random_config::write_to_json(path("null.json"), nullptr);
  random_config::write_to_binary(path("null.bin"), nullptr);

  const random_settings default_record(random_settings::default_seed, 0, 0);
  for (const auto& loaded : {random_config::read_from_json(path("null_settings.json")),
                             random_config::read_from_binary(path("null_settings.bin"))}) {
    EXPECT_EQ(loaded->main_generator_type(), random_type::SOBOL_BROWNIAN_BRIDGE);
    ASSERT_NE(loaded->settings(), nullptr);
    expect_same(*loaded->settings(), default_record);
  }
  for (const auto& loaded :
       {random_config::read_from_json(path("null.json")), random_config::read_from_binary(path("null.bin"))}) {
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->main_generator_type(), random_type::SOBOL);
    ASSERT_NE(loaded->settings(), nullptr);
    expect_same(*loaded->settings(), default_record);
  }
}

}  // namespace
}  // namespace qavrek::settings_test
