#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/parameters/parameter_cheyette.h"
#include "parameters_test_support.h"

namespace qavrek::parameters_test {
namespace {

constexpr const char* cheyette_file = "Library/Analytics/parameters/parameter_cheyette";

// Created const, as the models and calibrations share it.
ptr_const<parameter_markovian_hjm> two_factor_hjm() {
  return std::make_shared<const parameter_markovian_hjm>(
      matrix<double>{{0.01, 0.02}}, matrix<double>{{0.007, 0.008}}, matrix<double>{{1.0, 0.3}, {0.3, 1.0}},
      dates({43831.0}), dates({43831.0}), act_365(), parameter_markovian_hjm_type::HULL_WHITE);
}

struct cheyette_inputs {
  ptr_const<parameter_markovian_hjm> parameters = two_factor_hjm();
  matrix<double> skew{{-0.1, -0.2}, {-0.3, -0.4}};
  std::vector<datetime> skew_dates = dates({43831.0, 44196.0});
  double level = -5.0;

  std::shared_ptr<parameter_cheyette> build() const {
    return std::make_shared<parameter_cheyette>(parameters, skew, skew_dates, level);
  }
};

struct validation_case {
  const char* name;
  std::function<void(cheyette_inputs&)> change;
  int line;  // 0: one of the checks beyond the fixed one
  std::string message;
};

TEST(ParameterCheyette, ValidationChecksInOrderAndStopsAtTheFirstFailure) {
  const std::vector<validation_case> cases = {
      // The fixed check gives the two counts one after the other.
      {"skew rows against dates, before the nested set is looked at",
       [](cheyette_inputs& in) {
         in.skew_dates.pop_back();
         in.parameters = nullptr;
       },
       149, "Expected skew_parameter_.rows() == skew_parameter_dates_.size() to be true, but got false.  21"},
      {"a nested set present", [](cheyette_inputs& in) { in.parameters = nullptr; }, 0,
       "the Cheyette parameter set needs its Markovian HJM parameter set"},
      {"skews as wide as the factor count", [](cheyette_inputs& in) { in.skew = matrix<double>(2, 3); }, 0,
       "the skews have 3 columns for 2 factors"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    cheyette_inputs in;
    c.change(in);
    const auto failed = failure_of([&] { in.build(); });
    ASSERT_TRUE(failed.has_value());
    EXPECT_EQ(failed->function, "validate");
    if (c.line != 0) {
      EXPECT_EQ(failed->file, cheyette_file);
      EXPECT_EQ(failed->line, c.line);
      EXPECT_EQ(failed->message, c.message);
    } else {
      EXPECT_NE(failed->message.find(c.message), std::string::npos) << failed->message;
    }
  }
}

TEST(ParameterCheyette, StateIsTheNestedStateThenTheSkewsThenTheLevel) {
  cheyette_inputs in;
  auto set = in.build();
  EXPECT_EQ(state_of(*set), std::vector<double>({0.01, 0.02, 0.007, 0.008, 0.3, -0.1, -0.2, -0.3, -0.4, -5.0}));
  EXPECT_EQ(set->number_of_factors(), 2u);
  EXPECT_EQ(&set->correlation(), &in.parameters->correlation());

  const std::vector<double> written = {0.03, 0.04, 0.005, 0.006, -0.2, 0.1, 0.2, 0.3, 0.4, -4.0};
  EXPECT_EQ(set->set_state_parameters(written.data()), 10u);
  // The nested set is shared as const, yet receives the values; its correlation comes back symmetric
  // with a unit diagonal.
  EXPECT_EQ(values_of(in.parameters->decays()), std::vector<double>({0.03, 0.04}));
  EXPECT_EQ(values_of(in.parameters->volatilities()), std::vector<double>({0.005, 0.006}));
  EXPECT_EQ(values_of(in.parameters->correlation()), std::vector<double>({1.0, -0.2, -0.2, 1.0}));
  EXPECT_EQ(values_of(set->skew_parameter()), std::vector<double>({0.1, 0.2, 0.3, 0.4}));
  EXPECT_EQ(set->long_term_skew_level(), -4.0);
  EXPECT_EQ(state_of(*set), written);
}

TEST(ParameterCheyette, TheLevelIsAStateParameterEvenWithoutSkews) {
  cheyette_inputs in;
  in.skew = matrix<double>();
  in.skew_dates.clear();
  const auto set = in.build();
  EXPECT_EQ(set->state_parameters_size(), in.parameters->state_parameters_size() + 1);
  EXPECT_EQ(state_of(*set).back(), -5.0);
}

TEST(ParameterCheyette, AdjointsLandOnTheSkewsAndTheLevel) {
  const auto set = cheyette_inputs().build();
  const std::vector<double> state = state_of(*set);
  const auto position_of = [&](double value) {
    return static_cast<size_t>(std::find(state.begin(), state.end(), value) - state.begin());
  };
  std::vector<double> adjoints(state.size(), 0.5);
  set->skew_parameter_aad({1.0, 10.0}, 1, adjoints.data());
  set->long_term_skew_level_aad(100.0, adjoints.data());
  std::vector<double> expected(state.size(), 0.5);
  expected[position_of(-0.3)] += 1.0;
  expected[position_of(-0.4)] += 10.0;
  expected[position_of(-5.0)] += 100.0;
  EXPECT_EQ(adjoints, expected);
}

TEST(ParameterCheyette, SkewsAreWritableInPlaceThroughAConstSet) {
  const ptr_const<parameter_cheyette> set = cheyette_inputs().build();
  set->writable_skew_parameter()(1, 0) = 0.75;
  EXPECT_EQ(set->skew_parameter()(1, 0), 0.75);
  const parameter_cheyette copy(*set);
  set->writable_skew_parameter()(1, 0) = 0.0;
  EXPECT_EQ(copy.skew_parameter()(1, 0), 0.75);
  EXPECT_EQ(copy.parameters(), set->parameters());
}

class CheyetteFiles : public scratch_files {};

TEST_F(CheyetteFiles, RoundTripsWithAFreshNestedSet) {
  const ptr_const<parameter_cheyette> saved = cheyette_inputs().build();
  parameter_cheyette::write_to_json(path("cheyette.json"), saved);
  parameter_cheyette::write_to_binary(path("cheyette.bin"), saved);
  for (const auto& read :
       {parameter_cheyette::read_from_json(path("cheyette.json")), parameter_cheyette::read_from_binary(path("cheyette.bin"))}) {
    EXPECT_TRUE(read->is_initialized());
    ASSERT_NE(read->parameters(), nullptr);
    EXPECT_NE(read->parameters(), saved->parameters());
    EXPECT_TRUE(same_values(read->skew_parameter(), saved->skew_parameter()));
    EXPECT_EQ(read->skew_parameter_dates(), saved->skew_parameter_dates());
    EXPECT_EQ(read->long_term_skew_level(), -5.0);
    EXPECT_EQ(state_of(*read), state_of(*saved));
  }
}

TEST_F(CheyetteFiles, JsonKeysAndBinaryFieldsComeInOrder) {
  const ptr_const<parameter_cheyette> saved = cheyette_inputs().build();
  const auto j = ordered_json::parse(parameter_cheyette::json_to_string(saved));
  EXPECT_EQ(keys_of(j), std::vector<std::string>(
                            {"Class", "parameters", "skew_parameter", "skew_parameter_dates", "long_term_skew_level"}));
  EXPECT_EQ(j["Class"], "qavrek::parameter_cheyette");
  EXPECT_EQ(j["parameters"]["Class"], "qavrek::parameter_markovian_hjm");
  EXPECT_TRUE(j["long_term_skew_level"].is_number_float());

  parameter_cheyette::write_to_binary(path("cheyette.bin"), saved);
  const parameter_markovian_hjm& nested = *saved->parameters();
  multi_process_stream expected;
  expected << std::string("qavrek::parameter_cheyette") << std::string("qavrek::parameter_markovian_hjm");
  matrix_bytes(expected, nested.decays());
  matrix_bytes(expected, nested.volatilities());
  matrix_bytes(expected, nested.correlation());
  date_bytes(expected, nested.decays_dates());
  date_bytes(expected, nested.volatilities_dates());
  convention_bytes(expected, nested.day_convention().get());
  expected << std::int32_t{0};
  matrix_bytes(expected, saved->skew_parameter());
  date_bytes(expected, saved->skew_parameter_dates());
  expected << -5.0;
  EXPECT_EQ(bytes_of(path("cheyette.bin")), expected.GetRawData());
}

TEST_F(CheyetteFiles, ANullSetReadsBackEmptyAndANullNestedSetIsRefused) {
  parameter_cheyette::write_to_json(path("null.json"), nullptr);
  const auto read = parameter_cheyette::read_from_json(path("null.json"));
  ASSERT_NE(read, nullptr);
  EXPECT_FALSE(read->is_initialized());
  EXPECT_EQ(read->parameters(), nullptr);
  EXPECT_EQ(read->long_term_skew_level(), 0.0);
  EXPECT_TRUE(failure_of([&] { read->number_of_factors(); }).has_value());
  std::vector<double> none(1);
  EXPECT_TRUE(failure_of([&] { read->get_state_parameters(none.data()); }).has_value());

  auto j = ordered_json::parse(parameter_cheyette::json_to_string(cheyette_inputs().build()));
  j["parameters"] = ordered_json{{"Class", "null object!"}};
  write_json_root(path("nested_null.json"), j);
  const auto failed = failure_of([&] { parameter_cheyette::read_from_json(path("nested_null.json")); });
  ASSERT_TRUE(failed.has_value());
  EXPECT_NE(failed->message.find("not initialised"), std::string::npos) << failed->message;
}

}  // namespace
}  // namespace qavrek::parameters_test
