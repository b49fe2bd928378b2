// Loading validates as constructing does: a value that a constructor refuses is refused in a JSON file
// and in a binary file alike, with the same check. A file holding the bad value is made from the file of
// a valid object that holds a sentinel in its place, a number found nowhere else in either form.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "persistable_samples.h"

namespace qavrek::persistence_samples {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

struct refusal {
  double value;
  const char* check;  // a part of the refusing check's message
};

// Values and dates, as every parameter set checks them. Each date sentinel stands second in its vector,
// after 43831 (2020-01-01).
const char* const not_a_parameter = "a parameter is finite and at most 1e+06";
const std::vector<refusal> bad_values = {{nan, not_a_parameter},
                                         {inf, not_a_parameter},
                                         {-inf, not_a_parameter},
                                         {1e308, not_a_parameter},
                                         {-1e7, not_a_parameter}};
const std::vector<refusal> bad_dates = {{nan, "a date is set and lies in the years 1 to 9999"},
                                        {inf, "is not a date of the years 1 to 9999"},
                                        {43000.0, "do not increase"},
                                        {43831.0, "do not increase"}};

constexpr double value_sentinel = 0.0271828;
constexpr double date_sentinel = 44196.25;

// A parameter value that the inputs of a class take at one place.
template <class Inputs>
struct guarded_field {
  const char* name;
  std::function<void(Inputs&, double)> put;
  double sentinel;
  std::vector<refusal> refused;
};

// Every occurrence of `from` in `text` replaced by `to`; how many there were.
size_t replace_all(std::string& text, const std::string& from, const std::string& to) {
  size_t count = 0;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()), ++count)
    text.replace(at, from.size(), to);
  return count;
}

std::string json_token(double value) { return serialization::json_from_double(value).dump(); }

// The eight bytes of a double, as the binary form holds it.
std::string raw_bytes(double value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }

class LoadingValidation : public scratch_files {
 protected:
  void expect_refused(const std::function<void()>& action, const char* check, const char* where) {
    const std::string message = innermost_message(action);
    EXPECT_NE(message.find(check), std::string::npos) << where << ": " << message;
  }

  template <class Inputs>
  void expect_refused_everywhere(const std::vector<guarded_field<Inputs>>& fields) {
    using type = typename Inputs::type;
    for (const auto& f : fields) {
      Inputs valid;
      f.put(valid, f.sentinel);
      type::write_to_json(path("valid.json"), valid.build());
      type::write_to_binary(path("valid.bin"), valid.build());
      const std::string json = text_of(path("valid.json"));
      const std::string binary = text_of(path("valid.bin"));
      for (const refusal& r : f.refused) {
        SCOPED_TRACE(std::string(f.name) + " = " + std::to_string(r.value));
        expect_refused(
            [&] {
              Inputs bad;
              f.put(bad, r.value);  // an infinite date is refused already here
              bad.build();
            },
            r.check, "constructor");

        std::string bad_json = json;
        ASSERT_GT(replace_all(bad_json, json_token(f.sentinel), json_token(r.value)), 0u);
        write_text(path("bad.json"), bad_json);
        expect_refused([&] { type::read_from_json(path("bad.json")); }, r.check, "JSON");

        std::string bad_binary = binary;
        ASSERT_GT(replace_all(bad_binary, raw_bytes(f.sentinel), raw_bytes(r.value)), 0u);
        write_text(path("bad.bin"), bad_binary);
        expect_refused([&] { type::read_from_binary(path("bad.bin")); }, r.check, "binary");
      }
    }
  }
};

struct hjm_inputs {
  using type = parameter_markovian_hjm;
  matrix<double> decays{{0.01, 0.02}, {0.03, 0.04}, {0.05, 0.06}};
  matrix<double> volatilities{{0.007, 0.008}, {0.009, 0.010}};
  matrix<double> correlation{{1.0, 0.3}, {0.3, 1.0}};
  std::vector<datetime> decays_dates = dates({43831.0, 44196.0, 44561.0});
  std::vector<datetime> volatilities_dates = dates({43831.0, 44196.0});
  parameter_markovian_hjm_type model_type = parameter_markovian_hjm_type::HULL_WHITE;
  ptr_const<type> build() const {
    return std::make_shared<const type>(decays, volatilities, correlation, decays_dates, volatilities_dates,
                                        business_252(), model_type);
  }
};

