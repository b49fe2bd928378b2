#pragma once

// What the tests of the parameter sets share: a scratch folder for their files, the innermost error of a
// failure, the state vector of a set, and the binary forms that their files are expected to hold.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Core/aad_state_parameters_manager.h"
#include "Core/error.h"
#include "Core/multi_process_stream.h"
#include "Serialization/serialization.h"
#include "Util/calendar.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Vectorization/matrix.h"
#include "kept_test_files.h"

namespace qavrek::parameters_test {

namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class scratch_files : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    // A typed test's suite name holds a '/', which must not make a folder of its own.
    std::string name = std::string(test->test_suite_name()) + "_" + test->name();
    std::replace(name.begin(), name.end(), '/', '_');
    folder_ = fs::temp_directory_path() / ("qavrek_parameters_" + std::to_string(::getpid()) + "_" + name);
    fs::create_directories(folder_);
  }
  void TearDown() override {
    test_files::keep_for_fuzzing(folder_);
    fs::remove_all(folder_);
  }

  std::string path(const std::string& name) const { return (folder_ / name).string(); }

  static std::vector<unsigned char> bytes_of(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
  }
  static void write_bytes(const std::string& file, const std::vector<unsigned char>& bytes) {
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  static ordered_json json_of(const std::string& file) {
    std::ifstream in(file);
    return ordered_json::parse(in);
  }
  // A JSON file as write_to_json lays it out: the envelope under "root".
  static void write_json_root(const std::string& file, const ordered_json& envelope) {
    std::ofstream(file) << ordered_json{{"root", envelope}}.dump(1);
  }

 private:
  fs::path folder_;
};

inline std::vector<std::string> keys_of(const ordered_json& object) {
  std::vector<std::string> keys;
  for (const auto& member : object.items()) keys.push_back(member.key());
  return keys;
}

// Where a check failed and what it said.
struct failure {
  std::string function;
  std::string file;
  int line = 0;
  std::string message;
};

// Walks a chain of nested exceptions, keeping the innermost Error.
inline void find_innermost(const std::exception& e, std::optional<failure>& innermost) {
  if (const auto* error = dynamic_cast<const Error*>(&e))
    innermost = failure{error->location().function, error->location().file, error->location().line, error->message()};
  try {
    std::rethrow_if_nested(e);
  } catch (const std::exception& inner) {
    find_innermost(inner, innermost);
  }
}

// The innermost Error of what `action` throws (a failed load wraps the check that failed in the errors
// of the loading steps); nothing when it throws nothing.
template <class Action>
std::optional<failure> failure_of(Action&& action) {
  try {
    action();
  } catch (const std::exception& e) {
    std::optional<failure> innermost;
    find_innermost(e, innermost);
    if (!innermost) innermost = failure{"", "", 0, e.what()};
    return innermost;
  }
  return std::nullopt;
}

// The state vector of a set, through get_state_parameters.
inline std::vector<double> state_of(const aad_state_parameters_manager& set) {
  std::vector<double> state(set.state_parameters_size(), -999.0);
  const size_t written = set.get_state_parameters(state.data());
  EXPECT_EQ(written, state.size());
  return state;
}

inline bool same_values(const matrix<double>& a, const matrix<double>& b) {
  if (a.rows() != b.rows() || a.columns() != b.columns()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!(a.data()[i] == b.data()[i])) return false;
  return true;
}

inline std::vector<double> values_of(const matrix<double>& m) { return std::vector<double>(m.begin(), m.end()); }

inline std::vector<datetime> dates(std::initializer_list<double> serials) {
  std::vector<datetime> out;
  for (const double serial : serials) out.emplace_back(serial);
  return out;
}

inline ptr_const<day_count_convention> act_365() {
  return std::make_shared<const day_count_convention>(day_count_convention_type::ACT_365F);
}

// Business/252 on a calendar without weekends and with two holidays.
inline ptr_const<day_count_convention> business_252() {
  auto holidays = std::make_shared<const calendar>(false, dates({43832.0, 43840.0}));
  return std::make_shared<const day_count_convention>(day_count_convention_type::BUSINESS_252, holidays);
}

// The binary pieces of a saved parameter set, in the archive's own calls.
inline void matrix_bytes(multi_process_stream& s, const matrix<double>& m) {
  s << static_cast<std::uint64_t>(m.rows()) << static_cast<std::uint64_t>(m.columns());
  s.Push(m.data(), static_cast<unsigned>(m.size()));
}

inline void date_bytes(multi_process_stream& s, const std::vector<datetime>& values) {
  s << static_cast<std::uint32_t>(values.size());
  for (const datetime& d : values) s << d.serial();
}

inline void convention_bytes(multi_process_stream& s, const day_count_convention* convention) {
  if (convention == nullptr) {
    s << std::string("null object!");
    return;
  }
  s << std::string("qavrek::day_count_convention") << static_cast<std::int32_t>(convention->type());
  if (convention->calendar() == nullptr) {
    s << std::string("null object!");
    return;
  }
  s << std::string("qavrek::calendar") << convention->calendar()->use_weekends();
  date_bytes(s, convention->calendar()->dates());
}

}  // namespace qavrek::parameters_test
