#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "parameters_test_support.h"

namespace qavrek::parameters_test {
namespace {

constexpr const char* hjm_file = "Library/Analytics/parameters/parameter_markovian_hjm";

// Two factors, three decay dates, two volatility dates.
struct hjm_inputs {
  matrix<double> decays{{0.01, 0.02}, {0.03, 0.04}, {0.05, 0.06}};
  matrix<double> volatilities{{0.007, 0.008}, {0.009, 0.010}};
  matrix<double> correlation{{1.0, 0.3}, {0.3, 1.0}};
  std::vector<datetime> decays_dates = dates({43831.0, 44196.0, 44561.0});
  std::vector<datetime> volatilities_dates = dates({43831.0, 44196.0});
  ptr_const<day_count_convention> convention = act_365();
  parameter_markovian_hjm_type type = parameter_markovian_hjm_type::HULL_WHITE;

  std::shared_ptr<parameter_markovian_hjm> build() const {
    return std::make_shared<parameter_markovian_hjm>(decays, volatilities, correlation, decays_dates,
                                                     volatilities_dates, convention, type);
  }
};

// Three factors with every value distinct, so that a state position names the value it holds.
hjm_inputs three_factors() {
  hjm_inputs in;
  in.decays = matrix<double>{{1, 2, 3}, {4, 5, 6}};
  in.volatilities = matrix<double>{{7, 8, 9}};
  in.correlation = matrix<double>{{1.0, 0.1, 0.2}, {0.1, 1.0, 0.3}, {0.2, 0.3, 1.0}};
  in.decays_dates = dates({43831.0, 44196.0});
  in.volatilities_dates = dates({43831.0});
  return in;
}

struct validation_case {
  const char* name;
  std::function<void(hjm_inputs&)> change;
  int line;  // 0: one of the checks beyond the fixed ones, reported where it stands
  std::string message;
};

TEST(ParameterMarkovianHjm, ValidationChecksInOrderAndStopsAtTheFirstFailure) {
  const std::vector<validation_case> cases = {
      {"decay rows against dates, whatever else is wrong",
       [](hjm_inputs& in) {
         in.decays_dates.pop_back();
         in.volatilities_dates.pop_back();
         in.correlation = matrix<double>(2, 3);
         in.convention = nullptr;
       },
       111,
       "Expected decays_.rows() == decays_dates_.size() to be true, but got false.  decays size 3 is differents "
       "from decays dates size 2"},
      {"volatility rows against dates",
       [](hjm_inputs& in) {
         in.volatilities_dates.push_back(datetime(44561.0));
         in.correlation = matrix<double>(2, 3);
       },
       118,
       "Expected volatilities_.rows() == volatilities_dates_.size() to be true, but got false.  volatilities size 2 "
       "is differents from volatilities dates size 3"},
      {"square correlation",
       [](hjm_inputs& in) {
         in.correlation = matrix<double>(2, 3);
         in.volatilities = matrix<double>(2, 3);
       },
       125,
       "Expected correlation_.rows() == correlation_.columns() to be true, but got false.  correlation number of "
       "rows 2 is differents from correlation number of columns 3"},
      {"factor counts", [](hjm_inputs& in) { in.volatilities = matrix<double>(2, 3, 0.01); }, 132,
       "Expected volatilities_.columns() == decays_.columns() to be true, but got false.  volatilities number of "
       "factors 3 is differents from decays number of factors 2"},
      {"correlation size against the factor count", [](hjm_inputs& in) { in.correlation = matrix<double>(3, 3, 1.0); },
       0, "the correlation is 3 x 3 for 2 factors"},
      {"day-count convention present", [](hjm_inputs& in) { in.convention = nullptr; }, 0,
       "the parameter set needs a day-count convention"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    hjm_inputs in;
    c.change(in);
    const auto failed = failure_of([&] { in.build(); });
    ASSERT_TRUE(failed.has_value());
    EXPECT_EQ(failed->function, "validate");
    if (c.line != 0) {
      EXPECT_EQ(failed->file, hjm_file);
      EXPECT_EQ(failed->line, c.line);
      EXPECT_EQ(failed->message, c.message);
    } else {
      EXPECT_NE(failed->message.find(c.message), std::string::npos) << failed->message;
    }
  }
}

TEST(ParameterMarkovianHjm, ZeroRowsAndNoDatesAreValid) {
  hjm_inputs in;
  in.decays = matrix<double>(0, 2);
  in.volatilities = matrix<double>(0, 2);
  in.decays_dates.clear();
  in.volatilities_dates.clear();
  const auto set = in.build();
  EXPECT_TRUE(set->is_initialized());
  EXPECT_EQ(set->number_of_factors(), 2u);
  EXPECT_EQ(state_of(*set), std::vector<double>({0.3}));
}

TEST(ParameterMarkovianHjm, StateIsDecaysThenVolatilitiesThenTheLowerCorrelationTriangle) {
  auto set = three_factors().build();
  // An upper triangle that differs from the lower one and a diagonal other than 1, written in place
  // (a constructor refuses them): only the lower triangle is state.
  matrix<double> correlation = set->writable_correlation();
  correlation(0, 1) = 91.0;
  correlation(0, 2) = 92.0;
  correlation(1, 2) = 93.0;
  for (size_t i = 0; i < 3; ++i) correlation(i, i) = 2.0;
  EXPECT_EQ(set->state_parameters_size(), 12u);
  EXPECT_EQ(state_of(*set), std::vector<double>({1, 2, 3, 4, 5, 6, 7, 8, 9, 0.1, 0.2, 0.3}));

  const std::vector<double> written = {11, 12, 13, 14, 15, 16, 17, 18, 19, 0.4, 0.5, 0.6};
  EXPECT_EQ(set->set_state_parameters(written.data()), 12u);
  EXPECT_EQ(values_of(set->decays()), std::vector<double>({11, 12, 13, 14, 15, 16}));
  EXPECT_EQ(values_of(set->volatilities()), std::vector<double>({17, 18, 19}));
  // Symmetric with a unit diagonal, whatever the correlation held before.
  EXPECT_EQ(values_of(set->correlation()), std::vector<double>({1.0, 0.4, 0.5, 0.4, 1.0, 0.6, 0.5, 0.6, 1.0}));
  EXPECT_EQ(state_of(*set), written);
}

TEST(ParameterMarkovianHjm, OneFactorHasNoCorrelationStateYetGetsAUnitDiagonal) {
  hjm_inputs in;
  in.decays = matrix<double>{{0.1}, {0.2}, {0.3}};
  in.volatilities = matrix<double>{{0.01}, {0.02}};
  in.correlation = matrix<double>{{0.5}};
  auto set = in.build();
  EXPECT_EQ(state_of(*set), std::vector<double>({0.1, 0.2, 0.3, 0.01, 0.02}));
  const std::vector<double> written = {1, 2, 3, 4, 5};
  EXPECT_EQ(set->set_state_parameters(written.data()), 5u);
  EXPECT_EQ(set->correlation()(0, 0), 1.0);
}

// The scatters are the transpose of get_state_parameters: an adjoint of element (r, k) lands where
// get_state_parameters writes that element, added to what is there.
class HjmAdjoints : public ::testing::Test {
 protected:
  std::shared_ptr<parameter_markovian_hjm> set_ = three_factors().build();
  std::vector<double> state_ = state_of(*set_);
  std::vector<double> adjoints_ = std::vector<double>(state_.size(), 0.5);

  size_t position_of(double value) const {
    return static_cast<size_t>(std::find(state_.begin(), state_.end(), value) - state_.begin());
  }
};

TEST_F(HjmAdjoints, RowsOfDecaysAndVolatilitiesLandOnTheirElements) {
  std::vector<double> expected = adjoints_;
  set_->decays_aad({1.0, 10.0, 100.0}, 1, adjoints_.data());
  for (size_t k = 0; k < 3; ++k) expected[position_of(set_->decays()(1, k))] += std::vector<double>{1, 10, 100}[k];
  set_->volatility_aad({-1.0, -2.0, -3.0}, 0, adjoints_.data());
  for (size_t k = 0; k < 3; ++k) expected[position_of(set_->volatilities()(0, k))] -= static_cast<double>(k + 1);
  EXPECT_EQ(adjoints_, expected);
}

TEST_F(HjmAdjoints, CorrelationAdjointsAddBothMirroredEntriesAndIgnoreTheDiagonal) {
  matrix<double> adjoint(3, 3);
  for (size_t i = 0; i < 3; ++i)
    for (size_t j = 0; j < 3; ++j) adjoint(i, j) = static_cast<double>(10 * i + j + 1);
  std::vector<double> expected = adjoints_;
  for (size_t i = 1; i < 3; ++i)
    for (size_t j = 0; j < i; ++j) expected[position_of(set_->correlation()(i, j))] += adjoint(i, j) + adjoint(j, i);
  set_->correlation_aad(adjoint, adjoints_.data());
  EXPECT_EQ(adjoints_, expected);
}

TEST_F(HjmAdjoints, AnAdjointOfTheWrongSizeIsRefused) {
  EXPECT_TRUE(failure_of([&] { set_->decays_aad({1.0, 2.0}, 0, adjoints_.data()); }));
  EXPECT_TRUE(failure_of([&] { set_->correlation_aad(matrix<double>(2, 2), adjoints_.data()); }));
  EXPECT_EQ(adjoints_, std::vector<double>(state_.size(), 0.5));
}

TEST(ParameterMarkovianHjm, ValuesChangeInPlaceThroughAConstSetButShapesDoNot) {
  const ptr_const<parameter_markovian_hjm> set = hjm_inputs().build();
  matrix<double> volatilities = set->writable_volatilities();
  volatilities(1, 0) = 0.5;
  set->writable_decays()(0, 1) = 0.25;
  set->writable_correlation()(0, 1) = 0.75;
  EXPECT_EQ(set->volatilities()(1, 0), 0.5);
  EXPECT_EQ(set->decays()(0, 1), 0.25);
  EXPECT_EQ(set->correlation()(0, 1), 0.75);
  EXPECT_TRUE(failure_of([&] { volatilities.resize(5, 5); }));
  EXPECT_EQ(set->volatilities().rows(), 2u);
}

TEST(ParameterMarkovianHjm, ACopyOwnsItsValuesAndOutlivesItsSource) {
  auto source = hjm_inputs().build();
  const parameter_markovian_hjm copy(*source);
  source->writable_decays()(0, 0) = 42.0;
  EXPECT_EQ(copy.decays()(0, 0), 0.01);
  EXPECT_EQ(copy.day_convention(), source->day_convention());  // shared, as the constructor shares it
  const std::vector<double> expected = state_of(copy);
  source.reset();
  EXPECT_EQ(state_of(copy), expected);
  EXPECT_EQ(copy.decays_dates().size(), 3u);
}

class HjmFiles : public scratch_files {
 protected:
  static hjm_inputs stored_inputs() {
    hjm_inputs in = three_factors();
    in.correlation = matrix<double>{{1.0, 0.1, 0.2}, {0.1, 1.0, 0.3}, {0.2, 0.3, 1.0}};
    in.convention = business_252();
    in.type = parameter_markovian_hjm_type::PICEWISE_CONSTANT;
    return in;
  }

  static void expect_same(const parameter_markovian_hjm& read, const parameter_markovian_hjm& saved) {
    EXPECT_TRUE(read.is_initialized());
    EXPECT_TRUE(same_values(read.decays(), saved.decays()));
    EXPECT_TRUE(same_values(read.volatilities(), saved.volatilities()));
    EXPECT_TRUE(same_values(read.correlation(), saved.correlation()));
    EXPECT_EQ(read.decays_dates(), saved.decays_dates());
    EXPECT_EQ(read.volatilities_dates(), saved.volatilities_dates());
    EXPECT_EQ(read.model_type(), saved.model_type());
    ASSERT_NE(read.day_convention(), nullptr);
    EXPECT_EQ(read.day_convention()->type(), saved.day_convention()->type());
    ASSERT_NE(read.day_convention()->calendar(), nullptr);
    EXPECT_EQ(read.day_convention()->calendar()->use_weekends(), saved.day_convention()->calendar()->use_weekends());
    EXPECT_EQ(read.day_convention()->calendar()->dates(), saved.day_convention()->calendar()->dates());
    EXPECT_EQ(state_of(read), state_of(saved));
  }
};

TEST_F(HjmFiles, RoundTripsThroughJsonAndBinary) {
  const ptr_const<parameter_markovian_hjm> saved = stored_inputs().build();
  parameter_markovian_hjm::write_to_json(path("hjm.json"), saved);
  expect_same(*parameter_markovian_hjm::read_from_json(path("hjm.json")), *saved);
  parameter_markovian_hjm::write_to_binary(path("hjm.bin"), saved);
  expect_same(*parameter_markovian_hjm::read_from_binary(path("hjm.bin")), *saved);
}

TEST_F(HjmFiles, JsonKeysComeInFieldOrder) {
  const auto j = ordered_json::parse(parameter_markovian_hjm::json_to_string(stored_inputs().build()));
  EXPECT_EQ(keys_of(j), std::vector<std::string>({"Class", "decays", "volatilities", "correlation", "decays_dates",
                                                   "volatilities_dates", "day_convention", "model_type"}));
  EXPECT_EQ(j["Class"], "qavrek::parameter_markovian_hjm");
  EXPECT_EQ(j["decays_dates"], ordered_json::parse("[43831.0, 44196.0]"));
  EXPECT_EQ(j["model_type"], 1);
  EXPECT_TRUE(j["model_type"].is_number_integer());
  EXPECT_EQ(keys_of(j["day_convention"]), std::vector<std::string>({"Class", "type", "calendar"}));
}

TEST_F(HjmFiles, BinaryHoldsTheFieldsInOrder) {
  const ptr_const<parameter_markovian_hjm> saved = stored_inputs().build();
  parameter_markovian_hjm::write_to_binary(path("hjm.bin"), saved);
  multi_process_stream expected;
  expected << std::string("qavrek::parameter_markovian_hjm");
  matrix_bytes(expected, saved->decays());
  matrix_bytes(expected, saved->volatilities());
  matrix_bytes(expected, saved->correlation());
  date_bytes(expected, saved->decays_dates());
  date_bytes(expected, saved->volatilities_dates());
  convention_bytes(expected, saved->day_convention().get());
  expected << static_cast<std::int32_t>(1);
  EXPECT_EQ(bytes_of(path("hjm.bin")), expected.GetRawData());
}

TEST_F(HjmFiles, EmptyDatesAreStoredAsNullAndReadBackEmpty) {
  hjm_inputs in;
  in.decays = matrix<double>(0, 2);
  in.volatilities = matrix<double>(0, 2);
  in.decays_dates.clear();
  in.volatilities_dates.clear();
  const ptr_const<parameter_markovian_hjm> saved = in.build();
  parameter_markovian_hjm::write_to_json(path("empty.json"), saved);
  const auto j = json_of(path("empty.json"))["root"];
  EXPECT_TRUE(j["decays_dates"].is_null());
  EXPECT_TRUE(j["volatilities_dates"].is_null());
  const auto read = parameter_markovian_hjm::read_from_json(path("empty.json"));
  EXPECT_TRUE(read->decays_dates().empty());
  EXPECT_EQ(read->decays().columns(), 2u);
  EXPECT_EQ(state_of(*read), state_of(*saved));
}

TEST_F(HjmFiles, AConventionStoredAsNullLoadsAsAct365WithoutCalendar) {
  parameter_markovian_hjm::write_to_json(path("hjm.json"), stored_inputs().build());
  auto j = json_of(path("hjm.json"))["root"];
  j["day_convention"] = ordered_json{{"Class", "null object!"}};
  write_json_root(path("edited.json"), j);
  const auto read = parameter_markovian_hjm::read_from_json(path("edited.json"));
  ASSERT_NE(read->day_convention(), nullptr);
  EXPECT_EQ(read->day_convention()->type(), day_count_convention_type::ACT_365F);
  EXPECT_EQ(read->day_convention()->calendar(), nullptr);
}

TEST_F(HjmFiles, AFileThatFailsValidationIsRefusedWithTheCheck) {
  parameter_markovian_hjm::write_to_json(path("hjm.json"), stored_inputs().build());
  auto j = json_of(path("hjm.json"))["root"];
  j["decays_dates"].erase(0);
  write_json_root(path("edited.json"), j);
  const auto failed = failure_of([&] { parameter_markovian_hjm::read_from_json(path("edited.json")); });
  ASSERT_TRUE(failed.has_value());
  EXPECT_EQ(failed->function, "validate");
  EXPECT_EQ(failed->line, 111);
}

TEST_F(HjmFiles, ANullSetReadsBackAsAnEmptyUninitialisedSet) {
  EXPECT_EQ(parameter_markovian_hjm::json_to_string(nullptr), "{\n  \"Class\": \"null object!\"\n}");
  parameter_markovian_hjm::write_to_json(path("null.json"), nullptr);
  parameter_markovian_hjm::write_to_binary(path("null.bin"), nullptr);
  for (const auto& read : {parameter_markovian_hjm::read_from_json(path("null.json")),
                           parameter_markovian_hjm::read_from_binary(path("null.bin"))}) {
    ASSERT_NE(read, nullptr);
    EXPECT_FALSE(read->is_initialized());
    EXPECT_EQ(read->state_parameters_size(), 0u);
    EXPECT_EQ(read->number_of_factors(), 0u);
    EXPECT_TRUE(read->decays().empty() && read->volatilities().empty() && read->correlation().empty());
    EXPECT_EQ(read->day_convention(), nullptr);
    EXPECT_EQ(read->model_type(), parameter_markovian_hjm_type::HULL_WHITE);
    EXPECT_EQ(state_of(*read), std::vector<double>());
  }
}

}  // namespace
}  // namespace qavrek::parameters_test