TEST_F(LoadingValidation, MarkovianHjmValuesDatesAndCorrelation) {
  const std::vector<refusal> bad_correlations = {{5.0, "a correlation lies in [-1, 1]"},
                                                 {-1.5, "a correlation lies in [-1, 1]"},
                                                 {nan, "a correlation lies in [-1, 1]"}};
  expect_refused_everywhere<hjm_inputs>({
      {"decays", [](hjm_inputs& in, double v) { in.decays(1, 0) = v; }, value_sentinel, bad_values},
      {"volatilities", [](hjm_inputs& in, double v) { in.volatilities(0, 1) = v; }, value_sentinel, bad_values},
      {"decays dates", [](hjm_inputs& in, double v) { in.decays_dates[1] = datetime(v); }, date_sentinel, bad_dates},
      {"volatilities dates", [](hjm_inputs& in, double v) { in.volatilities_dates[1] = datetime(v); }, date_sentinel,
       bad_dates},
      {"correlation", [](hjm_inputs& in, double v) { in.correlation(0, 1) = in.correlation(1, 0) = v; }, 0.271828,
       bad_correlations},
  });
}

struct black_karasinski_inputs {
  using type = parameter_black_karasinski;
  std::vector<double> levels{-4.0, -3.5};
  std::vector<datetime> level_dates = dates({43831.0, 44196.0});
  ptr_const<type> build() const { return std::make_shared<const type>(one_factor_hjm(), levels, level_dates, 12, 6); }
};

struct cheyette_inputs {
  using type = parameter_cheyette;
  matrix<double> skews{{0.1, 0.2}, {0.3, 0.4}};
  std::vector<datetime> skew_dates = dates({43831.0, 44196.0});
  double long_term_level = 0.03;
  ptr_const<type> build() const {
    return std::make_shared<const type>(hjm_sample::sample(), skews, skew_dates, long_term_level);
  }
};

TEST_F(LoadingValidation, BlackKarasinskiAndCheyetteValuesAndDates) {
  expect_refused_everywhere<black_karasinski_inputs>({
      {"levels", [](black_karasinski_inputs& in, double v) { in.levels[1] = v; }, value_sentinel, bad_values},
      {"level dates", [](black_karasinski_inputs& in, double v) { in.level_dates[1] = datetime(v); }, date_sentinel,
       bad_dates},
  });
  expect_refused_everywhere<cheyette_inputs>({
      {"skews", [](cheyette_inputs& in, double v) { in.skews(1, 1) = v; }, value_sentinel, bad_values},
      {"skew dates", [](cheyette_inputs& in, double v) { in.skew_dates[1] = datetime(v); }, date_sentinel, bad_dates},
      {"long-term skew level", [](cheyette_inputs& in, double v) { in.long_term_level = v; }, value_sentinel,
       bad_values},
  });
}

struct extended_cir_inputs {
  using type = parameter_extended_cir;
  matrix<double> speeds{{0.5, 0.6}, {0.55, 0.65}};
  matrix<double> volatilities{{0.1, 0.2}, {0.15, 0.25}};
  matrix<double> shifts{{0.01, 0.02}, {0.015, 0.025}};
  matrix<double> correlation{{1.0, -0.4}, {-0.4, 1.0}};
  std::vector<datetime> speed_dates = dates({43831.0, 44196.0});
  std::vector<datetime> volatility_dates = dates({43831.0, 44196.0});
  std::vector<datetime> shift_dates = dates({43831.0, 44196.0});
  ptr_const<type> build() const {
    return std::make_shared<const type>(speeds, volatilities, shifts, correlation, speed_dates, volatility_dates,
                                        shift_dates, act_365());
  }
};

