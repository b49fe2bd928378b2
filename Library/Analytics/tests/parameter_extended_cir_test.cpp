#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/parameters/parameter_extended_cir.h"
#include "parameters_test_support.h"

namespace qavrek::parameters_test {
namespace {

constexpr const char* cir_file = "Library/Analytics/parameters/parameter_extended_cir";
constexpr double epsilon = std::numeric_limits<double>::epsilon();

// Two factors; every value distinct, so that a state position names the value it holds.
struct cir_inputs {
  matrix<double> mean_reversions{{0.1, 0.2}, {0.3, 0.4}};
  matrix<double> volatilities{{0.05, 0.06}};
  matrix<double> shifts{{0.011, 0.021}, {0.031, 0.041}, {0.051, 0.061}};
  matrix<double> correlation{{1.0, 0.5}, {0.5, 1.0}};
  std::vector<datetime> mean_reversion_dates = dates({43831.0, 44196.0});
  std::vector<datetime> volatility_dates = dates({43831.0});
  std::vector<datetime> shift_dates = dates({43831.0, 44196.0, 44561.0});
  ptr_const<day_count_convention> convention = act_365();

  std::shared_ptr<parameter_extended_cir> build() const {
    return std::make_shared<parameter_extended_cir>(mean_reversions, volatilities, shifts, correlation,
                                                    mean_reversion_dates, volatility_dates, shift_dates, convention);
  }
};

struct validation_case {
  const char* name;
  std::function<void(cir_inputs&)> change;
  int line;  // 0: one of the checks beyond the fixed ones
  std::string message;
};

TEST(ParameterExtendedCir, ValidationChecksInOrderAndStopsAtTheFirstFailure) {
  const auto everything_after = [](cir_inputs& in) {
    in.correlation = matrix<double>{{1.0, 0.5, 0.0}, {0.4, 1.0, 0.0}};
  };
  const std::vector<validation_case> cases = {
      {"mean reversions against dates, whatever else is wrong",
       [&](cir_inputs& in) {
         in.mean_reversion_dates.pop_back();
         in.volatility_dates.clear();
         in.shift_dates.clear();
         everything_after(in);
         in.convention = nullptr;
       },
       230,
       "Expected mean_reversion_speeds_.rows() == mean_reversion_speed_dates_.size() to be true, but got false.  "
       "mean_reversion_speeds size 2 is differents from mean_reversion_speeds dates size 1"},
      {"volatilities against dates",
       [&](cir_inputs& in) {
         in.volatility_dates.clear();
         in.shift_dates.clear();
         everything_after(in);
       },
       237,
       "Expected volatilities_.rows() == volatilities_dates_.size() to be true, but got false.  volatilities size 1 "
       "is differents from volatilities dates size 0"},
      {"shifts against dates",
       [&](cir_inputs& in) {
         in.shift_dates.pop_back();
         everything_after(in);
       },
       244,
       "Expected shifts_.rows() == shifts_dates_.size() to be true, but got false.  shifts size 3 is differents from "
       "shifts dates size 2"},
      {"square correlation", everything_after, 251,
       "Expected correlation_.rows() == correlation_.columns() to be true, but got false.  correlation number of rows "
       "2 is differents from correlation number of columns 3"},
      {"mirrored entries a machine epsilon apart, before the shapes against the factor count",
       [](cir_inputs& in) {
         in.correlation(0, 1) = 0.5 + epsilon;
         in.volatilities = matrix<double>(1, 3);
       },
       253, "correlation matrix is not symetric"},
      {"a NaN off the diagonal",
       [](cir_inputs& in) { in.correlation(1, 0) = std::numeric_limits<double>::quiet_NaN(); }, 253,
       "correlation matrix is not symetric"},
      {"volatilities as wide as the factor count", [](cir_inputs& in) { in.volatilities = matrix<double>(1, 3); }, 0,
       "the volatilities have 3 columns for 2 factors"},
      {"shifts as wide as the factor count", [](cir_inputs& in) { in.shifts = matrix<double>(3, 1); }, 0,
       "the shifts have 1 columns for 2 factors"},
      {"correlation size against the factor count",
       [](cir_inputs& in) { in.correlation = matrix<double>{{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}}; }, 0,
       "the correlation is 3 x 3 for 2 factors"},
      {"day-count convention present", [](cir_inputs& in) { in.convention = nullptr; }, 0,
       "the parameter set needs a day-count convention"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    cir_inputs in;
    c.change(in);
    const auto failed = failure_of([&] { in.build(); });
    ASSERT_TRUE(failed.has_value());
    EXPECT_EQ(failed->function, "validate");
    if (c.line != 0) {
      EXPECT_EQ(failed->file, cir_file);
      EXPECT_EQ(failed->line, c.line);
      EXPECT_EQ(failed->message, c.message);
    } else {
      EXPECT_NE(failed->message.find(c.message), std::string::npos) << failed->message;
    }
  }
}

TEST(ParameterExtendedCir, MirroredEntriesHalfAnEpsilonApartAreSymmetric) {
  cir_inputs in;
  in.correlation(0, 1) = 0.5 + epsilon / 2;  // 0.5 + 2^-53 is representable: the difference is exact
  EXPECT_FALSE(failure_of([&] { in.build(); }).has_value());
}

TEST(ParameterExtendedCir, StateIsTheThreeBlocksAndNotTheCorrelation) {
  cir_inputs in;
  auto set = in.build();
  const std::vector<double> state = {0.1, 0.2, 0.3, 0.4, 0.05, 0.06, 0.011, 0.021, 0.031, 0.041, 0.051, 0.061};
  EXPECT_EQ(state_of(*set), state);
  in.correlation = matrix<double>{{1.0, -0.9}, {-0.9, 1.0}};
  EXPECT_EQ(state_of(*in.build()), state);

  std::vector<double> written(12);
  for (size_t i = 0; i < written.size(); ++i) written[i] = static_cast<double>(i + 1);
  EXPECT_EQ(set->set_state_parameters(written.data()), 12u);
  EXPECT_EQ(values_of(set->mean_reversion_speeds()), std::vector<double>({1, 2, 3, 4}));
  EXPECT_EQ(values_of(set->volatilities()), std::vector<double>({5, 6}));
  EXPECT_EQ(values_of(set->shifts()), std::vector<double>({7, 8, 9, 10, 11, 12}));
  EXPECT_EQ(values_of(set->correlation()), std::vector<double>({1.0, 0.5, 0.5, 1.0}));
}

TEST(ParameterExtendedCir, AdjointsLandOnTheirElements) {
  const auto set = cir_inputs().build();
  const std::vector<double> state = state_of(*set);
  const auto position_of = [&](double value) {
    return static_cast<size_t>(std::find(state.begin(), state.end(), value) - state.begin());
  };
  std::vector<double> adjoints(state.size(), 0.5);
  set->mean_reversion_speed_aad({1.0, 2.0}, 1, adjoints.data());
  set->volatility_aad({10.0, 20.0}, 0, adjoints.data());
  set->shift_aad({100.0, 200.0}, 2, adjoints.data());
  std::vector<double> expected(state.size(), 0.5);
  expected[position_of(0.3)] += 1.0;
  expected[position_of(0.4)] += 2.0;
  expected[position_of(0.05)] += 10.0;
  expected[position_of(0.06)] += 20.0;
  expected[position_of(0.051)] += 100.0;
  expected[position_of(0.061)] += 200.0;
  EXPECT_EQ(adjoints, expected);
}

TEST(ParameterExtendedCir, ModifiableBlocksChangeValuesAndAReshapedBlockIsCaught) {
  auto set = cir_inputs().build();
  const parameter_extended_cir copy(*set);
  set->volatilities()(0, 1) = 0.9;
  EXPECT_EQ(state_of(*set)[5], 0.9);
  EXPECT_EQ(copy.volatilities()(0, 1), 0.06);

  // A shape change is outside the data model: the state exchange refuses it before touching memory.
  set->shifts().resize(5, 2);
  std::vector<double> buffer(set->state_parameters_size() + 4);
  const auto failed = failure_of([&] { set->get_state_parameters(buffer.data()); });
  ASSERT_TRUE(failed.has_value());
  EXPECT_EQ(failed->function, "get_state_parameters");
  EXPECT_EQ(failed->line, 181);
  EXPECT_EQ(failed->message,
            "Expected offset == state_parameters_size() to be true, but got false.  expect size parameter 12 while "
            "provided 16");
  EXPECT_EQ(failure_of([&] { set->set_state_parameters(buffer.data()); })->line, 208);
}

class ExtendedCirFiles : public scratch_files {
 protected:
  static ptr_const<parameter_extended_cir> stored() {
    cir_inputs in;
    in.convention = business_252();
    return in.build();
  }

  // The fields before the convention, as files written before it was stored hold them.
  static void fields_before_convention(multi_process_stream& s, const parameter_extended_cir& set) {
    s << std::string("qavrek::parameter_extended_cir");
    matrix_bytes(s, set.mean_reversion_speeds());
    matrix_bytes(s, set.volatilities());
    matrix_bytes(s, set.shifts());
    matrix_bytes(s, set.correlation());
    date_bytes(s, set.mean_reversion_speed_dates());
    date_bytes(s, set.volatilities_dates());
    date_bytes(s, set.shifts_dates());
  }

  static void expect_same_blocks(const parameter_extended_cir& read, const parameter_extended_cir& saved) {
    EXPECT_TRUE(read.is_initialized());
    EXPECT_TRUE(same_values(read.correlation(), saved.correlation()));
    EXPECT_EQ(read.mean_reversion_speed_dates(), saved.mean_reversion_speed_dates());
    EXPECT_EQ(read.volatilities_dates(), saved.volatilities_dates());
    EXPECT_EQ(read.shifts_dates(), saved.shifts_dates());
    EXPECT_EQ(state_of(read), state_of(saved));
  }
};

TEST_F(ExtendedCirFiles, RoundTripsKeepingTheConvention) {
  const auto saved = stored();
  parameter_extended_cir::write_to_json(path("cir.json"), saved);
  parameter_extended_cir::write_to_binary(path("cir.bin"), saved);
  for (const auto& read : {parameter_extended_cir::read_from_json(path("cir.json")),
                           parameter_extended_cir::read_from_binary(path("cir.bin"))}) {
    expect_same_blocks(*read, *saved);
    ASSERT_NE(read->day_convention(), nullptr);
    EXPECT_EQ(read->day_convention()->type(), day_count_convention_type::BUSINESS_252);
    EXPECT_EQ(read->day_convention()->calendar()->dates(), saved->day_convention()->calendar()->dates());
  }
}

TEST_F(ExtendedCirFiles, JsonKeysAndBinaryFieldsComeInOrderWithTheConventionLast) {
  const auto saved = stored();
  const auto j = ordered_json::parse(parameter_extended_cir::json_to_string(saved));
  EXPECT_EQ(keys_of(j), std::vector<std::string>({"Class", "mean_reversion_speeds", "volatilities", "shifts",
                                                   "correlation", "mean_reversion_speed_dates", "volatilities_dates",
                                                   "shifts_dates", "day_convention"}));
  EXPECT_EQ(j["Class"], "qavrek::parameter_extended_cir");

  parameter_extended_cir::write_to_binary(path("cir.bin"), saved);
  multi_process_stream expected;
  fields_before_convention(expected, *saved);
  convention_bytes(expected, saved->day_convention().get());
  EXPECT_EQ(bytes_of(path("cir.bin")), expected.GetRawData());
}

TEST_F(ExtendedCirFiles, AFileWithoutTheConventionLoadsWithAct365) {
  const auto saved = stored();
  auto j = ordered_json::parse(parameter_extended_cir::json_to_string(saved));
  j.erase("day_convention");
  write_json_root(path("older.json"), j);
  multi_process_stream older;
  fields_before_convention(older, *saved);
  write_bytes(path("older.bin"), older.GetRawData());
  for (const auto& read : {parameter_extended_cir::read_from_json(path("older.json")),
                           parameter_extended_cir::read_from_binary(path("older.bin"))}) {
    expect_same_blocks(*read, *saved);
    ASSERT_NE(read->day_convention(), nullptr);
    EXPECT_EQ(read->day_convention()->type(), day_count_convention_type::ACT_365F);
  }
}

TEST_F(ExtendedCirFiles, ANullSetReadsBackEmpty) {
  parameter_extended_cir::write_to_json(path("null.json"), nullptr);
  const auto read = parameter_extended_cir::read_from_json(path("null.json"));
  ASSERT_NE(read, nullptr);
  EXPECT_FALSE(read->is_initialized());
  EXPECT_EQ(read->number_of_factors(), 0u);
  EXPECT_EQ(read->day_convention(), nullptr);
  EXPECT_EQ(state_of(*read), std::vector<double>());
}

}  // namespace
}  // namespace qavrek::parameters_test
