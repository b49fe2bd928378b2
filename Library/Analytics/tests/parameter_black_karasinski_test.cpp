#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Analytics/parameters/parameter_black_karasinski.h"
#include "parameters_test_support.h"

namespace qavrek::parameters_test {
namespace {

constexpr const char* bk_file = "Library/Analytics/parameters/parameter_black_karasinski";

ptr_mutable<parameter_markovian_hjm> one_factor_hjm() {
  return std::make_shared<parameter_markovian_hjm>(matrix<double>{{0.05}}, matrix<double>{{0.01}, {0.012}},
                                                   matrix<double>{{1.0}}, dates({43831.0}),
                                                   dates({43831.0, 44196.0}), act_365(),
                                                   parameter_markovian_hjm_type::HULL_WHITE);
}

struct bk_inputs {
  ptr_mutable<parameter_markovian_hjm> parameters = one_factor_hjm();
  std::vector<double> levels = {0.02, 0.025, 0.03};
  std::vector<datetime> level_dates = dates({43831.0, 44196.0, 44561.0});

  std::shared_ptr<parameter_black_karasinski> build() const {
    return std::make_shared<parameter_black_karasinski>(parameters, levels, level_dates);
  }
};

struct validation_case {
  const char* name;
  std::function<void(bk_inputs&)> change;
  int line;  // 0: one of the checks beyond the fixed ones
  std::string message;
};

TEST(ParameterBlackKarasinski, ValidationChecksInOrderAndStopsAtTheFirstFailure) {
  const std::vector<validation_case> cases = {
      {"two factors, before the levels are compared",
       [](bk_inputs& in) {
         in.parameters = std::make_shared<parameter_markovian_hjm>(
             matrix<double>{{0.05, 0.1}}, matrix<double>{{0.01, 0.02}}, matrix<double>{{1.0, 0.2}, {0.2, 1.0}},
             dates({43831.0}), dates({43831.0}), act_365(), parameter_markovian_hjm_type::HULL_WHITE);
         in.level_dates.pop_back();
       },
       153, "parameter_black_karasinski supports one factor"},
      {"no factor",
       [](bk_inputs& in) {
         in.parameters = std::make_shared<parameter_markovian_hjm>(matrix<double>(), matrix<double>(),
                                                                   matrix<double>(), dates({}), dates({}),
                                                                   act_365(), parameter_markovian_hjm_type::HULL_WHITE);
       },
       153, "parameter_black_karasinski supports one factor"},
      {"levels against their dates", [](bk_inputs& in) { in.level_dates.pop_back(); }, 159,
       "Expected levels_parameter_.size() == levels_parameter_dates_.size() to be true, but got false.  bk levels "
       "size 3 is differents from dates size 2"},
      {"a nested set present", [](bk_inputs& in) { in.parameters = nullptr; }, 0,
       "the Black-Karasinski parameter set needs its Markovian HJM parameter set"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bk_inputs in;
    c.change(in);
    const auto failed = failure_of([&] { in.build(); });
    ASSERT_TRUE(failed.has_value());
    EXPECT_EQ(failed->function, "validate");
    if (c.line != 0) {
      EXPECT_EQ(failed->file, bk_file);
      EXPECT_EQ(failed->line, c.line);
      EXPECT_EQ(failed->message, c.message);
    } else {
      EXPECT_NE(failed->message.find(c.message), std::string::npos) << failed->message;
    }
  }
}

TEST(ParameterBlackKarasinski, AccessorsAndDefaults) {
  const auto set = bk_inputs().build();
  EXPECT_EQ(set->time_step_in_days(), 10);
  EXPECT_EQ(set->number_of_roots(), 8);
  EXPECT_EQ(set->number_of_factors(), 1u);
  EXPECT_EQ(set->mean_reversion(), 0.05);
  EXPECT_EQ(&set->correlation(), &set->parameters()->correlation());
}

TEST(ParameterBlackKarasinski, StateIsTheNestedStateThenTheLevels) {
  bk_inputs in;
  auto set = in.build();
  EXPECT_EQ(state_of(*set), std::vector<double>({0.05, 0.01, 0.012, 0.02, 0.025, 0.03}));

  const std::vector<double> written = {0.07, 0.02, 0.022, 0.1, 0.2, 0.3};
  EXPECT_EQ(set->set_state_parameters(written.data()), 6u);
  EXPECT_EQ(std::as_const(*set).levels_parameter(), std::vector<double>({0.1, 0.2, 0.3}));
  // The nested set is shared: the caller's object holds the new values.
  EXPECT_EQ(in.parameters->decays()(0, 0), 0.07);
  EXPECT_EQ(values_of(in.parameters->volatilities()), std::vector<double>({0.02, 0.022}));
  EXPECT_EQ(state_of(*set), written);
}

TEST(ParameterBlackKarasinski, WithoutLevelsTheStateIsTheNestedOne) {
  bk_inputs in;
  in.levels.clear();
  in.level_dates.clear();
  const auto set = in.build();
  EXPECT_EQ(state_of(*set), state_of(*in.parameters));
}

TEST(ParameterBlackKarasinski, LevelAdjointsLandOnTheirLevels) {
  const auto set = bk_inputs().build();
  const std::vector<double> state = state_of(*set);
  std::vector<double> adjoints(state.size(), 0.5);
  set->levels_parameter_aad(2.0, 1, adjoints.data());
  set->levels_parameter_aad(1.0, 1, adjoints.data());
  std::vector<double> expected(state.size(), 0.5);
  expected[static_cast<size_t>(std::find(state.begin(), state.end(), 0.025) - state.begin())] += 3.0;
  EXPECT_EQ(adjoints, expected);
}

TEST(ParameterBlackKarasinski, LevelInForceIsTheLastLevelDateNotAfterTheDate) {
  const auto set = bk_inputs().build();
  const struct {
    double serial;
    size_t offset;
  } cases[] = {{43000.0, 0}, {43831.0, 0}, {44000.0, 0}, {44196.0, 1}, {44300.0, 1}, {44561.0, 2}, {50000.0, 2}};
  for (const auto& c : cases) EXPECT_EQ(set->levels_parameter_offset(datetime(c.serial)), c.offset) << c.serial;
}

TEST(ParameterBlackKarasinski, LevelsAreWritableInPlaceAndCopiesShareTheNestedSet) {
  auto set = bk_inputs().build();
  const parameter_black_karasinski copy(*set);
  set->levels_parameter()[1] = 0.5;
  EXPECT_EQ(set->levels_parameter()[1], 0.5);
  EXPECT_EQ(copy.levels_parameter()[1], 0.025);
  EXPECT_EQ(copy.parameters(), set->parameters());
}

class BlackKarasinskiFiles : public scratch_files {
 protected:
  static ptr_const<parameter_black_karasinski> stored() {
    bk_inputs in;
    return std::make_shared<const parameter_black_karasinski>(in.parameters, in.levels, in.level_dates, 15, 6);
  }
};

TEST_F(BlackKarasinskiFiles, RoundTripsWithAFreshNestedSet) {
  const auto saved = stored();
  parameter_black_karasinski::write_to_json(path("bk.json"), saved);
  parameter_black_karasinski::write_to_binary(path("bk.bin"), saved);
  for (const auto& read : {parameter_black_karasinski::read_from_json(path("bk.json")),
                           parameter_black_karasinski::read_from_binary(path("bk.bin"))}) {
    EXPECT_TRUE(read->is_initialized());
    ASSERT_NE(read->parameters(), nullptr);
    EXPECT_NE(read->parameters(), saved->parameters());
    EXPECT_EQ(read->levels_parameter(), saved->levels_parameter());
    EXPECT_EQ(read->levels_parameter_dates(), saved->levels_parameter_dates());
    EXPECT_EQ(read->time_step_in_days(), 15);
    EXPECT_EQ(read->number_of_roots(), 6);
    EXPECT_EQ(state_of(*read), state_of(*saved));
  }
}

TEST_F(BlackKarasinskiFiles, JsonKeysAndBinaryFieldsComeInOrder) {
  const auto saved = stored();
  const auto j = ordered_json::parse(parameter_black_karasinski::json_to_string(saved));
  EXPECT_EQ(keys_of(j), std::vector<std::string>({"Class", "parameters", "levels_parameter", "levels_parameter_dates",
                                                   "time_step_in_days", "number_of_roots"}));
  EXPECT_EQ(j["Class"], "qavrek::parameter_black_karasinski");
  EXPECT_EQ(j["parameters"]["Class"], "qavrek::parameter_markovian_hjm");
  EXPECT_EQ(j["levels_parameter"], ordered_json::parse("[0.02, 0.025, 0.03]"));

  parameter_black_karasinski::write_to_binary(path("bk.bin"), saved);
  const parameter_markovian_hjm& nested = *saved->parameters();
  multi_process_stream expected;
  expected << std::string("qavrek::parameter_black_karasinski") << std::string("qavrek::parameter_markovian_hjm");
  matrix_bytes(expected, nested.decays());
  matrix_bytes(expected, nested.volatilities());
  matrix_bytes(expected, nested.correlation());
  date_bytes(expected, nested.decays_dates());
  date_bytes(expected, nested.volatilities_dates());
  convention_bytes(expected, nested.day_convention().get());
  expected << std::int32_t{0};
  expected << std::uint32_t{3} << 0.02 << 0.025 << 0.03;
  date_bytes(expected, saved->levels_parameter_dates());
  expected << std::int16_t{15} << std::int16_t{6};
  EXPECT_EQ(bytes_of(path("bk.bin")), expected.GetRawData());
}

// The two settings are 16 bits wide: a JSON integer that they cannot hold is refused under its key, never
// cut to its low 16 bits (65544 would be 8 roots, 40000 days -25536).
TEST_F(BlackKarasinskiFiles, SixteenBitSettingsLoadOnlyIntegersThatFitSixteenBits) {
  const struct {
    const char* key;
    std::int64_t stored;
    bool fits;
  } cases[] = {{"time_step_in_days", 32767, true}, {"number_of_roots", 32767, true},
               {"time_step_in_days", 40000, false}, {"number_of_roots", 65544, false},
               {"number_of_roots", -65528, false}, {"time_step_in_days", 32768, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " " + std::to_string(c.stored));
    auto j = ordered_json::parse(parameter_black_karasinski::json_to_string(stored()));
    j[c.key] = c.stored;
    write_json_root(path("bk.json"), j);
    const auto failed = failure_of([&] {
      const auto read = parameter_black_karasinski::read_from_json(path("bk.json"));
      EXPECT_EQ(std::string(c.key) == "number_of_roots" ? read->number_of_roots() : read->time_step_in_days(),
                c.stored);
    });
    if (c.fits) {
      EXPECT_FALSE(failed.has_value()) << failed->message;
    } else {
      ASSERT_TRUE(failed.has_value());
      EXPECT_EQ(failed->message, "The value " + std::to_string(c.stored) + " of \"" + c.key +
                                     "\" is outside [-32768, 32767], the range of a 16-bit integer");
    }
  }
}

TEST_F(BlackKarasinskiFiles, ANullSetReadsBackEmptyAndSaysSoInsteadOfCrashing) {
  parameter_black_karasinski::write_to_binary(path("null.bin"), nullptr);
  const auto read = parameter_black_karasinski::read_from_binary(path("null.bin"));
  ASSERT_NE(read, nullptr);
  EXPECT_FALSE(read->is_initialized());
  EXPECT_EQ(read->parameters(), nullptr);
  EXPECT_EQ(read->time_step_in_days(), 0);
  EXPECT_EQ(read->number_of_roots(), 0);
  EXPECT_EQ(state_of(*read), std::vector<double>());
  EXPECT_TRUE(failure_of([&] { read->number_of_factors(); }).has_value());
  EXPECT_TRUE(failure_of([&] { read->mean_reversion(); }).has_value());
}

TEST_F(BlackKarasinskiFiles, ANestedNullSetIsRefusedAsNotOneFactor) {
  auto j = ordered_json::parse(parameter_black_karasinski::json_to_string(stored()));
  j["parameters"] = ordered_json{{"Class", "null object!"}};
  write_json_root(path("bk.json"), j);
  const auto failed = failure_of([&] { parameter_black_karasinski::read_from_json(path("bk.json")); });
  ASSERT_TRUE(failed.has_value());
  EXPECT_EQ(failed->line, 153);
  EXPECT_EQ(failed->message, "parameter_black_karasinski supports one factor");
}

}  // namespace
}  // namespace qavrek::parameters_test