struct lognormal_inputs {
  using type = parameter_lognormal;
  matrix<double> volatilities{{0.2, 0.3, 0.4}, {0.25, 0.35, 0.45}};
  matrix<double> correlation{{1.0, 0.6, 0.5}, {0.6, 1.0, 0.7}, {0.5, 0.7, 1.0}};
  std::vector<datetime> volatility_dates = dates({43831.0, 44196.0});
  ptr_const<type> build() const {
    return std::make_shared<const type>(volatilities, correlation, volatility_dates, business_252());
  }
};

TEST_F(LoadingValidation, ExtendedCirAndLognormalValuesDatesAndCorrelation) {
  // A NaN on both sides of the diagonal fails the symmetry check, which comes first in these two sets.
  const std::vector<refusal> bad_correlations = {{5.0, "a correlation lies in [-1, 1]"},
                                                 {nan, "correlation matrix is not symetric"}};
  expect_refused_everywhere<extended_cir_inputs>({
      {"mean reversion speeds", [](extended_cir_inputs& in, double v) { in.speeds(1, 0) = v; }, value_sentinel,
       bad_values},
      {"volatilities", [](extended_cir_inputs& in, double v) { in.volatilities(0, 1) = v; }, value_sentinel,
       bad_values},
      {"shifts", [](extended_cir_inputs& in, double v) { in.shifts(1, 1) = v; }, value_sentinel, bad_values},
      {"speed dates", [](extended_cir_inputs& in, double v) { in.speed_dates[1] = datetime(v); }, date_sentinel,
       bad_dates},
      {"volatility dates", [](extended_cir_inputs& in, double v) { in.volatility_dates[1] = datetime(v); },
       date_sentinel, bad_dates},
      {"shift dates", [](extended_cir_inputs& in, double v) { in.shift_dates[1] = datetime(v); }, date_sentinel,
       bad_dates},
      {"correlation", [](extended_cir_inputs& in, double v) { in.correlation(0, 1) = in.correlation(1, 0) = v; },
       0.271828, bad_correlations},
  });
  // Every entry within [-1, 1], yet no correlation: -0.9 between two factors that both move with a third.
  std::vector<refusal> lognormal_correlations = bad_correlations;
  lognormal_correlations.push_back({-0.9, "the correlation matrix is not positive semidefinite"});
  expect_refused_everywhere<lognormal_inputs>({
      {"volatilities", [](lognormal_inputs& in, double v) { in.volatilities(1, 0) = v; }, value_sentinel, bad_values},
      {"volatility dates", [](lognormal_inputs& in, double v) { in.volatility_dates[1] = datetime(v); }, date_sentinel,
       bad_dates},
      {"correlation", [](lognormal_inputs& in, double v) { in.correlation(0, 2) = in.correlation(2, 0) = v; }, 0.271828,
       lognormal_correlations},
  });
}

// Loads a file of either form, by its name.
template <class T>
void load_either(const std::string& file) {
  file.ends_with(".json") ? T::read_from_json(file) : T::read_from_binary(file);
}

