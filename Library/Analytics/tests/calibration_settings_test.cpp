#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "Analytics/common/random_config.h"
#include "Analytics/settings/calibration_black_karasinski_settings.h"
#include "Analytics/settings/calibration_cheyette_settings.h"
#include "Analytics/settings/calibration_hjm_settings.h"
#include "Analytics/settings/calibration_ir_targets_configuration.h"
#include "Serialization/serialization_impl.h"
#include "settings_test_support.h"

namespace qavrek::settings_test {
namespace {

using hjm_type = parameter_markovian_hjm_type;
using bk_settings = calibration_black_karasinski_settings;
using cheyette_settings = calibration_cheyette_settings;
using hjm_settings = calibration_hjm_settings;

// Every argument differs from its default and from its neighbours, so that a value stored in the wrong
// field shows.
ptr_const<bk_settings> full_black_karasinski() {
  return std::make_shared<const bk_settings>(tenor("6M"), 0.05, false, false, 65, 4.5, -20.0, 25.0, 1e-10, true, 15.0,
                                             4, 0.5, false);
}
ptr_const<cheyette_settings> full_cheyette() {
  return std::make_shared<const cheyette_settings>(std::vector<double>{0.001, 0.05}, std::vector<double>{0.01, 1.0},
                                                   std::vector<double>{-0.5, 0.5, 0.75}, hjm_type::PICEWISE_CONSTANT,
                                                   true, 50, 1e-8);
}
ptr_const<hjm_settings> full_hjm() {
  return std::make_shared<const hjm_settings>(3, std::vector<double>{0.002, 0.04}, std::vector<double>{0.02, 2.0},
                                              hjm_type::PICEWISE_CONSTANT, true, 77, false, true, 1e-9, 0.25, true,
                                              true);
}

// Field by field, through the accessors.
void expect_same_fields(const bk_settings& actual, const bk_settings& expected) {
  EXPECT_EQ(actual.mean_reversion_spead(), expected.mean_reversion_spead());
  EXPECT_EQ(actual.backward(), expected.backward());
  EXPECT_EQ(actual.use_adjustement(), expected.use_adjustement());
  EXPECT_EQ(actual.pde_grid_size(), expected.pde_grid_size());
  EXPECT_EQ(actual.pde_span(), expected.pde_span());
  EXPECT_EQ(actual.level_lower_bound(), expected.level_lower_bound());
  EXPECT_EQ(actual.level_upper_bound(), expected.level_upper_bound());
  EXPECT_EQ(actual.tolerance(), expected.tolerance());
  EXPECT_EQ(actual.debug(), expected.debug());
  EXPECT_EQ(actual.step(), expected.step());
  EXPECT_EQ(actual.period(), expected.period());
  EXPECT_EQ(actual.minimum_step(), expected.minimum_step());
  EXPECT_EQ(actual.update_bounds(), expected.update_bounds());
}

// Field by field; the Black-Karasinski frequency has no accessor and is compared through the JSON text.
void expect_same(const bk_settings& actual, const bk_settings& expected) {
  expect_same_fields(actual, expected);
  EXPECT_EQ(
      ordered_json::parse(bk_settings::json_to_string(std::make_shared<const bk_settings>(actual)))["frequency"],
      ordered_json::parse(bk_settings::json_to_string(std::make_shared<const bk_settings>(expected)))["frequency"]);
}

void expect_same(const cheyette_settings& actual, const cheyette_settings& expected) {
  EXPECT_EQ(actual.volatility_bounds(), expected.volatility_bounds());
  EXPECT_EQ(actual.decay_bounds(), expected.decay_bounds());
  EXPECT_EQ(actual.skew_bounds(), expected.skew_bounds());
  EXPECT_EQ(actual.type(), expected.type());
  EXPECT_EQ(actual.tolerance(), expected.tolerance());
  EXPECT_EQ(actual.debug(), expected.debug());
  EXPECT_EQ(actual.max_iterations(), expected.max_iterations());
}

void expect_same(const hjm_settings& actual, const hjm_settings& expected) {
  EXPECT_EQ(actual.number_of_factors(), expected.number_of_factors());
  EXPECT_EQ(actual.volatility_bounds(), expected.volatility_bounds());
  EXPECT_EQ(actual.decay_bounds(), expected.decay_bounds());
  EXPECT_EQ(actual.type(), expected.type());
  EXPECT_EQ(actual.tolerance(), expected.tolerance());
  EXPECT_EQ(actual.regularization_factor(), expected.regularization_factor());
  EXPECT_EQ(actual.regularization_flag(), expected.regularization_flag());
  EXPECT_EQ(actual.calibrate_correlation_flag(), expected.calibrate_correlation_flag());
  EXPECT_EQ(actual.jacobian_with_aad_flag(), expected.jacobian_with_aad_flag());
  EXPECT_EQ(actual.calibrate_to_all_target_flag(), expected.calibrate_to_all_target_flag());
  EXPECT_EQ(actual.debug(), expected.debug());
  EXPECT_EQ(actual.max_iterations(), expected.max_iterations());
}

TEST(CalibrationSettingsDefaults, BlackKarasinskiFromFrequencyAndSpeedAlone) {
  const bk_settings settings(tenor("3M"), 0.1);
  EXPECT_EQ(settings.mean_reversion_spead(), 0.1);
  EXPECT_TRUE(settings.backward());
  EXPECT_TRUE(settings.use_adjustement());
  EXPECT_EQ(settings.pde_grid_size(), 129u);
  EXPECT_EQ(settings.pde_span(), 3.0);
  EXPECT_EQ(settings.level_lower_bound(), -50.0);
  EXPECT_EQ(settings.level_upper_bound(), 50.0);
  EXPECT_EQ(settings.tolerance(), 1e-13);
  EXPECT_FALSE(settings.debug());
  EXPECT_EQ(settings.step(), 30.0);
  EXPECT_EQ(settings.period(), 10u);
  EXPECT_EQ(settings.minimum_step(), 1.0);
  EXPECT_TRUE(settings.update_bounds());
}

TEST(CalibrationSettingsDefaults, CheyetteFromBoundsAndTypeAlone) {
  const cheyette_settings settings({0.1, 0.2}, {0.3, 0.4}, {0.5, 0.6}, hjm_type::HULL_WHITE);
  EXPECT_EQ(settings.volatility_bounds(), (std::vector<double>{0.1, 0.2}));
  EXPECT_EQ(settings.decay_bounds(), (std::vector<double>{0.3, 0.4}));
  EXPECT_EQ(settings.skew_bounds(), (std::vector<double>{0.5, 0.6}));
  EXPECT_EQ(settings.type(), hjm_type::HULL_WHITE);
  EXPECT_FALSE(settings.debug());
  EXPECT_EQ(settings.max_iterations(), 200);
  EXPECT_EQ(settings.tolerance(), 1e-6);
}

TEST(CalibrationSettingsDefaults, HjmFromFactorsBoundsAndTypeAlone) {
  const hjm_settings settings(2, {0.1, 0.2}, {0.3, 0.4}, hjm_type::PICEWISE_CONSTANT);
  EXPECT_EQ(settings.number_of_factors(), 2u);
  EXPECT_EQ(settings.volatility_bounds(), (std::vector<double>{0.1, 0.2}));
  EXPECT_EQ(settings.decay_bounds(), (std::vector<double>{0.3, 0.4}));
  EXPECT_EQ(settings.type(), hjm_type::PICEWISE_CONSTANT);
  EXPECT_TRUE(settings.jacobian_with_aad_flag());
  EXPECT_FALSE(settings.regularization_flag());
  EXPECT_FALSE(settings.calibrate_correlation_flag());
  EXPECT_FALSE(settings.calibrate_to_all_target_flag());
  EXPECT_FALSE(settings.debug());
  EXPECT_EQ(settings.regularization_factor(), 0.0);
  EXPECT_EQ(settings.max_iterations(), 200);
  EXPECT_EQ(settings.tolerance(), 1e-6);
}

TEST(CalibrationSettingsArguments, EachBlackKarasinskiArgumentReachesItsField) {
  const auto settings = full_black_karasinski();
  EXPECT_EQ(settings->mean_reversion_spead(), 0.05);
  EXPECT_FALSE(settings->backward());
  EXPECT_FALSE(settings->use_adjustement());
  EXPECT_EQ(settings->pde_grid_size(), 65u);
  EXPECT_EQ(settings->pde_span(), 4.5);
  EXPECT_EQ(settings->level_lower_bound(), -20.0);
  EXPECT_EQ(settings->level_upper_bound(), 25.0);
  EXPECT_EQ(settings->tolerance(), 1e-10);
  EXPECT_TRUE(settings->debug());
  EXPECT_EQ(settings->step(), 15.0);
  EXPECT_EQ(settings->period(), 4u);
  EXPECT_EQ(settings->minimum_step(), 0.5);
  EXPECT_FALSE(settings->update_bounds());
}

// The optional arguments come as debug, max_iterations, tolerance; the fields hold tolerance first.
TEST(CalibrationSettingsArguments, CheyetteTakesDebugIterationsToleranceInThatOrder) {
  const auto settings = full_cheyette();
  EXPECT_TRUE(settings->debug());
  EXPECT_EQ(settings->max_iterations(), 50);
  EXPECT_EQ(settings->tolerance(), 1e-8);
  EXPECT_EQ(settings->type(), hjm_type::PICEWISE_CONSTANT);
  EXPECT_EQ(settings->skew_bounds(), (std::vector<double>{-0.5, 0.5, 0.75}));
}

TEST(CalibrationSettingsArguments, HjmArgumentsGoToTheFieldsOfTheirNames) {
  const auto settings = full_hjm();
  EXPECT_EQ(settings->number_of_factors(), 3u);
  EXPECT_EQ(settings->volatility_bounds(), (std::vector<double>{0.002, 0.04}));
  EXPECT_EQ(settings->decay_bounds(), (std::vector<double>{0.02, 2.0}));
  EXPECT_EQ(settings->type(), hjm_type::PICEWISE_CONSTANT);
  EXPECT_TRUE(settings->debug());
  EXPECT_EQ(settings->max_iterations(), 77);
  EXPECT_FALSE(settings->jacobian_with_aad_flag());
  EXPECT_TRUE(settings->calibrate_correlation_flag());
  EXPECT_EQ(settings->tolerance(), 1e-9);
  EXPECT_EQ(settings->regularization_factor(), 0.25);
  EXPECT_TRUE(settings->regularization_flag());
  EXPECT_TRUE(settings->calibrate_to_all_target_flag());
}

TEST(CalibrationSettingsArguments, CopiesAreIndependentAndEqual) {
  auto bounds = std::vector<double>{1.0, 2.0};
  const hjm_settings original(1, bounds, bounds, hjm_type::HULL_WHITE);
  bounds[0] = 9.0;  // the constructor copied the vectors
  const hjm_settings copy(original);
  expect_same(copy, original);
  EXPECT_EQ(copy.volatility_bounds(), (std::vector<double>{1.0, 2.0}));
  expect_same(bk_settings(*full_black_karasinski()), *full_black_karasinski());
  expect_same(cheyette_settings(*full_cheyette()), *full_cheyette());
}

TEST(CalibrationSettingsJson, KeysFollowTheFieldOrderWithTheSystemsSpellings) {
  struct key_case {
    std::string name;
    std::string text;
    std::vector<std::string> keys;
  };
  const key_case cases[] = {
      {"black-karasinski",
       bk_settings::json_to_string(full_black_karasinski()),
       {"Class", "frequency", "mean_reversion_spead", "backward", "use_adjustement", "pde_grid_size", "pde_span",
        "level_lower_bound", "level_upper_bound", "tolerance", "debug", "step", "period", "minimum_step",
        "update_bounds"}},
      {"cheyette",
       cheyette_settings::json_to_string(full_cheyette()),
       {"Class", "volatility_bounds", "decay_bounds", "skew_bounds", "type", "tolerance", "debug", "max_iterations"}},
      {"hjm",
       hjm_settings::json_to_string(full_hjm()),
       {"Class", "mumber_of_factors", "volatility_bounds", "decay_bounds", "type", "tolerance", "regularization_factor",
        "regularization_flag", "calibrate_correlation_flag", "jacobian_with_aad_flag", "calibrate_to_all_target_flag",
        "debug", "max_iterations"}},
  };
  for (const auto& c : cases) EXPECT_EQ(keys_of(ordered_json::parse(c.text)), c.keys) << c.name;
}

TEST(CalibrationSettingsJson, BlackKarasinskiTextHoldsEachValueInItsJsonType) {
  EXPECT_EQ(bk_settings::json_to_string(full_black_karasinski()),
            "{\n"
            "  \"Class\": \"qavrek::calibration_black_karasinski_settings\",\n"
            "  \"frequency\": \"6M\",\n"
            "  \"mean_reversion_spead\": 0.05,\n"
            "  \"backward\": false,\n"
            "  \"use_adjustement\": false,\n"
            "  \"pde_grid_size\": 65,\n"
            "  \"pde_span\": 4.5,\n"
            "  \"level_lower_bound\": -20.0,\n"
            "  \"level_upper_bound\": 25.0,\n"
            "  \"tolerance\": 1e-10,\n"
            "  \"debug\": true,\n"
            "  \"step\": 15.0,\n"
            "  \"period\": 4,\n"
            "  \"minimum_step\": 0.5,\n"
            "  \"update_bounds\": false\n"
            "}");
}

TEST(CalibrationSettingsJson, ModelTypeIsAnIntegerAndEmptyBoundsAreNull) {
  const auto hjm = ordered_json::parse(hjm_settings::json_to_string(std::make_shared<const hjm_settings>(
      2, std::vector<double>{}, std::vector<double>{0.1, 0.2}, hjm_type::PICEWISE_CONSTANT)));
  EXPECT_EQ(hjm["Class"], "qavrek::calibration_hjm_settings");
  EXPECT_TRUE(hjm["type"].is_number_integer());
  EXPECT_EQ(hjm["type"], 1);
  EXPECT_TRUE(hjm["mumber_of_factors"].is_number_unsigned());
  EXPECT_TRUE(hjm["volatility_bounds"].is_null());
  EXPECT_EQ(hjm["decay_bounds"], (ordered_json{0.1, 0.2}));
  EXPECT_TRUE(hjm["max_iterations"].is_number_integer());
}

class CalibrationSettingsFiles : public scratch_files {};

TEST_F(CalibrationSettingsFiles, BinaryFilesHoldTheFieldsInDeclarationOrder) {
  struct layout_case {
    std::string name;
    std::function<void(const std::string&)> write;
    std::vector<unsigned char> expected;
  };
  const std::vector<double> no_bounds;
  const layout_case cases[] = {
      {"black-karasinski", [](const std::string& file) { bk_settings::write_to_binary(file, full_black_karasinski()); },
       archive_bytes([](multi_process_stream& a) {
         a << std::string("qavrek::calibration_black_karasinski_settings") << std::string("6M") << 0.05 << false
           << false << std::uint64_t{65} << 4.5 << -20.0 << 25.0 << 1e-10 << true << 15.0 << std::uint64_t{4} << 0.5
           << false;
       })},
      {"cheyette with empty skew bounds",
       [&](const std::string& file) {
         cheyette_settings::write_to_binary(file, std::make_shared<const cheyette_settings>(
                                                      std::vector<double>{0.001, 0.05}, std::vector<double>{0.01},
                                                      no_bounds, hjm_type::PICEWISE_CONSTANT, true, 50, 1e-8));
       },
       archive_bytes([](multi_process_stream& a) {
         a << std::string("qavrek::calibration_cheyette_settings") << std::uint32_t{2} << 0.001 << 0.05
           << std::uint32_t{1} << 0.01 << std::uint32_t{0} << std::int32_t{1} << 1e-8 << true << std::int32_t{50};
       })},
      {"hjm", [](const std::string& file) { hjm_settings::write_to_binary(file, full_hjm()); },
       archive_bytes([](multi_process_stream& a) {
         a << std::string("qavrek::calibration_hjm_settings") << std::uint64_t{3} << std::uint32_t{2} << 0.002 << 0.04
           << std::uint32_t{2} << 0.02 << 2.0 << std::int32_t{1} << 1e-9 << 0.25 << true << true << false << true
           << true << std::int32_t{77};
       })},
  };
  for (const auto& c : cases) {
    c.write(path("settings.bin"));
    EXPECT_EQ(bytes_of(path("settings.bin")), c.expected) << c.name;
  }
}

TEST_F(CalibrationSettingsFiles, JsonAndBinaryRoundTripsKeepEveryField) {
  const auto bk = full_black_karasinski();
  bk_settings::write_to_json(path("bk.json"), bk);
  bk_settings::write_to_binary(path("bk.bin"), bk);
  expect_same(*bk_settings::read_from_json(path("bk.json")), *bk);
  expect_same(*bk_settings::read_from_binary(path("bk.bin")), *bk);

  // Empty bounds travel as null and as a zero count.
  for (const auto& cheyette :
       {full_cheyette(), std::make_shared<const cheyette_settings>(std::vector<double>{}, std::vector<double>{},
                                                                   std::vector<double>{}, hjm_type::HULL_WHITE)}) {
    cheyette_settings::write_to_json(path("cheyette.json"), cheyette);
    cheyette_settings::write_to_binary(path("cheyette.bin"), cheyette);
    expect_same(*cheyette_settings::read_from_json(path("cheyette.json")), *cheyette);
    expect_same(*cheyette_settings::read_from_binary(path("cheyette.bin")), *cheyette);
  }

  const auto hjm = full_hjm();
  hjm_settings::write_to_json(path("hjm.json"), hjm);
  hjm_settings::write_to_binary(path("hjm.bin"), hjm);
  expect_same(*hjm_settings::read_from_json(path("hjm.json")), *hjm);
  expect_same(*hjm_settings::read_from_binary(path("hjm.bin")), *hjm);
}

// A null record keeps what the loaders' default constructor made: every field has a definite value, the
// constructor's default where there is one and zero, false, empty or HULL_WHITE otherwise.
TEST_F(CalibrationSettingsFiles, NullRecordsLoadAsFullyDefinedDefaults) {
  bk_settings::write_to_json(path("bk.json"), nullptr);
  bk_settings::write_to_binary(path("bk.bin"), nullptr);
  const bk_settings bk_default(tenor(), 0.0);
  for (const auto& loaded :
       {bk_settings::read_from_json(path("bk.json")), bk_settings::read_from_binary(path("bk.bin"))}) {
    ASSERT_NE(loaded, nullptr);
    expect_same_fields(*loaded, bk_default);
    // It skipped the checks of a loaded record, so it saves as the null record again (with its frequency).
    EXPECT_EQ(ordered_json::parse(bk_settings::json_to_string(loaded))["Class"], "null object!");
  }

  cheyette_settings::write_to_json(path("cheyette.json"), nullptr);
  cheyette_settings::write_to_binary(path("cheyette.bin"), nullptr);
  const cheyette_settings cheyette_default({}, {}, {}, hjm_type::HULL_WHITE);
  for (const auto& loaded : {cheyette_settings::read_from_json(path("cheyette.json")),
                             cheyette_settings::read_from_binary(path("cheyette.bin"))}) {
    ASSERT_NE(loaded, nullptr);
    expect_same(*loaded, cheyette_default);
  }

  hjm_settings::write_to_json(path("hjm.json"), nullptr);
  hjm_settings::write_to_binary(path("hjm.bin"), nullptr);
  const hjm_settings hjm_default(0, {}, {}, hjm_type::HULL_WHITE);
  for (const auto& loaded :
       {hjm_settings::read_from_json(path("hjm.json")), hjm_settings::read_from_binary(path("hjm.bin"))}) {
    ASSERT_NE(loaded, nullptr);
    expect_same(*loaded, hjm_default);
  }
}

TEST_F(CalibrationSettingsFiles, MissingScalarKeysAndMistypedValuesFailWithTheJsonLibrarysText) {
  struct broken_case {
    std::string name;
    ordered_json envelope;
    std::function<void(const std::string&)> read;
    std::string message;
  };
  auto bk = ordered_json::parse(bk_settings::json_to_string(full_black_karasinski()));
  auto cheyette = ordered_json::parse(cheyette_settings::json_to_string(full_cheyette()));
  auto hjm = ordered_json::parse(hjm_settings::json_to_string(full_hjm()));
  const auto without = [](ordered_json envelope, const char* key) {
    envelope.erase(key);
    return envelope;
  };
  const auto with = [](ordered_json envelope, const char* key, ordered_json value) {
    envelope[key] = std::move(value);
    return envelope;
  };
  const auto read_bk = [](const std::string& file) { bk_settings::read_from_json(file); };
  const auto read_cheyette = [](const std::string& file) { cheyette_settings::read_from_json(file); };
  const auto read_hjm = [](const std::string& file) { hjm_settings::read_from_json(file); };
  const broken_case cases[] = {
      {"no period", without(bk, "period"), read_bk, "type must be number, but is null"},
      {"no frequency", without(bk, "frequency"), read_bk, "type must be string, but is null"},
      {"bad frequency text", with(bk, "frequency", "6X"), read_bk, "6X"},
      {"backward as a number", with(bk, "backward", 1), read_bk, "type must be boolean, but is number"},
      {"no debug", without(cheyette, "debug"), read_cheyette, "type must be boolean, but is null"},
      {"iterations as text", with(cheyette, "max_iterations", "50"), read_cheyette,
       "type must be number, but is string"},
      {"no mumber_of_factors", without(hjm, "mumber_of_factors"), read_hjm, "type must be number, but is null"},
      {"bounds as a number", with(hjm, "decay_bounds", 0.5), read_hjm, "cannot use operator[] with a numeric argument"},
      {"no class name", without(hjm, "Class"), read_hjm, "Non valid class name"},
  };
  for (const auto& c : cases) {
    write_json_root(path("broken.json"), c.envelope);
    EXPECT_THAT(failure_of([&] { c.read(path("broken.json")); }), ::testing::HasSubstr(c.message)) << c.name;
  }

  // A missing vector reads as an empty one.
  write_json_root(path("no_bounds.json"), without(hjm, "volatility_bounds"));
  EXPECT_TRUE(hjm_settings::read_from_json(path("no_bounds.json"))->volatility_bounds().empty());
}

// The Black-Karasinski settings' arguments in field order, those of full_black_karasinski() unless changed.
struct bk_arguments {
  double mean_reversion_spead = 0.05;
  size_t pde_grid_size = 65;
  double pde_span = 4.5;
  double level_lower_bound = -20.0;
  double level_upper_bound = 25.0;
  double tolerance = 1e-10;
  double step = 15.0;
  size_t period = 4;
  double minimum_step = 0.5;

