#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/parameters/parameter_lognormal.h"
#include "parameters_test_support.h"

namespace qavrek::parameters_test {
namespace {

constexpr const char* lognormal_file = "Library/Analytics/parameters/parameter_lognormal";

// Three factors; every value distinct, so that a state position names the value it holds.
struct lognormal_inputs {
  matrix<double> volatilities{{1, 2, 3}, {4, 5, 6}};
  matrix<double> correlation{{1.0, 0.1, 0.2}, {0.1, 1.0, 0.3}, {0.2, 0.3, 1.0}};
  std::vector<datetime> volatility_dates = dates({43831.0, 44196.0});
  ptr_const<day_count_convention> convention = act_365();

  std::shared_ptr<parameter_lognormal> build() const {
    return std::make_shared<parameter_lognormal>(volatilities, correlation, volatility_dates, convention);
  }
};

struct validation_case {
  const char* name;
  std::function<void(lognormal_inputs&)> change;
  int line;  // 0: one of the checks beyond the fixed ones
  std::string message;
};

TEST(ParameterLognormal, ValidationChecksInOrderAndStopsAtTheFirstFailure) {
  const std::vector<validation_case> cases = {
      {"volatilities against dates, whatever else is wrong",
       [](lognormal_inputs& in) {
         in.volatility_dates.pop_back();
         in.correlation = matrix<double>(3, 2);
         in.convention = nullptr;
       },
       171,
       "Expected volatilities_.rows() == volatilities_dates_.size() to be true, but got false.  volatilities size 2 "
       "is differents from volatilities dates size 1"},
      {"square correlation", [](lognormal_inputs& in) { in.correlation = matrix<double>(3, 2); }, 178,
       "Expected correlation_.rows() == correlation_.columns() to be true, but got false.  correlation number of rows "
       "3 is differents from correlation number of columns 2"},
      {"mirrored entries a machine epsilon apart",
       [](lognormal_inputs& in) { in.correlation(2, 1) = 0.3 + std::numeric_limits<double>::epsilon(); }, 180,
       "correlation matrix is not symetric"},
      {"volatilities as wide as the factor count",
       [](lognormal_inputs& in) { in.volatilities = matrix<double>{{1, 2}, {3, 4}}; }, 0,
       "the volatilities have 2 columns for 3 factors"},
      {"day-count convention present", [](lognormal_inputs& in) { in.convention = nullptr; }, 0,
       "the parameter set needs a day-count convention"},
      // A correlation matrix: a unit diagonal, entries in [-1, 1], finite.
      {"a diagonal of 0.5", [](lognormal_inputs& in) { in.correlation(1, 1) = 0.5; }, 0,
       "the correlation holds 0.5 at (1, 1): a correlation matrix has 1 on its diagonal"},
      {"a diagonal of NaN", [](lognormal_inputs& in) { in.correlation(0, 0) = std::nan(""); }, 0,
       "the correlation holds nan at (0, 0): a correlation lies in [-1, 1]"},
      {"a symmetric pair of 5", [](lognormal_inputs& in) { in.correlation(2, 0) = in.correlation(0, 2) = 5.0; }, 0,
       "the correlation holds 5 at (0, 2): a correlation lies in [-1, 1]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    lognormal_inputs in;
    c.change(in);
    const auto failed = failure_of([&] { in.build(); });
    ASSERT_TRUE(failed.has_value());
    EXPECT_EQ(failed->function, "validate");
    if (c.line != 0) {
      EXPECT_EQ(failed->file, lognormal_file);
      EXPECT_EQ(failed->line, c.line);
      EXPECT_EQ(failed->message, c.message);
    } else {
      EXPECT_NE(failed->message.find(c.message), std::string::npos) << failed->message;
    }
  }
}

TEST(ParameterLognormal, StateIsVolatilitiesThenTheLowerCorrelationTriangleAndTheDiagonalStays) {
  auto set = lognormal_inputs().build();
  EXPECT_EQ(set->number_of_factors(), 3u);
  EXPECT_EQ(state_of(*set), std::vector<double>({1, 2, 3, 4, 5, 6, 0.1, 0.2, 0.3}));

  const std::vector<double> written = {11, 12, 13, 14, 15, 16, -0.1, -0.2, -0.3};
  EXPECT_EQ(set->set_state_parameters(written.data()), 9u);
  EXPECT_EQ(values_of(set->volatilities()), std::vector<double>({11, 12, 13, 14, 15, 16}));
  EXPECT_EQ(values_of(set->correlation()), std::vector<double>({1.0, -0.1, -0.2, -0.1, 1.0, -0.3, -0.2, -0.3, 1.0}));
  EXPECT_EQ(state_of(*set), written);
}

TEST(ParameterLognormal, OneFactorStateIsTheVolatilitiesAlone) {
  lognormal_inputs in;
  in.volatilities = matrix<double>{{0.2}, {0.25}};
  in.correlation = matrix<double>{{1.0}};
  EXPECT_EQ(state_of(*in.build()), std::vector<double>({0.2, 0.25}));
}

TEST(ParameterLognormal, AdjointsLandOnTheirElements) {
  const auto set = lognormal_inputs().build();
  const std::vector<double> state = state_of(*set);
  const auto position_of = [&](double value) {
    return static_cast<size_t>(std::find(state.begin(), state.end(), value) - state.begin());
  };
  std::vector<double> adjoints(state.size(), 0.5);
  set->volatility_aad({1.0, 2.0, 3.0}, 1, adjoints.data());
  matrix<double> adjoint(3, 3);
  for (size_t i = 0; i < 3; ++i)
    for (size_t j = 0; j < 3; ++j) adjoint(i, j) = static_cast<double>(10 * i + j + 100);
  set->correlation_aad(adjoint, adjoints.data());

  std::vector<double> expected(state.size(), 0.5);
  for (size_t k = 0; k < 3; ++k) expected[position_of(set->volatilities()(1, k))] += static_cast<double>(k + 1);
  for (size_t i = 1; i < 3; ++i)
    for (size_t j = 0; j < i; ++j) expected[position_of(set->correlation()(i, j))] += adjoint(i, j) + adjoint(j, i);
  EXPECT_EQ(adjoints, expected);
}

class LognormalFiles : public scratch_files {};

TEST_F(LognormalFiles, RoundTripsInBothArchives) {
  lognormal_inputs in;
  in.convention = business_252();
  const ptr_const<parameter_lognormal> saved = in.build();
  parameter_lognormal::write_to_json(path("lognormal.json"), saved);
  parameter_lognormal::write_to_binary(path("lognormal.bin"), saved);
  for (const auto& read : {parameter_lognormal::read_from_json(path("lognormal.json")),
                           parameter_lognormal::read_from_binary(path("lognormal.bin"))}) {
    EXPECT_TRUE(read->is_initialized());
    EXPECT_TRUE(same_values(read->correlation(), saved->correlation()));
    EXPECT_EQ(read->volatilities_dates(), saved->volatilities_dates());
    EXPECT_EQ(read->day_convention()->type(), day_count_convention_type::BUSINESS_252);
    EXPECT_EQ(state_of(*read), state_of(*saved));
  }
}

TEST_F(LognormalFiles, JsonKeysAndBinaryFieldsComeInOrder) {
  const ptr_const<parameter_lognormal> saved = lognormal_inputs().build();
  const auto j = ordered_json::parse(parameter_lognormal::json_to_string(saved));
  EXPECT_EQ(keys_of(j),
            std::vector<std::string>({"Class", "volatilities", "correlation", "volatilities_dates", "day_convention"}));
  EXPECT_EQ(j["Class"], "qavrek::parameter_lognormal");

  parameter_lognormal::write_to_binary(path("lognormal.bin"), saved);
  multi_process_stream expected;
  expected << std::string("qavrek::parameter_lognormal");
  matrix_bytes(expected, saved->volatilities());
  matrix_bytes(expected, saved->correlation());
  date_bytes(expected, saved->volatilities_dates());
  convention_bytes(expected, saved->day_convention().get());
  EXPECT_EQ(bytes_of(path("lognormal.bin")), expected.GetRawData());
}

TEST_F(LognormalFiles, AConventionStoredAsNullLoadsAsAct365WithoutCalendar) {
  auto j = ordered_json::parse(parameter_lognormal::json_to_string(lognormal_inputs().build()));
  j["day_convention"] = ordered_json{{"Class", "null object!"}};
  write_json_root(path("edited.json"), j);
  const auto read = parameter_lognormal::read_from_json(path("edited.json"));
  ASSERT_NE(read->day_convention(), nullptr);
  EXPECT_EQ(read->day_convention()->type(), day_count_convention_type::ACT_365F);
  EXPECT_EQ(read->day_convention()->calendar(), nullptr);
}

TEST_F(LognormalFiles, ANullSetReadsBackEmpty) {
  parameter_lognormal::write_to_binary(path("null.bin"), nullptr);
  const auto read = parameter_lognormal::read_from_binary(path("null.bin"));
  ASSERT_NE(read, nullptr);
  EXPECT_FALSE(read->is_initialized());
  EXPECT_EQ(read->number_of_factors(), 0u);
  EXPECT_EQ(read->day_convention(), nullptr);
  EXPECT_EQ(state_of(*read), std::vector<double>());
}

}  // namespace
}  // namespace qavrek::parameters_test