// An enumeration holding a value that names nothing: refused by the constructor (given the value by a
// cast), in JSON and in binary. The binary value is found beside a field of known bytes.
TEST_F(LoadingValidation, EnumerationsOutOfRange) {
  const std::int32_t seven = 7;
  struct enumeration_case {
    const char* name;
    std::function<void()> construct;
    std::function<void(const std::string&, const std::string&)> write_valid;  // JSON, binary
    std::function<void(ordered_json&)> edit_json;
    std::function<size_t(const std::string&)> binary_offset;
    std::function<void(const std::string&)> load;
    const char* check;
  };
  // Where the value is in the binary form: right after the class name, or just before a known double.
  const auto after_name = [](const std::string& name) {
    return [name](const std::string& binary) { return binary.find(name) + name.size(); };
  };
  const auto before = [](double known) {
    return [known](const std::string& binary) { return binary.find(raw_bytes(known)) - 4; };
  };
  const auto writing = [](auto make) {
    return [make](const std::string& json, const std::string& binary) {
      using type = typename std::remove_cvref_t<decltype(*make())>;
      type::write_to_json(json, make());
      type::write_to_binary(binary, make());
    };
  };
  const double cheyette_tolerance = 1e-8;
  const double hjm_tolerance = 1e-9;
  const auto unknown_type = static_cast<parameter_markovian_hjm_type>(7);
  const std::vector<enumeration_case> cases = {
      {"Markovian HJM model type",
       [&] {
         hjm_inputs in;
         in.model_type = unknown_type;
         in.build();
       },
       writing([] { return hjm_inputs().build(); }), [](ordered_json& j) { j["model_type"] = 7; },
       [](const std::string& binary) { return binary.size() - 4; }, &load_either<parameter_markovian_hjm>,
       "unknown parameter_markovian_hjm_type 7"},
      {"Cheyette calibration model type", [&] { calibration_cheyette_settings({}, {}, {}, unknown_type); },
       writing([&] {
         return std::make_shared<const calibration_cheyette_settings>(
             std::vector<double>{}, std::vector<double>{}, std::vector<double>{},
             parameter_markovian_hjm_type::HULL_WHITE, false, 200, cheyette_tolerance);
       }),
       [](ordered_json& j) { j["type"] = 7; }, before(cheyette_tolerance), &load_either<calibration_cheyette_settings>,
       "unknown parameter_markovian_hjm_type 7"},
      {"HJM calibration model type", [&] { calibration_hjm_settings(1, {}, {}, unknown_type); }, writing([&] {
         return std::make_shared<const calibration_hjm_settings>(1, std::vector<double>{}, std::vector<double>{},
                                                                 parameter_markovian_hjm_type::HULL_WHITE, false, 200,
                                                                 true, false, hjm_tolerance);
       }),
       [](ordered_json& j) { j["type"] = 7; }, before(hjm_tolerance), &load_either<calibration_hjm_settings>,
       "unknown parameter_markovian_hjm_type 7"},
      {"main generator type", [] { random_config(static_cast<random_type>(7), 1, 1, 1); },
       writing(&random_config_sample::sample), [](ordered_json& j) { j["main_generator_type"] = 7; },
       after_name(serialization::class_name<random_config>()), &load_either<random_config>, "unknown random_type 7"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expect_refused(c.construct, c.check, "constructor");
    c.write_valid(path("valid.json"), path("valid.bin"));
    auto json = ordered_json::parse(text_of(path("valid.json")));
    c.edit_json(json["root"]);
    write_text(path("bad.json"), json.dump(1));
    expect_refused([&] { c.load(path("bad.json")); }, c.check, "JSON");
    std::string binary = text_of(path("valid.bin"));
    std::memcpy(binary.data() + c.binary_offset(binary), &seven, 4);
    write_text(path("bad.bin"), binary);
    expect_refused([&] { c.load(path("bad.bin")); }, c.check, "binary");
  }
}

// A JSON number that its integer field cannot hold is refused, never wrapped, cut or truncated. (The
// binary form stores each integer at its own width, so there is nothing to convert.) A 16-bit field is
// read as a 32-bit integer and refused, under its key, when it does not fit 16 bits.
TEST_F(LoadingValidation, IntegersThatDoNotFitTheirField) {
  struct integer_case {
    std::function<std::string()> valid_text;  // the envelope of a valid object
    std::function<void(ordered_json&)> edit;
    std::function<void(const std::string&)> load;
    std::string check;
  };
  const auto envelope_of = [](auto sample) {
    return [sample] { return std::remove_cvref_t<decltype(*sample())>::json_to_string(sample()); };
  };
  const std::string unsigned_64 = "does not fit in an unsigned 64-bit integer";
  const std::string signed_32 = "does not fit in a 32-bit integer";
  const std::vector<integer_case> cases = {
      {envelope_of(&random_config_sample::sample), [](ordered_json& j) { j["settings"]["seed"] = -1; },
       [](const std::string& f) { random_config::read_from_json(f); }, "The JSON number -1 " + unsigned_64},
      {envelope_of(&random_config_sample::sample),
       [](ordered_json& j) { j["settings"]["number_of_paths_per_batch"] = 2.5; },
       [](const std::string& f) { random_config::read_from_json(f); }, "The JSON number 2.5 " + unsigned_64},
      {envelope_of(&hjm_settings_sample::sample), [](ordered_json& j) { j["max_iterations"] = 4294967297ull; },
       [](const std::string& f) { calibration_hjm_settings::read_from_json(f); },
       "The JSON number 4294967297 " + signed_32},
      {envelope_of(&hjm_settings_sample::sample), [](ordered_json& j) { j["mumber_of_factors"] = -2; },
       [](const std::string& f) { calibration_hjm_settings::read_from_json(f); }, "The JSON number -2 " + unsigned_64},
      {envelope_of(&cheyette_settings_sample::sample), [](ordered_json& j) { j["max_iterations"] = -2147483649ll; },
       [](const std::string& f) { calibration_cheyette_settings::read_from_json(f); },
       "The JSON number -2147483649 " + signed_32},
      {envelope_of(&bk_settings_sample::sample), [](ordered_json& j) { j["pde_grid_size"] = 1e30; },
       [](const std::string& f) { calibration_black_karasinski_settings::read_from_json(f); },
       "The JSON number 1e+30 " + unsigned_64},
      {envelope_of(&black_karasinski_sample::sample), [](ordered_json& j) { j["time_step_in_days"] = 4294967297ull; },
       [](const std::string& f) { parameter_black_karasinski::read_from_json(f); },
       "The JSON number 4294967297 " + signed_32},
      {envelope_of(&correlation_manager_sample::sample), [](ordered_json& j) { j["factors"][0] = -1; },
       [](const std::string& f) { correlation_manager::read_from_json(f); }, "The JSON number -1 " + unsigned_64},
      {envelope_of(&black_karasinski_sample::sample), [](ordered_json& j) { j["number_of_roots"] = 65544; },
       [](const std::string& f) { parameter_black_karasinski::read_from_json(f); },
       "The value 65544 of \"number_of_roots\" is outside [-32768, 32767], the range of a 16-bit integer"},
      {envelope_of(&black_karasinski_sample::sample), [](ordered_json& j) { j["time_step_in_days"] = 40000; },
       [](const std::string& f) { parameter_black_karasinski::read_from_json(f); },
       "The value 40000 of \"time_step_in_days\" is outside [-32768, 32767], the range of a 16-bit integer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.check);
    auto envelope = ordered_json::parse(c.valid_text());
    c.edit(envelope);
    write_text(path("bad.json"), ordered_json{{"root", envelope}}.dump(1));
    expect_refused([&] { c.load(path("bad.json")); }, c.check.c_str(), "JSON");
  }
}

// A calibration writes trial values into a set in place; a set left holding values that no file can
// carry back is refused when saved, rather than written to a file that would not load.
TEST_F(LoadingValidation, ASetWhoseValuesNoLongerPassItsChecksIsNotSaved) {
  const auto set = std::make_shared<parameter_markovian_hjm>(*hjm_sample::sample());
  std::vector<double> state(set->state_parameters_size());
  set->get_state_parameters(state.data());
  state[0] = nan;
  set->set_state_parameters(state.data());
  expect_refused([&] { parameter_markovian_hjm::write_to_json(path("trial.json"), set); }, not_a_parameter, "JSON");
  expect_refused([&] { parameter_markovian_hjm::write_to_binary(path("trial.bin"), set); }, not_a_parameter, "binary");
  EXPECT_FALSE(fs::exists(path("trial.json")));
  EXPECT_FALSE(fs::exists(path("trial.bin")));
}

}  // namespace
}  // namespace qavrek::persistence_samples