  bk_settings make() const {
    return bk_settings(tenor("6M"), mean_reversion_spead, false, false, pde_grid_size, pde_span, level_lower_bound,
                       level_upper_bound, tolerance, true, step, period, minimum_step, false);
  }
  std::vector<unsigned char> binary() const {
    return archive_bytes([&](multi_process_stream& a) {
      a << std::string("qavrek::calibration_black_karasinski_settings") << std::string("6M") << mean_reversion_spead
        << false << false << std::uint64_t{pde_grid_size} << pde_span << level_lower_bound << level_upper_bound
        << tolerance << true << step << std::uint64_t{period} << minimum_step << false;
    });
  }
  ordered_json json() const {
    ordered_json j = ordered_json::parse(bk_settings::json_to_string(full_black_karasinski()));
    j["pde_grid_size"] = std::uint64_t{pde_grid_size};
    j["period"] = std::uint64_t{period};
    for (auto [key, value] : {std::pair{"pde_span", pde_span}, {"level_lower_bound", level_lower_bound},
                              {"level_upper_bound", level_upper_bound}, {"tolerance", tolerance}, {"step", step},
                              {"minimum_step", minimum_step}})
      j[key] = serialization::json_from_double(value);
    return j;
  }
};

// A value that no calibration can use is refused by the constructor and by both loaders, before anything is
// sized from it: a tolerance that is not a number (a JSON null) would skip every date, a span of 0 leaves the
// grid no width, and 1e7 grid points would ask the survival solver for gigabytes. The ceilings themselves pass.
TEST_F(CalibrationSettingsFiles, BlackKarasinskiRefusesValuesNoCalibrationCanUse) {
  struct refused_case {
    std::string name;
    std::function<void(bk_arguments&)> change;
    std::string message;  // "" for a value that is taken
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const refused_case cases[] = {
      {"tolerance null", [&](bk_arguments& a) { a.tolerance = nan; }, "the level tolerance"},
      {"tolerance infinite", [&](bk_arguments& a) { a.tolerance = inf; }, "the level tolerance"},
      {"tolerance negative", [](bk_arguments& a) { a.tolerance = -1e-10; }, "the level tolerance"},
      {"tolerance zero", [](bk_arguments& a) { a.tolerance = 0.0; }, ""},
      {"span zero", [](bk_arguments& a) { a.pde_span = 0.0; }, "the PDE span"},
      {"span negative", [](bk_arguments& a) { a.pde_span = -3.0; }, "the PDE span"},
      {"span null", [&](bk_arguments& a) { a.pde_span = nan; }, "the PDE span"},
      {"span infinite", [&](bk_arguments& a) { a.pde_span = inf; }, "the PDE span"},
      {"grid of 1e7 points", [](bk_arguments& a) { a.pde_grid_size = 10'000'000; }, "the PDE grid has at most 65536"},
      {"grid one above the ceiling", [](bk_arguments& a) { a.pde_grid_size = 65'537; }, "the PDE grid has at most"},
      {"grid at the ceiling", [](bk_arguments& a) { a.pde_grid_size = 65'536; }, ""},
      {"fine steps above the ceiling", [](bk_arguments& a) { a.period = 65'537; }, "at most 65536 fine steps"},
      {"fine steps at the ceiling", [](bk_arguments& a) { a.period = 65'536; }, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bk_arguments arguments;
    c.change(arguments);
    const auto expect = [&](const std::string& failure) {
      if (c.message.empty())
        EXPECT_EQ(failure, "");
      else
        EXPECT_THAT(failure, ::testing::HasSubstr(c.message));
    };
    expect(failure_of([&] { arguments.make(); }));
    write_json_root(path("bk.json"), arguments.json());
    expect(failure_of([&] { bk_settings::read_from_json(path("bk.json")); }));
    write_bytes(path("bk.bin"), arguments.binary());
    expect(failure_of([&] { bk_settings::read_from_binary(path("bk.bin")); }));
  }
  // A size written as a negative JSON integer takes its bits as unsigned: far above the ceiling.
  ordered_json negative = bk_arguments().json();
  negative["pde_grid_size"] = -1;
  write_json_root(path("bk.json"), negative);
  EXPECT_NE(failure_of([&] { bk_settings::read_from_json(path("bk.json")); }), "");
}

// An iteration cap of 0 or less would hand the start back as the calibrated set: both least-squares
// settings refuse it when built and when loaded, from JSON and from binary (where it is the last field).
TEST_F(CalibrationSettingsFiles, IterationCapMustBePositive) {
  struct cap_case {
    int max_iterations;
    bool accepted;
  };
  const cap_case cases[] = {{1, true}, {200, true}, {0, false}, {-1, false}, {-2147483647 - 1, false}};
  const auto expect_caps = [&](const char* name, auto valid, auto built) {
    using settings = std::remove_const_t<typename decltype(valid)::element_type>;
    auto envelope = ordered_json::parse(settings::json_to_string(valid));
    settings::write_to_binary(path("valid.bin"), valid);
    const std::vector<unsigned char> valid_binary = bytes_of(path("valid.bin"));
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(name) + " " + std::to_string(c.max_iterations));
      envelope["max_iterations"] = c.max_iterations;
      write_json_root(path("cap.json"), envelope);
      std::vector<unsigned char> binary = valid_binary;
      std::memcpy(binary.data() + binary.size() - sizeof(std::int32_t), &c.max_iterations, sizeof(std::int32_t));
      write_bytes(path("cap.bin"), binary);
      const std::vector<std::pair<const char*, std::function<ptr_const<settings>()>>> routes = {
          {"constructor", [&] { return built(c.max_iterations); }},
          {"JSON", [&] { return settings::read_from_json(path("cap.json")); }},
          {"binary", [&] { return settings::read_from_binary(path("cap.bin")); }},
      };
      for (const auto& [route, make] : routes) {
        if (c.accepted) {
          EXPECT_EQ(make()->max_iterations(), c.max_iterations) << route;
        } else {
          EXPECT_THAT(failure_of(make), ::testing::HasSubstr("the optimiser needs at least one iteration, not " +
                                                              std::to_string(c.max_iterations)))
              << route;
        }
      }
    }
  };
  expect_caps("cheyette", full_cheyette(), [](int max_iterations) {
    return std::make_shared<const cheyette_settings>(std::vector<double>{0.001, 0.05}, std::vector<double>{0.01, 1.0},
                                                     std::vector<double>{-0.5, 0.5}, hjm_type::HULL_WHITE, false,
                                                     max_iterations);
  });
  expect_caps("hjm", full_hjm(), [](int max_iterations) {
    return std::make_shared<const hjm_settings>(2, std::vector<double>{0.001, 0.05}, std::vector<double>{0.01, 1.0},
                                                hjm_type::HULL_WHITE, false, max_iterations);
  });
}

template <class T>
bool holds(const ptr_const<config_data>& loaded) {
  return std::dynamic_pointer_cast<const T>(loaded) != nullptr;
}

// Every registered class goes through the registries when held as its config_data base; the settings
// record of the random configuration is saved inside it and is not registered by itself.
TEST(CalibrationSettingsRegistry, RegisteredClassesLoadBackThroughTheirConfigDataBase) {
  struct registered_case {
    std::string name;
    ptr_const<config_data> object;
    std::function<bool(const ptr_const<config_data>&)> is_same_class;
  };
  const registered_case cases[] = {
      {"qavrek::calibration_black_karasinski_settings", full_black_karasinski(), &holds<bk_settings>},
      {"qavrek::calibration_cheyette_settings", full_cheyette(), &holds<cheyette_settings>},
      {"qavrek::calibration_hjm_settings", full_hjm(), &holds<hjm_settings>},
      {"qavrek::calibration_ir_targets_configuration",
       std::make_shared<const calibration_ir_targets_configuration>(
           tenor("1Y"), std::vector<tenor>{tenor("2Y")}, tenor("10Y"), std::vector<tenor>{},
           std::vector<std::vector<double>>{}, true, false, false),
       &holds<calibration_ir_targets_configuration>},
      {"qavrek::random_config", std::make_shared<const random_config>(random_type::SOBOL, 1, 100, 12),
       &holds<random_config>},
  };
  for (const auto& c : cases) {
    EXPECT_NE(JsonSerializationRegistry()->find(c.name), nullptr) << c.name;
    EXPECT_NE(BinarySerializationRegistry()->find(c.name), nullptr) << c.name;

    ordered_json json;
    serialization::save(json, c.object);
    ptr_const<config_data> from_json;
    serialization::load(std::as_const(json), from_json);
    EXPECT_TRUE(c.is_same_class(from_json)) << c.name;

    multi_process_stream binary;
    serialization::save(binary, c.object);
    ptr_const<config_data> from_binary;
    serialization::load(binary, from_binary);
    EXPECT_TRUE(c.is_same_class(from_binary)) << c.name;
  }
  EXPECT_EQ(JsonSerializationRegistry()->find("qavrek::random_settings"), nullptr);
  EXPECT_EQ(BinarySerializationRegistry()->find("qavrek::random_settings"), nullptr);
}

}  // namespace
}  // namespace qavrek::settings_test
